#pragma once
// The data dictionary: every table definition of a database, read once at start-up
// from the dictionary files (prefix + FILE.DDF, FIELD.DDF, INDEX.DDF in the dictionary
// directory) and completed by built-in definitions the product registers in code.
//
// States: empty, then loaded (a Load that found at least one table); built-in
// definitions may be added in either state. After start-up the dictionary is only
// read, from any thread; adding definitions later needs the threads stopped.
//
// A product dictionary derives from this class and overrides the hooks, which are
// virtual in this order: destructor, AddTable, FieldDefHook, KeyFillChar,
// InitNewRecord, ExcludeKeyFromCheck.

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "storage/cvddfile.h"

class cvBuffer;

// A built-in field: name, type, offset, size, decimals. An entry without a name ends
// the list.
struct cvFieldDef {
    std::string_view name;
    uint8_t data_type = 0;
    uint16_t offset = 0;
    uint16_t size = 0;
    uint8_t decimals = 0;
};

// One key segment of a built-in definition: the field and the key flags; 0x0010 says
// another segment of the same key follows. An entry without a field name ends the list.
struct cvKeyDef {
    std::string_view field;
    uint16_t flags = 0;
};

// A table defined in code.
struct cvTableDef {
    std::string_view table;  // up to 20 characters
    std::string_view file;   // up to 64 characters; the data file name
    int page_size = cvDDFile::kDictionaryPageSize;
    int built_in = 1;
    std::span<const cvFieldDef> fields;
    std::span<const cvKeyDef> keys;
    uint8_t file_flags = 0;
};

class cvDataDict {
  public:
    using TableMap = std::map<std::string, std::unique_ptr<cvDDFile>, std::less<>>;

    cvDataDict();
    virtual ~cvDataDict();
    cvDataDict(const cvDataDict&) = delete;
    cvDataDict& operator=(const cvDataDict&) = delete;

    // Enters the table under its name, replacing a table of that name.
    virtual void AddTable(std::unique_ptr<cvDDFile> table);
    // Called for every field as it is added: Float and Money fields get 2 decimals.
    virtual void FieldDefHook(cvDDFile& table, cvDDField& field);
    // The null value of a key segment on the field: "Y" for QINACTIVE, a blank for a
    // String field, 0 otherwise.
    virtual uint8_t KeyFillChar(const cvDDFile& table, int key, const cvDDField& field) const;
    // Default contents of a new record whose bytes are all 0: QINACTIVE "N", DATEENTER
    // today, TIMEENTER now, ENTERBY the current user, where the table has them. Returns
    // true when the record layer should then blank-fill the text fields.
    virtual bool InitNewRecord(const cvDDFile& table, cvBuffer& buffer);
    // True exempts the key from the file layer's consistency check; none is exempt.
    virtual bool ExcludeKeyFromCheck(const std::string& table_name, int key) const;

    // Reads the three dictionary files of `directory` (trailing blanks trimmed, "/"
    // appended when missing) and `prefix` read-only through the record manager.
    // Returns 0 when at least one table was entered, -1 when already loaded, otherwise
    // the record-manager status that stopped the load: the failing open (12 for a
    // missing file), 9 for a table file without rows, or the failing read. A failing
    // read is also reported to the user; a load that fails keeps none of its tables.
    [[nodiscard]] int Load(std::string_view directory, std::string_view prefix);

    // Registers a table defined in code, replacing (with a 0x0080 log line) any table
    // of that name. Returns 0, or -1 when the table or file name is missing.
    [[nodiscard]] int AddDefinition(const cvTableDef& definition);

    // The table of that name (exact, case-sensitive) or null.
    cvDDFile* FindTable(std::string_view name) const;
    const TableMap& Tables() const { return tables_; }

    const std::string& Directory() const { return directory_; }
    const std::string& Prefix() const { return prefix_; }
    bool IsLoaded() const { return loaded_; }
    uint16_t HighestTableId() const { return highest_table_id_; }
    uint16_t HighestFieldId() const { return highest_field_id_; }

  private:
    std::string directory_;
    std::string prefix_;
    TableMap tables_;
    bool loaded_ = false;
    uint16_t highest_table_id_ = 0;
    uint16_t highest_field_id_ = 0;
};
