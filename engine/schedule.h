#pragma once
// When a page message is due: its schedule (SCHEDDATE and SCHEDTIME, packed) read as
// one local date and time to the second, compared with a reference date and time.
//
// Stored schedules are read leniently, so that no stored value can keep a message
// from ever being sent: a date of 0 ("as soon as possible") or a year outside 1970 to
// 2038 counts as a day in 1970 (always due); a month or day of 0 or beyond its range
// counts as 1; an hour of 24 or more, and minutes or seconds of 60 or more, count as
// 0. Hundredths are not compared.

#include <cstdint>

// True when the schedule is later than the reference (a valid packed date and time,
// such as TodayDate() and NowTime()).
bool ScheduleIsLater(uint32_t schedule_date, uint32_t schedule_time, uint32_t reference_date,
                     uint32_t reference_time);

// True when the schedule is later than the clock seam's current local time.
bool ScheduleIsInFuture(uint32_t schedule_date, uint32_t schedule_time);
