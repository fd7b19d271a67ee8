#pragma once
// The file specification of a data file as the record manager's Create and Stat
// operations carry it: a 16-byte file part (record length at 0, page size at 2, number
// of keys at 4, record count at 6, file flags at 10) and one 16-byte part per key
// segment (position from 1 at 0, length at 2, key flags at 4, extended type at 10, null
// value at 11), the segments of one key linked by the segmented flag 0x0010.

#include <cstddef>
#include <cstdint>
#include <vector>

class cvDDFile;

struct SegmentSpecification {
    uint16_t position = 0;  // counted from 1
    uint16_t length = 0;
    uint16_t flags = 0;
    uint8_t type = 0;
    uint8_t null_value = 0;
};

struct FileSpecification {
    static constexpr size_t kPartSize = 16;

    uint16_t record_length = 0;
    uint16_t page_size = 0;
    uint16_t key_count = 0;
    uint32_t record_count = 0;
    uint16_t file_flags = 0;
    std::vector<SegmentSpecification> segments;  // every key's, in key order

    // The Create layout.
    std::vector<uint8_t> Layout() const;
    // Reads a Stat layout of `length` bytes: the file part and as many segment parts
    // as its keys need (a key ends at a segment without the segmented flag). Returns
    // false when the layout is too short for its keys.
    static bool Parse(const uint8_t* data, size_t length, FileSpecification* spec);
};

// The specification a table's definition asks for: its record length, page size, keys
// and file flags; each segment on its field (offset + 1, size, data type), its flags
// with the dictionary's case-insensitive bit 0x0020 given as the record manager's
// 0x0400, and for null and manual keys (0x0008, 0x0200) the dictionary's fill byte as
// the null value. A segment whose field is missing gets length 0, which the record
// manager refuses.
FileSpecification SpecificationOf(const cvDDFile& table);
