#include "engine/schedule.h"

#include <gtest/gtest.h>

#include "storage/packeddatetime.h"
#include "tests/engine/enginetestwork.h"

namespace {

// Packs a date from raw fields, as a stored row may hold them.
uint32_t RawDate(int year, int month, int day) {
    return static_cast<uint32_t>(day & 0xFF) | static_cast<uint32_t>(month & 0xFF) << 8 |
           static_cast<uint32_t>(year & 0xFFFF) << 16;
}

TEST(ScheduleTest, StoredSchedulesReadLenientlyAgainstTheReference) {
    const uint32_t ref_date = PackDate(2024, 5, 1);
    const uint32_t ref_time = PackTime(10, 30, 0);
    struct Case {
        const char* what;
        uint32_t date;
        uint32_t time;
        bool later;
    };
    const Case cases[] = {
        {"same moment", ref_date, ref_time, false},
        {"one second later", ref_date, PackTime(10, 30, 1), true},
        {"one second earlier", ref_date, PackTime(10, 29, 59), false},
        {"hundredths do not count", ref_date, PackTime(10, 30, 0, 99), false},
        {"next day at midnight", PackDate(2024, 5, 2), 0, true},
        {"previous day, late", PackDate(2024, 4, 30), PackTime(23, 59, 59), false},
        {"ASAP", 0, PackTime(23, 59, 59), false},
        {"year before 1970", RawDate(1969, 12, 31), 0, false},
        {"year after 2038", RawDate(2039, 1, 1), 0, false},
        {"year 2038 is in range", RawDate(2038, 1, 1), 0, true},
        {"month 0 counts as January", RawDate(2024, 0, 15), 0, false},
        {"month 13 counts as January", RawDate(2025, 13, 15), 0, true},
        {"day 0 counts as the 1st", RawDate(2024, 5, 0), PackTime(10, 31, 0), true},
        {"day 32 counts as the 1st", RawDate(2024, 5, 32), PackTime(10, 29, 0), false},
        {"hour 24 counts as 0", PackDate(2024, 5, 1), PackTime(24, 0, 0), false},
        {"minute 60 counts as 0", PackDate(2024, 5, 1), PackTime(10, 60, 0), false},
        {"second 60 counts as 0", PackDate(2024, 5, 1), PackTime(10, 30, 60), false},
        {"minute 60 of a later hour", PackDate(2024, 5, 1), PackTime(11, 60, 0), true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScheduleIsLater(c.date, c.time, ref_date, ref_time), c.later) << c.what;
    }
    // A day beyond its month counts as the 1st of that month.
    EXPECT_FALSE(ScheduleIsLater(RawDate(2024, 6, 31), 0, PackDate(2024, 6, 15), 0));
    EXPECT_FALSE(ScheduleIsLater(RawDate(2023, 2, 29), 0, PackDate(2023, 2, 15), 0));
    EXPECT_TRUE(ScheduleIsLater(RawDate(2024, 2, 29), 0, PackDate(2024, 2, 15), 0));
}

TEST(ScheduleTest, AFutureScheduleBecomesDueWhenTheClockReachesIt) {
    ManualClockScope time{2024, 5, 1, 10, 0, 0};
    const uint32_t date = PackDate(2024, 5, 1);
    const uint32_t time_of_day = PackTime(10, 0, 5);
    EXPECT_TRUE(ScheduleIsInFuture(date, time_of_day));
    time.clock.Advance(std::chrono::seconds(5));
    EXPECT_FALSE(ScheduleIsInFuture(date, time_of_day));
}

}  // namespace
