#include "objects/cvvaluetable.h"

#include <gtest/gtest.h>

namespace {

constexpr cvValueEntry kParity[] = {
    {"None", 78}, {"Odd", 79}, {"Even", 69}, {"Mark", 77}, {"Space", 83}, {"Twice", 69},
};

TEST(ValueTableTest, TextOfValuesAndOfNumberTexts) {
    EXPECT_EQ(ValueText(69, kParity), "Even") << "the first entry with the value wins";
    EXPECT_EQ(ValueText(9, kParity), "");
    EXPECT_EQ(ValueTextOf("79", kParity), "Odd");
    EXPECT_EQ(ValueTextOf(" 83 bits", kParity), "Space");
    EXPECT_EQ(ValueTextOf("", kParity), "");
    EXPECT_EQ(ValueText(0, cvValueTable{}), "");
}

}  // namespace
