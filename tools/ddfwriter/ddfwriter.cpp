#include "tools/ddfwriter/ddfwriter.h"

#include <cstring>
#include <filesystem>
#include <system_error>

#include "platform/recman/recman.h"
#include "storage/bytes.h"
#include "storage/datatype.h"
#include "storage/dbstatus.h"
#include "storage/recordmanagercall.h"

namespace {

// One key segment of a dictionary file: a 2-byte unsigned id at `position` (from 1).
struct IdSegment {
    uint16_t position;
    uint16_t flags;
};

// A dictionary file being written: created on Open, closed when the object goes.
class NewDictionaryFile {
  public:
    NewDictionaryFile() = default;
    ~NewDictionaryFile() {
        if (open_) {
            uint32_t length = 0;
            static_cast<void>(
                RecordManagerCall(RECMAN_CLOSE, position_, nullptr, &length, key_, 0));
        }
    }
    NewDictionaryFile(const NewDictionaryFile&) = delete;
    NewDictionaryFile& operator=(const NewDictionaryFile&) = delete;

    // Creates (replacing) and opens the file; one key per segment, each a single id.
    [[nodiscard]] int Create(const std::string& path, uint16_t record_length,
                             std::initializer_list<IdSegment> keys) {
        if (path.size() >= sizeof key_) {
            return RECMAN_INVALID_FILE_NAME;
        }
        uint8_t spec[RECMAN_SPEC_FILE_PART + 4 * RECMAN_SPEC_SEGMENT_PART] = {};
        WriteLE16(spec + 0, record_length);
        WriteLE16(spec + 2, 1024);  // page size
        spec[4] = static_cast<uint8_t>(keys.size());
        uint8_t* segment = spec + RECMAN_SPEC_FILE_PART;
        for (const IdSegment& key : keys) {
            WriteLE16(segment + 0, key.position);
            WriteLE16(segment + 2, 2);
            WriteLE16(segment + 4, static_cast<uint16_t>(key.flags | RECMAN_KEY_EXTENDED_TYPE));
            segment[10] = RECMAN_TYPE_UNSIGNED;
            segment += RECMAN_SPEC_SEGMENT_PART;
        }
        SetPath(path);
        uint32_t length = static_cast<uint32_t>(segment - spec);
        int status =
            RecordManagerCall(RECMAN_CREATE, position_, spec, &length, key_, RECMAN_CREATE_REPLACE);
        if (status != 0) {
            operation_ = RECMAN_CREATE;
            return status;
        }
        SetPath(path);
        length = 0;
        status =
            RecordManagerCall(RECMAN_OPEN, position_, nullptr, &length, key_, RECMAN_MODE_NORMAL);
        open_ = status == 0;
        operation_ = RECMAN_OPEN;
        return status;
    }

    [[nodiscard]] int Insert(const uint8_t* row, size_t size) {
        uint8_t data[256] = {};
        std::memcpy(data, row, size);
        uint32_t length = static_cast<uint32_t>(size);
        operation_ = RECMAN_INSERT;
        return RecordManagerCall(RECMAN_INSERT, position_, data, &length, key_, 0);
    }

    // Transactions go through any open file; they cover every file of the client.
    [[nodiscard]] int Transaction(uint16_t operation) {
        uint32_t length = 0;
        operation_ = operation;
        return RecordManagerCall(operation, position_, nullptr, &length, key_, 0);
    }

    uint16_t LastOperation() const { return operation_; }

  private:
    void SetPath(const std::string& path) {
        std::memset(key_, 0, sizeof key_);
        std::memcpy(key_, path.data(), path.size());
    }

    uint8_t position_[RECMAN_POSITION_BLOCK_SIZE] = {};
    uint8_t key_[RECMAN_KEY_BUFFER_SIZE] = {};
    uint16_t operation_ = RECMAN_CREATE;
    bool open_ = false;
};

int Fail(int status, const NewDictionaryFile& file, const std::string& name, std::string* failure) {
    if (failure) {
        *failure = OperationName(file.LastOperation()) + " Failed on file " + name + ": " +
                   StatusText(status);
    }
    return status;
}

template <typename Row>
int WriteRows(NewDictionaryFile& file, const std::vector<Row>& rows, const std::string& name,
              std::string* failure) {
    for (const Row& row : rows) {
        const auto bytes = row.ToRow();
        const int status = file.Insert(bytes.data(), bytes.size());
        if (status != 0) {
            return Fail(status, file, name, failure);
        }
    }
    return 0;
}

}  // namespace

int WriteDictionaryFiles(const std::string& directory, const std::string& prefix,
                         const DictionaryRows& rows, std::string* failure) {
    std::error_code error;
    std::filesystem::create_directories(directory, error);
    std::string base = directory;
    if (base.empty() || base.back() != '/') {
        base += '/';
    }

    const std::string tables_name = prefix + "FILE.DDF";
    const std::string fields_name = prefix + "FIELD.DDF";
    const std::string keys_name = prefix + "INDEX.DDF";
    NewDictionaryFile tables;
    NewDictionaryFile fields;
    NewDictionaryFile keys;
    int status = tables.Create(base + tables_name, cvDDTableRow::kStoredRowSize, {{1, 0}});
    if (status != 0) {
        return Fail(status, tables, tables_name, failure);
    }
    status = fields.Create(base + fields_name, cvDDField::kRowSize,
                           {{1, 0}, {3, RECMAN_KEY_DUPLICATES}});
    if (status != 0) {
        return Fail(status, fields, fields_name, failure);
    }
    status = keys.Create(base + keys_name, cvDDKeySeg::kRowSize, {{1, RECMAN_KEY_DUPLICATES}});
    if (status != 0) {
        return Fail(status, keys, keys_name, failure);
    }

    // All rows in one transaction: the files hold the whole dictionary or no rows.
    status = tables.Transaction(RECMAN_BEGIN_TRANSACTION + RECMAN_CONCURRENT_BIAS);
    if (status != 0) {
        return Fail(status, tables, tables_name, failure);
    }
    status = WriteRows(tables, rows.tables, tables_name, failure);
    if (status == 0) {
        status = WriteRows(fields, rows.fields, fields_name, failure);
    }
    if (status == 0) {
        status = WriteRows(keys, rows.segments, keys_name, failure);
    }
    if (status != 0) {
        static_cast<void>(tables.Transaction(RECMAN_ABORT_TRANSACTION));
        return status;
    }
    status = tables.Transaction(RECMAN_END_TRANSACTION);
    return status == 0 ? 0 : Fail(status, tables, tables_name, failure);
}
