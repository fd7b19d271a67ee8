#pragma once
// The blocks the TAP carrier writes: the page block and the ETAP query and cancel
// blocks, each framed STX ... CR ETX, a three-character checksum and CR, and never
// longer than kTapBlockLimit bytes. Pure functions, no I/O.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr size_t kTapBlockLimit = 256;

// The request for a delivery confirmation that ends an ETAP page's message field, and
// the opening of a query or cancel field.
inline constexpr std::string_view kEtapConfirm = ")#*&(C";
inline constexpr std::string_view kEtapQueryLead = ")#*&(";

// The checksum of a block: the sum of its bytes from STX through ETX, of which the low
// 12 bits go out as three characters of 0x30 plus four bits each, most significant
// first.
std::string TapChecksum(std::string_view stx_through_etx);

// How many text characters a page block has room for with a PIN of `pin_length`:
// 248 - the PIN for TAP, 242 - the PIN for ETAP (which adds the confirmation request);
// 0 when the PIN leaves no room.
size_t PageTextRoom(size_t pin_length, bool etap);

// The message field of a page: carriage returns left out, line feeds sent as blanks,
// cut to `room` characters.
std::string PageField(std::string_view text, size_t room);

// STX, PIN, CR, the message field (plus the confirmation request for ETAP), CR, ETX,
// checksum, CR. None when the PIN leaves no room for text.
std::optional<std::string> BuildPageBlock(std::string_view pin, std::string_view text, bool etap);

// STX, PIN, CR, ")#*&(", "Q" (status query) or "D" (cancel), the carrier message
// number in decimal, CR, ETX, checksum, CR. None when the PIN makes the block longer
// than the limit.
std::optional<std::string> BuildQueryBlock(std::string_view pin, bool cancel, int32_t number);
