#include "transport/tapblock.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/tapblockparser.h"

namespace {

TEST(TapBlockTest, TheChecksumIsTheLowTwelveBitsOfTheSumInThreeCharacters) {
    // STX "123" CR "ABC" CR ETX: 2 + 150 + 13 + 198 + 13 + 3 = 379 = 0x17B.
    EXPECT_EQ(TapChecksum("\x02"
                          "123\rABC\r\x03"),
              "17;");
    EXPECT_EQ(TapChecksum(""), "000");
    // Only the low 12 bits count: 17 bytes of 0xFF sum to 0x10EF.
    EXPECT_EQ(TapChecksum(std::string(17, '\xff')), "0>?");
}

TEST(TapBlockTest, APageBlockIsFramedAndItsFieldCleaned) {
    const std::optional<std::string> block =
        BuildPageBlock("5551234", "Line one\r\nline two", false);
    ASSERT_TRUE(block);
    const std::string body =
        "\x02"
        "5551234\rLine one line two\r\x03";
    EXPECT_EQ(*block, body + TapChecksum(body) + "\r");

    const TapParsedBlock parsed = ParseTapBlock(*block);
    EXPECT_TRUE(parsed.framed);
    EXPECT_TRUE(parsed.checksum_ok);
    EXPECT_EQ(parsed.kind, TapParsedBlock::Kind::kPage);
    EXPECT_EQ(parsed.pin, "5551234");
    EXPECT_EQ(parsed.text, "Line one line two");
}

TEST(TapBlockTest, TheTextIsCutToWhatTheBlockHasRoomFor) {
    const std::string long_text(400, 'x');
    struct Case {
        std::string pin;
        bool etap;
        size_t room;
    };
    const Case cases[] = {
        {"1234", false, 244},
        {"1234", true, 238},
        {"", false, 248},
        {std::string(247, '9'), false, 1},
        {std::string(241, '9'), true, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PageTextRoom(c.pin.size(), c.etap), c.room);
        const std::optional<std::string> block = BuildPageBlock(c.pin, long_text, c.etap);
        ASSERT_TRUE(block) << c.pin.size();
        EXPECT_EQ(block->size(), kTapBlockLimit) << c.pin.size() << " " << c.etap;
        const TapParsedBlock parsed = ParseTapBlock(*block);
        EXPECT_TRUE(parsed.checksum_ok);
        EXPECT_EQ(parsed.text, std::string(c.room, 'x'));
        EXPECT_EQ(parsed.kind,
                  c.etap ? TapParsedBlock::Kind::kConfirmedPage : TapParsedBlock::Kind::kPage);
    }
    // Carriage returns do not use up room; a short text is not padded.
    const std::optional<std::string> block =
        BuildPageBlock("1234", std::string(300, '\r') + "short", false);
    ASSERT_TRUE(block);
    EXPECT_EQ(ParseTapBlock(*block).text, "short");
}

TEST(TapBlockTest, APinThatLeavesNoRoomGivesNoBlock) {
    EXPECT_EQ(PageTextRoom(248, false), 0u);
    EXPECT_EQ(PageTextRoom(242, true), 0u);
    EXPECT_EQ(PageTextRoom(1000, true), 0u);
    EXPECT_FALSE(BuildPageBlock(std::string(248, '1'), "text", false));
    EXPECT_FALSE(BuildPageBlock(std::string(242, '1'), "text", true));
    EXPECT_FALSE(BuildPageBlock(std::string(5000, '1'), "text", false));
    EXPECT_FALSE(BuildQueryBlock(std::string(240, '1'), false, 123456));
}

TEST(TapBlockTest, QueryAndCancelBlocksNameTheCarrierMessage) {
    const std::optional<std::string> query = BuildQueryBlock("5551234", false, 1001);
    ASSERT_TRUE(query);
    const std::string body =
        "\x02"
        "5551234\r)#*&(Q1001\r\x03";
    EXPECT_EQ(*query, body + TapChecksum(body) + "\r");

    const std::optional<std::string> cancel = BuildQueryBlock("5551234", true, 77);
    ASSERT_TRUE(cancel);
    const TapParsedBlock parsed = ParseTapBlock(*cancel);
    EXPECT_TRUE(parsed.checksum_ok);
    EXPECT_EQ(parsed.kind, TapParsedBlock::Kind::kCancel);
    EXPECT_EQ(parsed.number, 77);
}

}  // namespace
