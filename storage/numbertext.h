#pragma once
// Display text of Float, Decimal and Money values: fixed-point with the field's
// decimals, the monetary separators and digit grouping of the user's locale, no
// currency symbol.

#include <string>

struct NumberTextFormat {
    std::string decimal_point = ".";
    std::string thousands_separator;  // empty: no grouping
    std::string grouping;             // sizes of digit groups from the right, localeconv style
};

// The monetary settings of the current locale (mon_decimal_point, mon_thousands_sep,
// mon_grouping). The C locale leaves them empty, which gives "." and no grouping.
NumberTextFormat MonetaryNumberFormat();

// A magnitude above 999999999999.99 gives "**********". Otherwise the magnitude with
// `decimals` fraction digits, grouped, "-" in front of a negative value.
std::string NumberText(double value, int decimals, const NumberTextFormat& format);
std::string NumberText(double value, int decimals);
