#include "engine/tvenginetimer.h"

#include <algorithm>

#include "platform/core/clock.h"

namespace {

// Set while a work cycle runs; one engine per process, so one flag for the process.
std::atomic<bool> g_cycle_running{false};

int LocalMinute(std::chrono::system_clock::time_point when) {
    return platform::LocalTime(when).tm_min;
}

}  // namespace

tvEngineTimer::tvEngineTimer(tvEngineWork& work, tvEngineReporter& reporter,
                             std::chrono::milliseconds period)
    : work_(work), reporter_(reporter), period_(period) {}

tvEngineTimer::Seconds tvEngineTimer::NowSeconds() {
    return std::chrono::floor<std::chrono::seconds>(platform::CurrentClock().Now());
}

bool tvEngineTimer::CycleRunning() {
    return g_cycle_running.load();
}

void tvEngineTimer::MarkInitialised() {
    next_send_ = NowSeconds();
    next_receive_ = next_send_;
    initialised_.store(true, std::memory_order_release);
}

void tvEngineTimer::Arm() {
    armed_ = true;
    next_firing_ = platform::CurrentClock().Steady() + period_;
}

std::chrono::milliseconds tvEngineTimer::TimeUntilFiring() const {
    if (!armed_) {
        return period_;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        next_firing_ - platform::CurrentClock().Steady());
    return std::max(left, std::chrono::milliseconds(0));
}

bool tvEngineTimer::FireIfDue() {
    if (!armed_) {
        return false;
    }
    const auto now = platform::CurrentClock().Steady();
    if (now < next_firing_) {
        return false;
    }
    next_firing_ = now + period_;
    TimerProc();
    return true;
}

void tvEngineTimer::TimerProc() {
    if (!first_call_done_) {
        first_call_done_ = true;
        last_poll_ = platform::CurrentClock().Now();
    }
    if (!IsInitialised()) {
        return;
    }
    if (StopRequested()) {
        if (CycleRunning()) {
            // A firing from inside a transport's wait: the cycle is still running, and
            // the stop is acknowledged once it is over.
            return;
        }
        armed_ = false;
        reporter_.SetStatusLine(kServerStopped);
        stopped_.store(true);
        return;
    }
    if (LocalMinute(platform::CurrentClock().Now()) != LocalMinute(last_poll_)) {
        work_.PollHost();
        last_poll_ = platform::CurrentClock().Now();
    }
    Tick();
}

void tvEngineTimer::Tick() {
    if (StopRequested() || g_cycle_running.exchange(true)) {
        return;
    }
    work_.ReloadChangedSettings();
    if (NowSeconds() >= next_send_) {
        work_.SendWork();
        next_send_ = NowSeconds() + work_.SendInterval();
    }
    if (work_.ReceiveWorkAllowed() && NowSeconds() >= next_receive_) {
        work_.ReceiveWork();
        next_receive_ = NowSeconds() + work_.ReceiveInterval();
    }
    // A cycle cut short by a stop request leaves the status to the acknowledgement.
    if (!StopRequested()) {
        reporter_.SetStatusLine(kServerReady);
    }
    g_cycle_running.store(false);
}
