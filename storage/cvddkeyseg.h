#pragma once
// One segment of a key of a table definition: a row of the dictionary's index file.
//
// Row layout (10 bytes, little-endian): 0 table id, 2 field id, 4 key number,
// 6 segment number within the key, 8 key flags. Bit 0x0010 of the flags says another
// segment of the same key follows, 0x0020 that the key ignores letter case; 0x0080
// marks a named index in the dictionary format and is cleared when a row is read.

#include <array>
#include <cstddef>
#include <cstdint>

class cvDDKeySeg {
  public:
    static constexpr size_t kRowSize = 10;
    static constexpr uint16_t kSegmentedFlag = 0x0010;
    static constexpr uint16_t kNoCaseFlag = 0x0020;
    static constexpr uint16_t kNamedIndexFlag = 0x0080;

    cvDDKeySeg() = default;
    cvDDKeySeg(uint16_t table_id, uint16_t field_id, uint16_t key_number, uint16_t segment_number,
               uint16_t flags);

    // Reads a row of `length` bytes (missing bytes read as zero), clearing 0x0080.
    static cvDDKeySeg FromRow(const uint8_t* row, size_t length);
    std::array<uint8_t, kRowSize> ToRow() const;

    uint16_t TableId() const { return table_id_; }
    uint16_t FieldId() const { return field_id_; }
    uint16_t KeyNumber() const { return key_number_; }
    uint16_t SegmentNumber() const { return segment_number_; }
    uint16_t Flags() const { return flags_; }

  private:
    uint16_t table_id_ = 0;
    uint16_t field_id_ = 0;
    uint16_t key_number_ = 0;
    uint16_t segment_number_ = 0;
    uint16_t flags_ = 0;
};
