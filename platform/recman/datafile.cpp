#include "platform/recman/datafile.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/recman/keycodec.h"
#include "platform/recman/recman.h"

namespace recman {
namespace {

constexpr int kApplicationId = 0x5456524D;  // "TVRM"
constexpr int kFormatVersion = 1;
constexpr uint32_t kFullPercent = 10000;

std::string KeyColumn(int key) {
    return "k" + std::to_string(key);
}
std::string SequenceColumn(int key) {
    return "s" + std::to_string(key);
}

// The 8 bytes of `value` from `offset` on as a big-endian number, zero-padded.
uint64_t Window(const Bytes& value, size_t offset) {
    uint64_t window = 0;
    for (size_t i = 0; i < 8; ++i) {
        const size_t at = offset + i;
        window = (window << 8) | (at < value.size() ? value[at] : 0);
    }
    return window;
}

size_t CommonPrefix(const Bytes& a, const Bytes& b) {
    const size_t limit = std::min(a.size(), b.size());
    size_t length = 0;
    while (length < limit && a[length] == b[length]) {
        ++length;
    }
    return length;
}

// low + (high - low) * percent / 10000, rounded, without overflow.
uint64_t Interpolate(uint64_t low, uint64_t high, uint32_t percent) {
    const uint64_t span = high - low;
    const uint64_t whole = span / kFullPercent * percent;
    const uint64_t part = (span % kFullPercent * percent + kFullPercent / 2) / kFullPercent;
    return low + whole + part;
}

// (value - low) * 10000 / (high - low), for low <= value <= high, low < high.
uint32_t Proportion(uint64_t low, uint64_t high, uint64_t value) {
    const uint64_t span = high - low;
    const uint64_t offset = value - low;
    const uint64_t unit = span / kFullPercent + 1;  // keeps the product below 2^64
    const uint64_t scaled = (offset / unit) * kFullPercent / (span / unit);
    return static_cast<uint32_t>(std::min<uint64_t>(scaled, kFullPercent));
}

bool BlobEquals(sqlite3_stmt* statement, int column, const Bytes& value) {
    const int bytes = sqlite3_column_bytes(statement, column);
    const void* blob = sqlite3_column_blob(statement, column);
    return static_cast<size_t>(bytes) == value.size() &&
           (bytes == 0 || std::memcmp(blob, value.data(), value.size()) == 0);
}

void ReadBlob(sqlite3_stmt* statement, int column, Bytes* out) {
    const int bytes = sqlite3_column_bytes(statement, column);
    const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(statement, column));
    out->assign(blob, blob + bytes);
}

int BindBlob(sqlite3_stmt* statement, int index, const Bytes& value) {
    return sqlite3_bind_blob(statement, index, value.data(), static_cast<int>(value.size()),
                             SQLITE_STATIC);
}

}  // namespace

int DataFile::WriteSchema(sqlite3* db, const FileSpec& spec) {
    std::string columns;
    std::string indexes;
    for (size_t k = 0; k < spec.keys.size(); ++k) {
        const int key = static_cast<int>(k);
        const std::string column = KeyColumn(key);
        columns += ", " + column + " BLOB";
        if (spec.keys[k].duplicates) {
            columns += ", " + SequenceColumn(key) + " INTEGER";
            indexes += "CREATE INDEX rec_" + column + " ON rec(" + column + ", " +
                       SequenceColumn(key) + ") WHERE " + column + " IS NOT NULL;";
        } else {
            indexes += "CREATE UNIQUE INDEX rec_" + column + " ON rec(" + column + ") WHERE " +
                       column + " IS NOT NULL;";
        }
    }
    const std::string sql =
        "PRAGMA application_id = " + std::to_string(kApplicationId) +
        ";"
        "PRAGMA user_version = " +
        std::to_string(kFormatVersion) +
        ";"
        "BEGIN;"
        "CREATE TABLE spec(id INTEGER PRIMARY KEY CHECK (id = 1), layout BLOB NOT NULL);"
        "CREATE TABLE meta(id INTEGER PRIMARY KEY CHECK (id = 1),"
        " record_count INTEGER NOT NULL, sequence INTEGER NOT NULL);"
        "INSERT INTO meta VALUES (1, 0, 0);"
        "CREATE TABLE rec(pos INTEGER PRIMARY KEY AUTOINCREMENT, data BLOB NOT NULL" +
        columns + ");" + indexes;
    int result = Execute(db, sql.c_str());
    if (result != SQLITE_OK) {
        static_cast<void>(Execute(db, "ROLLBACK"));
        return StatusOf(db, result);
    }
    Statement insert;
    result = insert.Prepare(db, "INSERT INTO spec VALUES (1, ?1)");
    if (result == SQLITE_OK) {
        result = BindBlob(insert.get(), 1, spec.layout);
    }
    if (result == SQLITE_OK) {
        result = sqlite3_step(insert.get());
        result = result == SQLITE_DONE ? SQLITE_OK : result;
    }
    insert.Finalize();
    if (result == SQLITE_OK) {
        result = Execute(db, "COMMIT");
    }
    if (result != SQLITE_OK) {
        const int status = StatusOf(db, result);
        static_cast<void>(Execute(db, "ROLLBACK"));
        return status;
    }
    return RECMAN_OK;
}

int DataFile::Load(sqlite3* db, const std::string& schema, std::unique_ptr<DataFile>* out) {
    const std::string name = QuoteName(schema);
    const std::string checks[] = {"PRAGMA " + name + ".application_id",
                                  "PRAGMA " + name + ".user_version"};
    const int expected[] = {kApplicationId, kFormatVersion};
    for (int i = 0; i < 2; ++i) {
        Statement pragma;
        int result = pragma.Prepare(db, checks[i]);
        if (result == SQLITE_OK) {
            result = sqlite3_step(pragma.get());
        }
        if (result != SQLITE_ROW) {
            return StatusOf(db, result);
        }
        if (sqlite3_column_int(pragma.get(), 0) != expected[i]) {
            return RECMAN_NOT_A_RECORD_FILE;
        }
    }
    Statement layout;
    int result = layout.Prepare(db, "SELECT layout FROM " + name + ".spec WHERE id = 1");
    if (result != SQLITE_OK) {
        return result == SQLITE_ERROR ? RECMAN_NOT_A_RECORD_FILE : StatusOf(db, result);
    }
    result = sqlite3_step(layout.get());
    if (result != SQLITE_ROW) {
        return result == SQLITE_DONE ? RECMAN_NOT_A_RECORD_FILE : StatusOf(db, result);
    }
    FileSpec spec;
    const auto* bytes = static_cast<const uint8_t*>(sqlite3_column_blob(layout.get(), 0));
    if (ParseFileSpec(bytes, static_cast<size_t>(sqlite3_column_bytes(layout.get(), 0)), &spec) !=
        RECMAN_OK) {
        return RECMAN_NOT_A_RECORD_FILE;
    }
    *out = std::make_unique<DataFile>(db, schema, std::move(spec));
    return RECMAN_OK;
}

DataFile::DataFile(sqlite3* db, std::string schema, FileSpec spec)
    : db_(db), schema_(std::move(schema)), spec_(std::move(spec)) {
    seeks_.resize(static_cast<size_t>(Seek::kCount) * (spec_.keys.size() + 1));
    runs_.resize(seeks_.size());
    written_.resize(spec_.keys.size());
    record_.resize(spec_.record_length);
}

std::string DataFile::Table(const char* name) const {
    return QuoteName(schema_) + "." + name;
}

sqlite3_stmt* DataFile::Prepared(Statement& statement, const std::string& sql, int* result) {
    if (!statement.prepared()) {
        const int prepared = statement.Prepare(db_, sql);
        if (prepared != SQLITE_OK) {
            *result = StatusOf(db_, prepared);
            return nullptr;
        }
    }
    *result = RECMAN_OK;
    return statement.get();
}

sqlite3_stmt* DataFile::SeekStatement(Seek seek, int key, int* result, bool run) {
    const size_t index =
        static_cast<size_t>(seek) * (spec_.keys.size() + 1) + static_cast<size_t>(key + 1);
    Statement& statement = run ? runs_[index] : seeks_[index];
    if (statement.prepared()) {
        *result = RECMAN_OK;
        return statement.get();
    }
    return Prepared(statement, SeekSql(spec_, schema_, seek, key, run), result);
}

std::string DataFile::SeekSql(const FileSpec& spec, const std::string& schema, Seek seek, int key,
                              bool run) {
    std::string columns = "pos, data, NULL, NULL";
    std::string condition;
    std::string order;
    if (key >= 0) {
        const std::string k = KeyColumn(key);
        const bool duplicates = spec.keys[static_cast<size_t>(key)].duplicates;
        const std::string s = duplicates ? SequenceColumn(key) : "";
        columns = "pos, data, " + k + ", " + (duplicates ? s : "NULL");
        const std::string ascending = " ORDER BY " + k + (duplicates ? ", " + s : "");
        const std::string descending =
            " ORDER BY " + k + " DESC" + (duplicates ? ", " + s + " DESC" : "");
        // The partial index serves only queries that repeat its condition.
        const std::string in_key = k + " IS NOT NULL";
        switch (seek) {
            case Seek::kEqual:
                condition = in_key + " AND " + k + " = ?1";
                // One record at most without duplicates: an ORDER BY there would make
                // SQLite sort through a temporary tree.
                order = duplicates ? ascending : "";
                break;
            case Seek::kGreaterOrEqual:
                condition = in_key + " AND " + k + " >= ?1";
                order = ascending;
                break;
            case Seek::kGreater:
                condition = in_key + " AND " + k + " > ?1";
                order = ascending;
                break;
            case Seek::kLessOrEqual:
                condition = in_key + " AND " + k + " <= ?1";
                order = descending;
                break;
            case Seek::kLess:
                condition = in_key + " AND " + k + " < ?1";
                order = descending;
                break;
            case Seek::kFirst:
                condition = in_key;
                order = ascending;
                break;
            case Seek::kLast:
                condition = in_key;
                order = descending;
                break;
            case Seek::kNext:
                condition = in_key + " AND " +
                            (duplicates ? "(" + k + ", " + s + ") > (?1, ?2)" : k + " > ?1");
                order = ascending;
                break;
            case Seek::kPrevious:
                condition = in_key + " AND " +
                            (duplicates ? "(" + k + ", " + s + ") < (?1, ?2)" : k + " < ?1");
                order = descending;
                break;
            default:
                break;
        }
    }
    switch (seek) {
        case Seek::kPosition:
            condition = "pos = ?1";
            break;
        case Seek::kPhysicalFirst:
            order = " ORDER BY pos";
            break;
        case Seek::kPhysicalLast:
            order = " ORDER BY pos DESC";
            break;
        case Seek::kPhysicalFrom:
            condition = "pos >= ?1";
            order = " ORDER BY pos";
            break;
        default:
            break;
    }
    std::string sql = "SELECT " + columns + " FROM " + QuoteName(schema) + ".rec";
    if (!condition.empty()) {
        sql += " WHERE " + condition;
    }
    return sql + order + (run ? " LIMIT ?3" : " LIMIT 1");
}

int DataFile::Find(Seek seek, int key, const Bytes* value, int64_t number, RecordTarget* target,
                   Found* found) {
    int status = RECMAN_OK;
    sqlite3_stmt* statement = SeekStatement(seek, key, &status);
    if (statement == nullptr) {
        return status;
    }
    StatementReset reset(statement);
    int result = SQLITE_OK;
    switch (seek) {
        case Seek::kNext:
        case Seek::kPrevious:
            result = BindBlob(statement, 1, *value);
            if (result == SQLITE_OK && spec_.keys[static_cast<size_t>(key)].duplicates) {
                result = sqlite3_bind_int64(statement, 2, number);
            }
            break;
        case Seek::kEqual:
        case Seek::kGreaterOrEqual:
        case Seek::kGreater:
        case Seek::kLessOrEqual:
        case Seek::kLess:
            result = BindBlob(statement, 1, *value);
            break;
        case Seek::kPosition:
        case Seek::kPhysicalFrom:
            result = sqlite3_bind_int64(statement, 1, number);
            break;
        default:
            break;
    }
    if (result == SQLITE_OK) {
        result = sqlite3_step(statement);
    }
    if (result == SQLITE_DONE) {
        return RECMAN_END_OF_FILE;
    }
    if (result != SQLITE_ROW) {
        return StatusOf(db_, result);
    }
    const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(statement, 1));
    const size_t bytes = static_cast<size_t>(sqlite3_column_bytes(statement, 1));
    if (bytes != spec_.record_length) {
        return RECMAN_IO_ERROR;  // a damaged row
    }
    found->position = sqlite3_column_int64(statement, 0);
    found->place.in_key = sqlite3_column_type(statement, 2) != SQLITE_NULL;
    if (found->place.in_key) {
        ReadBlob(statement, 2, &found->place.encoded);
    } else {
        found->place.encoded.clear();
    }
    found->place.sequence = sqlite3_column_int64(statement, 3);
    if (target != nullptr) {
        target->copied = std::min(bytes, target->capacity);
        if (target->buffer != nullptr && target->copied > 0) {
            std::memcpy(target->buffer, data, target->copied);
        }
        if (target->key_value != nullptr && key >= 0) {
            ExtractKeyValue(spec_.keys[static_cast<size_t>(key)], data, target->key_value);
        }
    }
    return RECMAN_OK;
}

int DataFile::FindRun(Seek seek, int key, const Bytes& value, int64_t sequence, size_t limit,
                      std::vector<FoundRecord>* records) {
    records->clear();
    int status = RECMAN_OK;
    sqlite3_stmt* statement = SeekStatement(seek, key, &status, true);
    if (statement == nullptr) {
        return status;
    }
    StatementReset reset(statement);
    int result = BindBlob(statement, 1, value);
    if (result == SQLITE_OK && spec_.keys[static_cast<size_t>(key)].duplicates) {
        result = sqlite3_bind_int64(statement, 2, sequence);
    }
    if (result == SQLITE_OK) {
        result = sqlite3_bind_int64(statement, 3, static_cast<int64_t>(limit));
    }
    while (result == SQLITE_OK || result == SQLITE_ROW) {
        result = sqlite3_step(statement);
        if (result != SQLITE_ROW) {
            break;
        }
        const auto* data = static_cast<const uint8_t*>(sqlite3_column_blob(statement, 1));
        if (static_cast<size_t>(sqlite3_column_bytes(statement, 1)) != spec_.record_length) {
            return RECMAN_IO_ERROR;
        }
        FoundRecord& record = records->emplace_back();
        record.found.position = sqlite3_column_int64(statement, 0);
        record.found.place.in_key = true;
        ReadBlob(statement, 2, &record.found.place.encoded);
        record.found.place.sequence = sqlite3_column_int64(statement, 3);
        record.data.assign(data, data + spec_.record_length);
    }
    return result == SQLITE_DONE ? RECMAN_OK : StatusOf(db_, result);
}

int DataFile::ChangeCounter(uint32_t* counter) {
    sqlite3_file* file = nullptr;
    if (sqlite3_file_control(db_, schema_.c_str(), SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK ||
        file == nullptr || file->pMethods == nullptr) {
        return RECMAN_IO_ERROR;
    }
    // Bytes 24..27 of the database header, through SQLite's own descriptor: no lock is
    // taken and no descriptor opened. A commit writes page 1 (and so this counter)
    // before anything else of the file, so any commit finished before this read shows.
    uint8_t bytes[4] = {};
    if (file->pMethods->xRead(file, bytes, sizeof bytes, 24) != SQLITE_OK) {
        return RECMAN_IO_ERROR;
    }
    *counter = (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
               (static_cast<uint32_t>(bytes[2]) << 8) | bytes[3];
    return RECMAN_OK;
}

int DataFile::PercentageOf(int key, const Bytes& value, int64_t position, uint32_t* percent) {
    Found first;
    Found last;
    const Seek low_seek = key >= 0 ? Seek::kFirst : Seek::kPhysicalFirst;
    const Seek high_seek = key >= 0 ? Seek::kLast : Seek::kPhysicalLast;
    int status = Find(low_seek, key, nullptr, 0, nullptr, &first);
    if (status == RECMAN_OK) {
        status = Find(high_seek, key, nullptr, 0, nullptr, &last);
    }
    if (status != RECMAN_OK) {
        return status;
    }
    if (key < 0) {
        if (position <= first.position || last.position == first.position) {
            *percent = 0;
        } else if (position >= last.position) {
            *percent = kFullPercent;
        } else {
            *percent =
                Proportion(static_cast<uint64_t>(first.position),
                           static_cast<uint64_t>(last.position), static_cast<uint64_t>(position));
        }
        return RECMAN_OK;
    }
    const Bytes& low = first.place.encoded;
    const Bytes& high = last.place.encoded;
    if (value <= low || low == high) {
        *percent = 0;
        return RECMAN_OK;
    }
    if (value >= high) {
        *percent = kFullPercent;
        return RECMAN_OK;
    }
    // low < value < high, so value shares the prefix low and high have in common.
    const size_t prefix = CommonPrefix(low, high);
    *percent = Proportion(Window(low, prefix), Window(high, prefix), Window(value, prefix));
    return RECMAN_OK;
}

int DataFile::FindByPercentage(int key, uint32_t percent, RecordTarget* target, Found* found) {
    const Seek low_seek = key >= 0 ? Seek::kFirst : Seek::kPhysicalFirst;
    const Seek high_seek = key >= 0 ? Seek::kLast : Seek::kPhysicalLast;
    if (percent == 0) {
        return Find(low_seek, key, nullptr, 0, target, found);
    }
    if (percent >= kFullPercent) {
        return Find(high_seek, key, nullptr, 0, target, found);
    }
    Found first;
    Found last;
    int status = Find(low_seek, key, nullptr, 0, nullptr, &first);
    if (status == RECMAN_OK) {
        status = Find(high_seek, key, nullptr, 0, nullptr, &last);
    }
    if (status != RECMAN_OK) {
        return status;
    }
    if (key < 0) {
        const uint64_t at = Interpolate(static_cast<uint64_t>(first.position),
                                        static_cast<uint64_t>(last.position), percent);
        return Find(Seek::kPhysicalFrom, key, nullptr, static_cast<int64_t>(at), target, found);
    }
    const Bytes& low = first.place.encoded;
    const Bytes& high = last.place.encoded;
    if (low == high) {
        return Find(Seek::kFirst, key, nullptr, 0, target, found);
    }
    const size_t prefix = CommonPrefix(low, high);
    const uint64_t window = Interpolate(Window(low, prefix), Window(high, prefix), percent);
    // The aim is as long as the key's values, so it never passes the last of them: bytes
    // cut off only lower it.
    Bytes aim(low.begin(), low.begin() + static_cast<ptrdiff_t>(prefix));
    for (int shift = 56; shift >= 0 && aim.size() < low.size(); shift -= 8) {
        aim.push_back(static_cast<uint8_t>(window >> shift));
    }
    return Find(Seek::kGreaterOrEqual, key, &aim, 0, target, found);
}

int DataFile::TakeWriteIntent() {
    int status = RECMAN_OK;
    // A write statement that changes nothing: it opens a write transaction on this file
    // only, without dirtying a page.
    sqlite3_stmt* statement = Prepared(
        intent_, "UPDATE " + Table("meta") + " SET record_count = record_count WHERE 0", &status);
    if (statement == nullptr) {
        return status;
    }
    StatementReset reset(statement);
    const int result = sqlite3_step(statement);
    return result == SQLITE_DONE ? RECMAN_OK : StatusOf(db_, result);
}

int DataFile::LoadCounters() {
    if (counters_loaded_) {
        return RECMAN_OK;
    }
    int status = RECMAN_OK;
    sqlite3_stmt* statement =
        Prepared(load_counters_,
                 "SELECT record_count, sequence FROM " + Table("meta") + " WHERE id = 1", &status);
    if (statement == nullptr) {
        return status;
    }
    StatementReset reset(statement);
    const int result = sqlite3_step(statement);
    if (result != SQLITE_ROW) {
        return result == SQLITE_DONE ? RECMAN_IO_ERROR : StatusOf(db_, result);
    }
    record_count_ = sqlite3_column_int64(statement, 0);
    sequence_ = sqlite3_column_int64(statement, 1);
    counters_loaded_ = true;
    counters_dirty_ = false;
    return RECMAN_OK;
}

int DataFile::FlushCounters() {
    if (!counters_loaded_ || !counters_dirty_) {
        return RECMAN_OK;
    }
    int status = RECMAN_OK;
    sqlite3_stmt* statement = Prepared(
        flush_counters_,
        "UPDATE " + Table("meta") + " SET record_count = ?1, sequence = ?2 WHERE id = 1", &status);
    if (statement == nullptr) {
        return status;
    }
    StatementReset reset(statement);
    int result = sqlite3_bind_int64(statement, 1, record_count_);
    if (result == SQLITE_OK) {
        result = sqlite3_bind_int64(statement, 2, sequence_);
    }
    if (result == SQLITE_OK) {
        result = sqlite3_step(statement);
    }
    if (result != SQLITE_DONE) {
        return StatusOf(db_, result);
    }
    // The values stay loaded: a commit that fails leaves the transaction open, and a
    // second flush writes the same values again.
    return RECMAN_OK;
}

void DataFile::DropCounters() {
    counters_loaded_ = false;
    counters_dirty_ = false;
}

int DataFile::RecordCount(uint32_t* count) {
    if (counters_loaded_) {
        *count = static_cast<uint32_t>(record_count_);
        return RECMAN_OK;
    }
    int status = RECMAN_OK;
    sqlite3_stmt* statement =
        Prepared(count_, "SELECT record_count FROM " + Table("meta") + " WHERE id = 1", &status);
    if (statement == nullptr) {
        return status;
    }
    StatementReset reset(statement);
    const int result = sqlite3_step(statement);
    if (result != SQLITE_ROW) {
        return result == SQLITE_DONE ? RECMAN_IO_ERROR : StatusOf(db_, result);
    }
    *count = static_cast<uint32_t>(sqlite3_column_int64(statement, 0));
    return RECMAN_OK;
}

int DataFile::HighestAutoInc(int key, int64_t* highest) {
    const KeySpec& spec = spec_.keys[static_cast<size_t>(key)];
    const SegmentSpec& segment = spec.segments.front();
    // The highest number is the last entry of the key, or the first when it descends.
    Found found;
    const int status =
        Find(segment.Descending() ? Seek::kFirst : Seek::kLast, key, nullptr, 0, nullptr, &found);
    if (status == RECMAN_END_OF_FILE) {
        *highest = 0;
        return RECMAN_OK;
    }
    if (status != RECMAN_OK) {
        return status;
    }
    *highest = DecodeIntegerSegment(segment, found.place.encoded.data());
    return RECMAN_OK;
}

void DataFile::PlaceRecord(const uint8_t* record) {
    for (size_t k = 0; k < spec_.keys.size(); ++k) {
        KeyPlace& place = written_[k];
        place.in_key = EncodeRecordKey(spec_.keys[k], record, &place.encoded);
        place.sequence = 0;
    }
}

int DataFile::Insert(uint8_t* record, int64_t* position) {
    sequences_known_ = true;
    std::memcpy(record_.data(), record, record_.size());
    for (size_t k = 0; k < spec_.keys.size(); ++k) {
        const KeySpec& key = spec_.keys[k];
        if (!key.autoinc) {
            continue;
        }
        const SegmentSpec& segment = key.segments.front();
        uint8_t* field = record_.data() + segment.RecordOffset();
        if (ReadIntegerSegment(segment, field) != 0) {
            continue;
        }
        int64_t highest = 0;
        const int status = HighestAutoInc(static_cast<int>(k), &highest);
        if (status != RECMAN_OK) {
            return status;
        }
        WriteIntegerSegment(segment, std::max<int64_t>(highest, 0) + 1, field);
    }
    PlaceRecord(record_.data());

    int status = RECMAN_OK;
    if (!insert_.prepared()) {
        std::string columns = "data";
        std::string values = "?1";
        int parameter = 1;
        for (size_t k = 0; k < spec_.keys.size(); ++k) {
            columns += ", " + KeyColumn(static_cast<int>(k));
            values += ", ?" + std::to_string(++parameter);
            if (spec_.keys[k].duplicates) {
                columns += ", " + SequenceColumn(static_cast<int>(k));
                values += ", ?" + std::to_string(++parameter);
            }
        }
        if (Prepared(insert_,
                     "INSERT INTO " + Table("rec") + " (" + columns + ") VALUES (" + values + ")",
                     &status) == nullptr) {
            return status;
        }
    }
    sqlite3_stmt* statement = insert_.get();
    StatementReset reset(statement);
    int64_t sequence = sequence_;
    int result = BindBlob(statement, 1, record_);
    int parameter = 1;
    for (size_t k = 0; k < spec_.keys.size() && result == SQLITE_OK; ++k) {
        KeyPlace& place = written_[k];
        ++parameter;
        result = place.in_key ? BindBlob(statement, parameter, place.encoded)
                              : sqlite3_bind_null(statement, parameter);
        if (result == SQLITE_OK && spec_.keys[k].duplicates) {
            ++parameter;
            if (place.in_key) {
                place.sequence = ++sequence;
                result = sqlite3_bind_int64(statement, parameter, place.sequence);
            } else {
                result = sqlite3_bind_null(statement, parameter);
            }
        }
    }
    if (result == SQLITE_OK) {
        result = sqlite3_step(statement);
    }
    if (result != SQLITE_DONE) {
        return StatusOf(db_, result);
    }
    const int64_t inserted = sqlite3_last_insert_rowid(db_);
    if (inserted > std::numeric_limits<uint32_t>::max()) {
        // Positions are 32 bits wide: a file that has used them all up takes no more.
        static_cast<void>(Delete(inserted));
        ++record_count_;
        return RECMAN_DISK_FULL;
    }
    sequence_ = sequence;
    ++record_count_;
    ++writes_;
    counters_dirty_ = true;
    std::memcpy(record, record_.data(), record_.size());
    *position = inserted;
    return RECMAN_OK;
}

int DataFile::Update(int64_t position, const uint8_t* record, const uint8_t* stored) {
    int status = RECMAN_OK;
    if (stored != nullptr) {
        bool keys_unchanged = true;
        for (size_t k = 0; k < spec_.keys.size() && keys_unchanged; ++k) {
            KeyPlace& place = written_[k];
            place.in_key = EncodeRecordKey(spec_.keys[k], record, &place.encoded);
            const bool was_in_key = EncodeRecordKey(spec_.keys[k], stored, &old_encoding_);
            keys_unchanged = was_in_key == place.in_key && old_encoding_ == place.encoded;
        }
        if (keys_unchanged) {
            sequences_known_ = false;  // the stored ones, not read
            return UpdateData(position, record);
        }
    }
    sequences_known_ = true;
    if (!old_keys_.prepared()) {
        std::string columns = "pos";
        for (size_t k = 0; k < spec_.keys.size(); ++k) {
            columns += ", " + KeyColumn(static_cast<int>(k));
            columns += spec_.keys[k].duplicates ? ", " + SequenceColumn(static_cast<int>(k))
                                                : std::string(", NULL");
        }
        if (Prepared(old_keys_, "SELECT " + columns + " FROM " + Table("rec") + " WHERE pos = ?1",
                     &status) == nullptr) {
            return status;
        }
    }
    PlaceRecord(record);
    int64_t sequence = sequence_;
    changed_keys_.clear();
    {
        sqlite3_stmt* statement = old_keys_.get();
        StatementReset reset(statement);
        int result = sqlite3_bind_int64(statement, 1, position);
        if (result == SQLITE_OK) {
            result = sqlite3_step(statement);
        }
        if (result == SQLITE_DONE) {
            return RECMAN_RECORD_CONFLICT;  // somebody deleted it
        }
        if (result != SQLITE_ROW) {
            return StatusOf(db_, result);
        }
        for (size_t k = 0; k < spec_.keys.size(); ++k) {
            const int column = 1 + 2 * static_cast<int>(k);
            KeyPlace& place = written_[k];
            const bool was_in_key = sqlite3_column_type(statement, column) != SQLITE_NULL;
            const bool changed = place.in_key != was_in_key ||
                                 (place.in_key && !BlobEquals(statement, column, place.encoded));
            if (changed && !spec_.keys[k].modifiable) {
                return RECMAN_KEY_NOT_MODIFIABLE;
            }
            if (changed) {
                changed_keys_.push_back(static_cast<int>(k));
            }
            if (place.in_key && spec_.keys[k].duplicates) {
                place.sequence = changed ? ++sequence : sqlite3_column_int64(statement, column + 1);
            }
        }
    }
    if (changed_keys_.empty()) {
        return UpdateData(position, record);
    }
    sqlite3_stmt* statement = UpdateStatement(&status);
    if (statement == nullptr) {
        return status;
    }
    StatementReset reset(statement);
    int result = sqlite3_bind_blob(statement, 1, record, spec_.record_length, SQLITE_STATIC);
    int parameter = 1;
    for (size_t i = 0; i < changed_keys_.size() && result == SQLITE_OK; ++i) {
        const size_t k = static_cast<size_t>(changed_keys_[i]);
        const KeyPlace& place = written_[k];
        ++parameter;
        result = place.in_key ? BindBlob(statement, parameter, place.encoded)
                              : sqlite3_bind_null(statement, parameter);
        if (result == SQLITE_OK && spec_.keys[k].duplicates) {
            ++parameter;
            result = place.in_key ? sqlite3_bind_int64(statement, parameter, place.sequence)
                                  : sqlite3_bind_null(statement, parameter);
        }
    }
    if (result == SQLITE_OK) {
        result = sqlite3_bind_int64(statement, parameter + 1, position);
    }
    if (result == SQLITE_OK) {
        result = sqlite3_step(statement);
    }
    if (result != SQLITE_DONE) {
        return StatusOf(db_, result);
    }
    if (sequence != sequence_) {
        sequence_ = sequence;
        counters_dirty_ = true;
    }
    ++writes_;
    return RECMAN_OK;
}

sqlite3_stmt* DataFile::UpdateStatement(int* status) {
    // An index whose columns an UPDATE does not name is left alone; one it names has its
    // entry deleted and inserted again even when the value is the same, which dirties
    // (and journals) its pages. So the statement names only the changed keys' columns.
    const auto found = updates_.find(changed_keys_);
    if (found != updates_.end()) {
        *status = RECMAN_OK;
        return found->second.get();
    }
    if (updates_.size() >= kMaxUpdateStatements) {
        updates_.clear();  // a file with many keys changed in many ways: start over
    }
    std::string assignments = "data = ?1";
    int parameter = 1;
    for (const int key : changed_keys_) {
        assignments += ", " + KeyColumn(key) + " = ?" + std::to_string(++parameter);
        if (spec_.keys[static_cast<size_t>(key)].duplicates) {
            assignments += ", " + SequenceColumn(key) + " = ?" + std::to_string(++parameter);
        }
    }
    Statement statement;
    const int prepared =
        statement.Prepare(db_, "UPDATE " + Table("rec") + " SET " + assignments + " WHERE pos = ?" +
                                   std::to_string(parameter + 1));
    if (prepared != SQLITE_OK) {
        *status = StatusOf(db_, prepared);
        return nullptr;
    }
    *status = RECMAN_OK;
    return updates_.emplace(changed_keys_, std::move(statement)).first->second.get();
}

int DataFile::UpdateData(int64_t position, const uint8_t* record) {
    // Only the data changes: the indexes need no work.
    int status = RECMAN_OK;
    sqlite3_stmt* statement =
        Prepared(update_data_, "UPDATE " + Table("rec") + " SET data = ?1 WHERE pos = ?2", &status);
    if (statement == nullptr) {
        return status;
    }
    StatementReset reset(statement);
    int result = sqlite3_bind_blob(statement, 1, record, spec_.record_length, SQLITE_STATIC);
    if (result == SQLITE_OK) {
        result = sqlite3_bind_int64(statement, 2, position);
    }
    if (result == SQLITE_OK) {
        result = sqlite3_step(statement);
    }
    if (result != SQLITE_DONE) {
        return StatusOf(db_, result);
    }
    if (sqlite3_changes(db_) == 0) {
        return RECMAN_RECORD_CONFLICT;  // no such row any more
    }
    ++writes_;
    return RECMAN_OK;
}

int DataFile::Delete(int64_t position) {
    int status = RECMAN_OK;
    sqlite3_stmt* statement =
        Prepared(delete_, "DELETE FROM " + Table("rec") + " WHERE pos = ?1", &status);
    if (statement == nullptr) {
        return status;
    }
    StatementReset reset(statement);
    int result = sqlite3_bind_int64(statement, 1, position);
    if (result == SQLITE_OK) {
        result = sqlite3_step(statement);
    }
    if (result != SQLITE_DONE) {
        return StatusOf(db_, result);
    }
    if (sqlite3_changes(db_) == 0) {
        return RECMAN_RECORD_CONFLICT;
    }
    --record_count_;
    counters_dirty_ = true;
    ++writes_;
    return RECMAN_OK;
}

void DataFile::FinalizeStatements() {
    for (Statement& statement : seeks_) {
        statement.Finalize();
    }
    for (Statement& statement : runs_) {
        statement.Finalize();
    }
    for (Statement* statement : {&insert_, &update_data_, &delete_, &old_keys_, &intent_,
                                 &load_counters_, &flush_counters_, &count_}) {
        statement->Finalize();
    }
    updates_.clear();
}

}  // namespace recman
