#include "platform/core/clock.h"

namespace platform {
namespace {

const SystemClock kSystemClock;
std::atomic<const Clock*> g_clock{nullptr};

int64_t ToMs(std::chrono::system_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
}

}  // namespace

std::chrono::system_clock::time_point SystemClock::Now() const {
    return std::chrono::system_clock::now();
}

std::chrono::steady_clock::time_point SystemClock::Steady() const {
    return std::chrono::steady_clock::now();
}

ManualClock::ManualClock(std::chrono::system_clock::time_point start)
    : wall_ms_(ToMs(start)), steady_ms_(0) {}

std::chrono::system_clock::time_point ManualClock::Now() const {
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(wall_ms_.load()));
}

std::chrono::steady_clock::time_point ManualClock::Steady() const {
    return std::chrono::steady_clock::time_point(std::chrono::milliseconds(steady_ms_.load()));
}

void ManualClock::Advance(std::chrono::milliseconds step) {
    wall_ms_ += step.count();
    steady_ms_ += step.count();
}

void ManualClock::Set(std::chrono::system_clock::time_point now) {
    const int64_t target = ToMs(now);
    const int64_t delta = target - wall_ms_.exchange(target);
    if (delta > 0) {
        steady_ms_ += delta;  // the monotonic line never goes back
    }
}

const Clock& CurrentClock() {
    const Clock* clock = g_clock.load(std::memory_order_acquire);
    return clock ? *clock : kSystemClock;
}

void SetClock(const Clock* clock) {
    g_clock.store(clock, std::memory_order_release);
}

std::tm LocalTime(std::chrono::system_clock::time_point when) {
    const std::time_t t = std::chrono::system_clock::to_time_t(when);
    std::tm out{};
    localtime_r(&t, &out);
    return out;
}

std::tm LocalNow() {
    return LocalTime(CurrentClock().Now());
}

std::chrono::system_clock::time_point MakeLocalTime(int year, int month, int day, int hour,
                                                    int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(mktime(&tm));
}

}  // namespace platform
