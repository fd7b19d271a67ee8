#include "engine/messagetext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The text of a numbered piece after its "%dof%d: ".
std::string Body(const std::string& piece) {
    const size_t colon = piece.find(": ");
    return colon == std::string::npos ? piece : piece.substr(colon + 2);
}

std::string WithoutBlanks(std::string text) {
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

// Words of 3 to 9 letters with single blanks between them, `length` characters long.
std::string Words(size_t length) {
    std::string text;
    for (size_t word = 0; text.size() < length; ++word) {
        if (!text.empty()) {
            text.push_back(' ');
        }
        text.append(3 + word * 5 % 7, static_cast<char>('a' + word % 26));
    }
    text.resize(length);
    return text;
}

TEST(CleanTextTest, FoldsBlanksAndLineFeedsAndDropsWhatIsNotPrintable) {
    struct Case {
        std::string text;
        std::string want;
    };
    const Case cases[] = {
        {"Call me", "Call me"},
        {"  \n leading", "leading"},
        {"one\n\ntwo   three", "one two three"},
        {"line\r\nnext", "line next"},
        {"tab\there", "tabhere"},
        {"bell\a esc\x1b del\x7f", "bell esc del"},
        {"caf\xC3\xA9", "cafe"},
        {"Gr\xC3\xBC\xC3\x9F"
         "e \xE2\x9C\x93 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
         "Grusse "},
        {"latin1 caf\xE9", "latin1 caf"},
        {"trailing  \n ", "trailing "},
        {" \n \n  ", ""},
        {"", ""},
        {"~!@#$%^&*()_+{}|:\"<>?`-=[]\\;',./", "~!@#$%^&*()_+{}|:\"<>?`-=[]\\;',./"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CleanText(c.text), c.want) << c.text;
    }
}

TEST(SplitTextTest, CutsIntoNumberedPiecesAtBlanksWithinTheRoom) {
    struct Case {
        std::string text;
        int max_length;
        std::vector<std::string> want;
    };
    const Case cases[] = {
        {"aaaa bbbb cccc dddd eeee ffff",
         17,
         {"1of3: aaaa bbbb", "2of3: cccc dddd", "3of3: eeee ffff"}},
        // No blank within reach: cut where the room ends.
        {"abcdefghijklmnopqrstuvwxyz",
         17,
         {"1of3: abcdefghij", "2of3: klmnopqrst", "3of3: uvwxyz"}},
        // A blank right after the room: the piece fills the room.
        {"abcdefghij klm", 17, {"1of2: abcdefghij", "2of2: klm"}},
        // A blank more than 20 positions back is not looked for.
        {"a " + std::string(30, 'x'),
         30,
         {"1of2: a " + std::string(21, 'x'), "2of2: " + std::string(9, 'x')}},
        // The trailing blank a cleaned text may keep makes no empty last piece.
        {"abcdefghij klmnopqrst ", 17, {"1of2: abcdefghij", "2of2: klmnopqrst"}},
        {"abcdefghij klmnopqrs ", 17, {"1of2: abcdefghij", "2of2: klmnopqrs "}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SplitText(c.text, c.max_length), c.want) << c.text;
    }
}

TEST(SplitTextTest, A250CharacterTextAtMaximum100GoesAsThreePiecesCutAtBlanks) {
    const std::string text = Words(250);
    ASSERT_EQ(text.find("  "), std::string::npos);
    const std::vector<std::string> pieces = SplitText(text, 100);
    ASSERT_EQ(pieces.size(), 3u);
    std::string rebuilt;
    for (size_t i = 0; i < pieces.size(); ++i) {
        const std::string prefix = std::to_string(i + 1) + "of3: ";
        EXPECT_EQ(pieces[i].substr(0, prefix.size()), prefix);
        EXPECT_LE(pieces[i].size(), 100u);
        const std::string body = Body(pieces[i]);
        // Each cut lies at a blank: the text goes on with a blank after the piece.
        if (i + 1 < pieces.size()) {
            EXPECT_EQ(text[rebuilt.size() + (rebuilt.empty() ? 0 : 1) + body.size()], ' ');
        }
        rebuilt += (rebuilt.empty() ? "" : " ") + body;
    }
    EXPECT_EQ(rebuilt, text);
}

TEST(SplitTextTest, FromTheTenthPieceOnEachPieceTakesOneCharacterLess) {
    const std::string text(200, 'z');
    const std::vector<std::string> pieces = SplitText(text, 20);
    ASSERT_EQ(pieces.size(), 16u);  // 9 pieces of 13, then 7 of 12 (the last 11)
    EXPECT_EQ(pieces[8], "9of16: " + std::string(13, 'z'));
    EXPECT_EQ(pieces[9], "10of16: " + std::string(12, 'z'));
    EXPECT_EQ(pieces[15], "16of16: " + std::string(11, 'z'));
    for (const std::string& piece : pieces) {
        EXPECT_LE(piece.size(), 20u);
    }
}

TEST(SplitTextTest, EndsForEveryMaximumAndLosesNoCharacter) {
    const std::string texts[] = {Words(120), Words(121) + " ", std::string(60, 'q'), "x y z ",
                                 "solid"};
    for (const std::string& text : texts) {
        for (int max_length = -3; max_length < static_cast<int>(text.size()); ++max_length) {
            const std::vector<std::string> pieces = SplitText(text, max_length);
            ASSERT_FALSE(pieces.empty());
            ASSERT_LE(pieces.size(), text.size()) << max_length;
            std::string bodies;
            for (size_t i = 0; i < pieces.size(); ++i) {
                const std::string body = Body(pieces[i]);
                const int room = max_length - 7 - (i >= 9 ? 1 : 0);
                EXPECT_LE(static_cast<int>(body.size()), std::max(room, 1))
                    << "maximum " << max_length << " piece " << i + 1;
                EXPECT_FALSE(body.empty());
                bodies += body;
            }
            EXPECT_EQ(WithoutBlanks(bodies), WithoutBlanks(text)) << "maximum " << max_length;
        }
    }
}

TEST(SplitTextTest, AMaximumTooSmallForTheNumberingSendsACharacterAPiece) {
    EXPECT_EQ(SplitText("abc de", 7),
              (std::vector<std::string>{"1of5: a", "2of5: b", "3of5: c", "4of5: d", "5of5: e"}));
}

}  // namespace
