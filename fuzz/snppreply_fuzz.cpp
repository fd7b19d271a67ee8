// Feeds arbitrary bytes to the readers of SNPP replies and two-way message texts and
// checks what they promise: the question is the start of the text, every response
// is non-empty and trimmed, a message number is never negative, and the reply-end
// tests of the line-protocol core accept anything.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "transport/clinesocket.h"
#include "transport/snppreply.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const MultipleChoice split = SplitMultipleChoice(text);
    Check(text.compare(0, split.question.size(), split.question) == 0);
    if (!split.responses.empty()) {
        Check(text.compare(split.question.size(), kResponseSeparator.size(), kResponseSeparator) ==
              0);
    }
    for (const std::string& response : split.responses) {
        Check(!response.empty() && !IsSpace(response.front()) && !IsSpace(response.back()));
        Check(text.find(response) != std::string::npos);
    }

    if (const std::optional<int32_t> number = CarrierMessageNumber(text)) {
        Check(*number >= 0);
    }
    static_cast<void>(StartsWithAny(text, {"250", "8", "9"}));

    const bool line = LineComplete(text);
    const bool coded = CodedReplyComplete(text);
    const bool dotted = DotTerminatedComplete(text);
    // A complete coded or dot-terminated reply always holds a complete line.
    Check(!coded || line);
    Check(!dotted || line);
    return 0;
}
