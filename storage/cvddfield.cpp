#include "storage/cvddfield.h"

#include <algorithm>

#include "storage/bytes.h"
#include "storage/datatype.h"

cvDDField::cvDDField(uint16_t id, uint16_t table_id, std::string_view name, uint8_t data_type,
                     uint16_t offset, uint16_t size, uint8_t decimals, uint16_t flags)
    : id_(id),
      table_id_(table_id),
      name_(TrimBlanks(name.substr(0, kNameSize))),
      data_type_(data_type),
      offset_(offset),
      size_(size),
      decimals_(decimals),
      flags_(flags) {}

cvDDField cvDDField::FromRow(const uint8_t* row, size_t length) {
    uint8_t bytes[kRowSize] = {};
    std::copy_n(row, std::min(length, kRowSize), bytes);
    cvDDField field;
    field.id_ = ReadLE16(bytes + 0);
    field.table_id_ = ReadLE16(bytes + 2);
    field.name_ = PaddedName(bytes + 4, kNameSize);
    field.data_type_ = bytes[24];
    field.offset_ = ReadLE16(bytes + 25);
    field.size_ = ReadLE16(bytes + 27);
    field.decimals_ = bytes[29];
    field.flags_ = ReadLE16(bytes + 30);
    return field;
}

std::array<uint8_t, cvDDField::kRowSize> cvDDField::ToRow() const {
    std::array<uint8_t, kRowSize> row{};
    WriteLE16(row.data() + 0, id_);
    WriteLE16(row.data() + 2, table_id_);
    WritePaddedName(row.data() + 4, kNameSize, name_);
    row[24] = data_type_;
    WriteLE16(row.data() + 25, offset_);
    WriteLE16(row.data() + 27, size_);
    row[29] = decimals_;
    WriteLE16(row.data() + 30, flags_);
    return row;
}

bool cvDDField::IsIndexRow() const {
    return data_type_ == kTypeIndexRow;
}
