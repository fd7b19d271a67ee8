// The non-drawing part of a value drop-down: lines filled from a value table through an
// acceptance test, refilling from the last table, and selection by value.

#include "objects/cvvaluelistmodel.h"

#include <gtest/gtest.h>

namespace {

constexpr cvValueEntry kStatus[] = {
    {"Queued", 0},     {"Error", 1},     {"Sent", 2},  {"Sent/Pending", 3}, {"Delivered", 4},
    {"Cancelling", 5}, {"Cancelled", 6}, {"Reply", 7}, {"Received", 8},     {nullptr, 0},
};

std::vector<std::string> Texts(const cvValueListModel& list) {
    std::vector<std::string> texts;
    for (const cvValueListModel::Line& line : list.Lines()) {
        texts.push_back(line.text);
    }
    return texts;
}

TEST(ValueListModelTest, FillsWhatTheTestAcceptsInTableOrder) {
    EXPECT_EQ(ValueText(9, kStatus), "") << "past the last status";
    EXPECT_EQ(ValueText(3, kStatus), "Sent/Pending");
    EXPECT_EQ(ValueText(0, cvValueTable(kStatus).subspan(9)), "") << "the end entry is no text";

    cvValueListModel list;
    EXPECT_TRUE(list.Fill(kStatus));
    EXPECT_EQ(list.Count(), 9) << "the end entry is no line";
    EXPECT_EQ(list.TextAt(8), "Received");
    EXPECT_EQ(list.ValueAt(8), 8);
    EXPECT_EQ(list.LongestText(), std::string("Sent/Pending").size());

    ASSERT_TRUE(list.Fill(kStatus, [](int32_t value) { return value % 3 == 0; }));
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"Queued", "Sent/Pending", "Cancelled"}));
    EXPECT_EQ(list.ValueAt(1), 3);
    EXPECT_EQ(list.TextAt(3), "");
    EXPECT_EQ(list.ValueAt(-1), 0);

    // Refilled from the table it was last given, with a new test.
    ASSERT_TRUE(list.Refill([](int32_t value) { return value >= 7; }));
    EXPECT_EQ(Texts(list), (std::vector<std::string>{"Reply", "Received"}));
    ASSERT_TRUE(list.Refill());
    EXPECT_EQ(list.Count(), 9);
}

TEST(ValueListModelTest, SelectionByValue) {
    cvValueListModel list;
    EXPECT_EQ(list.SelectValue(2), -1) << "an empty list selects nothing";
    EXPECT_EQ(list.SelectedValue(), 0);
    ASSERT_TRUE(list.Refill());
    EXPECT_EQ(list.Count(), 0) << "no table yet";

    ASSERT_TRUE(list.Fill(kStatus, [](int32_t value) { return value >= 2; }));
    EXPECT_EQ(list.SelectedIndex(), -1);
    EXPECT_EQ(list.SelectedValue(), 0) << "nothing selected";
    EXPECT_EQ(list.SelectValue(4), 2);
    EXPECT_EQ(list.SelectedValue(), 4);
    EXPECT_EQ(list.SelectValue(9), 0) << "an unknown value selects the first line";
    EXPECT_EQ(list.SelectedValue(), 2);
    EXPECT_EQ(list.SelectValue(1), 0) << "a value the test left out is unknown too";

    list.SetSelectedIndex(6);
    EXPECT_EQ(list.SelectedValue(), 8);
    list.SetSelectedIndex(7);
    EXPECT_EQ(list.SelectedIndex(), -1);
    ASSERT_TRUE(list.SelectValue(5) >= 0);
    ASSERT_TRUE(list.Refill());
    EXPECT_EQ(list.SelectedIndex(), -1) << "refilling clears the selection";
}

}  // namespace
