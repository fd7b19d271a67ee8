// Typed dates: whatever ParseDateText accepts is a valid date of the calendar, and
// its text reads back to the same date in either field order.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "storage/packeddatetime.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const bool day_first : {false, true}) {
        const uint32_t date = ParseDateText(text, day_first);
        if (date == 0) {
            continue;
        }
        const int month = DateMonth(date);
        const int day = DateDay(date);
        if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(DateYear(date), month)) {
            std::abort();
        }
        const DateTextFormat format{day_first, '/'};
        if (DateYear(date) >= 1000 && ParseDateText(DateText(date, format), day_first) != date) {
            std::abort();
        }
    }
    return 0;
}
