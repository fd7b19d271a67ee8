#pragma once
// Packed dates and times, the 32-bit forms records store, and their texts.
//
// Date: byte 0 day, byte 1 month, bytes 2-3 the year (little-endian). Read as one
// little-endian unsigned integer, dates order by year, month, day.
// Time: byte 0 hundredths, byte 1 seconds, byte 2 minutes, byte 3 hours (0-23).
// The value 0 means "no date" or "no time".

#include <cstdint>
#include <string>
#include <string_view>

uint32_t PackDate(int year, int month, int day);
int DateYear(uint32_t date);
int DateMonth(uint32_t date);
int DateDay(uint32_t date);
// Year 1901 or later, month 1-12, day within the month; February has 29 days in
// every year divisible by 4.
bool IsValidDate(uint32_t date);
int DaysInMonth(int year, int month);

uint32_t PackTime(int hour, int minute, int second, int hundredths = 0);
int TimeHour(uint32_t time);
int TimeMinute(uint32_t time);
int TimeSecond(uint32_t time);
int TimeHundredths(uint32_t time);

// -1, 0 or 1: dates by year, month, day; times by hours, minutes, seconds, hundredths.
int CompareDates(uint32_t a, uint32_t b);
int CompareTimes(uint32_t a, uint32_t b);

// Today and the time of day to the second (hundredths 0), from the clock seam.
uint32_t TodayDate();
uint32_t NowTime();

// How dates are written: field order and the separator between the fields.
struct DateTextFormat {
    bool day_first = false;  // day, month, year instead of month, day, year
    char separator = '/';
};

// The format a strftime date pattern describes ("%m/%d/%y" gives month first and
// "/"). A year-first pattern is written day first, since typed dates are read in
// month-first or day-first order only; a separator other than "/", "-" or "." is
// written as "/".
DateTextFormat DateFormatFromPattern(std::string_view pattern);
// The format of the user's locale (its short date pattern); the C locale gives
// month/day/year.
DateTextFormat LocaleDateFormat();

// "07/09/2010": two-digit day and month and a four-digit year, in the given format.
// The caller has checked that the date is valid.
std::string DateText(uint32_t date, const DateTextFormat& format);
// "1:05 pm": hour on a 12-hour clock (0 shown as 12), two-digit minutes, "am"/"pm".
std::string TimeText(uint32_t time);

// Reads a typed date in month-day-year order, or day-month-year with `day_first`.
// Blanks are skipped; "-", "." and "/" end a field; a digit that would take a field
// past its limit (month 12, day 31, year 2099) starts the next field, so "070910"
// reads as 07, 09, 10. Years below 100 (a missing year too) become 20xx below 20 and
// 19xx otherwise. Returns the packed date, or 0 for anything that is not a date.
uint32_t ParseDateText(std::string_view text, bool day_first);
