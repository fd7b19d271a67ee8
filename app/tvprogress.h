#pragma once
// Progress of a long database operation (the backup and conversion of an upgrade): a
// title, a text line, a percentage and the operator's wish to cancel. The window that
// draws it belongs to the user interface; without one, tvConsoleProgress prints lines.
//
// Threads: called on the thread doing the work, which is the user-interface thread.

#include <atomic>
#include <cstdio>
#include <string>

class tvProgress {
  public:
    virtual ~tvProgress();

    // Shows the progress with its title; the percentage starts at 0.
    virtual void Begin(const std::string& title) = 0;
    virtual void SetText(const std::string& text) = 0;
    // 0 to 100; values outside are held at the ends.
    virtual void SetPercent(int percent) = 0;
    // Lets the user interface handle its pending events (the cancel button among them).
    virtual void Pump();
    // True once the operator asked to cancel.
    virtual bool Cancelled() const = 0;
    // Hides the progress.
    virtual void End() = 0;
};

// Prints the title and each text on a line of their own, and the percentage each time
// it passes another tenth, to a stream (standard output by default). Cancelled when the
// flag given is set (a signal handler may set it), else never.
class tvConsoleProgress : public tvProgress {
  public:
    explicit tvConsoleProgress(std::FILE* stream = stdout,
                               const std::atomic<bool>* cancel_flag = nullptr);

    void Begin(const std::string& title) override;
    void SetText(const std::string& text) override;
    void SetPercent(int percent) override;
    bool Cancelled() const override;
    void End() override;

  private:
    std::FILE* stream_;
    const std::atomic<bool>* cancel_flag_;
    int shown_tenth_ = -1;
};
