#pragma once
// The configuration table TOLVANE, defined by the program and added to the dictionary
// at start-up: data file TOLVANE.DAT, page size 1024, 504-byte records.
//
// Every record starts with its key, STRKEY (the kind: "OPTIONS", "SERVER", "MACHINE",
// "VERSION") and NUMKEY (0, or 1, 2, ... for the "MACHINE" records), and ends with the
// audit fields DATEENTER, TIMEENTER and ENTERBY at 492. The 480 bytes between (SPARE)
// hold the fields of the record's kind, which overlay one another; every field of
// every kind is a field of the one table. Integers are 4 bytes little-endian; texts are
// zero-padded and zero-terminated (ZString), flags one character.
//
// The one key is STRKEY then NUMKEY, unique and not modifiable. Because a ZString key
// compares its characters up to the first zero byte, STRKEY must be written the way the
// records store it, zero-padded: through PutConfigText, never PutString (which pads
// with blanks).

#include <cstdint>
#include <string_view>

#include "storage/cvdatadict.h"

class cvFile;
class cvRec;

inline constexpr std::string_view kOptionsKind = "OPTIONS";
inline constexpr std::string_view kServerKind = "SERVER";
inline constexpr std::string_view kMachineKind = "MACHINE";
inline constexpr std::string_view kVersionKind = "VERSION";

inline constexpr int kTolvaneRecordLength = 504;
inline constexpr int kTolvanePageSize = 1024;

// The built-in definition handed to cvDataDict::AddDefinition.
const cvTableDef& TolvaneTableDef();

// Writes a text into a text or flag field zero-padded: the field is cleared and the
// text copied in, cut to what the field holds (a ZString keeps its final zero byte).
// Returns nonzero on success, 0 for an unknown field or one that is not a text.
[[nodiscard]] int PutConfigText(cvRec& record, std::string_view name, std::string_view text);
// The same on the current record of an open file, for building keys.
[[nodiscard]] int PutConfigText(cvFile& file, std::string_view name, std::string_view text);
// How many characters a text field holds (size - 1 for a ZString), 0 when unknown.
int ConfigTextCapacity(const cvDDFile& table, std::string_view name);
