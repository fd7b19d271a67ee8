#pragma once
// The storage layer's one error reporter: logs a failing record-manager call under
// category 0x0080 and shows it, offering to exit the application.

#include <functional>
#include <string>

// Reports a failed call and returns `status` unchanged. Silent when the exit has
// been requested, when the status is 0, and for 4 and 9 on reads (operation >= 5).
// Off the user-interface thread an I/O error (2) or a full disk (18) on the same file
// is reported once an hour (an engine meets a damaged file at every cycle).
// `file_name` is the bare data file name (may be empty). With `quiet` the failure is
// logged only; with `ask` the message offers to exit (Yes sets the exit-requested
// flag and runs the exit-command hook), otherwise it has an OK button.
int ReportDbError(int status, int operation, const std::string& file_name, bool quiet, bool ask);

// Once set, every later report is silent.
bool DbExitRequested();
// Run when the user answers Yes: the application posts its Exit command here.
void SetDbExitCommandHook(std::function<void()> hook);
// For tests: forgets the failures reported off the user-interface thread.
void ResetDbErrorRepeats();
// For tests: clears the exit-requested flag and forgets the background reports.
void ResetDbExitRequested();
