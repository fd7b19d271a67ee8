#pragma once
// The commands of the `tolvane` program (app/tvcommandline.h) on the database the
// application object has started on, and the whole run of the program: parse, start
// without windows, run the command, shut down.
//
// Exit statuses: 0 done; 1 refused by a check or failed (the program's message on the
// error stream; a list that a record-manager error cuts short is a failure, with the
// status text); 2 the command line is wrong (with the usage text).
//
// Every message box of the run is written to the error stream and answered there
// (app/consolepresenter.h): questions get No unless --yes was given. `init` answers
// the incomplete-database question Yes; any other command on an incomplete database is
// refused. Commands do not take the single-instance claim, so they may run while a
// server runs on the same database.

#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "app/fieldassignment.h"
#include "app/tvcommandline.h"

class tvApp;

enum tvExitStatus : int {
    kExitOk = 0,
    kExitRefused = 1,
    kExitUsage = 2,
};

class tvCommands {
  public:
    tvCommands(tvApp& app, std::FILE* out, std::FILE* err);

    // Runs a parsed command on the started application.
    [[nodiscard]] int Run(const tvCommandLine& line);

  private:
    int List(const std::string& what);
    int ListNetworks();
    int ListDevices();
    int ListGroups();
    int ListEquipment();
    int ListMessages();
    int SetOptions(const std::vector<std::string>& arguments);
    int SetMachine(const std::vector<std::string>& arguments);
    int Import(const std::string& location);
    int Add(const std::vector<std::string>& arguments, bool assume_yes);
    int Page(const std::vector<std::string>& arguments);
    // Examines every data file; with `repair` mends what can be mended (app/tvcheckcommands.cpp).
    int Check(bool repair);
    int UnlockServer();

    // Shows a refusal through the message box (so on the error stream); returns 1.
    int Refuse(const std::string& text, unsigned style);
    // A usage error: the reason and the usage text on the error stream; returns 2.
    int Usage(const std::string& reason);
    // The assignments of the arguments from `first` on; false after a usage error.
    bool ParseAssignments(const std::vector<std::string>& arguments, size_t first,
                          std::vector<tvFieldAssignment>* assignments);
    void Row(const std::vector<std::string>& columns);
    // A scan of `table` that a record-manager failure ended before its end: says so with
    // the status text on the error stream; returns 1.
    int ScanFailed(std::string_view table, int status);

    tvApp& app_;
    std::FILE* out_;
    std::FILE* err_;
};

struct tvRunOptions {
    std::string program_directory;  // where the dictionary is by default
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    // Set (by a signal handler) to cancel an upgrade in progress.
    const std::atomic<bool>* cancel = nullptr;
};

// The whole program: returns its exit status.
[[nodiscard]] int RunTolvane(int argc, const char* const* argv, const tvRunOptions& options);
