#include "transport/tapresponse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::string>;

TEST(TapResponseTest, LinesAreClassifiedByLengthAndContent) {
    struct Case {
        std::string line;
        int code;
        Rows rows;
    };
    const Case cases[] = {
        {"", kTapNone, {}},
        // One character.
        {"\x06", kTapAck, {"[ACK]"}},
        {"\x15", kTapNak, {"[NAK]"}},
        {"\x1e", kTapRs, {"[RS]"}},
        {"x", kTapNone, {}},
        // Two.
        {"\x1b\x04", kTapDisconnect, {"[ESC][EOT]"}},
        {"OK", kTapNone, {}},
        {"\x04\x1b", kTapNone, {}},
        // Three.
        {"ID=", kTapIdPrompt, {"ID="}},
        {"\x1b[p", kTapGoAhead, {"[ESC][p"}},
        {"id=", kTapNone, {}},
        {"abc", kTapNone, {}},
        // Four or more: "Message" lines.
        {"Message 1234 successful", kTapMessageSuccessful, {"Message 1234 successful"}},
        {"Message 12 successful - not yet delivered",
         kTapMessageSuccessful,
         {"Message 12 successful - not yet delivered"}},
        {"Message 12 failed - already delivered",
         kTapMessageFailed,
         {"Message 12 failed - already delivered"}},
        {"Message failed but successful", kTapMessageSuccessful, {"Message failed but successful"}},
        {"Message queued", kTapMessageText, {"Message queued"}},
        {"message 1 successful", kTapMessageText, {"message 1 successful"}},
        {"NO CARRIER", kTapNoCarrier, {"NO CARRIER"}},
        {"NO CARRIER 2", kTapNoCarrier, {"NO CARRIER 2"}},
        // Text before the control answer.
        {"xyz\x06", kTapAck, {"[ACK] - NON-STANDARD", "xyz[ACK]"}},
        {"211 Page Sent\x06", kTapAck, {"[ACK] - NON-STANDARD", "211 Page Sent[ACK]"}},
        {"junk\x15", kTapNak, {"[NAK] - NON-STANDARD", "junk[NAK]"}},
        {"junk\x1e", kTapRs, {"[RS] - NON-STANDARD", "junk[RS]"}},
        {"bye\x1b\x04", kTapDisconnect, {"[ESC][EOT] - NON-STANDARD", "bye[ESC][EOT]"}},
        {"go\x1b[p", kTapGoAhead, {"[ESC][p - NON-STANDARD", "go[ESC][p"}},
        {"Welcome ID=", kTapIdPrompt, {"ID= - NON-STANDARD", "Welcome ID="}},
        {"110 1.8", kTapMessageText, {"110 1.8"}},
        {"\x06\x06\x06\x06x", kTapMessageText, {"[ACK][ACK][ACK][ACK]x"}},
    };
    for (const Case& c : cases) {
        const TapClassified classified = ClassifyTapResponse(c.line);
        EXPECT_EQ(classified.code, c.code) << ShowControls(c.line);
        EXPECT_EQ(classified.rows, c.rows) << ShowControls(c.line);
    }
}

TEST(TapResponseTest, TheCarrierMessageNumberStartsAtTheNinthCharacter) {
    struct Case {
        std::string line;
        std::optional<int32_t> number;
    };
    const Case cases[] = {
        {"Message 1234 successful", 1234},
        {"Message 7", 7},
        {"Message   42 successful", 42},
        {"Message 0012 successful", 12},
        {"Message 2147483647 successful", 2147483647},
        {"Message 2147483648 successful", std::nullopt},
        {"Message 99999999999999999999 successful", std::nullopt},
        {"Message successful", std::nullopt},
        {"Message -5 successful", std::nullopt},
        {"Message ", std::nullopt},
        {"Message", std::nullopt},
        {"Msg 123 successful", std::nullopt},  // the ninth character is "s"
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EtapMessageNumber(c.line), c.number) << c.line;
    }
}

TEST(TapResponseTest, ControlCharactersAreShownByName) {
    EXPECT_EQ(ShowControls(std::string("\x02"
                                       "5551234\r"
                                       "Hi\r\x03"
                                       "1;7\r")),
              "[STX]5551234[CR]Hi[CR][ETX]1;7[CR]");
    EXPECT_EQ(ShowControls(std::string("\x00\x1f\x7f\x80\xff", 5)), "[NUL][US][DEL][x80][xFF]");
    EXPECT_EQ(ShowControls("plain text ~!"), "plain text ~!");
}

}  // namespace
