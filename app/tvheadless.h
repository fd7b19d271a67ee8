#pragma once
// The paging server without windows: `tolvane --headless`, how Tolvane runs as a
// service.
//
// The run does what opening the Server tab and later closing it do, on a started
// application (the database already checked, created when it was missing):
//   1. The modem-port rule: without an "OPTIONS" record, or with PORT -1 in this
//      computer's "MACHINE" record, "You must configure the server before starting."
//      and the run ends (there is no options sheet to open here).
//   2. The status line ("Ready") and the two logs (500 rows each; the message log
//      newest first, the communications log oldest first), printed to the output
//      stream as they change: "Status: <text>" for the status line, the timestamp
//      and the cells of each log row.
//   3. The engine is created and started ("Unable to Start" when it does not come up).
//   4. It runs until SIGINT or SIGTERM arrives, or until it stops by itself (the
//      server lock was refused).
//   5. Stop as the Server tab does: RequestStop, then wait, showing "Stopping
//      Server..." and "Please Wait..." in turn every second, until it has stopped;
//      then the engine is destroyed. The caller shuts the application down.
//
// Exit status: 0 when stopped by a signal, 1 when the server could not run.
//
// Threads: the calling thread is the user-interface thread; the engine has its own.
// Output lines are written whole under a mutex of their own.

#include <atomic>
#include <cstdio>

class tvApp;

// The modem-port refusal text.
extern const char* const kConfigureServerFirst;

struct tvHeadlessOptions {
    std::FILE* out = stdout;
    // Set to stop the server; null: SIGINT and SIGTERM set the run's own flag (the
    // previous handlers come back at the end).
    const std::atomic<bool>* stop = nullptr;
};

[[nodiscard]] int RunHeadless(tvApp& app, const tvHeadlessOptions& options);
