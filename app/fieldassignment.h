#pragma once
// FIELD=VALUE arguments of the command line and their conversion into a record's field
// by the field's type.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "objects/cvvaluetable.h"

class cvRec;

struct tvFieldAssignment {
    std::string name;
    std::string value;
};

// "NAME=VALUE" split at the first "=": the name must not be empty, the value may be.
// Nothing for an argument without "=" or with an empty name.
std::optional<tvFieldAssignment> ParseAssignment(std::string_view argument);

// A decimal whole number (an optional sign, then digits, nothing else) that fits 32 bits.
std::optional<int32_t> ParseWholeNumber(std::string_view text);
// The text with its ASCII letters in upper case (field names are upper case).
std::string UpperCase(std::string_view text);
// A value of a drop-down list given by its number or by an entry's text in any case
// ("COM1", "even"); nothing for other text. A number need not be in the list.
std::optional<int32_t> ParseListValue(std::string_view text, cvValueTable values);
// "Y" or "N" in either case, as the flag stores it.
std::optional<std::string> ParseFlag(std::string_view text);
// A dotted IPv4 address ("192.168.1.10"; "0" is no address) as a number with the first
// octet in the most significant byte.
std::optional<uint32_t> ParseIpv4Address(std::string_view text);
std::string Ipv4AddressText(uint32_t address);

// How text fields of the record are written.
enum class tvTextPadding {
    kBlanks,  // PutString: the tables described by the dictionary files
    kZeros,   // PutConfigText: the TOLVANE table
};

// Puts `value` into the record's field by its type: Integer, Unsigned and AutoInc
// fields take whole numbers, one-character text fields (flags) "Y" or "N", other text
// fields the text up to the characters the field holds. Returns an empty text when
// stored, else why not ("Unknown field NAME", "NAME takes a whole number", "NAME takes Y
// or N", "NAME holds at most 40 characters", "NAME cannot be set here").
std::string PutFieldValue(cvRec& record, const tvFieldAssignment& assignment,
                          tvTextPadding padding);

// How many characters a text field holds (the ZString terminator aside); 0 for an
// unknown field or one that is not a text.
int TextCapacity(const cvRec& record, std::string_view name);
