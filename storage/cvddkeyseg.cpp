#include "storage/cvddkeyseg.h"

#include <algorithm>

#include "storage/bytes.h"

cvDDKeySeg::cvDDKeySeg(uint16_t table_id, uint16_t field_id, uint16_t key_number,
                       uint16_t segment_number, uint16_t flags)
    : table_id_(table_id),
      field_id_(field_id),
      key_number_(key_number),
      segment_number_(segment_number),
      flags_(flags) {}

cvDDKeySeg cvDDKeySeg::FromRow(const uint8_t* row, size_t length) {
    uint8_t bytes[kRowSize] = {};
    std::copy_n(row, std::min(length, kRowSize), bytes);
    return cvDDKeySeg(ReadLE16(bytes + 0), ReadLE16(bytes + 2), ReadLE16(bytes + 4),
                      ReadLE16(bytes + 6),
                      static_cast<uint16_t>(ReadLE16(bytes + 8) & ~kNamedIndexFlag));
}

std::array<uint8_t, cvDDKeySeg::kRowSize> cvDDKeySeg::ToRow() const {
    std::array<uint8_t, kRowSize> row{};
    WriteLE16(row.data() + 0, table_id_);
    WriteLE16(row.data() + 2, field_id_);
    WriteLE16(row.data() + 4, key_number_);
    WriteLE16(row.data() + 6, segment_number_);
    WriteLE16(row.data() + 8, flags_);
    return row;
}
