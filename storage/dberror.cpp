#include "storage/dberror.h"

#include <atomic>
#include <mutex>

#include "log/cveventlog.h"
#include "storage/dbstatus.h"

namespace {

std::atomic<bool> g_exit_requested{false};
std::mutex g_hook_mutex;
std::function<void()> g_exit_hook;  // guarded by g_hook_mutex

constexpr int kKeyNotFound = 4;
constexpr int kEndOfFile = 9;
constexpr int kFirstReadOperation = 5;

}  // namespace

int ReportDbError(int status, int operation, const std::string& file_name, bool quiet, bool ask) {
    if (g_exit_requested.load() || status == 0) {
        return status;
    }
    if (operation >= kFirstReadOperation && (status == kKeyNotFound || status == kEndOfFile)) {
        return status;  // ordinary outcomes of reads and positioning
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

void ResetDbExitRequested() {
    g_exit_requested.store(false);
}
