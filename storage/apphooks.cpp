#include "storage/apphooks.h"

#include <atomic>
#include <mutex>

namespace {

std::atomic<int> g_user_number{0};

std::mutex g_hooks_mutex;
TextHook g_text_hook;        // guarded by g_hooks_mutex
ReportHooks g_report_hooks;  // guarded by g_hooks_mutex

}  // namespace

int CurrentUserNumber() {
    return g_user_number.load();
}

void SetCurrentUserNumber(int user) {
    g_user_number.store(user);
}

void SetTextHook(TextHook hook) {
    std::lock_guard lock(g_hooks_mutex);
    g_text_hook = std::move(hook);
}

std::string ApplyTextHook(const std::string& text, int format) {
    TextHook hook;
    {
        std::lock_guard lock(g_hooks_mutex);
        hook = g_text_hook;
    }
    return hook ? hook(text, format) : text;
}

void SetReportHooks(ReportHooks hooks) {
    std::lock_guard lock(g_hooks_mutex);
    g_report_hooks = std::move(hooks);
}

ReportHooks CurrentReportHooks() {
    std::lock_guard lock(g_hooks_mutex);
    return g_report_hooks;
}
