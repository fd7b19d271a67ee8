#include "objects/cvbobfieldmonitor.h"

#include <algorithm>

#include "objects/cvbob.h"

cvBobFieldMonitor::~cvBobFieldMonitor() {
    StopWatching();
}

void cvBobFieldMonitor::FieldChanged(std::string_view, const void*, const void*) {}

void cvBobFieldMonitor::Watch(cvBob* object) {
    if (object == watched_.get()) {
        return;
    }
    StopWatching();
    if (!object) {
        return;
    }
    watched_.Set(object);
    std::vector<cvBobFieldMonitor*>& monitors = object->field_monitors_;
    if (std::find(monitors.begin(), monitors.end(), this) == monitors.end()) {
        monitors.push_back(this);
    }
}

void cvBobFieldMonitor::StopWatching() {
    cvBob* object = watched_.get();
    if (!object) {
        return;
    }
    std::erase(object->field_monitors_, this);
    static_cast<void>(watched_.Reset());
}
