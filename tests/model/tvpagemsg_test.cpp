// Page messages against real tables: group expansion, the confidential text, limits and
// page counts, and queueing a page.

#include "model/tvpagemsg.h"

#include <gtest/gtest.h>

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "model/messagecommands.h"
#include "model/tvpagedev.h"
#include "model/tvpagenet.h"
#include "storage/cvddfile.h"
#include "tests/model/pagingfixture.h"

namespace {

using model_testing::PagingFixture;

class PageMsgTest : public PagingFixture {
  protected:
    cvBobRoot<tvPageMsg> NewMessage(int device, const std::string& text,
                                    bool confidential = false) {
        cvBobRoot<tvPageMsg> message = tvPageMsg::Create(manager());
        EXPECT_TRUE(message);
        EXPECT_NE(message->PutInt("PAGEDEVNBR", device), 0);
        if (confidential) {
            EXPECT_NE(message->PutString("QCONFIDENTIAL", "Y"), 0);
        }
        EXPECT_NE(message->PutString("TEXT", text), 0);
        return message;
    }
    // The bytes stored in TEXT, through a plain record (padding removed).
    static std::string RawText(const cvRec& row) { return row.cvRec::GetText("TEXT", 1); }
};

TEST_F(PageMsgTest, AMessageToAGroupOfThreeStoresOneMessagePerDevice) {
    const int net = AddNetwork("Net");
    const int ann = AddDevice("Ann", net);
    const int bob = AddDevice("Bob", net);
    const int cy = AddDevice("Cy", net);
    const int crew = AddGroup("Crew", {cy, ann, bob});
    cvBobRoot<tvPageMsg> message = NewMessage(crew, "Fire drill at noon");
    ASSERT_NE(message->PutInt("HOSTREFNBR", 42), 0);
    ASSERT_NE(message->PutDate("SCHEDDATE", PackDate(2026, 3, 11)), 0);
    ASSERT_NE(message->PutTime("SCHEDTIME", PackTime(8, 30, 0)), 0);
    ASSERT_EQ(message->Save(), 0);
    // This message went to the first member in key order.
    EXPECT_EQ(message->GetInt("PAGEDEVNBR"), ann);

    const std::vector<cvRec> rows = StoredRows(kPageMsgTable);
    ASSERT_EQ(rows.size(), 3u);
    std::set<int> devices;
    std::set<int> numbers;
    for (const cvRec& row : rows) {
        devices.insert(row.GetInt("PAGEDEVNBR"));
        numbers.insert(row.GetInt("PAGEMSGNBR"));
        EXPECT_EQ(row.GetText("TEXT"), "Fire drill at noon");
        EXPECT_EQ(row.GetInt("STATUS"), 0);
        EXPECT_EQ(row.GetInt("HOSTREFNBR"), 42);
        EXPECT_EQ(row.GetDate("SCHEDDATE"), PackDate(2026, 3, 11));
        EXPECT_EQ(row.GetTime("SCHEDTIME"), PackTime(8, 30, 0));
        EXPECT_GT(row.GetInt("PAGEMSGNBR"), 0);
    }
    EXPECT_EQ(devices, (std::set<int>{ann, bob, cy}));
    EXPECT_EQ(numbers.size(), 3u);
}

TEST_F(PageMsgTest, AGroupWithoutMembersStaysTheRecipient) {
    const int empty = AddGroup("Empty");
    cvBobRoot<tvPageMsg> message = NewMessage(empty, "anyone?");
    ASSERT_EQ(message->Save(), 0);
    const std::vector<cvRec> rows = StoredRows(kPageMsgTable);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].GetInt("PAGEDEVNBR"), empty);
}

TEST_F(PageMsgTest, AFailingExpansionInsertStopsTheSave) {
    // A message table whose host reference is a unique key: the second copy of the
    // expansion collides with the first.
    manager().CloseFiles(kPageMsgTable);
    const cvDDFile& original = *dict_.FindTable(kPageMsgTable);
    std::vector<std::string> names;
    for (const auto& [name, field] : original.Fields()) {
        names.push_back(name);
    }
    std::vector<cvFieldDef> fields;
    for (const std::string& name : names) {
        const cvDDField& field = *original.FindField(name, false);
        fields.push_back({name, field.DataType(), field.Offset(), field.Size(), field.Decimals()});
    }
    const cvKeyDef keys[] = {{"PAGEMSGNBR", 0}, {"HOSTREFNBR", 0}};
    ASSERT_EQ(dict_.AddDefinition({"PAGEMSG", "PAGEMSGU.DAT", 2048, 0, fields, keys, 0}), 0);
    ASSERT_NE(manager().OpenTable(kPageMsgTable), nullptr);
    boxes_.clear();

    const int net = AddNetwork("Net");
    const int crew =
        AddGroup("Crew", {AddDevice("Ann", net), AddDevice("Bob", net), AddDevice("Cy", net)});
    cvBobRoot<tvPageMsg> message = NewMessage(crew, "collide");
    ASSERT_NE(message->PutInt("HOSTREFNBR", 7), 0);
    EXPECT_NE(message->Save(), 0);
    EXPECT_TRUE(StoredRows(kPageMsgTable).empty());
    ASSERT_FALSE(boxes_.empty());
    EXPECT_NE(boxes_.front().find("<Transaction Aborted>"), std::string::npos) << boxes_.front();
}

TEST_F(PageMsgTest, AConfidentialMessageIsStoredHiddenAndReadsBackPlain) {
    const int ann = AddDevice("Ann", AddNetwork("Net"));
    const std::string plain = "Door code 4471, meet at gate B";
    cvBobRoot<tvPageMsg> message = NewMessage(ann, plain, true);
    ASSERT_EQ(message->Save(), 0);
    EXPECT_EQ(message->GetText("TEXT"), "Confidential");
    EXPECT_EQ(message->PlainText(), plain);

    const std::vector<cvRec> rows = StoredRows(kPageMsgTable);
    ASSERT_EQ(rows.size(), 1u);
    const std::string stored = RawText(rows[0]);
    EXPECT_EQ(stored, ConfidentialTransform(plain));
    ASSERT_EQ(stored.size(), plain.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        EXPECT_NE(static_cast<uint8_t>(stored[i]) & 0x80, 0) << "byte " << i;
    }
    cvBobRoot<tvPageMsg> again = tvPageMsg::Load(manager(), message->Number());
    EXPECT_EQ(again->GetText("TEXT"), "Confidential");
    EXPECT_EQ(again->PlainText(), plain);
}

TEST_F(PageMsgTest, SwitchingConfidentialBackAndForthRewritesTheStoredText) {
    const int ann = AddDevice("Ann", AddNetwork("Net"));
    // "Confidential" itself: the text shown for a hidden message must not fool the
    // rewrite.
    for (const std::string plain : {"Call the office", "Confidential"}) {
        cvBobRoot<tvPageMsg> message = NewMessage(ann, plain, true);
        ASSERT_EQ(message->Save(), 0);
        const int number = message->Number();

        message = tvPageMsg::Load(manager(), number);
        ASSERT_NE(message->PutString("QCONFIDENTIAL", "N"), 0);
        ASSERT_EQ(message->Save(), 0);
        message = tvPageMsg::Load(manager(), number);
        EXPECT_EQ(RawText(*message), plain);
        EXPECT_EQ(message->GetText("TEXT"), plain);

        ASSERT_NE(message->PutString("QCONFIDENTIAL", "Y"), 0);
        ASSERT_EQ(message->Save(), 0);
        message = tvPageMsg::Load(manager(), number);
        EXPECT_EQ(RawText(*message), ConfidentialTransform(plain));
        EXPECT_EQ(message->PlainText(), plain);

        // Another "no" value or the same "yes" changes nothing.
        ASSERT_NE(message->PutString("QCONFIDENTIAL", "Y"), 0);
        EXPECT_EQ(message->PlainText(), plain);
    }
    cvBobRoot<tvPageMsg> open = NewMessage(ann, "plain");
    ASSERT_NE(open->PutString("QCONFIDENTIAL", ""), 0);
    EXPECT_EQ(RawText(*open), "plain");
}

TEST_F(PageMsgTest, HiddenEightBitTextSurvivesBytesThatBecomeZeroOrBlank) {
    const int ann = AddDevice("Ann", AddNetwork("Net"));
    // The first byte turns into 0 under the key, the last into a blank.
    std::string plain = ConfidentialTransform(std::string("\0abc ", 5));
    ASSERT_EQ(plain.size(), 5u);
    cvBobRoot<tvPageMsg> message = NewMessage(ann, plain, true);
    ASSERT_EQ(message->Save(), 0);
    cvBobRoot<tvPageMsg> again = tvPageMsg::Load(manager(), message->Number());
    // The blank at the end is indistinguishable from padding; everything before it
    // comes back.
    EXPECT_EQ(again->PlainText(), plain.substr(0, 4));
}

TEST_F(PageMsgTest, ResendingAConfidentialMessageMakesANewConfidentialMessage) {
    const int ann = AddDevice("Ann", AddNetwork("Net"));
    cvBobRoot<tvPageMsg> message = NewMessage(ann, "Vault open", true);
    ASSERT_NE(message->PutInt("HOSTREFNBR", 9), 0);
    ASSERT_NE(message->PutInt("STATUS", 2), 0);
    ASSERT_EQ(message->Save(), 0);
    int32_t copy_number = 0;
    ASSERT_EQ(ResendMessage(*message, &copy_number), 0);
    ASSERT_GT(copy_number, message->Number());
    cvBobRoot<tvPageMsg> copy = tvPageMsg::Load(manager(), copy_number);
    ASSERT_TRUE(copy);
    EXPECT_TRUE(copy->IsConfidential());
    EXPECT_EQ(copy->PlainText(), "Vault open");
    EXPECT_EQ(RawText(*copy), ConfidentialTransform("Vault open"));
    EXPECT_EQ(copy->GetInt("PAGEDEVNBR"), ann);
    EXPECT_EQ(copy->GetInt("HOSTREFNBR"), 9);
    EXPECT_EQ(copy->GetInt("STATUS"), 0);
    EXPECT_EQ(copy->GetDate("SCHEDDATE"), 0u);
}

TEST_F(PageMsgTest, QueuePageExpandsGroupsUnlessTheTextSaysNoBob) {
    const int net = AddNetwork("Net");
    const int crew = AddGroup("Crew", {AddDevice("Ann", net), AddDevice("Bob", net)});
    EXPECT_FALSE(QueuePage(manager(), 0, "nobody", 0, 0, 5));
    EXPECT_TRUE(StoredRows(kPageMsgTable).empty());

    ASSERT_TRUE(QueuePage(manager(), crew, "#NOBOB#Boiler alarm", 31, 0, 5));
    std::vector<cvRec> rows = StoredRows(kPageMsgTable);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].GetText("TEXT"), "Boiler alarm");
    EXPECT_EQ(rows[0].GetInt("PAGEDEVNBR"), crew);
    EXPECT_EQ(rows[0].GetInt("HOSTREFNBR"), 31);
    EXPECT_EQ(rows[0].GetInt("ENTERBY"), 5);
    EXPECT_EQ(rows[0].GetDate("SCHEDDATE"), Today());
    EXPECT_EQ(rows[0].GetTime("SCHEDTIME"), PackTime(12, 0, 0));
    EXPECT_GT(rows[0].GetInt("PAGEMSGNBR"), 0);

    // Through the application's file manager, keeping the schedule (due at once).
    ASSERT_TRUE(QueuePage(crew, "Boiler alarm", 32, 1, 6));
    rows = StoredRows(kPageMsgTable);
    ASSERT_EQ(rows.size(), 3u);
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_NE(rows[i].GetInt("PAGEDEVNBR"), crew);
        EXPECT_EQ(rows[i].GetInt("ENTERBY"), 6);
        EXPECT_EQ(rows[i].GetDate("SCHEDDATE"), 0u);
    }
}

TEST_F(PageMsgTest, MaximumTextLengthOfTheRecipient) {
    // TEXT holds its characters and a terminating zero.
    const int width = dict_.FindTable(kPageMsgTable)->FindField("TEXT")->Size() - 1;
    ASSERT_GE(width, 1000);
    struct Case {
        int device;
        int network;
        int expected;
    };
    const Case cases[] = {
        {0, 160, 160}, {100, 160, 100}, {200, 160, 160}, {240, 0, 240}, {0, 0, width}};
    for (const Case& c : cases) {
        const int net = AddNetwork(
            "Net " + std::to_string(c.device) + "/" + std::to_string(c.network), 1, c.network);
        const int device = AddDevice("Dev " + std::to_string(net), net, "1", c.device);
        cvBobRoot<tvPageMsg> message = NewMessage(device, "x");
        EXPECT_EQ(message->MaxTextLength(), c.expected) << c.device << "/" << c.network;
    }
    // A group has no network; neither has a message without a device.
    cvBobRoot<tvPageMsg> to_group = NewMessage(AddGroup("Crew"), "x");
    EXPECT_EQ(to_group->MaxTextLength(), 0);
    cvBobRoot<tvPageMsg> nobody = tvPageMsg::Create(manager());
    EXPECT_EQ(nobody->MaxTextLength(), 0);
}

TEST(PageCount, CountsPagesOfTheLongestTextLess6PerPage) {
    struct Case {
        size_t characters;
        int max_length;
        std::optional<int> pages;
    };
    const Case cases[] = {{80, 80, 1},  {81, 80, 2}, {0, 80, 1},           {148, 80, 2},
                          {149, 80, 3}, {8, 7, 8},   {3, 6, std::nullopt}, {0, 0, std::nullopt}};
    for (const Case& c : cases) {
        EXPECT_EQ(PageCount(c.characters, c.max_length), c.pages)
            << c.characters << " at " << c.max_length;
    }
}

TEST(ConfidentialTransform, IsItsOwnInverseWithAKeyOfSixteenBytes) {
    const std::string text = "0123456789abcdefXYZ";
    const std::string hidden = ConfidentialTransform(text);
    EXPECT_EQ(ConfidentialTransform(hidden), text);
    EXPECT_NE(hidden, text);
    // The key starts again after sixteen bytes: equal bytes 16 apart hide alike.
    const std::string same(33, 'a');
    const std::string hidden_same = ConfidentialTransform(same);
    EXPECT_EQ(hidden_same.substr(0, 16), hidden_same.substr(16, 16));
    EXPECT_NE(hidden_same[0], hidden_same[1]);
    EXPECT_NE(static_cast<uint8_t>(hidden_same[0]) & 0x80, 0);
}

TEST_F(PageMsgTest, NetworkNumberThroughTheDeviceAndLinksDroppedOnChange) {
    const int metro = AddNetwork("Metro");
    const int rural = AddNetwork("Rural");
    const int ann = AddDevice("Ann", metro);
    const int bob = AddDevice("Bob", rural);
    cvBobRoot<tvPageMsg> message = tvPageMsg::Create(manager());
    EXPECT_EQ(message->GetText("PAGENETNBR"), "");
    ASSERT_NE(message->PutInt("PAGEDEVNBR", ann), 0);
    EXPECT_EQ(message->GetText("PAGENETNBR"), std::to_string(metro));
    EXPECT_EQ(message->Network()->Number(), metro);
    ASSERT_NE(message->PutInt("PAGEDEVNBR", bob), 0);
    EXPECT_EQ(message->Device()->Number(), bob);
    EXPECT_EQ(message->Network()->Number(), rural);
    EXPECT_EQ(message->GetInt("PAGENETNBR"), rural);
}

}  // namespace
