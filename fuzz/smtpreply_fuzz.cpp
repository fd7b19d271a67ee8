// Feeds arbitrary bytes to the SMTP reply reader the way they come off the socket:
// the first byte cuts the rest into reads of up to that many bytes, and after each
// read the reader decides whether the reply is whole, as the line-protocol core does.
// Then the reply's text, code and offered extensions are read. Checks: the text is a
// prefix of what arrived, the code has at most three digits, and a whole reply ends
// with a line end.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "transport/smtpreply.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t read_size = static_cast<size_t>(data[0] % 64) + 1;
    const std::string_view input(reinterpret_cast<const char*>(data + 1), size - 1);

    std::string gathered;
    bool whole = false;
    for (size_t at = 0; at < input.size() && !whole; at += read_size) {
        gathered.append(input.substr(at, read_size));
        whole = SmtpReplyComplete(gathered);
    }
    if (whole) {
        Check(!gathered.empty() && gathered.back() == '\n');
    }
    const std::string text = SmtpReplyText(gathered);
    Check(gathered.compare(0, text.size(), text) == 0);
    const int code = SmtpReplyCode(text);
    Check(code > -100 && code < 1000);
    static_cast<void>(SmtpReplyOffers(text, "STARTTLS"));
    static_cast<void>(SmtpReplyOffers(text, ""));
    return 0;
}
