#pragma once
// Value tables: ordered (text, value) pairs that turn stored codes into words for lists,
// pick lists and reports. A table is a span of entries in display order; an entry
// without a text, when present, ends it.

#include <cstdint>
#include <span>
#include <string>

struct cvValueEntry {
    const char* text;
    int32_t value;
};

using cvValueTable = std::span<const cvValueEntry>;

// The text of the first entry with `value`, or an empty text.
std::string ValueText(int32_t value, cvValueTable table);
// ValueText of the decimal number `text` begins with (leading blanks and a sign are
// read as strtol reads them; no digits reads as 0).
std::string ValueTextOf(const std::string& text, cvValueTable table);
