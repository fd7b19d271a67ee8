#pragma once
// The first layer of the application object: the settings profile, the event log as
// start-up opens it, and the message-box operation through which every user message of
// the program goes.
//
// The event log (log/cveventlog.h) is the process's one log; the application decides
// when it opens and with which categories:
// - "Log Startup Events" on: from the moment the profile has been read, every category
//   is kept and the log is written to a dated file in the dictionary directory when the
//   program ends (BeginStartupLogging);
// - later in start-up, whatever the setting: the error and integrity categories
//   (0xA4BA), the log open, 500 lines (OpenRunLog).
//
// Threads: built and used on the user-interface thread; MessageBox and Log may be
// called from any thread (off that thread a message box becomes a log line).

#include <cstdint>
#include <memory>
#include <string>

#include "log/messagebox.h"
#include "platform/profile/profile.h"

class cvWinApp {
  public:
    static constexpr size_t kRunLogLines = 500;

    // `profile` null: the profile files the environment names. The constructing thread
    // becomes the event log's user-interface thread; the event log plays "bomb.wav"
    // through an installed player.
    explicit cvWinApp(std::unique_ptr<platform::Profile> profile = nullptr);
    virtual ~cvWinApp();
    cvWinApp(const cvWinApp&) = delete;
    cvWinApp& operator=(const cvWinApp&) = delete;

    platform::Profile& Profile() { return *profile_; }

    // Shows a message box (or logs it, see log/cveventlog.h); returns the button pressed.
    int MessageBox(const std::string& text, unsigned style = kMbOk, unsigned help_id = 0);
    // Formats at most 511 characters and adds the line to the event log.
    void Log(uint32_t category, const char* format, ...) __attribute__((format(printf, 3, 4)));

    // The start-up log: with `log_startup_events`, opens the log on every category and
    // sets save at exit. Saved logs go to `save_directory` in either case.
    void BeginStartupLogging(bool log_startup_events, const std::string& save_directory);
    // The log for the rest of the run: mask 0xA4BA, open, 500 lines.
    void OpenRunLog();
    // Writes the kept lines to their file when save at exit is set; once per run.
    void SaveLogAtExit();

    // The directory the running program was started from, ending in "/": the directory
    // of the executable file, else that of `argv0`, else the current directory.
    static std::string ProgramDirectory(const char* argv0);

  private:
    std::unique_ptr<platform::Profile> profile_;
    bool log_saved_ = false;
};
