#include "app/cvreportengine.h"

cvReportEngine::~cvReportEngine() {
    Close();
}

int cvReportEngine::Open(const std::string& reports_directory, std::string* error) {
    if (error) {
        error->clear();
    }
    reports_directory_ = reports_directory;
    open_ = true;
    return 0;
}

void cvReportEngine::Close() {
    open_ = false;
}
