#include "platform/recman/keycodec.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "platform/recman/recman.h"

namespace recman {
namespace {

Bytes Le(int64_t value, size_t width) {
    Bytes bytes(width);
    for (size_t i = 0; i < width; ++i) {
        bytes[i] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
    }
    return bytes;
}

Bytes Float(float value) {
    Bytes bytes(4);
    std::memcpy(bytes.data(), &value, 4);
    return bytes;
}

Bytes Double(double value) {
    Bytes bytes(8);
    std::memcpy(bytes.data(), &value, 8);
    return bytes;
}

Bytes Date(int day, int month, int year) {
    return {static_cast<uint8_t>(day), static_cast<uint8_t>(month), static_cast<uint8_t>(year),
            static_cast<uint8_t>(year >> 8)};
}

Bytes Time(int hours, int minutes, int seconds, int hundredths) {
    return {static_cast<uint8_t>(hundredths), static_cast<uint8_t>(seconds),
            static_cast<uint8_t>(minutes), static_cast<uint8_t>(hours)};
}

Bytes Text(const std::string& text, size_t width) {
    Bytes bytes(width, 0);
    std::memcpy(bytes.data(), text.data(), std::min(text.size(), width));
    return bytes;
}

Bytes LText(const std::string& text, size_t width) {
    Bytes bytes(width, 0);
    bytes[0] = static_cast<uint8_t>(text.size());
    std::memcpy(bytes.data() + 1, text.data(), text.size());
    return bytes;
}

// Packed decimal of `width` bytes: 2 * width - 1 digits, then the sign nibble.
Bytes Packed(int64_t value, size_t width, uint8_t positive_sign = 0x0C) {
    Bytes bytes(width, 0);
    const bool negative = value < 0;
    uint64_t magnitude = negative ? static_cast<uint64_t>(-value) : static_cast<uint64_t>(value);
    bytes[width - 1] = negative ? 0x0D : positive_sign;
    size_t nibble = width * 2 - 2;  // index of the last digit nibble
    while (magnitude > 0) {
        const auto digit = static_cast<uint8_t>(magnitude % 10);
        magnitude /= 10;
        bytes[nibble / 2] |= (nibble % 2 == 0) ? static_cast<uint8_t>(digit << 4) : digit;
        if (nibble == 0) {
            break;
        }
        --nibble;
    }
    return bytes;
}

SegmentSpec Segment(uint8_t type, uint16_t length, uint16_t flags = 0) {
    SegmentSpec segment;
    segment.type = type;
    segment.length = length;
    segment.flags = flags;
    segment.encoded_width = EncodedWidth(type, length);
    return segment;
}

Bytes Encode(const SegmentSpec& segment, const Bytes& raw) {
    Bytes out(segment.encoded_width);
    EncodeSegment(segment, raw.data(), out.data());
    return out;
}

struct OrderCase {
    const char* name;
    SegmentSpec segment;
    std::vector<Bytes> ascending;  // strictly increasing in the key's order
    std::vector<std::pair<Bytes, Bytes>> equal;
};

std::vector<OrderCase> OrderCases() {
    using std::numeric_limits;
    const uint16_t no_case = RECMAN_KEY_NO_CASE;
    const uint16_t down = RECMAN_KEY_DESCENDING;
    return {
        {"integer 1",
         Segment(RECMAN_TYPE_INTEGER, 1),
         {Le(-128, 1), Le(-1, 1), Le(0, 1), Le(1, 1), Le(127, 1)},
         {}},
        {"integer 2",
         Segment(RECMAN_TYPE_INTEGER, 2),
         {Le(-32768, 2), Le(-300, 2), Le(-256, 2), Le(-1, 2), Le(0, 2), Le(1, 2), Le(255, 2),
          Le(256, 2), Le(32767, 2)},
         {}},
        {"integer 4",
         Segment(RECMAN_TYPE_INTEGER, 4),
         {Le(numeric_limits<int32_t>::min(), 4), Le(-70000, 4), Le(-1, 4), Le(0, 4), Le(1, 4),
          Le(65536, 4), Le(numeric_limits<int32_t>::max(), 4)},
         {}},
        {"integer 8",
         Segment(RECMAN_TYPE_INTEGER, 8),
         {Le(numeric_limits<int64_t>::min(), 8), Le(-(int64_t{1} << 40), 8), Le(-1, 8), Le(0, 8),
          Le(int64_t{1} << 40, 8), Le(numeric_limits<int64_t>::max(), 8)},
         {}},
        {"autoinc 4",
         Segment(RECMAN_TYPE_AUTOINC, 4),
         {Le(-5, 4), Le(0, 4), Le(7, 4), Le(1000000, 4)},
         {}},
        {"unsigned 2",
         Segment(RECMAN_TYPE_UNSIGNED, 2),
         {Le(0, 2), Le(1, 2), Le(255, 2), Le(256, 2), Le(65535, 2)},
         {}},
        {"unsigned 4",
         Segment(RECMAN_TYPE_UNSIGNED, 4),
         {Le(0, 4), Le(0x7FFFFFFF, 4), Le(0x80000000, 4), Le(0xFFFFFFFF, 4)},
         {}},
        {"logical", Segment(RECMAN_TYPE_LOGICAL, 1), {Le(0, 1), Le(1, 1)}, {}},
        {"float 4",
         Segment(RECMAN_TYPE_FLOAT, 4),
         {Float(-INFINITY), Float(-1e10f), Float(-1.5f), Float(-1e-30f), Float(0.0f), Float(1e-30f),
          Float(1.5f), Float(1e10f), Float(INFINITY)},
         {{Float(-0.0f), Float(0.0f)}}},
        {"float 8",
         Segment(RECMAN_TYPE_FLOAT, 8),
         {Double(-DBL_MAX), Double(-2.5), Double(-DBL_MIN), Double(0.0), Double(DBL_MIN),
          Double(2.5), Double(DBL_MAX)},
         {{Double(-0.0), Double(0.0)}}},
        {"date across years",
         Segment(RECMAN_TYPE_DATE, 4),
         {Date(1, 1, 255), Date(1, 1, 256), Date(31, 12, 1999), Date(1, 1, 2000), Date(15, 1, 2000),
          Date(1, 2, 2000), Date(2, 2, 2000), Date(1, 1, 2001)},
         {}},
        {"time",
         Segment(RECMAN_TYPE_TIME, 4),
         {Time(0, 0, 0, 1), Time(0, 0, 1, 0), Time(0, 1, 0, 0), Time(9, 0, 1, 0),
          Time(9, 59, 59, 99), Time(10, 0, 0, 0), Time(23, 59, 59, 99)},
         {}},
        {"string",
         Segment(RECMAN_TYPE_STRING, 4),
         {Text("ABC", 4), Text("ABD", 4), Text("B", 4), Text("abc", 4)},
         {}},
        {"string case-insensitive",
         Segment(RECMAN_TYPE_STRING, 6, no_case),
         {Text("apple", 6), Text("Banana", 6), Text("cherry", 6)},
         {{Text("ABC", 6), Text("abc", 6)}, {Text("MiXeD1", 6), Text("mixed1", 6)}}},
        {"zstring",
         Segment(RECMAN_TYPE_ZSTRING, 6),
         {Text("", 6), Text("ab", 6), Text("abc", 6), Text("b", 6)},
         {{Bytes{'a', 'b', 0, 'z', 'z', 'z'}, Bytes{'a', 'b', 0, 'a', 0, 0}}}},
        {"zstring case-insensitive",
         Segment(RECMAN_TYPE_ZSTRING, 6, no_case),
         {Text("ab", 6), Text("AC", 6)},
         {{Text("Hello", 6), Text("hELLO", 6)}}},
        {"lstring",
         Segment(RECMAN_TYPE_LSTRING, 6),
         {LText("", 6), LText("ab", 6), LText(std::string("ab\0", 3), 6), LText("abc", 6),
          LText("b", 6)},
         {{Bytes{2, 'a', 'b', 'x', 'y', 'z'}, LText("ab", 6)}}},
        {"decimal",
         Segment(RECMAN_TYPE_DECIMAL, 3),
         {Packed(-99999, 3), Packed(-100, 3), Packed(-99, 3), Packed(-1, 3), Packed(0, 3),
          Packed(1, 3), Packed(99, 3), Packed(100, 3), Packed(99999, 3)},
         {{Packed(0, 3), Bytes{0, 0, 0x0D}}, {Packed(42, 3, 0x0C), Packed(42, 3, 0x0F)}}},
        {"money",
         Segment(RECMAN_TYPE_MONEY, 4),
         {Packed(-1234567, 4), Packed(-5, 4), Packed(0, 4), Packed(5, 4), Packed(1234567, 4)},
         {}},
        {"integer descending",
         Segment(RECMAN_TYPE_INTEGER, 2, down),
         {Le(300, 2), Le(5, 2), Le(0, 2), Le(-1, 2), Le(-300, 2)},
         {}},
        {"date descending",
         Segment(RECMAN_TYPE_DATE, 4, down),
         {Date(1, 1, 2001), Date(31, 12, 2000), Date(1, 1, 1999)},
         {}},
        {"string descending case-insensitive",
         Segment(RECMAN_TYPE_STRING, 3, down | no_case),
         {Text("zz", 3), Text("B", 3), Text("a", 3)},
         {{Text("aB", 3), Text("Ab", 3)}}},
    };
}

TEST(KeyCodecTest, EncodingsSortInTheKeyOrderOfEachType) {
    for (const OrderCase& test : OrderCases()) {
        SCOPED_TRACE(test.name);
        ASSERT_NE(test.segment.encoded_width, 0u);
        for (size_t i = 0; i + 1 < test.ascending.size(); ++i) {
            const Bytes lower = Encode(test.segment, test.ascending[i]);
            const Bytes higher = Encode(test.segment, test.ascending[i + 1]);
            EXPECT_LT(lower, higher) << "values " << i << " and " << i + 1;
        }
        for (const auto& [a, b] : test.equal) {
            EXPECT_EQ(Encode(test.segment, a), Encode(test.segment, b));
        }
    }
}

TEST(KeyCodecTest, WidthsFollowTheTypeAndRejectLengthsItDoesNotAllow) {
    EXPECT_EQ(EncodedWidth(RECMAN_TYPE_INTEGER, 4), 4u);
    EXPECT_EQ(EncodedWidth(RECMAN_TYPE_INTEGER, 3), 0u);
    EXPECT_EQ(EncodedWidth(RECMAN_TYPE_FLOAT, 2), 0u);
    EXPECT_EQ(EncodedWidth(RECMAN_TYPE_DATE, 2), 0u);
    EXPECT_EQ(EncodedWidth(RECMAN_TYPE_LOGICAL, 4), 0u);
    EXPECT_EQ(EncodedWidth(RECMAN_TYPE_DECIMAL, 5), 6u);
    EXPECT_EQ(EncodedWidth(RECMAN_TYPE_ZSTRING, 30), 30u);
    EXPECT_EQ(EncodedWidth(8, 4), 0u);  // not a key type here
    EXPECT_TRUE(IsKnownType(RECMAN_TYPE_LOGICAL));
    EXPECT_TRUE(IsKnownType(RECMAN_TYPE_TIME));
    EXPECT_FALSE(IsKnownType(9));
}

// A key of two segments: a case-insensitive name (record bytes 5..8) then an integer
// (bytes 1..2); the first segment decides first.
KeySpec NameThenNumber(uint16_t flags) {
    KeySpec key;
    SegmentSpec name =
        Segment(RECMAN_TYPE_STRING, 4, static_cast<uint16_t>(flags | RECMAN_KEY_NO_CASE));
    name.position = 5;
    name.null_value = ' ';
    SegmentSpec number = Segment(RECMAN_TYPE_INTEGER, 2, flags);
    number.position = 1;
    number.value_offset = 4;
    number.encoded_offset = name.encoded_width;
    key.segments = {name, number};
    key.value_length = 6;
    key.encoded_length = name.encoded_width + number.encoded_width;
    key.null_when_all = (flags & RECMAN_KEY_NULL) != 0;
    key.null_when_any = (flags & RECMAN_KEY_MANUAL) != 0;
    return key;
}

Bytes Record(int16_t number, const std::string& name) {
    Bytes record(10, ' ');
    record[0] = static_cast<uint8_t>(number);
    record[1] = static_cast<uint8_t>(static_cast<uint16_t>(number) >> 8);
    std::memcpy(record.data() + 4, name.data(), std::min<size_t>(name.size(), 4));
    return record;
}

TEST(KeyCodecTest, SegmentedKeysOrderByTheirFirstSegmentThenTheNext) {
    const KeySpec key = NameThenNumber(0);
    Bytes smith_2;
    Bytes smith_10;
    Bytes jones_99;
    ASSERT_TRUE(EncodeRecordKey(key, Record(2, "smit").data(), &smith_2));
    ASSERT_TRUE(EncodeRecordKey(key, Record(10, "SMIT").data(), &smith_10));
    ASSERT_TRUE(EncodeRecordKey(key, Record(99, "Jone").data(), &jones_99));
    EXPECT_LT(jones_99, smith_2);
    EXPECT_LT(smith_2, smith_10);

    // A key value (segments back to back) encodes as the record it came from.
    uint8_t value[6];
    ExtractKeyValue(key, Record(10, "SMIT").data(), value);
    EXPECT_EQ(Bytes(value, value + 4), Text("SMIT", 4));
    Bytes searched;
    EncodeKeyValue(key, value, &searched);
    EXPECT_EQ(searched, smith_10);
}

TEST(KeyCodecTest, NullRulesLeaveRecordsOutOfTheKey) {
    struct Case {
        uint16_t flags;
        int16_t number;  // 0x2020 is null: both bytes blank
        const char* name;
        bool in_key;
    };
    const int16_t blank = 0x2020;
    const Case cases[] = {
        {0, blank, "", true},
        {RECMAN_KEY_NULL, blank, "", false},  // every segment null
        {RECMAN_KEY_NULL, 5, "", true},       // one segment null is not enough
        {RECMAN_KEY_MANUAL, 5, "", false},    // any segment null
        {RECMAN_KEY_MANUAL, 5, "ab", true},
        {RECMAN_KEY_MANUAL | RECMAN_KEY_NULL, 5, "", false},
    };
    for (const Case& test : cases) {
        KeySpec key = NameThenNumber(test.flags);
        key.segments[1].null_value = ' ';
        Bytes out;
        EXPECT_EQ(EncodeRecordKey(key, Record(test.number, test.name).data(), &out), test.in_key)
            << "flags " << test.flags << " number " << test.number << " name '" << test.name << "'";
        EXPECT_EQ(out.empty(), !test.in_key);
    }
}

TEST(KeyCodecTest, IntegerSegmentsRoundTripThroughTheirEncoding) {
    for (const uint16_t flags : {uint16_t{0}, uint16_t{RECMAN_KEY_DESCENDING}}) {
        for (const uint16_t length : {uint16_t{1}, uint16_t{2}, uint16_t{4}, uint16_t{8}}) {
            const SegmentSpec segment = Segment(RECMAN_TYPE_AUTOINC, length, flags);
            const int64_t limit = length == 8 ? std::numeric_limits<int64_t>::max()
                                              : (int64_t{1} << (length * 8 - 1)) - 1;
            for (const int64_t value : {int64_t{0}, int64_t{1}, int64_t{-1}, limit, -limit - 1}) {
                Bytes raw(length);
                WriteIntegerSegment(segment, value, raw.data());
                EXPECT_EQ(ReadIntegerSegment(segment, raw.data()), value);
                const Bytes encoded = Encode(segment, raw);
                EXPECT_EQ(DecodeIntegerSegment(segment, encoded.data()), value)
                    << "length " << length << " flags " << flags;
            }
        }
    }
}

}  // namespace
}  // namespace recman
