// Feeds arbitrary bytes from a paging terminal through the TAP response reader: the
// bytes are cut into lines the way the modem link reads them (a carriage return ends a
// line, line feeds are dropped, at most 510 characters a line), and each line is
// classified. Checks what the reader promises: a code from the table, no log rows for
// an unusable line, the line itself as the last row of a long line, log rows free of
// control characters, and a carrier message number that is never negative.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "transport/tapresponse.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

bool Printable(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) {
            return false;
        }
    }
    return true;
}

void CheckLine(const std::string& line) {
    const TapClassified classified = ClassifyTapResponse(line);
    Check(classified.code >= kTapNone && classified.code <= kTapNoCarrier);
    if (classified.code == kTapNone) {
        Check(classified.rows.empty());
        Check(line.size() < 4);
    }
    if (line.size() >= 4) {
        Check(!classified.rows.empty() && classified.rows.size() <= 2);
        Check(classified.rows.back() == ShowControls(line));
        Check(classified.code != kTapNone);
    }
    for (const std::string& row : classified.rows) {
        Check(Printable(row));
    }
    if (const std::optional<int32_t> number = EtapMessageNumber(line)) {
        Check(*number >= 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    constexpr size_t kLineLimit = 510;
    std::string line;
    size_t taken = 0;
    for (const char c : bytes) {
        if (c == '\r') {
            CheckLine(line);
            line.clear();
            taken = 0;
            continue;
        }
        if (c != '\n') {
            line.push_back(c);
        }
        if (++taken >= kLineLimit) {
            CheckLine(line);
            line.clear();
            taken = 0;
        }
    }
    CheckLine(line);  // what came before the time ran out
    return 0;
}
