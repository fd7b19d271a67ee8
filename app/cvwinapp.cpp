#include "app/cvwinapp.h"

#include <unistd.h>

#include <cstdarg>
#include <filesystem>
#include <thread>

#include "app/soundplayer.h"
#include "log/cveventlog.h"
#include "log/logcategory.h"

namespace {

std::string WithSlash(std::string directory) {
    if (directory.empty() || directory.back() != '/') {
        directory += '/';
    }
    return directory;
}

}  // namespace

cvWinApp::cvWinApp(std::unique_ptr<platform::Profile> profile)
    : profile_(profile ? std::move(profile) : std::make_unique<platform::Profile>()) {
    EventLog().SetUserInterfaceThread(std::this_thread::get_id());
    EventLog().SetSoundHook(
        [](const std::string& path) { static_cast<void>(PlaySoundFile(path)); });
}

cvWinApp::~cvWinApp() {
    EventLog().SetSoundHook({});
}

int cvWinApp::MessageBox(const std::string& text, unsigned style, unsigned help_id) {
    return EventLog().MessageBox(text, style, help_id);
}

void cvWinApp::Log(uint32_t category, const char* format, ...) {
    if (!EventLog().IsLogging(category)) {
        return;
    }
    char text[cvEventLog::kFormatLimit + 1];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    EventLog().AddEvent(category, text);
}

void cvWinApp::BeginStartupLogging(bool log_startup_events, const std::string& save_directory) {
    EventLog().SetSaveDirectory(save_directory);
    if (!log_startup_events) {
        return;
    }
    EventLog().OpenLog();
    EventLog().SetCategoryMask(kLogAllCategories);
    EventLog().SetSaveAtExit(true);
}

void cvWinApp::OpenRunLog() {
    EventLog().SetCategoryMask(kLogErrorAndIntegrityMask);
    EventLog().OpenLog();
    EventLog().SetMaxLines(kRunLogLines);
}

void cvWinApp::SaveLogAtExit() {
    if (log_saved_ || !EventLog().SaveAtExit()) {
        return;
    }
    log_saved_ = true;
    // A log that cannot be written is not worth a message at exit.
    static_cast<void>(EventLog().SaveLog());
}

std::string cvWinApp::ProgramDirectory(const char* argv0) {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error && executable.has_parent_path()) {
        return WithSlash(executable.parent_path().string());
    }
    if (argv0) {
        const std::filesystem::path given(argv0);
        if (given.has_parent_path()) {
            return WithSlash(std::filesystem::absolute(given.parent_path(), error).string());
        }
    }
    return WithSlash(std::filesystem::current_path(error).string());
}
