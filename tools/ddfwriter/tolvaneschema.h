#pragma once
// The product's tables as its dictionary files describe them: the five paging tables
// and the four tables of the older release's files, with every field's type, offset,
// size and decimals and every key's segments and flags.
//
// Text fields of the paging tables are ZStrings one byte wider than the characters
// they hold (TEXT: 1000 characters in 1001 bytes); flags are 1-byte Strings; integers
// 4 bytes, the record numbers AutoInc. The older tables keep the layouts of the files
// they read, with blank-padded String texts.

#include <span>

#include "storage/cvdatadict.h"

// Key flags the schema uses.
constexpr uint16_t kKeyUnique = 0x0000;
constexpr uint16_t kKeyDuplicates = 0x0001;
constexpr uint16_t kKeyModifiable = 0x0002;
constexpr uint16_t kKeySegmented = 0x0010;  // another segment of the key follows

// The nine tables, in table-id order (ids 1 to 9).
std::span<const cvTableDef> TolvaneSchema();
