#pragma once
// Field data types: the type byte of a field definition, as the record manager and the
// dictionary files store it, and the names the program shows for them.

#include <cstdint>
#include <string>

enum cvDataType : uint8_t {
    kTypeString = 0,       // blank-padded characters, no terminator
    kTypeInteger = 1,      // little-endian two's complement of 1, 2, 4 or 8 bytes
    kTypeFloat = 2,        // IEEE single or double
    kTypeDate = 3,         // packed date
    kTypeTime = 4,         // packed time
    kTypeDecimal = 5,      // packed decimal, decimals from the field definition
    kTypeMoney = 6,        // packed decimal, always 2 decimals
    kTypeLogical = 7,      // integer, zero is false
    kTypeNumeric = 8,      // not handled
    kTypeBFloat = 9,       // not handled
    kTypeLString = 10,     // length byte, then size-1 characters
    kTypeZString = 11,     // size-1 characters, then a NUL byte
    kTypeNote = 12,        // variable-length tail; not handled
    kTypeLVar = 13,        // variable-length tail; not handled
    kTypeUnsigned = 14,    // little-endian unsigned
    kTypeAutoInc = 15,     // integer the record manager assigns on insert when 0
    kTypeNumericSts = 17,  // not handled
    kTypeIndexRow = 255,   // a dictionary row naming an index, not a field
};

// "String", "Integer", ... "NumericSts"; "Unknown" for any other code.
std::string DataTypeName(int type);
