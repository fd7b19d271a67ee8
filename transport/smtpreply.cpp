#include "transport/smtpreply.h"

#include <cctype>

#include "transport/clinesocket.h"

namespace {

bool SameLetters(std::string_view left, std::string_view right) {
    if (left.size() != right.size()) {
        return false;
    }
    for (size_t i = 0; i < left.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(left[i])) !=
            std::toupper(static_cast<unsigned char>(right[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool SmtpReplyComplete(std::string_view gathered) {
    return CodedReplyComplete(gathered);
}

std::string SmtpReplyText(std::string_view gathered) {
    std::string_view text = gathered.substr(0, gathered.find('\0'));
    if (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
        if (!text.empty() && text.back() == '\r') {
            text.remove_suffix(1);
        }
    }
    return std::string(text);
}

int SmtpReplyCode(std::string_view text) {
    const std::string_view head = text.substr(0, 3);
    size_t i = 0;
    while (i < head.size() && std::isspace(static_cast<unsigned char>(head[i])) != 0) {
        ++i;
    }
    bool negative = false;
    if (i < head.size() && (head[i] == '+' || head[i] == '-')) {
        negative = head[i] == '-';
        ++i;
    }
    int value = 0;
    while (i < head.size() && std::isdigit(static_cast<unsigned char>(head[i])) != 0) {
        value = value * 10 + (head[i] - '0');
        ++i;
    }
    return negative ? -value : value;
}

bool SmtpReplyOffers(std::string_view reply, std::string_view keyword) {
    // The first line names the server; the extensions follow it.
    size_t start = reply.find('\n');
    start = start == std::string_view::npos ? reply.size() : start + 1;
    while (start < reply.size()) {
        size_t end = reply.find('\n', start);
        if (end == std::string_view::npos) {
            end = reply.size();
        }
        std::string_view line = reply.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.size() > 4) {
            const std::string_view words = line.substr(4);
            const size_t blank = words.find_first_of(" \t");
            if (SameLetters(words.substr(0, blank), keyword)) {
                return true;
            }
        }
        start = end + 1;
    }
    return false;
}
