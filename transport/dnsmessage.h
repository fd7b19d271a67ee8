#pragma once
// The resolver's datagrams: the mail-exchanger query it sends and the reading of the
// answer into a list of mail hosts.
//
// The answer comes from the network, so the reader trusts nothing in it: every read
// stays inside the bytes received, a name is at most 255 characters, a name follows
// at most kMaxNamePointers compression pointers, and an answer that cannot be read
// (cut short, a name running off the end, a pointer loop) gives nothing.
//
// How an answer becomes a list: the header's answer, authority and additional counts
// fix the number of records walked; after the question, the first answer record tells
// whether the answer starts with an alias (CNAME), which then does not count as a mail
// exchanger. One entry is made per mail exchanger expected; the MX records fill them
// in order, and the address (A) records that follow fill their addresses by position,
// not by owner name: the first address record for the first entry, and so on. Name
// server records are stepped over; any other kind of record ends the walk. Entries
// left without a host are dropped, and the list is ordered by preference, entries of
// equal preference keeping their order in the answer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "transport/tvresolver.h"

inline constexpr uint16_t kDnsQueryId = 0x11DF;
inline constexpr uint16_t kDnsTypeA = 1;
inline constexpr uint16_t kDnsTypeNs = 2;
inline constexpr uint16_t kDnsTypeCname = 5;
inline constexpr uint16_t kDnsTypeMx = 15;
inline constexpr size_t kDnsBufferSize = 2048;
inline constexpr int kMaxNamePointers = 32;
inline constexpr size_t kMaxNameLength = 255;

// The query for `domain` and record type `type` (class IN): identifier kDnsQueryId,
// only the recursion-desired flag set, one question. One trailing dot of the domain is
// ignored. Empty when the domain cannot be written as a name (an empty label, a label
// over 63 characters, a name over 255 bytes).
std::string BuildDnsQuery(std::string_view domain, uint16_t type);

// The mail exchangers of an answer, as described in the file comment; empty when the
// answer holds none or cannot be read.
std::vector<tvMailExchanger> ParseMxAnswer(const uint8_t* data, size_t size);
