#include "platform/core/clock.h"

#include <gtest/gtest.h>

#include "tests/support/scopedenv.h"

namespace {

TEST(ClockTest, ManualClockMovesBothTimeLinesAndIsInstalledProcessWide) {
    ScopedEnv tz("TZ", "UTC");
    platform::ManualClock clock(platform::MakeLocalTime(2026, 1, 31, 23, 59, 30));
    platform::SetClock(&clock);
    const auto steady_before = platform::CurrentClock().Steady();
    clock.Advance(std::chrono::seconds(45));
    const std::tm now = platform::LocalNow();
    EXPECT_EQ(now.tm_mon, 1);  // February
    EXPECT_EQ(now.tm_mday, 1);
    EXPECT_EQ(now.tm_sec, 15);
    EXPECT_EQ(platform::CurrentClock().Steady() - steady_before, std::chrono::seconds(45));

    clock.Set(platform::MakeLocalTime(2020, 1, 1));  // wall time back; steady stays
    EXPECT_EQ(platform::CurrentClock().Steady() - steady_before, std::chrono::seconds(45));
    platform::SetClock(nullptr);
    EXPECT_GT(platform::LocalNow().tm_year, 120);
}

}  // namespace
