#include "storage/numbertext.h"

#include <charconv>
#include <climits>
#include <clocale>
#include <cmath>
#include <mutex>

namespace {

// localeconv() fills one static structure; callers on the engine and user-interface
// threads take turns through this mutex.
std::mutex g_localeconv_mutex;

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

std::string GroupDigits(const std::string& digits, const NumberTextFormat& format) {
    if (format.thousands_separator.empty() || format.grouping.empty()) {
        return digits;
    }
    // Walk from the right, cutting groups of the sizes the grouping names; the last size
    // repeats, and CHAR_MAX (or a size of 0 or less) stops the grouping.
    std::string grouped;
    size_t end = digits.size();
    size_t rule = 0;
    int size = 0;
    while (end > 0) {
        if (rule < format.grouping.size()) {
            size = static_cast<unsigned char>(format.grouping[rule++]);
        }
        if (size <= 0 || size == CHAR_MAX || static_cast<size_t>(size) >= end) {
            grouped.insert(0, digits.substr(0, end));
            break;
        }
        grouped.insert(0, format.thousands_separator + digits.substr(end - size, size));
        end -= static_cast<size_t>(size);
    }
    return grouped;
}

}  // namespace

NumberTextFormat MonetaryNumberFormat() {
    NumberTextFormat format;
    std::lock_guard lock(g_localeconv_mutex);
    const std::lconv* conv = std::localeconv();
    if (conv->mon_decimal_point && *conv->mon_decimal_point) {
        format.decimal_point = conv->mon_decimal_point;
    }
    if (conv->mon_thousands_sep) {
        format.thousands_separator = conv->mon_thousands_sep;
    }
    if (conv->mon_grouping) {
        format.grouping = conv->mon_grouping;
    }
    return format;
}

std::string NumberText(double value, int decimals, const NumberTextFormat& format) {
    constexpr double kLargest = 999999999999.99;
    if (!(std::fabs(value) <= kLargest)) {
        return "**********";
    }
    char printed[512];
    const auto result = std::to_chars(printed, printed + sizeof printed, std::fabs(value),
                                      std::chars_format::fixed, decimals < 0 ? 0 : decimals);
    if (result.ec != std::errc()) {
        return "**********";
    }
    const std::string magnitude(printed, result.ptr);
    const size_t point = magnitude.find('.');
    std::string text = GroupDigits(magnitude.substr(0, point), format);
    if (point != std::string::npos) {
        text += format.decimal_point + magnitude.substr(point + 1);
    }
    if (value < 0) {
        text.insert(0, "-");
    }
    return Trim(text);
}

std::string NumberText(double value, int decimals) {
    return NumberText(value, decimals, MonetaryNumberFormat());
}
