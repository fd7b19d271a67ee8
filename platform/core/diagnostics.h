#pragma once
// Platform stand-ins sit below the event log, so they report their diagnostics
// through this sink. The event log installs itself here when it is created; until
// then (and in programs without one) lines go to standard error.

#include <cstdint>
#include <functional>
#include <string>

namespace platform {

using DiagnosticSink = std::function<void(uint32_t category, const std::string& text)>;

// Replaces the sink; an empty function restores standard error. Thread-safe.
void SetDiagnosticSink(DiagnosticSink sink);
// Hands one line to the sink. Thread-safe; never blocks on a dialog.
void ReportDiagnostic(uint32_t category, const std::string& text);

}  // namespace platform
