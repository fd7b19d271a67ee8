#pragma once
// One table definition of the data dictionary: the table's row, its fields by name and
// its key segments in key and segment order.
//
// A definition is built while the dictionary loads (or from a built-in definition)
// and is read-only afterwards; records and open files keep references to it for as
// long as the dictionary lives.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "storage/cvddfield.h"
#include "storage/cvddkeyseg.h"

class cvDataDict;

// The part of a row of the dictionary's table file that the program keeps: 88 bytes,
// little-endian, names blank-padded. 0 table id, 2 table name (20), 22 location of the
// data file (64), 86 file flags, 87 first reserved byte. Rows on disk carry a longer
// reserved tail.
struct cvDDTableRow {
    static constexpr size_t kRowSize = 88;
    static constexpr size_t kStoredRowSize = 97;
    static constexpr size_t kNameSize = 20;
    static constexpr size_t kLocationSize = 64;

    uint16_t id = 0;
    std::string name;      // padding removed
    std::string location;  // padding removed; may carry a drive or directories
    uint8_t file_flags = 0;
    uint8_t reserved = 0;

    // Reads a row of `length` bytes; bytes missing from a short row read as zero.
    static cvDDTableRow FromRow(const uint8_t* row, size_t length);
    // The stored form, reserved tail zero.
    std::array<uint8_t, kStoredRowSize> ToRow() const;
};

class cvDDFile {
  public:
    using FieldMap = std::map<std::string, cvDDField, std::less<>>;

    static constexpr int kDictionaryPageSize = 4096;

    cvDDFile(cvDataDict& dictionary, cvDDTableRow row, int page_size, bool built_in);

    cvDataDict& Dictionary() const { return *dictionary_; }
    const cvDDTableRow& Row() const { return row_; }
    uint16_t TableId() const { return row_.id; }
    const std::string& TableName() const { return row_.name; }
    const std::string& Location() const { return row_.location; }
    // The bare data file name: the location without a drive ("C:"), server share or
    // directories, written with "\" or "/".
    std::string FileName() const;

    // The field of that name (exact, case-sensitive) or null. With `report`, a missing
    // field logs "Table %s does not have an attribute named %s\n." under 0x0010,
    // except QINACTIVE, which tables may lack silently.
    const cvDDField* FindField(std::string_view name, bool report = true) const;
    const FieldMap& Fields() const { return fields_; }
    // Notes variable-length types, raises the record length to offset+size, lets the
    // dictionary's FieldDefHook adjust the field, then enters it under its name
    // (replacing a field of that name).
    void AddField(cvDDField field);

    // Appends a segment; returns its index in Segments().
    size_t AddKeySegment(const cvDDKeySeg& segment);
    const std::vector<cvDDKeySeg>& Segments() const { return segments_; }
    // Number of keys: the changes of key number along the segment list.
    int KeyCount() const;
    int SegmentCount(int key) const;
    // The first segment with that key and segment number, or null.
    const cvDDKeySeg* Segment(int key, int segment_number) const;
    // The field a segment covers (same field id and table id), or null.
    const cvDDField* SegmentField(const cvDDKeySeg& segment) const;
    // Appends the names of the key's fields in segment order; returns their count.
    int KeyFieldNames(int key, std::vector<std::string>& names) const;
    bool HasAutoIncKey() const;

    int RecordLength() const { return record_length_; }
    int PageSize() const { return page_size_; }
    // Accepts multiples of 512 only; returns false and keeps the size otherwise.
    bool SetPageSize(int page_size);
    uint8_t FileFlags() const { return row_.file_flags; }
    void SetFileFlags(uint8_t flags) { row_.file_flags = flags; }
    bool IsVariableLength() const { return variable_length_; }
    bool IsBuiltIn() const { return built_in_; }
    // Built-in definitions, and the dictionary's own tables (names beginning "X$").
    bool IsSystemTable() const;

  private:
    cvDataDict* dictionary_;
    cvDDTableRow row_;
    FieldMap fields_;
    std::vector<cvDDKeySeg> segments_;
    int record_length_ = 0;
    int page_size_;
    bool variable_length_ = false;
    bool built_in_;
};
