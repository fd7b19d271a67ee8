#include "log/cveventlog.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdarg>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "platform/core/clock.h"
#include "platform/core/diagnostics.h"

extern char** environ;

namespace {

// "%a %#I:%M %p ": weekday, hour 1..12 without a leading zero, minutes, AM/PM, blank.
std::string TimePrefix() {
    const std::tm now = platform::LocalNow();
    char weekday[16] = {};
    char ampm[8] = {};
    std::strftime(weekday, sizeof weekday, "%a", &now);
    std::strftime(ampm, sizeof ampm, "%p", &now);
    int hour = now.tm_hour % 12;
    if (hour == 0) {
        hour = 12;
    }
    char prefix[48];
    std::snprintf(prefix, sizeof prefix, "%s %d:%02d %s ", weekday, hour, now.tm_min, ampm);
    return prefix;
}

std::string Trim(const std::string& text) {
    const char* blanks = " \t\r\n\f\v";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

}  // namespace

cvEventLog::cvEventLog() : ui_thread_(std::this_thread::get_id()) {}

cvEventLog::~cvEventLog() = default;

bool cvEventLog::IsLogging(uint32_t category) const {
    if (!open_.load()) {
        return false;
    }
    return category == 0 || (category & mask_.load()) != 0;
}

void cvEventLog::OpenLog() {
    open_.store(true);
}

void cvEventLog::AddEvent(uint32_t category, const std::string& text) {
    if (!IsLogging(category)) {
        return;
    }
    std::string line = TimePrefix() + text;
    std::lock_guard lock(mutex_);
    while (lines_.size() >= max_lines_) {
        lines_.pop_front();
    }
    if (echo_) {
        std::fprintf(echo_, "%s%s", line.c_str(),
                     (!line.empty() && line.back() == '\n') ? "" : "\n");
        std::fflush(echo_);
    }
    lines_.push_back(std::move(line));
}

void cvEventLog::LogEvent(uint32_t category, const char* format, ...) {
    if (!IsLogging(category)) {
        return;  // layers call this freely; skip the formatting when nothing is kept
    }
    char buffer[kFormatLimit + 1];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    AddEvent(category, buffer);
}

int cvEventLog::MessageBox(const std::string& text, unsigned style, unsigned help_id) {
    Presenter show = presenter();
    const bool can_show = ui_available_.load() && show && OnUserInterfaceThread();
    if (!can_show) {
        AddEvent(kLogUiErrors, text);
        return kIdOk;
    }
    std::string shown = text;
    if (transaction_open_.load()) {
        AbortHook abort;
        SoundHook sound;
        std::string directory;
        {
            std::lock_guard lock(mutex_);
            abort = abort_hook_;
            sound = sound_hook_;
            directory = save_directory_;
        }
        if (abort) {
            abort();
        }
        transaction_open_.store(false);
        shown = "<Transaction Aborted>\n\n" + shown;
        if (sound) {
            sound(directory + "bomb.wav");
        }
    }
    return show(shown, style, help_id);
}

size_t cvEventLog::MaxLines() const {
    std::lock_guard lock(mutex_);
    return max_lines_;
}

void cvEventLog::SetMaxLines(size_t max_lines) {
    std::lock_guard lock(mutex_);
    max_lines_ = max_lines == 0 ? 1 : max_lines;
    while (lines_.size() > max_lines_) {
        lines_.pop_front();
    }
}

std::vector<std::string> cvEventLog::Lines() const {
    std::lock_guard lock(mutex_);
    return {lines_.begin(), lines_.end()};
}

void cvEventLog::Clear() {
    std::lock_guard lock(mutex_);
    lines_.clear();
}

bool cvEventLog::SaveLog() {
    const std::tm today = platform::LocalNow();
    char name[16];
    std::strftime(name, sizeof name, "%Y%m%d.log", &today);
    std::vector<std::string> lines;
    std::string path;
    ViewerHook viewer;
    {
        std::lock_guard lock(mutex_);
        lines.assign(lines_.begin(), lines_.end());
        path = save_directory_ + name;
        viewer = viewer_hook_;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        return false;
    }
    for (const std::string& line : lines) {
        const std::string trimmed = Trim(line);
        if (!trimmed.empty()) {
            out << trimmed << '\n';
        }
    }
    out.close();
    if (!out) {
        return false;
    }
    if (viewer) {
        viewer(path);
    } else {
        static_cast<void>(OpenWithDesktopViewer(path));  // a viewer that fails is ignored
    }
    return true;
}

void cvEventLog::SetUserInterfaceThread(std::thread::id id) {
    std::lock_guard lock(mutex_);
    ui_thread_ = id;
}

bool cvEventLog::OnUserInterfaceThread() const {
    std::lock_guard lock(mutex_);
    return ui_thread_ == std::this_thread::get_id();
}

std::string cvEventLog::SaveDirectory() const {
    std::lock_guard lock(mutex_);
    return save_directory_;
}

void cvEventLog::SetSaveDirectory(const std::string& directory) {
    std::lock_guard lock(mutex_);
    save_directory_ = directory;
    if (!save_directory_.empty() && save_directory_.back() != '/') {
        save_directory_ += '/';
    }
}

void cvEventLog::SetPresenter(Presenter presenter) {
    std::lock_guard lock(mutex_);
    presenter_ = std::move(presenter);
}

void cvEventLog::SetAbortHook(AbortHook hook) {
    std::lock_guard lock(mutex_);
    abort_hook_ = std::move(hook);
}

void cvEventLog::SetSoundHook(SoundHook hook) {
    std::lock_guard lock(mutex_);
    sound_hook_ = std::move(hook);
}

void cvEventLog::PlaySound(const std::string& path) {
    SoundHook sound;
    {
        std::lock_guard lock(mutex_);
        sound = sound_hook_;
    }
    if (sound) {
        sound(path);
    }
}

void cvEventLog::SetViewerHook(ViewerHook hook) {
    std::lock_guard lock(mutex_);
    viewer_hook_ = std::move(hook);
}

void cvEventLog::SetEchoStream(std::FILE* stream) {
    std::lock_guard lock(mutex_);
    echo_ = stream;
}

cvEventLog::Presenter cvEventLog::presenter() const {
    std::lock_guard lock(mutex_);
    return presenter_;
}

cvEventLog& EventLog() {
    // The application's log is the platform layer's diagnostic sink for as long as it
    // exists; when it goes at process exit, platform lines fall back to stderr.
    struct Global {
        cvEventLog log;
        Global() {
            platform::SetDiagnosticSink([this](uint32_t category, const std::string& text) {
                log.AddEvent(category, text);
            });
        }
        ~Global() { platform::SetDiagnosticSink({}); }
    };
    static Global global;
    return global.log;
}

bool OpenWithDesktopViewer(const std::string& path) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if ((!display || !*display) && (!wayland || !*wayland)) {
        return false;
    }
    // A short-lived shell starts the viewer in the background and exits, so the
    // viewer is never our child and nothing waits for it.
    const char* argv[] = {"/bin/sh", "-c",         "xdg-open \"$1\" >/dev/null 2>&1 &",
                          "sh",      path.c_str(), nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
        return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
