#pragma once
// Packed decimals (the Decimal and Money field types) and the rounding rule of
// floating fields.
//
// A packed field of n bytes holds 2n-1 decimal digits, two per byte with the first in
// the high half, and a sign nibble in the low half of the last byte: 0xC for zero and
// positive values, 0xD for negative ones; when read, only 0xD means negative. The
// last `decimals` digits are the fraction.

#include <cstddef>
#include <cstdint>

// Largest packed field the accessors handle, in bytes.
constexpr size_t kMaxPackedSize = 24;

// Rounds to `decimals` places (0 to 6; other counts leave the value unchanged). The
// magnitude rounds up when its fraction exceeds one half or lies strictly between
// 0.49999 and 0.50001, so a value such as 1.005 that binary floating point holds as
// 1.00499999... still rounds up.
double RoundToDecimals(double value, int decimals);

// Writes `value` with `decimals` fraction digits into `size` bytes (1 to 24). Returns
// false, leaving the bytes unchanged, when the digits do not fit (more than 2*size-1),
// the size is out of range or the value is not finite.
bool PackDecimal(double value, int decimals, uint8_t* out, size_t size);

// Reads `size` bytes (1 to 24; any other size gives 0) with `decimals` fraction digits.
double UnpackDecimal(const uint8_t* data, size_t size, int decimals);
