#include "transport/snppreply.h"

#include <limits>

namespace {

constexpr std::string_view kWhiteSpace = " \t\r\n\f\v";

std::string Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(kWhiteSpace);
    if (first == std::string_view::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(kWhiteSpace);
    return std::string(text.substr(first, last - first + 1));
}

}  // namespace

bool StartsWithAny(std::string_view reply, const std::vector<std::string>& prefixes) {
    for (const std::string& prefix : prefixes) {
        if (reply.substr(0, prefix.size()) == prefix) {
            return true;
        }
    }
    return false;
}

std::optional<int32_t> CarrierMessageNumber(std::string_view reply) {
    const size_t first = reply.find(' ');
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const size_t second = reply.find(' ', first + 1);
    if (second == std::string_view::npos) {
        return std::nullopt;
    }
    const size_t third = reply.find(' ', second + 1);
    if (third == std::string_view::npos || third == second + 1) {
        return std::nullopt;
    }
    const std::string_view word = reply.substr(second + 1, third - second - 1);
    int64_t number = 0;
    for (const char c : word) {
        if (c < '0' || c > '9') {
            break;
        }
        number = number * 10 + (c - '0');
        if (number > std::numeric_limits<int32_t>::max()) {
            return 0;
        }
    }
    return static_cast<int32_t>(number);
}

MultipleChoice SplitMultipleChoice(const std::string& text) {
    MultipleChoice result;
    const size_t first = text.find(kResponseSeparator);
    if (first == std::string::npos || first == 0) {
        result.question = text;
        return result;
    }
    result.question = text.substr(0, first);
    std::string_view rest = std::string_view(text).substr(first + kResponseSeparator.size());
    while (!rest.empty()) {
        const size_t next = rest.find(kResponseSeparator);
        std::string_view piece = rest;
        if (next == std::string_view::npos || next == 0) {
            rest = std::string_view();
        } else {
            piece = rest.substr(0, next);
            rest = rest.substr(next + kResponseSeparator.size());
        }
        std::string response = Trim(piece);
        if (!response.empty()) {
            result.responses.push_back(std::move(response));
        }
    }
    return result;
}

bool IsSnppReplyLine(std::string_view reply) {
    if (reply.size() < 3) {
        return false;
    }
    for (size_t i = 0; i < 3; ++i) {
        if (reply[i] < '0' || reply[i] > '9') {
            return false;
        }
    }
    if (reply.size() == 3) {
        return true;
    }
    const char after = reply[3];
    return after == ' ' || after == '-' || after == '\r' || after == '\n';
}
