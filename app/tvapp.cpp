// The start-up steps of the application object and its shutdown. The database check
// is in tvdatabasecheck.cpp, the version check in tvversioncheck.cpp.

#include "app/tvapp.h"

#include "app/formattext.h"
#include "app/tvdatabaselocator.h"
#include "app/tvprogramversion.h"
#include "app/tvversioncheck.h"
#include "log/cveventlog.h"
#include "log/logcategory.h"
#include "model/pagingobjecttypes.h"
#include "model/tolvanetable.h"
#include "model/tvdatadict.h"
#include "storage/cvdatadict.h"
#include "storage/cvfilemgr.h"

namespace {

std::string WithSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') {
        directory += '/';
    }
    return directory;
}

constexpr const char* kNoDictionaryMessage = "Unable to initialize data dictionary!";

}  // namespace

tvApp::tvApp(std::string program_directory, std::unique_ptr<platform::Profile> profile)
    : cvApp(std::move(profile)), settings_(Profile(), std::move(program_directory)) {
    settings_.SetProgramVersions(kProgramFileVersion, kProgramProductVersion);
    // The types are process-wide: a later application object of the same process finds
    // them registered already.
    SetObjectTypeRegistrar([] { static_cast<void>(RegisterPagingObjectTypes()); });
}

tvApp::~tvApp() {
    Shutdown();
}

void tvApp::SetProgramVersions(const tvVersion& file_version, const tvVersion& product_version) {
    settings_.SetProgramVersions(file_version, product_version);
}

void tvApp::OverrideDataDirectory(std::string directory) {
    data_override_ = WithSlash(std::move(directory));
}

void tvApp::OverrideDictionaryDirectory(std::string directory) {
    dictionary_override_ = WithSlash(std::move(directory));
}

std::unique_ptr<cvDataDict> tvApp::NewDictionary() {
    return std::make_unique<tvDataDict>();
}

void tvApp::FileManagerChanged(cvFileMgr* manager) {
    settings_.SetFileManager(manager);
}

void tvApp::LoadProfile() {
    settings_.LoadStartupSettings();
    if (data_override_) {
        settings_.SetDataDirectory(*data_override_);
    }
    dictionary_directory_ =
        dictionary_override_ ? *dictionary_override_ : settings_.DictionaryDirectory();
    BeginStartupLogging(settings_.LogStartupEvents(), dictionary_directory_);
}

bool tvApp::LoadDictionary() {
    ReplaceDictionary();
    const std::string prefix(kDictionaryPrefix);
    const int status = Dictionary().Load(dictionary_directory_, prefix);
    if (status != 0) {
        Log(kLogDbErrors, "Error %d opening dictionary at %s, prefix=%s\n", status,
            dictionary_directory_.c_str(), prefix.c_str());
        static_cast<void>(MessageBox(kNoDictionaryMessage, kMbOk | kMbIconError));
        return false;
    }
    if (Dictionary().AddDefinition(TolvaneTableDef()) != 0) {
        static_cast<void>(MessageBox(kNoDictionaryMessage, kMbOk | kMbIconError));
        return false;
    }
    return true;
}

bool tvApp::OpenReportEngine() {
    std::string error;
    if (ReportEngine().Open(ReportsDirectory(), &error) != 0) {
        static_cast<void>(MessageBox(FormatText("Unable to open report engine: %s", error.c_str()),
                                     kMbOk | kMbIconError));
        return false;
    }
    return true;
}

void tvApp::SetDataDirectory(std::string_view directory) {
    settings_.SetDataDirectory(directory);
    ApplyDataDirectory();
}

bool tvApp::LocateDatabase(tvDatabaseLocator* locator, tvIncompleteAnswer answer) {
    if (!locator || settings_.AutoStart()) {
        return CheckDatabase(answer);
    }
    for (;;) {
        const std::optional<std::string> entry = locator->AskDirectory(DataDirectory());
        if (!entry) {
            return false;
        }
        if (entry->empty()) {
            static_cast<void>(MessageBox("An entry is required", kMbOk | kMbIconWarning));
            continue;
        }
        // The operator's choice is the database from now on, and is remembered.
        data_override_.reset();
        SetDataDirectory(*entry);
        if (CheckDatabase(answer)) {
            return true;
        }
    }
}

int tvApp::CheckVersion(tvProgress* progress) {
    tvVersionCheck check(*this, progress);
    version_result_ = check.Run();
    return version_result_;
}

tvStartResult tvApp::StartWithoutWindows(tvIncompleteAnswer answer, tvProgress* progress) {
    LoadProfile();
    RegisterObjectTypes();
    RegisterCaches();
    OpenRunLog();
    if (!LoadDictionary()) {
        return tvStartResult::kNoDictionary;
    }
    if (!OpenReportEngine()) {
        return tvStartResult::kNoReportEngine;
    }
    if (!CheckDatabase(answer)) {
        return incomplete_refused_ ? tvStartResult::kIncompleteDatabase
                                   : tvStartResult::kDatabaseRefused;
    }
    if (CheckVersion(progress) != 0) {
        return tvStartResult::kVersionRefused;
    }
    return tvStartResult::kStarted;
}

void tvApp::Shutdown() {
    if (shut_down_) {
        return;
    }
    shut_down_ = true;
    SaveLogAtExit();
    ReportEngine().Close();
    CloseTables();
    settings_.DropRecords();
    ReleaseDatabase();
}

cvRec* tvApp::OptionsRecord() {
    static_cast<void>(FileManager());
    return settings_.OptionsRecord();
}

cvRec* tvApp::ServerRecord() {
    static_cast<void>(FileManager());
    return settings_.ServerRecord();
}

cvRec* tvApp::MachineRecord() {
    static_cast<void>(FileManager());
    return settings_.MachineRecord();
}

cvRec* tvApp::VersionRecord() {
    static_cast<void>(FileManager());
    return settings_.VersionRecord();
}

int32_t tvApp::MachineNumber() {
    static_cast<void>(FileManager());
    return settings_.MachineNumber();
}

bool tvApp::IsServerRunning() {
    static_cast<void>(FileManager());
    return settings_.IsServerRunning();
}
