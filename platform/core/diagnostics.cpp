#include "platform/core/diagnostics.h"

#include <cstdio>
#include <mutex>

namespace platform {
namespace {

std::mutex g_sink_mutex;
DiagnosticSink g_sink;  // guarded by g_sink_mutex

}  // namespace

void SetDiagnosticSink(DiagnosticSink sink) {
    std::lock_guard lock(g_sink_mutex);
    g_sink = std::move(sink);
}

void ReportDiagnostic(uint32_t category, const std::string& text) {
    DiagnosticSink sink;
    {
        std::lock_guard lock(g_sink_mutex);
        sink = g_sink;
    }
    if (sink) {
        sink(category, text);
        return;
    }
    std::fprintf(stderr, "%s%s", text.c_str(), (!text.empty() && text.back() == '\n') ? "" : "\n");
}

}  // namespace platform
