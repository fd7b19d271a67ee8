#include "storage/packeddatetime.h"

#include <gtest/gtest.h>

#include "platform/core/clock.h"
#include "tests/support/scopedenv.h"

namespace {

TEST(PackedDateTest, PacksDayMonthYearAndChecksValidity) {
    const uint32_t date = PackDate(2010, 7, 9);
    EXPECT_EQ(date, 0x07DA0709u);  // day byte, month byte, 16-bit year
    EXPECT_EQ(DateYear(date), 2010);
    EXPECT_EQ(DateMonth(date), 7);
    EXPECT_EQ(DateDay(date), 9);

    struct Case {
        int year, month, day;
        bool valid;
    };
    for (const Case c : {Case{2012, 2, 29, true}, Case{2011, 2, 29, false},
                         Case{1900, 2, 29, false},  // year before 1901
                         Case{2100, 2, 29, true},   // every fourth year, no century rule
                         Case{1901, 1, 1, true}, Case{2010, 13, 1, false}, Case{2010, 4, 31, false},
                         Case{2010, 12, 31, true}, Case{2010, 1, 0, false}}) {
        EXPECT_EQ(IsValidDate(PackDate(c.year, c.month, c.day)), c.valid)
            << c.year << "-" << c.month << "-" << c.day;
    }
    EXPECT_FALSE(IsValidDate(0));
}

TEST(PackedDateTest, PackedValuesOrderAsTheCalendar) {
    EXPECT_LT(CompareDates(PackDate(2009, 12, 31), PackDate(2010, 1, 1)), 0);
    EXPECT_GT(CompareDates(PackDate(2010, 2, 1), PackDate(2010, 1, 31)), 0);
    EXPECT_EQ(CompareDates(PackDate(2010, 2, 1), PackDate(2010, 2, 1)), 0);
    EXPECT_LT(CompareTimes(PackTime(9, 59, 59, 99), PackTime(10, 0, 0, 0)), 0);
    EXPECT_GT(CompareTimes(PackTime(10, 0, 0, 1), PackTime(10, 0, 0, 0)), 0);
}

TEST(PackedDateTest, TodayAndNowComeFromTheClockSeam) {
    ScopedEnv tz("TZ", "UTC");
    platform::ManualClock clock(platform::MakeLocalTime(2024, 2, 29, 23, 59, 58));
    platform::SetClock(&clock);
    EXPECT_EQ(TodayDate(), PackDate(2024, 2, 29));
    EXPECT_EQ(NowTime(), PackTime(23, 59, 58, 0));
    clock.Advance(std::chrono::seconds(3));
    EXPECT_EQ(TodayDate(), PackDate(2024, 3, 1));
    EXPECT_EQ(NowTime(), PackTime(0, 0, 1, 0));
    platform::SetClock(nullptr);
}

TEST(TimeTextTest, TwelveHourClockWithoutSeconds) {
    struct Case {
        uint32_t time;
        const char* text;
    };
    for (const Case c :
         {Case{PackTime(13, 5, 30, 0), "1:05 pm"}, Case{PackTime(0, 10, 0), "12:10 am"},
          Case{PackTime(12, 0, 0), "12:00 pm"}, Case{PackTime(11, 59, 59, 99), "11:59 am"},
          Case{PackTime(23, 1, 0), "11:01 pm"}}) {
        EXPECT_EQ(TimeText(c.time), c.text);
    }
}

TEST(DateFormatTest, OrderAndSeparatorFollowTheLocalePattern) {
    struct Case {
        const char* pattern;
        bool day_first;
        char separator;
    };
    for (const Case c : {Case{"%m/%d/%y", false, '/'},  // the C locale
                         Case{"%d.%m.%Y", true, '.'}, Case{"%d/%m/%Y", true, '/'},
                         Case{"%Y-%m-%d", true, '-'},  // year first is written day first
                         Case{"%D", false, '/'}, Case{"%F", true, '-'},
                         Case{"%e %B %Y", true, '/'},  // blank: written with "/"
                         Case{"%Om/%Od/%Ey", false, '/'}, Case{"", false, '/'}}) {
        const DateTextFormat format = DateFormatFromPattern(c.pattern);
        EXPECT_EQ(format.day_first, c.day_first) << c.pattern;
        EXPECT_EQ(format.separator, c.separator) << c.pattern;
    }
    const DateTextFormat c_locale = LocaleDateFormat();
    EXPECT_FALSE(c_locale.day_first);
    EXPECT_EQ(c_locale.separator, '/');
}

TEST(DateTextTest, FourDigitYearsThatParseBackInEveryOrder) {
    EXPECT_EQ(DateText(PackDate(2010, 7, 9), {false, '/'}), "07/09/2010");
    EXPECT_EQ(DateText(PackDate(2010, 7, 9), {true, '.'}), "09.07.2010");
    for (const uint32_t date : {PackDate(2010, 7, 9), PackDate(1901, 1, 1), PackDate(2099, 12, 31),
                                PackDate(1919, 11, 30), PackDate(2024, 2, 29)}) {
        for (const DateTextFormat format :
             {DateTextFormat{false, '/'}, DateTextFormat{true, '.'}, DateTextFormat{true, '-'}}) {
            EXPECT_EQ(ParseDateText(DateText(date, format), format.day_first), date)
                << DateText(date, format);
        }
    }
}

TEST(ParseDateTextTest, TypedDates) {
    struct Case {
        const char* text;
        bool day_first;
        uint32_t date;
    };
    const Case cases[] = {
        {"7/9/10", false, PackDate(2010, 7, 9)},
        {"7/9/10", true, PackDate(2010, 9, 7)},
        {"070910", false, PackDate(2010, 7, 9)},  // six digits, no separators
        {"07 09 10", false, PackDate(2010, 7, 9)},
        {" 7 - 9 . 2010 ", false, PackDate(2010, 7, 9)},
        {"1/1/19", false, PackDate(2019, 1, 1)},
        {"1/1/20", false, PackDate(1920, 1, 1)},
        {"1/1", false, PackDate(2000, 1, 1)},  // missing year
        {"12/31/2099", false, PackDate(2099, 12, 31)},
        {"2/29/2012", false, PackDate(2012, 2, 29)},
        {"2/29/2011", false, 0},
        {"2/30/2011", false, 0},
        {"30/2/2011", true, 0},
        {"131/2010", false, PackDate(2010, 1, 31)},  // "131" splits into month 1, day 31
        {"13/1/2010", false, 0},                     // month 1, day 3, year 1, then a 4th field
        {"1/1/2100", false, 0},                      // past 2099
        {"1/1/10/", false, 0},                       // separator after the year
        {"1/1/10x", false, 0},
        {"", false, 0},
        {"   ", false, 0},
        {"0/1/10", false, 0},
        {"1//10", false, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseDateText(c.text, c.day_first), c.date)
            << '"' << c.text << '"' << (c.day_first ? " day first" : "");
    }
}

}  // namespace
