#pragma once
// A data file's specification: record length, page size, file flags and its keys, each
// key a list of segments (a field of the record with its length, flags, type and null
// value). It arrives as the little-endian layout of Create and leaves as that of Stat:
// a 16-byte file part, then one 16-byte part per segment, the segments of one key
// linked by the segmented flag.
//
// A parsed specification is immutable; every open of a file shares the one it was
// created with.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace recman {

using Bytes = std::vector<uint8_t>;

struct SegmentSpec {
    uint16_t position = 1;  // first byte in the record, counted from 1
    uint16_t length = 0;
    uint16_t flags = 0;
    uint8_t type = 0;  // extended data type: decides the order
    uint8_t null_value = 0;
    size_t value_offset = 0;    // where the segment starts in a key value
    size_t encoded_offset = 0;  // where it starts in the key's encoding
    size_t encoded_width = 0;   // its width there

    size_t RecordOffset() const { return position - 1u; }
    bool Descending() const;
    bool CaseInsensitive() const;
};

struct KeySpec {
    std::vector<SegmentSpec> segments;
    bool duplicates = false;
    bool modifiable = false;
    bool null_when_all = false;  // left out when every segment holds its null value
    bool null_when_any = false;  // left out when any segment does (manual key)
    bool autoinc = false;        // its first segment is an AutoInc field
    size_t value_length = 0;     // bytes of a key value: the segments back to back
    size_t encoded_length = 0;   // bytes of its encoding
};

struct FileSpec {
    uint16_t record_length = 0;
    uint16_t page_size = 0;
    uint16_t file_flags = 0;
    std::vector<KeySpec> keys;
    Bytes layout;  // the Create layout as stored, statistics fields cleared

    size_t SegmentCount() const;
};

// Parses a Create layout of `length` bytes. Returns 0 and fills `spec`, or the status
// of the first fault: 24 layout shorter than its keys need or bad page size, 26 too
// many keys, 27 a segment outside the record, 28 record length 0, 29 a segment length
// its type does not allow or a key longer than a key buffer, 49 an unknown type,
// 55 an AutoInc segment that is not the first of its key.
[[nodiscard]] int ParseFileSpec(const uint8_t* data, size_t length, FileSpec* spec);

// The Stat layout: the stored one with the record count filled in.
Bytes StatLayout(const FileSpec& spec, uint32_t record_count);

}  // namespace recman
