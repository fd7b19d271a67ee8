#include "storage/packeddecimal.h"

#include <gtest/gtest.h>

#include <vector>

#include "storage/numbertext.h"

namespace {

std::vector<uint8_t> Packed(double value, int decimals, size_t size) {
    std::vector<uint8_t> bytes(size, 0xAA);
    if (!PackDecimal(value, decimals, bytes.data(), size)) {
        return {};
    }
    return bytes;
}

TEST(PackedDecimalTest, DigitsAndSignNibbles) {
    struct Case {
        double value;
        int decimals;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {12.35, 2, {0x00, 0x01, 0x23, 0x5C}},
        {-12.35, 2, {0x00, 0x01, 0x23, 0x5D}},
        {0.0, 2, {0x00, 0x00, 0x00, 0x0C}},
        {-0.001, 2, {0x00, 0x00, 0x00, 0x0C}},  // rounds to zero: written positive
        {99999.99, 2, {0x99, 0x99, 0x99, 0x9C}},
        {7, 0, {0x7C}},
        {1.5, 3, {0x00, 0x01, 0x50, 0x0C}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Packed(c.value, c.decimals, c.bytes.size()), c.bytes) << c.value;
        EXPECT_DOUBLE_EQ(UnpackDecimal(c.bytes.data(), c.bytes.size(), c.decimals),
                         c.value < 0 && c.value > -0.005 ? 0.0 : c.value);
    }
}

TEST(PackedDecimalTest, TooManyDigitsLeaveTheBytesUnchanged) {
    std::vector<uint8_t> bytes = {1, 2, 3, 4};
    EXPECT_FALSE(PackDecimal(123456.78, 2, bytes.data(), bytes.size()));  // 8 digits, room 7
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_TRUE(PackDecimal(12345.67, 2, bytes.data(), bytes.size()));
    EXPECT_FALSE(PackDecimal(1.0, 2, bytes.data(), 0));
    EXPECT_FALSE(PackDecimal(1.0, 2, bytes.data(), kMaxPackedSize + 1));
}

TEST(PackedDecimalTest, OnlySignNibbleDReadsNegative) {
    const uint8_t f_sign[] = {0x01, 0x23, 0x5F};
    EXPECT_DOUBLE_EQ(UnpackDecimal(f_sign, 3, 2), 12.35);
    const uint8_t b_sign[] = {0x01, 0x23, 0x5B};
    EXPECT_DOUBLE_EQ(UnpackDecimal(b_sign, 3, 2), 12.35);
    const uint8_t d_sign[] = {0x01, 0x23, 0x5D};
    EXPECT_DOUBLE_EQ(UnpackDecimal(d_sign, 3, 2), -12.35);
    // More decimals than digits: the point goes in front of leading zeros.
    const uint8_t small[] = {0x5C};
    EXPECT_DOUBLE_EQ(UnpackDecimal(small, 1, 3), 0.005);
    EXPECT_EQ(UnpackDecimal(small, 0, 2), 0.0);
    uint8_t big[kMaxPackedSize + 1] = {};
    EXPECT_EQ(UnpackDecimal(big, sizeof big, 2), 0.0);
}

TEST(RoundingTest, HalfWayToleranceRoundsUp) {
    struct Case {
        double value;
        int decimals;
        double rounded;
    };
    const Case cases[] = {
        {1.005, 2, 1.01},    // held as 1.00499999...: within the tolerance
        {-1.005, 2, -1.01},  // sign restored after rounding the magnitude
        {1.004, 2, 1.0},    {2.5, 0, 3.0},
        {2.4999, 0, 2.0},   {2.49999, 0, 2.0},  // the tolerance is strict
        {2.499991, 0, 3.0}, {1.23456789, 6, 1.234568},
        {1.25, 7, 1.25},  // counts above 6 leave the value alone
        {1.25, -1, 1.25},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(RoundToDecimals(c.value, c.decimals), c.rounded)
            << c.value << " to " << c.decimals;
    }
}

TEST(NumberTextTest, FixedPointWithLocaleSeparatorsAndGrouping) {
    const NumberTextFormat plain;  // what the C locale gives
    const NumberTextFormat german{",", ".", "\3"};
    const NumberTextFormat indian{".", ",", "\3\2"};
    const NumberTextFormat first_only{".", " ", std::string("\3\x7f", 2)};
    struct Case {
        double value;
        int decimals;
        const NumberTextFormat* format;
        const char* text;
    };
    const Case cases[] = {
        {1234567.891, 2, &plain, "1234567.89"},
        {-12.35, 2, &plain, "-12.35"},
        {0.5, 2, &plain, "0.50"},
        {42, 0, &plain, "42"},
        {1234567.891, 2, &german, "1.234.567,89"},
        {-999.5, 2, &german, "-999,50"},
        {123456789.0, 0, &indian, "12,34,56,789"},
        {123456789.0, 1, &first_only, "123456 789.0"},
        {999999999999.99, 2, &plain, "999999999999.99"},
        {1000000000000.0, 2, &plain, "**********"},
        {-1000000000000.0, 2, &german, "**********"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NumberText(c.value, c.decimals, *c.format), c.text) << c.value;
    }
    const NumberTextFormat c_locale = MonetaryNumberFormat();
    EXPECT_EQ(c_locale.decimal_point, ".");
    EXPECT_EQ(NumberText(1234.5, 2), "1234.50");
}

}  // namespace
