#pragma once
// What a TAP paging terminal's lines mean: the classification of one received line
// into a response code, the communications-log rows it gives, and the carrier message
// number of an ETAP "Message" line. Pure functions, no I/O.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// TAP control characters.
inline constexpr char kStx = 0x02;
inline constexpr char kEtx = 0x03;
inline constexpr char kEot = 0x04;
inline constexpr char kAck = 0x06;
inline constexpr char kCr = 0x0D;
inline constexpr char kNak = 0x15;
inline constexpr char kEsc = 0x1B;
inline constexpr char kRs = 0x1E;

// Response codes of one line.
enum TapResponse : int {
    kTapNone = 0,               // nothing usable
    kTapIdPrompt = 1,           // "ID="
    kTapAck = 2,                // ACK
    kTapNak = 3,                // NAK
    kTapDisconnect = 4,         // ESC EOT
    kTapGoAhead = 5,            // ESC "[p"
    kTapRs = 6,                 // RS
    kTapMessageText = 7,        // a "Message" line without a result, or other text
    kTapMessageSuccessful = 8,  // "Message ... successful"
    kTapMessageFailed = 9,      // "Message ... failed"
    kTapNoCarrier = 10,         // "NO CARRIER"
};

struct TapClassified {
    int code = kTapNone;
    // The communications-log rows as received, in order (a "NON-STANDARD" note
    // before the line itself); empty when the line is not logged.
    std::vector<std::string> rows;
};

// Classifies one line (without its carriage return) by its length and content:
// one character ACK, NAK or RS; two ESC EOT; three "ID=" or ESC "[p"; four or more a
// "Message" line, "NO CARRIER", or text ending in one of the control answers (a
// carrier that sends text before its control characters, noted "NON-STANDARD").
TapClassified ClassifyTapResponse(std::string_view line);

// The carrier message number of a "Message" line: the decimal number that starts at
// its ninth character (after "Message" and a blank; further blanks are skipped). None
// when no digits are there or the number does not fit.
std::optional<int32_t> EtapMessageNumber(std::string_view line);

// The text with control characters shown by name ("[STX]", "[CR]", "[ESC]") and
// other bytes outside printable ASCII as "[xHH]", for the communications log.
std::string ShowControls(std::string_view bytes);
