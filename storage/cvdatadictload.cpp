// Loading the dictionary from its three record-manager files. Kept apart from the
// in-memory dictionary, which needs no record manager.

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/recman/recman.h"
#include "storage/bytes.h"
#include "storage/cvdatadict.h"
#include "storage/dberror.h"
#include "storage/recordmanagercall.h"

namespace {

// One dictionary file opened read-only for the length of a load; closed when the
// object goes. Its position block stays at one address while the file is open.
class DictionaryFile {
  public:
    explicit DictionaryFile(std::string report_name) : report_name_(std::move(report_name)) {}
    ~DictionaryFile() {
        if (open_) {
            uint32_t length = 0;
            static_cast<void>(RecordManagerCall(RECMAN_CLOSE, position_, row_, &length, key_, 0));
        }
    }
    DictionaryFile(const DictionaryFile&) = delete;
    DictionaryFile& operator=(const DictionaryFile&) = delete;

    // Returns the status of the open; nothing is reported.
    [[nodiscard]] int Open(const std::string& path) {
        if (path.size() >= sizeof key_) {
            return RECMAN_INVALID_FILE_NAME;
        }
        std::memset(key_, 0, sizeof key_);
        std::memcpy(key_, path.data(), path.size());
        uint32_t length = 0;
        const int status =
            RecordManagerCall(RECMAN_OPEN, position_, row_, &length, key_, RECMAN_MODE_READ_ONLY);
        open_ = status == 0;
        return status;
    }

    // Reads one row along `key`; `key_value` (when given) is the value to look for.
    [[nodiscard]] int Read(uint16_t operation, int8_t key, const uint8_t* key_value = nullptr,
                           size_t key_length = 0) {
        if (key_value) {
            std::memset(key_, 0, sizeof key_);
            std::memcpy(key_, key_value, key_length);
        }
        row_length_ = sizeof row_;
        const int status = RecordManagerCall(operation, position_, row_, &row_length_, key_, key);
        if (status != 0) {
            row_length_ = 0;
        }
        return status;
    }

    // Reports a failed read the way a failing first row of the dictionary is reported:
    // logged and shown, without the offer to exit.
    int Report(int status, uint16_t operation) const {
        return ReportDbError(status, operation, report_name_, false, false);
    }

    const uint8_t* Row() const { return row_; }
    size_t RowLength() const { return std::min<size_t>(row_length_, sizeof row_); }

  private:
    std::string report_name_;
    uint8_t position_[RECMAN_POSITION_BLOCK_SIZE] = {};
    uint8_t key_[RECMAN_KEY_BUFFER_SIZE] = {};
    uint8_t row_[4096] = {};
    uint32_t row_length_ = 0;
    bool open_ = false;
};

// Reads the rows of one table along a key on the table id, which the rows hold at
// `id_offset`: the first with Get Equal, the following with Get Next while the table
// id still matches. `take` gets each row. Returns 0 at the end of the table's rows, or
// the status of a failed read (reported).
template <typename Take>
int ReadTableRows(DictionaryFile& file, int8_t key, size_t id_offset, uint16_t table_id,
                  Take take) {
    uint8_t key_value[2];
    WriteLE16(key_value, table_id);
    uint16_t operation = RECMAN_GET_EQUAL;
    int status = file.Read(operation, key, key_value, sizeof key_value);
    while (status == 0) {
        if (file.RowLength() < id_offset + 2 || ReadLE16(file.Row() + id_offset) != table_id) {
            return 0;
        }
        take(file.Row(), file.RowLength());
        operation = RECMAN_GET_NEXT;
        status = file.Read(operation, key);
    }
    if (status == RECMAN_KEY_NOT_FOUND || status == RECMAN_END_OF_FILE) {
        return 0;
    }
    return file.Report(status, operation);
}

}  // namespace

int cvDataDict::Load(std::string_view directory, std::string_view prefix) {
    if (loaded_) {
        return -1;
    }
    directory_ = std::string(directory.substr(0, directory.find_last_not_of(' ') + 1));
    if (directory_.empty() || directory_.back() != '/') {
        directory_ += '/';
    }
    prefix_ = std::string(prefix);

    DictionaryFile tables_file(prefix_ + "FILE.DDF");
    DictionaryFile fields_file(prefix_ + "FIELD.DDF");
    DictionaryFile keys_file(prefix_ + "INDEX.DDF");
    int status = tables_file.Open(directory_ + prefix_ + "FILE.DDF");
    if (status == 0) {
        status = fields_file.Open(directory_ + prefix_ + "FIELD.DDF");
    }
    if (status == 0) {
        status = keys_file.Open(directory_ + prefix_ + "INDEX.DDF");
    }
    if (status != 0) {
        return status;
    }

    status = tables_file.Read(RECMAN_GET_FIRST, 0);
    if (status != 0 && status != RECMAN_END_OF_FILE) {
        static_cast<void>(tables_file.Report(status, RECMAN_GET_FIRST));
    }
    std::vector<std::string> entered;
    while (status == 0) {
        const cvDDTableRow row = cvDDTableRow::FromRow(tables_file.Row(), tables_file.RowLength());
        highest_table_id_ = std::max(highest_table_id_, row.id);
        auto table = std::make_unique<cvDDFile>(*this, row, cvDDFile::kDictionaryPageSize, false);

        // Field rows hold their table id after their own id; key-segment rows first.
        status = ReadTableRows(fields_file, 1, 2, row.id, [&](const uint8_t* bytes, size_t length) {
            cvDDField field = cvDDField::FromRow(bytes, length);
            highest_field_id_ = std::max(highest_field_id_, field.Id());
            if (!field.IsIndexRow()) {
                table->AddField(std::move(field));
            }
        });
        if (status == 0) {
            status =
                ReadTableRows(keys_file, 0, 0, row.id, [&](const uint8_t* bytes, size_t length) {
                    table->AddKeySegment(cvDDKeySeg::FromRow(bytes, length));
                });
        }
        if (status != 0) {
            break;  // already reported
        }
        entered.push_back(table->TableName());
        AddTable(std::move(table));

        status = tables_file.Read(RECMAN_GET_NEXT, 0);
        if (status != 0 && status != RECMAN_END_OF_FILE) {
            static_cast<void>(tables_file.Report(status, RECMAN_GET_NEXT));
        }
    }
    if (status == RECMAN_END_OF_FILE && !entered.empty()) {
        loaded_ = true;
        return 0;
    }
    // A dictionary read only in part would describe tables wrongly: keep none of it.
    for (const std::string& name : entered) {
        tables_.erase(name);
    }
    return status;
}
