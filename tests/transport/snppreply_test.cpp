#include "transport/snppreply.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

TEST(SplitMultipleChoiceTest, SeparatorsWhiteSpaceAndEmptyPieces) {
    struct Case {
        std::string text;
        std::string question;
        std::vector<std::string> responses;
    };
    const Case cases[] = {
        {"Meet at 5?~~Yes~~ No", "Meet at 5?", {"Yes", "No"}},
        {"Meet at 5? ~~ Yes ~~\tNo\t", "Meet at 5? ", {"Yes", "No"}},
        {"Done?~~Yes~~~~", "Done?", {"Yes", "~~"}},  // a last piece that starts with ~~
        {"Q~~~~Yes", "Q", {"~~Yes"}},
        {"Q~~~Yes", "Q", {"~Yes"}},
        {"Q~~", "Q", {}},
        {"Q~~  ~~  ", "Q", {}},
        {"~~Yes~~No", "~~Yes~~No", {}},  // a leading separator does not count
        {"No choices", "No choices", {}},
        {"", "", {}},
        {"A~B~~C", "A~B", {"C"}},
    };
    for (const Case& c : cases) {
        const MultipleChoice split = SplitMultipleChoice(c.text);
        EXPECT_EQ(split.question, c.question) << c.text;
        EXPECT_EQ(split.responses, c.responses) << c.text;
    }
}

TEST(CarrierMessageNumberTest, TheThirdWordAsLeadingDigits) {
    struct Case {
        std::string reply;
        std::optional<int32_t> number;
    };
    const Case cases[] = {
        {"960 1234 5678 Queued\r\n", 5678},
        {"960 1 0042 Queued", 42},
        {"250 Message Sent Successfully", 0},
        {"960 1 -5 Queued", 0},
        {"960 1 2147483647 Queued", 2147483647},
        {"960 1 2147483648 Queued", 0},
        {"960 1 5678", std::nullopt},  // only two spaces
        {"960 1  Queued", std::nullopt},
        {"960", std::nullopt},
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CarrierMessageNumber(c.reply), c.number) << c.reply;
    }
}

TEST(StartsWithAnyTest, PrefixesAreTriedInOrder) {
    EXPECT_TRUE(StartsWithAny("860 Delivered", {"250", "8", "9"}));
    EXPECT_FALSE(StartsWithAny("750 Failed", {"250", "8", "9"}));
    EXPECT_FALSE(StartsWithAny("", {"250"}));
    EXPECT_FALSE(StartsWithAny("250 OK", {}));
    EXPECT_FALSE(StartsWithAny("25", {"250"}));
}

}  // namespace
