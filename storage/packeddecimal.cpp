#include "storage/packeddecimal.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

double RoundToDecimals(double value, int decimals) {
    static constexpr double kScale[7] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    if (decimals < 0 || decimals > 6) {
        return value;
    }
    const double scale = kScale[decimals];
    double whole = 0;
    const double fraction = std::modf(std::fabs(value) * scale, &whole);
    if (fraction > 0.5 || (fraction > 0.49999 && fraction < 0.50001)) {
        whole += 1;
    }
    const double magnitude = whole / scale;
    return value < 0 ? -magnitude : magnitude;
}

bool PackDecimal(double value, int decimals, uint8_t* out, size_t size) {
    if (size < 1 || size > kMaxPackedSize || !std::isfinite(value) || decimals < 0) {
        return false;
    }
    const bool negative = value < 0;
    // Locale-independent "%.*f" of the magnitude.
    char printed[1024];
    const auto result = std::to_chars(printed, printed + sizeof printed, std::fabs(value),
                                      std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) {
        return false;
    }
    std::string digits;
    for (const char* p = printed; p < result.ptr; ++p) {
        if (*p != '.') {
            digits += *p;
        }
    }
    const size_t room = 2 * size - 1;
    if (digits.size() > room) {
        return false;
    }
    digits.insert(0, room - digits.size(), '0');
    const bool all_zero = digits.find_first_not_of('0') == std::string::npos;
    digits += static_cast<char>(negative && !all_zero ? 0xD : 0xC);

    uint8_t packed[kMaxPackedSize];
    for (size_t i = 0; i < size; ++i) {
        const auto nibble = [&](size_t at) {
            const char c = digits[at];
            return static_cast<uint8_t>(c >= '0' && c <= '9' ? c - '0' : c);
        };
        packed[i] = static_cast<uint8_t>(nibble(2 * i) << 4 | nibble(2 * i + 1));
    }
    std::memcpy(out, packed, size);
    return true;
}

double UnpackDecimal(const uint8_t* data, size_t size, int decimals) {
    if (size < 1 || size > kMaxPackedSize || decimals < 0) {
        return 0;
    }
    std::string digits;
    for (size_t i = 0; i < 2 * size - 1; ++i) {
        const uint8_t byte = data[i / 2];
        const int nibble = i % 2 == 0 ? byte >> 4 : byte & 0x0F;
        // A nibble that is no digit ends the number, as a text conversion would.
        digits += nibble <= 9 ? static_cast<char>('0' + nibble) : 'x';
    }
    const bool negative = (data[size - 1] & 0x0F) == 0xD;
    const size_t point = static_cast<size_t>(decimals);
    if (digits.size() <= point) {
        digits.insert(0, point + 1 - digits.size(), '0');
    }
    digits.insert(digits.size() - point, 1, '.');
    double value = 0;
    std::from_chars(digits.data(), digits.data() + digits.size(), value, std::chars_format::fixed);
    return negative ? -value : value;
}
