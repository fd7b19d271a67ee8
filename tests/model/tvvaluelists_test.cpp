// The value lists in display order with their texts, lookups through them, and the
// colours of message statuses.

#include "model/tvvaluelists.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using Entries = std::vector<std::pair<std::string, int32_t>>;

Entries EntriesOf(cvValueTable table) {
    Entries entries;
    for (const cvValueEntry& entry : table) {
        EXPECT_NE(entry.text, nullptr) << "a list holds no marker entry";
        entries.emplace_back(entry.text ? entry.text : "", entry.value);
    }
    return entries;
}

TEST(ValueListsTest, ListsInDisplayOrder) {
    const struct {
        const char* list;
        cvValueTable table;
        Entries expected;
    } cases[] = {
        {"status",
         MessageStatusValues(),
         {{"Queued", 0},
          {"Error", 1},
          {"Sent", 2},
          {"Sent/Pending", 3},
          {"Delivered", 4},
          {"Cancelling", 5},
          {"Cancelled", 6},
          {"Reply", 7},
          {"Received", 8}}},
        {"protocol",
         ProtocolValues(),
         {{"TAP (Modem)", 1},
          {"ETAP w/Ack (Modem)", 2},
          {"Skytel 2-Way (Modem)", 3},
          {"SNPP (Internet)", 4},
          {"SNPP (Internet-w/Ack)", 5},
          {"SMTP (EMail)", 6}}},
        {"line speed",
         LineSpeedValues(),
         {{"300", 300}, {"1200", 1200}, {"2400", 2400}, {"9600", 9600}}},
        {"data bits", DataBitsValues(), {{"5", 5}, {"6", 6}, {"7", 7}, {"8", 8}}},
        {"parity",
         ParityValues(),
         {{"None", 78}, {"Odd", 79}, {"Even", 69}, {"Mark", 77}, {"Space", 83}}},
        {"stop bits", StopBitsValues(), {{"1", 1}, {"2", 2}}},
        {"modem port",
         ModemPortValues(),
         {{"COM1", 0},
          {"COM2", 1},
          {"COM3", 2},
          {"COM4", 3},
          {"COM5", 4},
          {"COM6", 5},
          {"COM7", 6},
          {"COM8", 7}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EntriesOf(c.table), c.expected) << c.list;
    }
}

TEST(ValueListsTest, CodesShowAsTheirTextsAndUnknownCodesAsNothing) {
    EXPECT_EQ(ValueText('E', ParityValues()), "Even");
    EXPECT_EQ(ValueText(69, ParityValues()), "Even");
    EXPECT_EQ(ValueText('X', ParityValues()), "");
    EXPECT_EQ(ValueText(9, MessageStatusValues()), "");
    EXPECT_EQ(ValueText(-1, ModemPortValues()), "") << "no port chosen";
    EXPECT_EQ(ValueTextOf("3", MessageStatusValues()), "Sent/Pending");
    EXPECT_EQ(ValueText(0, ProtocolValues()), "");
}

TEST(ValueListsTest, StatusColours) {
    EXPECT_EQ(MessageStatusColour(0), (tvColour{0x00, 0x7F, 0x00}));  // dark green
    EXPECT_EQ(MessageStatusColour(1), (tvColour{0xC0, 0x00, 0x00}));  // red
    EXPECT_EQ(MessageStatusColour(2), (tvColour{0x00, 0x00, 0x7F}));  // dark blue
    for (int32_t status : {3, 4, 5, 6, 7, 8, -1, 99}) {
        EXPECT_FALSE(MessageStatusColour(status).has_value()) << status;
    }
}

}  // namespace
