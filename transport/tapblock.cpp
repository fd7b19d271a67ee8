#include "transport/tapblock.h"

#include "transport/tapresponse.h"

namespace {

// STX, CR after the PIN, CR after the field, ETX, three checksum characters, CR.
constexpr size_t kFraming = 8;
constexpr size_t kTapTextLimit = kTapBlockLimit - kFraming;  // 248

std::string Framed(std::string_view pin, std::string_view field) {
    std::string block;
    block.reserve(pin.size() + field.size() + kFraming);
    block += kStx;
    block += pin;
    block += kCr;
    block += field;
    block += kCr;
    block += kEtx;
    block += TapChecksum(block);
    block += kCr;
    return block;
}

}  // namespace

std::string TapChecksum(std::string_view stx_through_etx) {
    unsigned sum = 0;
    for (const char c : stx_through_etx) {
        sum += static_cast<unsigned char>(c);
    }
    sum &= 0x0FFF;
    std::string checksum(3, '0');
    checksum[0] = static_cast<char>(0x30 + ((sum >> 8) & 0x0F));
    checksum[1] = static_cast<char>(0x30 + ((sum >> 4) & 0x0F));
    checksum[2] = static_cast<char>(0x30 + (sum & 0x0F));
    return checksum;
}

size_t PageTextRoom(size_t pin_length, bool etap) {
    const size_t limit = etap ? kTapTextLimit - kEtapConfirm.size() : kTapTextLimit;
    return pin_length >= limit ? 0 : limit - pin_length;
}

std::string PageField(std::string_view text, size_t room) {
    std::string field;
    for (const char c : text) {
        if (field.size() >= room) {
            break;
        }
        if (c == '\r') {
            continue;
        }
        field += c == '\n' ? ' ' : c;
    }
    return field;
}

std::optional<std::string> BuildPageBlock(std::string_view pin, std::string_view text, bool etap) {
    const size_t room = PageTextRoom(pin.size(), etap);
    if (room == 0) {
        return std::nullopt;
    }
    std::string field = PageField(text, room);
    if (etap) {
        field += kEtapConfirm;
    }
    return Framed(pin, field);
}

std::optional<std::string> BuildQueryBlock(std::string_view pin, bool cancel, int32_t number) {
    std::string field(kEtapQueryLead);
    field += cancel ? 'D' : 'Q';
    field += std::to_string(number);
    if (pin.size() + field.size() + kFraming > kTapBlockLimit) {
        return std::nullopt;
    }
    return Framed(pin, field);
}
