#include "engine/schedule.h"

#include <tuple>

#include "storage/packeddatetime.h"

namespace {

constexpr int kFirstYear = 1970;
constexpr int kLastYear = 2038;

// Year, month, day, hour, minute, second, in the order they compare.
using Moment = std::tuple<int, int, int, int, int, int>;

Moment ReadMoment(uint32_t date, uint32_t time) {
    int year = DateYear(date);
    int month = DateMonth(date);
    int day = DateDay(date);
    if (date == 0 || year < kFirstYear || year > kLastYear) {
        year = kFirstYear;
    }
    if (month < 1 || month > 12) {
        month = 1;
    }
    if (day < 1 || day > DaysInMonth(year, month)) {
        day = 1;
    }
    int hour = TimeHour(time);
    int minute = TimeMinute(time);
    int second = TimeSecond(time);
    if (hour >= 24) {
        hour = 0;
    }
    if (minute >= 60) {
        minute = 0;
    }
    if (second >= 60) {
        second = 0;
    }
    return {year, month, day, hour, minute, second};
}

}  // namespace

bool ScheduleIsLater(uint32_t schedule_date, uint32_t schedule_time, uint32_t reference_date,
                     uint32_t reference_time) {
    return ReadMoment(schedule_date, schedule_time) > ReadMoment(reference_date, reference_time);
}

bool ScheduleIsInFuture(uint32_t schedule_date, uint32_t schedule_time) {
    return ScheduleIsLater(schedule_date, schedule_time, TodayDate(), NowTime());
}
