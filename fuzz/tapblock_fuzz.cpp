// Feeds arbitrary bytes to the test terminal's TAP block collector and parser, and
// builds page and query blocks from the same bytes. Checks that the parser never
// reads outside a block and keeps its promises (a framed block has its fields, a
// number is -1 or fits), and that every block the carrier builds is at most 256
// bytes, framed, carries a checksum the parser accepts and the text the builder put
// in.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tests/support/tapblockparser.h"
#include "transport/tapblock.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

void CheckParsed(const TapParsedBlock& block) {
    Check(!block.raw.empty() && block.raw.front() == '\x02');
    if (block.framed) {
        Check(block.raw.size() >= 8);
        Check(block.pin.size() + block.field.size() + 8 <= block.raw.size());
    }
    Check(block.number >= -1 && block.number <= INT32_MAX);
    if (block.kind == TapParsedBlock::Kind::kQuery || block.kind == TapParsedBlock::Kind::kCancel) {
        Check(block.text.empty());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    TapBlockCollector collector(300);
    for (const char c : bytes) {
        if (std::optional<TapParsedBlock> block = collector.Feed(c)) {
            CheckParsed(*block);
        }
    }
    CheckParsed(ParseTapBlock(std::string("\x02") + std::string(bytes)));

    // Builder against parser: the first byte splits PIN from text.
    if (size == 0) {
        return 0;
    }
    const size_t split = std::min<size_t>(data[0], size - 1);
    std::string pin(bytes.substr(1, split));
    std::string text(bytes.substr(1 + split));
    // A PIN or text with the block's own control characters is not something the
    // engine hands over (texts are cleaned); keep the round trip to what it does.
    for (std::string* part : {&pin, &text}) {
        for (char& c : *part) {
            if (c == '\x02' || c == '\x03' || c == '\r') {
                c = ' ';
            }
        }
    }
    for (const bool etap : {false, true}) {
        const std::optional<std::string> block = BuildPageBlock(pin, text, etap);
        Check(block.has_value() == (PageTextRoom(pin.size(), etap) > 0));
        if (!block) {
            continue;
        }
        Check(block->size() <= kTapBlockLimit);
        const TapParsedBlock parsed = ParseTapBlock(*block);
        Check(parsed.framed && parsed.checksum_ok);
        Check(parsed.pin == pin);
        if (text.find(")#*&(") == std::string::npos) {
            Check(parsed.text == PageField(text, PageTextRoom(pin.size(), etap)));
        }
    }
    const int32_t number = static_cast<int32_t>(size * 7919);
    if (const std::optional<std::string> query = BuildQueryBlock(pin, size % 2 == 0, number)) {
        Check(query->size() <= kTapBlockLimit);
        const TapParsedBlock parsed = ParseTapBlock(*query);
        Check(parsed.framed && parsed.checksum_ok && parsed.number == number);
    } else {
        Check(pin.size() + 20 > kTapBlockLimit - 8);
    }
    return 0;
}
