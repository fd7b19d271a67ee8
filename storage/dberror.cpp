#include "storage/dberror.h"

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <utility>

#include "log/cveventlog.h"
#include "storage/dbstatus.h"

namespace {

std::atomic<bool> g_exit_requested{false};
std::mutex g_hook_mutex;
std::function<void()> g_exit_hook;  // guarded by g_hook_mutex

constexpr int kKeyNotFound = 4;
constexpr int kEndOfFile = 9;
constexpr int kFirstReadOperation = 5;

// A background thread (the engine) meets a lasting failure of a file at every cycle,
// a damaged file or a full disk: it is reported once an hour per file and status, and
// otherwise only returned. The user interface reports each
// failure, since each answers something the user did.
constexpr std::chrono::hours kRepeatQuietFor{1};
std::mutex g_repeat_mutex;
std::map<std::pair<std::string, int>, std::chrono::steady_clock::time_point>
    g_background_reports;  // guarded by g_repeat_mutex

// The failures that last: an I/O error (a damaged file) and a full disk.
constexpr int kIoError = 2;
constexpr int kDiskFull = 18;

bool RepeatedInBackground(int status, const std::string& file_name) {
    if ((status != kIoError && status != kDiskFull) || EventLog().OnUserInterfaceThread()) {
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(g_repeat_mutex);
    const auto [entry, first] = g_background_reports.try_emplace({file_name, status}, now);
    if (first || now - entry->second >= kRepeatQuietFor) {
        entry->second = now;
        return false;
    }
    return true;
}

}  // namespace

int ReportDbError(int status, int operation, const std::string& file_name, bool quiet, bool ask) {
    if (g_exit_requested.load() || status == 0) {
        return status;
    }
    if (operation >= kFirstReadOperation && (status == kKeyNotFound || status == kEndOfFile)) {
        return status;  // ordinary outcomes of reads and positioning
    }
    if (RepeatedInBackground(status, file_name)) {
        return status;
    }
    std::string heading = OperationName(operation) + " Failed";
    if (!file_name.empty()) {
        heading += " on file " + file_name;
    }
    const std::string status_text = StatusText(status);
    EventLog().AddEvent(kLogDbErrors, heading + status_text);
    std::string message = heading + "\n\n" + status_text + "\n\n";
    if (quiet) {
        return status;
    }
    if (!ask) {
        static_cast<void>(EventLog().MessageBox(message, kMbOk | kMbIconError));
        return status;
    }
    message += "A database error has occured, would you like to exit the application?";
    const int answer = EventLog().MessageBox(message, kMbYesNo | kMbIconQuestion | kMbDefButton2);
    if (answer == kIdYes) {
        g_exit_requested.store(true);
        std::function<void()> hook;
        {
            std::lock_guard lock(g_hook_mutex);
            hook = g_exit_hook;
        }
        if (hook) {
            hook();
        }
    }
    return status;
}

bool DbExitRequested() {
    return g_exit_requested.load();
}

void SetDbExitCommandHook(std::function<void()> hook) {
    std::lock_guard lock(g_hook_mutex);
    g_exit_hook = std::move(hook);
}

void ResetDbErrorRepeats() {
    std::lock_guard lock(g_repeat_mutex);
    g_background_reports.clear();
}

void ResetDbExitRequested() {
    ResetDbErrorRepeats();
    g_exit_requested.store(false);
}
