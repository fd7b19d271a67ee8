#pragma once
// The application's in-memory event log and its one message-box funnel.
//
// Every layer reports diagnostics here under a category bit (logcategory.h). The log
// keeps nothing until it is opened; while open, an event is kept when its category is
// 0 or shares a bit with the mask. The newest `MaxLines()` lines are kept, oldest
// first, each prefixed with the local time as "Tue 9:05 PM ".
//
// Threads: the user-interface thread and the engine thread both add events. The
// lines are guarded by `mutex_`; the flags are atomics, so every public operation may
// be called from any thread. MessageBox shows a dialog only on the user-interface
// thread and only through an installed presenter; anywhere else the text becomes a
// category-0x0002 event and the answer is OK, so the engine never blocks on a dialog.

#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "log/logcategory.h"
#include "log/messagebox.h"

class cvEventLog {
  public:
    // Shows a dialog on the user-interface thread and returns the button pressed.
    using Presenter = std::function<int(const std::string& text, unsigned style, unsigned help_id)>;
    // Aborts the record-manager transaction a save holds open (installed by storage).
    using AbortHook = std::function<void()>;
    // Plays a sound file without waiting; a missing file plays nothing.
    using SoundHook = std::function<void(const std::string& path)>;
    // Hands a saved log file to a viewer without waiting; failures are ignored.
    using ViewerHook = std::function<void(const std::string& path)>;

    static constexpr size_t kDefaultMaxLines = 500;
    static constexpr size_t kFormatLimit = 511;

    // Created closed, mask 0, capacity 500; the constructing thread is the
    // user-interface thread until SetUserInterfaceThread says otherwise.
    cvEventLog();
    virtual ~cvEventLog();
    cvEventLog(const cvEventLog&) = delete;
    cvEventLog& operator=(const cvEventLog&) = delete;

    // Keeps one line (time prefix + text) when IsLogging(category).
    virtual void AddEvent(uint32_t category, const std::string& text);
    // printf-style; output longer than 511 characters is cut at 511.
    virtual void LogEvent(uint32_t category, const char* format, ...)
        __attribute__((format(printf, 3, 4)));
    // Shows a message box or logs it (see the file comment); returns a MessageBoxAnswer.
    virtual int MessageBox(const std::string& text, unsigned style = kMbOk, unsigned help_id = 0);

    bool IsLogging(uint32_t category) const;
    void OpenLog();
    bool IsOpen() const { return open_.load(); }
    uint32_t CategoryMask() const { return mask_.load(); }
    void SetCategoryMask(uint32_t mask) { mask_.store(mask); }
    size_t MaxLines() const;
    // Capacity of at least 1; excess oldest lines are dropped at once.
    void SetMaxLines(size_t max_lines);

    // Copy of the kept lines, oldest first.
    std::vector<std::string> Lines() const;
    void Clear();

    // Writes the lines to SaveDirectory() + "%Y%m%d.log" (replacing a file of the same
    // day), trimmed and non-empty lines each followed by one line feed, then hands the
    // file to the viewer. Returns false (writing nothing) when the file cannot be
    // created; the program treats that as silent.
    bool SaveLog();

    bool SaveAtExit() const { return save_at_exit_.load(); }
    void SetSaveAtExit(bool on) { save_at_exit_.store(on); }
    bool UserInterfaceAvailable() const { return ui_available_.load(); }
    void SetUserInterfaceAvailable(bool on) { ui_available_.store(on); }
    void SetUserInterfaceThread(std::thread::id id);
    bool OnUserInterfaceThread() const;

    // Directory of saved logs and of "bomb.wav"; a trailing '/' is added when missing.
    std::string SaveDirectory() const;
    void SetSaveDirectory(const std::string& directory);

    // Set while the outermost business-object save holds a record-manager
    // transaction open; a message box shown on the UI thread meanwhile aborts it.
    bool TransactionOpen() const { return transaction_open_.load(); }
    void SetTransactionOpen(bool open) { transaction_open_.store(open); }

    void SetPresenter(Presenter presenter);
    void SetAbortHook(AbortHook hook);
    void SetSoundHook(SoundHook hook);
    // Hands a sound file to the sound hook without waiting; nothing without a hook.
    void PlaySound(const std::string& path);
    // The default viewer runs `xdg-open` when a desktop session exists.
    void SetViewerHook(ViewerHook hook);
    // Copies every kept line to a stream as well (headless runs use standard error).
    void SetEchoStream(std::FILE* stream);

  private:
    Presenter presenter() const;

    mutable std::mutex mutex_;
    std::deque<std::string> lines_;        // guarded by mutex_
    size_t max_lines_ = kDefaultMaxLines;  // guarded by mutex_
    std::string save_directory_;           // guarded by mutex_
    Presenter presenter_;                  // guarded by mutex_
    AbortHook abort_hook_;                 // guarded by mutex_
    SoundHook sound_hook_;                 // guarded by mutex_
    ViewerHook viewer_hook_;               // guarded by mutex_
    std::FILE* echo_ = nullptr;            // guarded by mutex_
    std::thread::id ui_thread_;            // guarded by mutex_

    std::atomic<bool> open_{false};
    std::atomic<uint32_t> mask_{0};
    std::atomic<bool> save_at_exit_{false};
    std::atomic<bool> ui_available_{true};
    std::atomic<bool> transaction_open_{false};
};

// The application's event log: one per process, created on first use. The
// application configures it at start-up; every layer logs into it.
cvEventLog& EventLog();

// Starts `xdg-open path` detached when DISPLAY or WAYLAND_DISPLAY is set; returns
// false when no desktop session exists or the viewer cannot be started.
bool OpenWithDesktopViewer(const std::string& path);
