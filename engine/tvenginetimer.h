#pragma once
// The engine's timer procedure and work cycle, with the flags the user-interface
// thread uses to start, stop and refresh the engine.
//
// States: created (the timer procedure does nothing), running (MarkInitialised made
// the work due at once), stopped (the timer procedure saw the stop request, wrote
// "Server Stopped" and disarmed the timer). Every firing (TimerProc) acknowledges a
// stop request, polls the host at the first firing of a new clock minute and runs
// one work cycle (Tick). A cycle runs the send side when the send time has come and
// the receive side when the receive time has come; each next due time is one
// interval after the end of its work, so a long cycle does not make the next one
// due early. Only one cycle runs at a time in the process: a firing that arrives
// while a cycle is running (from a transport's wait, through PumpWhileWaiting) still
// polls the host, but its Tick returns at once, and it does not acknowledge a stop:
// the transport sees the request (StopRequested) and gives up its wait, and the stop
// is acknowledged by the first firing after the cycle is over, so "Server Stopped"
// is only ever said of an engine that has stopped working.
//
// Time: "now" always comes from the clock seam (platform::CurrentClock). Due times
// have whole-second resolution; the firing schedule uses the seam's monotonic time.
// Under a platform::ManualClock nothing fires until the test moves the clock, so a
// test can drive TimerProc (or FireIfDue, or PumpWhileWaiting) itself and run
// minutes of schedule in milliseconds.
//
// Threads: the flags (initialised, stop requested, stopped, settings changed) are
// atomics, set from the user-interface thread and read on the engine thread.
// Everything else (firing schedule, due times, poll time) belongs to the engine
// thread: Arm, FireIfDue, PumpWhileWaiting, TimerProc and Tick run there only.

#include <atomic>
#include <chrono>

#include "engine/tvenginereporter.h"
#include "engine/tvenginework.h"

class tvEngineTimer {
  public:
    using Seconds = std::chrono::sys_seconds;

    static constexpr std::chrono::milliseconds kPeriod{1000};
    static constexpr const char* kServerReady = "Server Ready";
    static constexpr const char* kServerStopped = "Server Stopped";

    // The work and the reporter must outlive the timer.
    tvEngineTimer(tvEngineWork& work, tvEngineReporter& reporter,
                  std::chrono::milliseconds period = kPeriod);
    tvEngineTimer(const tvEngineTimer&) = delete;
    tvEngineTimer& operator=(const tvEngineTimer&) = delete;

    // --- user-interface thread (any thread) ---

    // Makes the send and receive work due now, then lets the timer procedure work.
    void MarkInitialised();
    bool IsInitialised() const { return initialised_.load(std::memory_order_acquire); }
    // Raises the stop request; the next firing acknowledges it. Harmless when repeated.
    void RequestStop() { stop_requested_.store(true); }
    bool StopRequested() const { return stop_requested_.load(); }
    bool IsStopped() const { return stopped_.load(); }
    // The settings are to be reread at the next chance (initially they are).
    void MarkSettingsChanged() { settings_changed_.store(true); }
    // True once for every MarkSettingsChanged (and for the initial state); clears
    // the flag as it reads it, so a change marked while the settings are being read
    // is read again next time.
    bool ConsumeSettingsChanged() { return settings_changed_.exchange(false); }

    // --- engine thread ---

    // The timer starts: the first firing is one period from now.
    void Arm();
    // False before Arm and after the stop was acknowledged.
    bool Armed() const { return armed_; }
    std::chrono::milliseconds Period() const { return period_; }
    // Time until the next firing is due (0 when due; the period when not armed).
    std::chrono::milliseconds TimeUntilFiring() const;
    // Runs TimerProc when armed and the firing is due; the next firing is then one
    // period away. Returns whether it fired.
    bool FireIfDue();
    // The hook transports call while they wait: a firing when one is due.
    void PumpWhileWaiting() { static_cast<void>(FireIfDue()); }

    // One firing of the timer (see the file comment).
    void TimerProc();
    // One work cycle; returns at once when stopping or while another cycle runs.
    void Tick();

    Seconds NextSendTime() const { return next_send_; }
    Seconds NextReceiveTime() const { return next_receive_; }
    // True while a work cycle runs anywhere in the process.
    static bool CycleRunning();

  private:
    static Seconds NowSeconds();

    tvEngineWork& work_;
    tvEngineReporter& reporter_;
    const std::chrono::milliseconds period_;

    std::atomic<bool> initialised_{false};
    std::atomic<bool> stop_requested_{false};
    std::atomic<bool> stopped_{false};
    std::atomic<bool> settings_changed_{true};

    // Engine thread only; the due times are written by MarkInitialised before the
    // initialised flag is released, and only read after it has been seen.
    bool armed_ = false;
    std::chrono::steady_clock::time_point next_firing_{};
    bool first_call_done_ = false;
    std::chrono::system_clock::time_point last_poll_{};
    Seconds next_send_{};
    Seconds next_receive_{};
};
