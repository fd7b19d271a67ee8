#pragma once
// The engine thread: a thread of its own that runs the engine's timer (see
// tvenginetimer.h) until the stop has been acknowledged.
//
// Start creates the thread and waits for its start-up handshake: the thread runs the
// start hook (the engine brings up its socket support there), arms the timer and
// signals. When the signal does not come within the handshake time-out, Start shows
// "Initialization Error" and returns false; the thread, should it come up later,
// fires a timer that does nothing, since the engine never became initialised.
//
// The loop sleeps on a condition variable until the timer's next firing is due by
// the clock seam, then fires. Kick wakes it to look at the clock again, which is how
// a test that moves a platform::ManualClock gets the firings that became due (a kick
// never fires a timer that is not due). WaitForFirings lets the test wait for them.
//
// Shutdown (also run by the destructor) raises the stop request, wakes the loop,
// which acknowledges the stop with one last firing when the engine is running and
// not yet stopped, and joins the thread: the object is never destroyed while its
// thread runs. An engine that composes this class shuts it down before it tears down
// anything its work uses.
//
// Threads: Start, Kick, Shutdown and the queries are for the user-interface thread
// (or a test's); `mutex_` guards the hand-over between it and the engine thread.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "engine/tvenginetimer.h"

struct tvEngineThreadOptions {
    // How long Start waits for the thread to come up.
    std::chrono::milliseconds handshake_timeout{10000};
    // Runs first on the new thread, before the timer is armed and the handshake sent.
    std::function<void()> on_thread_start;
};

class tvEngineThread {
  public:
    static constexpr const char* kInitializationError = "Initialization Error";

    // The timer must outlive the thread object.
    explicit tvEngineThread(tvEngineTimer& timer, tvEngineThreadOptions options = {});
    ~tvEngineThread();
    tvEngineThread(const tvEngineThread&) = delete;
    tvEngineThread& operator=(const tvEngineThread&) = delete;

    // Creates the thread and waits for its handshake. Returns true when it came up in
    // time; false after "Initialization Error", or when called a second time.
    [[nodiscard]] bool Start();
    // Wakes the loop to look at the clock again.
    void Kick();
    // Stops the engine (see the file comment) and joins the thread. Idempotent.
    void Shutdown();

    // Outermost timer firings completed by the loop.
    uint64_t Firings() const;
    // Waits (in real time) until the loop has completed `count` firings, or its
    // thread has ended, at most `timeout`. Returns true when the count was reached.
    bool WaitForFirings(uint64_t count, std::chrono::milliseconds timeout);
    // True from the handshake until the loop ends.
    bool Running() const;

  private:
    void Run();
    void CountFiring();

    tvEngineTimer& timer_;
    const tvEngineThreadOptions options_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;   // the loop waits on it; guarded by mutex_
    std::condition_variable event_;  // handshake and firings; guarded by mutex_
    bool started_ = false;           // guarded by mutex_: the handshake was sent
    bool running_ = false;           // guarded by mutex_
    bool kicked_ = false;            // guarded by mutex_
    bool quit_ = false;              // guarded by mutex_
    uint64_t firings_ = 0;           // guarded by mutex_
    std::thread thread_;             // user-interface thread only
};
