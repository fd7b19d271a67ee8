#include "engine/messagetext.h"

#include <string>

#include "platform/core/asciitext.h"

namespace {

// Characters the numbering takes ("1of3: "); one more from the tenth piece on.
constexpr long kNumberRoom = 7;
// How far back from the end of a piece's room a blank to cut at is looked for.
constexpr long kBlankSearch = 20;

bool IsBlank(char c) {
    return c == ' ';
}

}  // namespace

std::string CleanText(const std::string& text) {
    // Letters outside ASCII keep their ASCII form ("ü" is "u") instead of vanishing.
    const std::string ascii = platform::TransliterateToAscii(text);
    std::string clean;
    clean.reserve(ascii.size());
    for (const char c : ascii) {
        if (c == ' ' || c == '\n') {
            if (!clean.empty() && clean.back() != ' ') {
                clean.push_back(' ');
            }
        } else if (c > ' ' && c <= '~') {
            clean.push_back(c);
        }
    }
    return clean;
}

std::vector<std::string> SplitText(const std::string& text, int max_length) {
    const long length = static_cast<long>(text.size());
    std::vector<std::string> pieces;
    long start = 0;
    for (long number = 1; start < length; ++number) {
        while (start < length && IsBlank(text[static_cast<size_t>(start)])) {
            ++start;
        }
        // Only blanks were left after the last cut: they make no piece of their own.
        if (start >= length) {
            break;
        }
        long end = start + max_length - kNumberRoom;
        if (number > 9) {
            --end;
        }
        // A maximum too small for the numbering would leave the piece empty and the
        // cutting where it was; take one character at least.
        if (end <= start) {
            end = start + 1;
        }
        if (end < length) {
            for (long at = end; at >= end - kBlankSearch && at > start; --at) {
                if (IsBlank(text[static_cast<size_t>(at)])) {
                    end = at;
                    break;
                }
            }
        } else {
            end = length;
        }
        pieces.push_back(text.substr(static_cast<size_t>(start), static_cast<size_t>(end - start)));
        start = end;
    }

    // "%dof%d: %s"
    const std::string total = std::to_string(pieces.size());
    for (size_t i = 0; i < pieces.size(); ++i) {
        pieces[i] = std::to_string(i + 1) + "of" + total + ": " + pieces[i];
    }
    return pieces;
}
