#pragma once
// Engine work for timer and thread tests: counts every call, remembers when the
// send and receive work and the host polls ran (by the clock seam), and runs an
// optional action inside the send work (a transport wait, a long cycle).

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/tvenginework.h"
#include "platform/core/clock.h"
#include "tests/support/scopedenv.h"

class EngineTestWork : public tvEngineWork {
  public:
    using Time = std::chrono::system_clock::time_point;

    void ReloadChangedSettings() override { ++reloads; }
    void SendWork() override {
        {
            std::lock_guard lock(mutex);
            send_times.push_back(platform::CurrentClock().Now());
            send_thread = std::this_thread::get_id();
        }
        if (during_send) {
            during_send();
        }
    }
    std::chrono::seconds SendInterval() const override { return send_interval.load(); }
    bool ReceiveWorkAllowed() override { return receive_allowed.load(); }
    void ReceiveWork() override {
        std::lock_guard lock(mutex);
        receive_times.push_back(platform::CurrentClock().Now());
    }
    std::chrono::seconds ReceiveInterval() const override { return receive_interval.load(); }
    void PollHost() override {
        std::lock_guard lock(mutex);
        poll_times.push_back(platform::CurrentClock().Now());
    }

    std::vector<Time> SendTimes() const {
        std::lock_guard lock(mutex);
        return send_times;
    }
    std::vector<Time> ReceiveTimes() const {
        std::lock_guard lock(mutex);
        return receive_times;
    }
    std::vector<Time> PollTimes() const {
        std::lock_guard lock(mutex);
        return poll_times;
    }

    std::atomic<std::chrono::seconds> send_interval{std::chrono::seconds(60)};
    std::atomic<std::chrono::seconds> receive_interval{std::chrono::seconds(60)};
    std::atomic<bool> receive_allowed{true};
    std::atomic<int> reloads{0};
    // Runs inside SendWork on the engine thread; set before the engine starts.
    std::function<void()> during_send;

    mutable std::mutex mutex;
    std::vector<Time> send_times;     // guarded by mutex
    std::vector<Time> receive_times;  // guarded by mutex
    std::vector<Time> poll_times;     // guarded by mutex
    std::thread::id send_thread;      // guarded by mutex
};

// Installs a manual clock for one test, in UTC so that local minutes are plain, set
// to the given local date and time.
class ManualClockScope {
  public:
    ManualClockScope(int year, int month, int day, int hour, int minute, int second)
        : tz_("TZ", "UTC"), clock(platform::MakeLocalTime(year, month, day, hour, minute, second)) {
        platform::SetClock(&clock);
    }
    ~ManualClockScope() { platform::SetClock(nullptr); }
    ManualClockScope(const ManualClockScope&) = delete;
    ManualClockScope& operator=(const ManualClockScope&) = delete;

  private:
    ScopedEnv tz_;

  public:
    platform::ManualClock clock;
};
