#pragma once
// The status line of the Server view: one text the engine thread sets and the
// user-interface thread shows.
//
// The line exists from construction until Close (the window went away); setting the
// text of a closed line does nothing and reports failure.
//
// Threads: every operation may be called from any thread. `mutex_` guards the text
// and the open state for the whole of one update; the listener is told after the
// change, outside `mutex_` but under `notify_mutex_`, so that listeners see texts in
// the order they were set. A listener may read the line but must not set it.

#include <functional>
#include <mutex>
#include <string>

class cvStatusStatic {
  public:
    using Listener = std::function<void(const std::string& text)>;

    explicit cvStatusStatic(std::string text = {});
    cvStatusStatic(const cvStatusStatic&) = delete;
    cvStatusStatic& operator=(const cvStatusStatic&) = delete;

    // Replaces the text and tells the listener. Returns false, changing nothing, once
    // the line is closed.
    [[nodiscard]] bool SetText(const std::string& text);
    std::string Text() const;

    // The window is gone: later texts are refused.
    void Close();
    bool IsOpen() const;

    // Replaces the listener (empty: none).
    void SetListener(Listener listener);

  private:
    mutable std::mutex mutex_;
    std::string text_;  // guarded by mutex_
    bool open_ = true;  // guarded by mutex_

    std::mutex notify_mutex_;
    Listener listener_;  // guarded by notify_mutex_
};
