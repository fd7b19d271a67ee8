#pragma once
// One field of a table definition: a row of the dictionary's field file.
//
// Row layout (32 bytes, little-endian, name blank-padded): 0 field id (unique over
// all tables), 2 table id, 4 name (20), 24 data type (255 marks a row naming an index),
// 25 offset in the record, 27 size, 29 decimals, 30 field flags.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

class cvDDField {
  public:
    static constexpr size_t kRowSize = 32;
    static constexpr size_t kNameSize = 20;

    cvDDField() = default;
    cvDDField(uint16_t id, uint16_t table_id, std::string_view name, uint8_t data_type,
              uint16_t offset, uint16_t size, uint8_t decimals, uint16_t flags = 0);

    // Reads a row of `length` bytes; bytes missing from a short row read as zero.
    static cvDDField FromRow(const uint8_t* row, size_t length);
    std::array<uint8_t, kRowSize> ToRow() const;

    uint16_t Id() const { return id_; }
    uint16_t TableId() const { return table_id_; }
    // The name without its blank padding.
    const std::string& Name() const { return name_; }
    uint8_t DataType() const { return data_type_; }
    uint16_t Offset() const { return offset_; }
    uint16_t Size() const { return size_; }
    uint8_t Decimals() const { return decimals_; }
    uint16_t Flags() const { return flags_; }
    bool IsIndexRow() const;

    void SetDecimals(uint8_t decimals) { decimals_ = decimals; }

  private:
    uint16_t id_ = 0;
    uint16_t table_id_ = 0;
    std::string name_;
    uint8_t data_type_ = 0;
    uint16_t offset_ = 0;
    uint16_t size_ = 0;
    uint8_t decimals_ = 0;
    uint16_t flags_ = 0;
};
