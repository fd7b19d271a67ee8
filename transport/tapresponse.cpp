#include "transport/tapresponse.h"

#include <array>
#include <limits>

namespace {

constexpr std::array<const char*, 32> kControlNames = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",
    "VT",  "FF",  "CR",  "SO",  "SI",  "DLE", "DC1", "DC2", "DC3", "DC4", "NAK",
    "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US",
};

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool EndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() && text.substr(text.size() - suffix.size()) == suffix;
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

constexpr char kGoAhead[] = {kEsc, '[', 'p', 0};
constexpr char kDisconnect[] = {kEsc, kEot, 0};

// A line of four or more characters.
TapClassified ClassifyLong(std::string_view line) {
    TapClassified result;
    if (StartsWith(line, "Message")) {
        if (Contains(line, "successful")) {
            result.code = kTapMessageSuccessful;
        } else if (Contains(line, "failed")) {
            result.code = kTapMessageFailed;
        } else {
            result.code = kTapMessageText;
        }
    } else if (StartsWith(line, "NO CARRIER")) {
        result.code = kTapNoCarrier;
    } else if (line.back() == kAck) {
        result = {kTapAck, {"[ACK] - NON-STANDARD"}};
    } else if (line.back() == kNak) {
        result = {kTapNak, {"[NAK] - NON-STANDARD"}};
    } else if (line.back() == kRs) {
        result = {kTapRs, {"[RS] - NON-STANDARD"}};
    } else if (EndsWith(line, kDisconnect)) {
        result = {kTapDisconnect, {"[ESC][EOT] - NON-STANDARD"}};
    } else if (EndsWith(line, kGoAhead)) {
        result = {kTapGoAhead, {"[ESC][p - NON-STANDARD"}};
    } else if (EndsWith(line, "ID=")) {
        result = {kTapIdPrompt, {"ID= - NON-STANDARD"}};
    } else {
        result.code = kTapMessageText;
    }
    result.rows.push_back(ShowControls(line));
    return result;
}

}  // namespace

TapClassified ClassifyTapResponse(std::string_view line) {
    switch (line.size()) {
        case 0:
            return {};
        case 1:
            switch (line[0]) {
                case kAck:
                    return {kTapAck, {"[ACK]"}};
                case kNak:
                    return {kTapNak, {"[NAK]"}};
                case kRs:
                    return {kTapRs, {"[RS]"}};
                default:
                    return {};
            }
        case 2:
            if (line == kDisconnect) {
                return {kTapDisconnect, {"[ESC][EOT]"}};
            }
            return {};
        case 3:
            if (line == "ID=") {
                return {kTapIdPrompt, {"ID="}};
            }
            if (line == kGoAhead) {
                return {kTapGoAhead, {"[ESC][p"}};
            }
            return {};
        default:
            return ClassifyLong(line);
    }
}

std::optional<int32_t> EtapMessageNumber(std::string_view line) {
    constexpr size_t kNumberStart = 8;
    if (line.size() <= kNumberStart) {
        return std::nullopt;
    }
    std::string_view rest = line.substr(kNumberStart);
    while (!rest.empty() && rest.front() == ' ') {
        rest.remove_prefix(1);
    }
    int64_t number = 0;
    size_t digits = 0;
    for (const char c : rest) {
        if (c < '0' || c > '9') {
            break;
        }
        number = number * 10 + (c - '0');
        if (number > std::numeric_limits<int32_t>::max()) {
            return std::nullopt;
        }
        ++digits;
    }
    if (digits == 0) {
        return std::nullopt;
    }
    return static_cast<int32_t>(number);
}

std::string ShowControls(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    shown.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kControlNames.size()) {
            shown += '[';
            shown += kControlNames[byte];
            shown += ']';
        } else if (byte == 0x7F) {
            shown += "[DEL]";
        } else if (byte > 0x7F) {
            shown += "[x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0x0F];
            shown += ']';
        } else {
            shown += c;
        }
    }
    return shown;
}
