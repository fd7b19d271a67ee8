#pragma once
// The process-wide clock seam. Everything that asks "what time is it" goes through
// CurrentClock(), so tests can install a ManualClock and run hours of schedule in
// milliseconds. The system clock is used until a test installs another.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>

namespace platform {

class Clock {
  public:
    virtual ~Clock() = default;
    // Wall-clock time; local dates and times are derived from it.
    virtual std::chrono::system_clock::time_point Now() const = 0;
    // Monotonic time, for intervals and time-outs.
    virtual std::chrono::steady_clock::time_point Steady() const = 0;
};

class SystemClock final : public Clock {
  public:
    std::chrono::system_clock::time_point Now() const override;
    std::chrono::steady_clock::time_point Steady() const override;
};

// A clock that moves only when told to. Thread-safe: the engine thread may read it
// while a test thread advances it. Both time lines advance together.
class ManualClock final : public Clock {
  public:
    explicit ManualClock(std::chrono::system_clock::time_point start);
    std::chrono::system_clock::time_point Now() const override;
    std::chrono::steady_clock::time_point Steady() const override;
    void Advance(std::chrono::milliseconds step);
    void Set(std::chrono::system_clock::time_point now);

  private:
    std::atomic<int64_t> wall_ms_;
    std::atomic<int64_t> steady_ms_;
};

// The installed clock (never null).
const Clock& CurrentClock();
// Installs a clock for the whole process; nullptr restores the system clock. The
// caller keeps ownership and must keep it alive while installed.
void SetClock(const Clock* clock);

// Local broken-down time of a time point, or of CurrentClock().Now().
std::tm LocalTime(std::chrono::system_clock::time_point when);
std::tm LocalNow();
// Builds a wall-clock time point from local calendar fields (month 1..12).
std::chrono::system_clock::time_point MakeLocalTime(int year, int month, int day, int hour = 0,
                                                    int minute = 0, int second = 0);

}  // namespace platform
