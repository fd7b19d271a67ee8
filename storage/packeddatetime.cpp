#include "storage/packeddatetime.h"

#include <langinfo.h>

#include <cstdio>

#include "platform/core/clock.h"

uint32_t PackDate(int year, int month, int day) {
    return static_cast<uint32_t>(day & 0xFF) | static_cast<uint32_t>(month & 0xFF) << 8 |
           static_cast<uint32_t>(year & 0xFFFF) << 16;
}

int DateYear(uint32_t date) {
    return static_cast<int>(date >> 16);
}

int DateMonth(uint32_t date) {
    return static_cast<int>((date >> 8) & 0xFF);
}

int DateDay(uint32_t date) {
    return static_cast<int>(date & 0xFF);
}

int DaysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) {
        return 0;
    }
    if (month == 2 && year % 4 == 0) {
        return 29;
    }
    return kDays[month - 1];
}

bool IsValidDate(uint32_t date) {
    const int year = DateYear(date);
    const int month = DateMonth(date);
    const int day = DateDay(date);
    return year >= 1901 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(year, month);
}

uint32_t PackTime(int hour, int minute, int second, int hundredths) {
    return static_cast<uint32_t>(hundredths & 0xFF) | static_cast<uint32_t>(second & 0xFF) << 8 |
           static_cast<uint32_t>(minute & 0xFF) << 16 | static_cast<uint32_t>(hour & 0xFF) << 24;
}

int TimeHour(uint32_t time) {
    return static_cast<int>(time >> 24);
}

int TimeMinute(uint32_t time) {
    return static_cast<int>((time >> 16) & 0xFF);
}

int TimeSecond(uint32_t time) {
    return static_cast<int>((time >> 8) & 0xFF);
}

int TimeHundredths(uint32_t time) {
    return static_cast<int>(time & 0xFF);
}

namespace {

int Compare(uint32_t a, uint32_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace

// Both packings put the most significant part in the highest byte, so the plain
// unsigned values order as the calendar does.
int CompareDates(uint32_t a, uint32_t b) {
    return Compare(a, b);
}

int CompareTimes(uint32_t a, uint32_t b) {
    return Compare(a, b);
}

uint32_t TodayDate() {
    const std::tm now = platform::LocalNow();
    return PackDate(now.tm_year + 1900, now.tm_mon + 1, now.tm_mday);
}

uint32_t NowTime() {
    const std::tm now = platform::LocalNow();
    return PackTime(now.tm_hour, now.tm_min, now.tm_sec, 0);
}

DateTextFormat DateFormatFromPattern(std::string_view pattern) {
    enum Field { kNone, kDay, kMonth, kYear };
    Field first = kNone;
    char separator = 0;
    const auto note = [&](Field field) {
        if (first == kNone) {
            first = field;
        }
    };
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c != '%') {
            if (first != kNone && separator == 0 && c != ' ') {
                separator = c;
            }
            continue;
        }
        // Skip flags, widths and the E/O modifiers between '%' and the conversion.
        size_t j = i + 1;
        while (j < pattern.size() &&
               std::string_view("_-0^#EO123456789").find(pattern[j]) != std::string_view::npos) {
            ++j;
        }
        if (j >= pattern.size()) {
            break;
        }
        switch (pattern[j]) {
            case 'd':
            case 'e':
                note(kDay);
                break;
            case 'm':
            case 'b':
            case 'B':
            case 'h':
                note(kMonth);
                break;
            case 'y':
            case 'Y':
            case 'G':
            case 'g':
                note(kYear);
                break;
            case 'D':  // %m/%d/%y
                note(kMonth);
                note(kDay);
                if (separator == 0) {
                    separator = '/';
                }
                break;
            case 'F':  // %Y-%m-%d
                note(kYear);
                note(kMonth);
                if (separator == 0) {
                    separator = '-';
                }
                break;
            default:
                break;
        }
        i = j;
    }
    DateTextFormat format;
    format.day_first = first == kDay || first == kYear;
    format.separator = (separator == '/' || separator == '-' || separator == '.') ? separator : '/';
    return format;
}

DateTextFormat LocaleDateFormat() {
    return DateFormatFromPattern(nl_langinfo(D_FMT));
}

std::string DateText(uint32_t date, const DateTextFormat& format) {
    const int first = format.day_first ? DateDay(date) : DateMonth(date);
    const int second = format.day_first ? DateMonth(date) : DateDay(date);
    char text[32];
    std::snprintf(text, sizeof text, "%02d%c%02d%c%04d", first, format.separator, second,
                  format.separator, DateYear(date));
    return text;
}

std::string TimeText(uint32_t time) {
    const int hour = TimeHour(time);
    const int shown = hour % 12 == 0 ? 12 : hour % 12;
    char text[32];
    std::snprintf(text, sizeof text, "%d:%.2d %s", shown, TimeMinute(time),
                  hour >= 12 ? "pm" : "am");
    return text;
}

uint32_t ParseDateText(std::string_view text, bool day_first) {
    constexpr int kMonth = 0;
    constexpr int kDay = 1;
    constexpr int kYear = 2;
    const int order[3] = {day_first ? kDay : kMonth, day_first ? kMonth : kDay, kYear};
    const int limit[3] = {12, 31, 2099};

    int value[3] = {0, 0, 0};  // by field: month, day, year
    int position = 0;          // index into `order`
    for (const char c : text) {
        if (c == ' ') {
            continue;
        }
        if (c >= '0' && c <= '9') {
            const int digit = c - '0';
            const int field = order[position];
            const int grown = value[field] * 10 + digit;
            if (grown <= limit[field]) {
                value[field] = grown;
                continue;
            }
            // The field is complete; this digit starts the next one.
            if (++position > 2) {
                return 0;
            }
            value[order[position]] = digit;
            continue;
        }
        if (c == '-' || c == '.' || c == '/') {
            if (++position > 2) {
                return 0;
            }
            continue;
        }
        return 0;
    }

    int year = value[kYear];
    if (year < 100) {
        year += year < 20 ? 2000 : 1900;
    }
    const int month = value[kMonth];
    const int day = value[kDay];
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
        return 0;
    }
    return PackDate(year, month, day);
}
