#pragma once
// Typed access by field name to the bytes of one row: the rules records apply to their
// buffer and open files apply to their current record.
//
// A field is buffer[offset .. offset+size-1] as the table definition gives it. Every
// accessor looks the name up with reporting on (an unknown name logs under 0x0010,
// except QINACTIVE) and fails when the field is unknown, of a type or size it does not
// accept, or does not lie inside the buffer: reads give 0 or an empty text, writes
// return 0 and change nothing. Writes that succeed return nonzero and change only the
// bytes of their one field.
//
// Neither class owns the bytes; the caller keeps them alive and sized.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "storage/cvddfile.h"
#include "storage/cvobjectid.h"

class cvFieldReader {
  public:
    cvFieldReader(const cvDDFile& table, const uint8_t* data, size_t length);

    const cvDDFile& Table() const { return *table_; }

    // The field's display text; format codes 0 and 1 are the ordinary ones (see cvRec).
    std::string GetText(std::string_view name, int format = 0) const;
    std::string GetText(const cvDDField& field, int format) const;
    // Integer, Logical, Unsigned Int, AutoInc of 1, 2, 4 or 8 bytes (8: the low 32 bits).
    int32_t GetInt(std::string_view name) const;
    uint32_t GetUInt(std::string_view name) const;
    // The full value of an 8-byte Integer; 0 for any other field.
    int64_t GetInt64(std::string_view name) const;
    // Float rounded to its decimals; Decimal and Money unpacked.
    double GetDouble(std::string_view name) const;
    double GetDouble(const cvDDField& field) const;
    uint32_t GetDate(std::string_view name) const;
    uint32_t GetTime(std::string_view name) const;
    // Four integers from a 4-byte Integer field with 16 bytes of room in the row.
    cvObjectId GetObjectId(std::string_view name) const;
    // The field's first byte inside the row, or null.
    const uint8_t* FieldData(std::string_view name) const;

    // False only when the table has QINACTIVE and it holds exactly "Y".
    bool IsActive() const;
    // -1, 0 or 1 comparing this row's field with the same field of `other`, a row of the
    // same table of `other_length` bytes.
    int CompareField(const uint8_t* other, size_t other_length, const cvDDField& field) const;

  protected:
    // The field of that name when it lies inside the row, else null (unknown names log).
    const cvDDField* Find(std::string_view name) const;
    bool Fits(const cvDDField& field) const;
    const uint8_t* At(const cvDDField& field) const { return data_ + field.Offset(); }

    const cvDDFile* table_;
    const uint8_t* data_;
    size_t length_;
};

class cvFieldWriter : public cvFieldReader {
  public:
    cvFieldWriter(const cvDDFile& table, uint8_t* data, size_t length);

    // String and Logical: blank-padded or cut to the size. LString: length byte size-1,
    // then size-1 characters. ZString: size-1 characters, then NUL. Unknown fields and
    // other types log under 0x0080.
    int PutString(std::string_view name, std::string_view text);
    // Integer, Logical, AutoInc: the low 1, 2 or 4 bytes; 8 bytes sign-extended.
    int PutInt(std::string_view name, int32_t value);
    // Logical, Unsigned Int, AutoInc: the low 1, 2 or 4 bytes; 8 bytes zero-extended.
    int PutUInt(std::string_view name, uint32_t value);
    // Integer, Logical, AutoInc: sizes 1, 2, 4 take the low part; 8 takes low then high.
    int PutInt64(std::string_view name, uint32_t low, uint32_t high);
    // Float (4 or 8 bytes) rounded to its decimals; Decimal rounded and packed; Money
    // packed with 2 decimals. A value with too many digits leaves the field unchanged.
    int PutDouble(std::string_view name, double value);
    int PutDate(std::string_view name, uint32_t date);
    int PutTime(std::string_view name, uint32_t time);
    int PutObjectId(std::string_view name, const cvObjectId& id);
    // Copies min(length, size) bytes to the field's start; returns the count copied.
    int PutBytes(std::string_view name, const void* data, size_t length);
    int FillField(std::string_view name, uint8_t value);
    uint8_t* FieldData(std::string_view name);

    // Copies every field this table shares by name with `source_table` from `source`
    // (min of the two sizes, from the field's start); fields named SPARE... are zeroed
    // instead of copied.
    void CopyFieldsFrom(const cvDDFile& source_table, const uint8_t* source, size_t length);
    // The last step of a new record: text fields still starting with 0 (SPARE... aside)
    // are filled with blanks, with an LString's length byte and a ZString's NUL.
    void BlankFillTextFields();

  private:
    uint8_t* At(const cvDDField& field) { return mutable_data_ + field.Offset(); }

    uint8_t* mutable_data_;
};
