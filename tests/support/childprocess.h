#pragma once
// Runs a program of the build as a child process of the test, with the test's
// environment, and collects its standard output, its error stream and its exit status.
// `RunProgram` waits for the end; `ChildProcess` keeps a long-running program (a
// server) under the test's control and kills it, if it still runs, when it goes.

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace testing_support {

struct ProgramResult {
    int exit_status = -1;  // -1: did not exit normally (a signal, or could not start)
    std::string out;
    std::string err;
};

// The program's path in the build's program directory (TOLVANE_TEST_BINARY_DIR/bin).
std::string BuiltProgram(const std::string& name);

// Runs `arguments` (the program first) and waits for it to end.
ProgramResult RunProgram(const std::vector<std::string>& arguments);

class ChildProcess {
  public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the program; false when it could not be started.
    bool Start(const std::vector<std::string>& arguments);
    // Waits until the standard output so far holds `text`, the program ended, or the
    // time is up; true when the text was seen.
    bool WaitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    // Sends a signal to the running program.
    void Signal(int signal_number) const;
    // Waits for the end (reading the rest of its output); the exit status, or -1 when it
    // ended by a signal or did not end in time (it is then killed).
    int Wait(std::chrono::milliseconds timeout);

    const std::string& Output() const { return out_; }
    const std::string& Errors() const { return err_; }

  private:
    // Reads what is available on the two pipes, waiting at most `wait`; false once both
    // are closed.
    bool Pump(std::chrono::milliseconds wait);

    pid_t pid_ = -1;
    int out_fd_ = -1;
    int err_fd_ = -1;
    std::string out_;
    std::string err_;
};

}  // namespace testing_support
