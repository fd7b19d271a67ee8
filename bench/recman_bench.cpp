// The record manager beside the same work done directly with SQLite: a table with the
// same indexes and key encodings, prepared statements, the same transaction grouping,
// journal mode, synchronisation and cache size. Each operation runs at 1,000, 10,000
// and 100,000 records; the table at the end gives the time per operation and the ratio.
//
// Records are 128 bytes: key 0 a unique 4-byte integer at the start, key 1 a 16-byte
// case-insensitive name with duplicates (100 names), the rest payload.
//
// Then what one durable single-row update costs on disk: database pages written into
// the rollback journal, xSync calls and the fdatasync calls that reach the kernel, per
// update, for a message write-back on a file laid out like PAGEMSG (six keys), beside
// the same change made directly with SQLite on a table with the same indexes.
// --journal_only runs only that part.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/iocount.h"
#include "platform/recman/recman.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kRecordLength = 128;
constexpr int kNameCount = 100;
constexpr int kBatch = 1000;           // operations per transaction
constexpr int32_t kNewBase = 1 << 28;  // numbers of records the benchmarks insert

std::string g_directory;  // where the files live

// ---- records and key encodings ----

void Put32(uint8_t* at, int64_t value) {
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

Bytes Record(int32_t number, int variant = 0) {
    Bytes record(kRecordLength, 'x');
    Put32(record.data(), number);
    char name[17];
    std::snprintf(name, sizeof name, "NAME%05d       ", number % kNameCount);
    std::memcpy(record.data() + 4, name, 16);
    record[100] = static_cast<uint8_t>(variant);
    return record;
}

// The same encodings the record manager stores: a signed integer big-endian with its
// sign bit flipped; an upper-cased name.
Bytes NumberKey(int32_t number) {
    const uint32_t bits = static_cast<uint32_t>(number) ^ 0x80000000u;
    return {static_cast<uint8_t>(bits >> 24), static_cast<uint8_t>(bits >> 16),
            static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits)};
}

Bytes NameKey(const Bytes& record) {
    Bytes key(record.begin() + 4, record.begin() + 20);
    for (uint8_t& c : key) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<uint8_t>(c - 'a' + 'A');
        }
    }
    return key;
}

int32_t RecordNumber(int index) {
    return index * 2;
}

// ---- the record manager side ----

Bytes Layout() {
    Bytes layout(16 + 32, 0);
    layout[0] = kRecordLength;
    layout[2] = 0x00;
    layout[3] = 0x10;  // page size 4096
    layout[4] = 2;
    auto segment = [&](size_t at, int position, int length, int flags, int type) {
        layout[at] = static_cast<uint8_t>(position);
        layout[at + 2] = static_cast<uint8_t>(length);
        layout[at + 4] = static_cast<uint8_t>(flags);
        layout[at + 5] = static_cast<uint8_t>(flags >> 8);
        layout[at + 10] = static_cast<uint8_t>(type);
    };
    segment(16, 1, 4, RECMAN_KEY_EXTENDED_TYPE, RECMAN_TYPE_INTEGER);
    segment(32, 5, 16,
            RECMAN_KEY_EXTENDED_TYPE | RECMAN_KEY_DUPLICATES | RECMAN_KEY_MODIFIABLE |
                RECMAN_KEY_NO_CASE,
            RECMAN_TYPE_STRING);
    return layout;
}

class RecmanSide {
  public:
    explicit RecmanSide(int records) {
        const std::string path = g_directory + "/recman-" + std::to_string(records) + ".dat";
        std::memset(key_, 0, sizeof key_);
        std::memcpy(key_, path.c_str(), path.size());
        Bytes layout = Layout();
        Check(Call(RECMAN_CREATE, layout.data(), static_cast<uint32_t>(layout.size()), 0),
              "create");
        std::memcpy(key_, path.c_str(), path.size() + 1);
        Check(Call(RECMAN_OPEN, nullptr, 0, 0), "open");
        Check(Call(RECMAN_BEGIN_TRANSACTION + RECMAN_CONCURRENT_BIAS, nullptr, 0, 0), "begin");
        for (int i = 0; i < records; ++i) {
            Bytes record = Record(RecordNumber(i));
            Check(Call(RECMAN_INSERT, record.data(), kRecordLength, 0), "insert");
        }
        Check(Call(RECMAN_END_TRANSACTION, nullptr, 0, 0), "end");
    }

    int Call(uint16_t operation, void* data, uint32_t length, int8_t key_number) {
        return recman_call(operation, block_, data, &length, key_, RECMAN_KEY_BUFFER_SIZE,
                           key_number);
    }

    static void Check(int status, const char* what) {
        if (status != 0) {
            std::fprintf(stderr, "record manager %s: status %d\n", what, status);
            std::abort();
        }
    }

    int GetEqual(int32_t number, Bytes& record) {
        Put32(key_, number);
        return Call(RECMAN_GET_EQUAL, record.data(), kRecordLength, 0);
    }

    // Deletes every record from `number` on (records the benchmarks inserted).
    void DeleteFrom(int32_t number) {
        Bytes record(kRecordLength);
        Check(Call(RECMAN_BEGIN_TRANSACTION + RECMAN_CONCURRENT_BIAS, nullptr, 0, 0), "begin");
        Put32(key_, number);
        while (Call(RECMAN_GET_GREATER_OR_EQUAL, record.data(), kRecordLength, 0) == 0) {
            Check(Call(RECMAN_DELETE, nullptr, 0, 0), "delete");
        }
        Check(Call(RECMAN_END_TRANSACTION, nullptr, 0, 0), "end");
    }

  private:
    alignas(8) uint8_t block_[RECMAN_POSITION_BLOCK_SIZE] = {};
    uint8_t key_[RECMAN_KEY_BUFFER_SIZE] = {};
};

// ---- the SQLite side ----

class SqliteSide {
  public:
    explicit SqliteSide(int records) {
        const std::string path = g_directory + "/sqlite-" + std::to_string(records) + ".db";
        std::filesystem::remove(path);
        Check(sqlite3_open_v2(path.c_str(), &db_,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                              nullptr),
              "open");
        Exec(
            "PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL;"
            "PRAGMA cache_size = -16384;"
            "CREATE TABLE rec(pos INTEGER PRIMARY KEY AUTOINCREMENT, data BLOB NOT NULL,"
            " k0 BLOB, k1 BLOB, s1 INTEGER);"
            "CREATE UNIQUE INDEX rec_k0 ON rec(k0) WHERE k0 IS NOT NULL;"
            "CREATE INDEX rec_k1 ON rec(k1, s1) WHERE k1 IS NOT NULL;");
        insert_ = Prepare("INSERT INTO rec(data, k0, k1, s1) VALUES (?1, ?2, ?3, ?4)");
        get_equal_ =
            Prepare("SELECT pos, data, k0 FROM rec WHERE k0 IS NOT NULL AND k0 = ?1 LIMIT 1");
        next_ = Prepare(
            "SELECT pos, data, k0 FROM rec WHERE k0 IS NOT NULL AND k0 > ?1 ORDER BY k0 LIMIT 1");
        first_ = Prepare("SELECT pos, data, k0 FROM rec WHERE k0 IS NOT NULL ORDER BY k0 LIMIT 1");
        stream_ = Prepare("SELECT pos, data, k0 FROM rec WHERE k0 IS NOT NULL ORDER BY k0");
        update_ = Prepare("UPDATE rec SET data = ?1 WHERE pos = ?2");
        delete_from_ = Prepare("DELETE FROM rec WHERE k0 >= ?1");
        Exec("BEGIN");
        for (int i = 0; i < records; ++i) {
            Bytes record = Record(RecordNumber(i));
            Insert(record);
        }
        Exec("COMMIT");
    }

    ~SqliteSide() {
        for (sqlite3_stmt* statement :
             {insert_, get_equal_, next_, first_, stream_, update_, delete_from_}) {
            sqlite3_finalize(statement);
        }
        sqlite3_close(db_);
    }

    void Exec(const char* sql) { Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), sql); }

    void Insert(const Bytes& record) {
        const Bytes k0 = NumberKey(static_cast<int32_t>(record[0] | (record[1] << 8) |
                                                        (record[2] << 16) | (record[3] << 24)));
        const Bytes k1 = NameKey(record);
        sqlite3_bind_blob(insert_, 1, record.data(), kRecordLength, SQLITE_STATIC);
        sqlite3_bind_blob(insert_, 2, k0.data(), 4, SQLITE_STATIC);
        sqlite3_bind_blob(insert_, 3, k1.data(), 16, SQLITE_STATIC);
        sqlite3_bind_int64(insert_, 4, ++sequence_);
        StepDone(insert_, "insert");
    }

    // One seek by key; the row into `record`, its position out.
    int64_t GetEqual(int32_t number, Bytes& record) {
        const Bytes k0 = NumberKey(number);
        sqlite3_bind_blob(get_equal_, 1, k0.data(), 4, SQLITE_STATIC);
        return ReadRow(get_equal_, record);
    }

    // One seek after the last key (autocommit), as a scan outside a transaction.
    void SeekNext(Bytes& record) {
        sqlite3_bind_blob(next_, 1, last_key_.data(), static_cast<int>(last_key_.size()),
                          SQLITE_STATIC);
        if (ReadRow(next_, record) == 0) {
            ReadRow(first_, record);
        }
    }

    // One step of a single streaming SELECT.
    void StreamNext(Bytes& record) {
        if (sqlite3_step(stream_) != SQLITE_ROW) {
            sqlite3_reset(stream_);
            sqlite3_step(stream_);
        }
        std::memcpy(record.data(), sqlite3_column_blob(stream_, 1), kRecordLength);
        benchmark::DoNotOptimize(sqlite3_column_blob(stream_, 2));
    }
    void EndStream() { sqlite3_reset(stream_); }

    void Update(int64_t position, const Bytes& record) {
        sqlite3_bind_blob(update_, 1, record.data(), kRecordLength, SQLITE_STATIC);
        sqlite3_bind_int64(update_, 2, position);
        StepDone(update_, "update");
    }

    void DeleteFrom(int32_t number) {
        const Bytes k0 = NumberKey(number);
        sqlite3_bind_blob(delete_from_, 1, k0.data(), 4, SQLITE_STATIC);
        StepDone(delete_from_, "delete");
    }

  private:
    static void Check(int result, const char* what) {
        if (result != SQLITE_OK) {
            std::fprintf(stderr, "sqlite %s: %d\n", what, result);
            std::abort();
        }
    }

    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        Check(sqlite3_prepare_v3(db_, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement, nullptr),
              sql);
        return statement;
    }

    void StepDone(sqlite3_stmt* statement, const char* what) {
        const int result = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (result != SQLITE_DONE) {
            Check(result, what);
        }
    }

    int64_t ReadRow(sqlite3_stmt* statement, Bytes& record) {
        int64_t position = 0;
        if (sqlite3_step(statement) == SQLITE_ROW) {
            position = sqlite3_column_int64(statement, 0);
            std::memcpy(record.data(), sqlite3_column_blob(statement, 1), kRecordLength);
            const auto* key = static_cast<const uint8_t*>(sqlite3_column_blob(statement, 2));
            last_key_.assign(key, key + sqlite3_column_bytes(statement, 2));
        }
        sqlite3_reset(statement);
        return position;
    }

    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;
    sqlite3_stmt* get_equal_ = nullptr;
    sqlite3_stmt* next_ = nullptr;
    sqlite3_stmt* first_ = nullptr;
    sqlite3_stmt* stream_ = nullptr;
    sqlite3_stmt* update_ = nullptr;
    sqlite3_stmt* delete_from_ = nullptr;
    int64_t sequence_ = 0;
    Bytes last_key_ = Bytes(4, 0);
};

// Both sides of one size, made on first use and kept for the whole run.
struct Dataset {
    explicit Dataset(int size) : records(size), recman(size), sqlite(size) {
        std::mt19937 random(12345);
        std::uniform_int_distribution<int> pick(0, size - 1);
        for (int i = 0; i < 8192; ++i) {
            picks.push_back(RecordNumber(pick(random)));
        }
    }
    int records;
    RecmanSide recman;
    SqliteSide sqlite;
    std::vector<int32_t> picks;  // random record numbers
};

Dataset& DatasetOf(int size) {
    static std::map<int, std::unique_ptr<Dataset>> datasets;
    std::unique_ptr<Dataset>& dataset = datasets[size];
    if (!dataset) {
        dataset = std::make_unique<Dataset>(size);
    }
    return *dataset;
}

// ---- the benchmarks ----

constexpr int kBegin = RECMAN_BEGIN_TRANSACTION + RECMAN_CONCURRENT_BIAS;

void InsertOutsideRecman(benchmark::State& state) {
    Dataset& data = DatasetOf(static_cast<int>(state.range(0)));
    int32_t number = kNewBase;
    for (auto _ : state) {
        Bytes record = Record(number++);
        RecmanSide::Check(data.recman.Call(RECMAN_INSERT, record.data(), kRecordLength, 0),
                          "insert");
    }
    data.recman.DeleteFrom(kNewBase);
}

void InsertOutsideSqlite(benchmark::State& state) {
    Dataset& data = DatasetOf(static_cast<int>(state.range(0)));
    int32_t number = kNewBase;
    for (auto _ : state) {
        data.sqlite.Insert(Record(number++));
    }
    data.sqlite.DeleteFrom(kNewBase);
}

void InsertInsideRecman(benchmark::State& state) {
    Dataset& data = DatasetOf(static_cast<int>(state.range(0)));
    int32_t number = kNewBase;
    RecmanSide::Check(data.recman.Call(kBegin, nullptr, 0, 0), "begin");
    for (auto _ : state) {
        Bytes record = Record(number++);
        RecmanSide::Check(data.recman.Call(RECMAN_INSERT, record.data(), kRecordLength, 0),
                          "insert");
        if ((number - kNewBase) % kBatch == 0) {
            RecmanSide::Check(data.recman.Call(RECMAN_END_TRANSACTION, nullptr, 0, 0), "end");
            RecmanSide::Check(data.recman.Call(kBegin, nullptr, 0, 0), "begin");
        }
    }
    RecmanSide::Check(data.recman.Call(RECMAN_END_TRANSACTION, nullptr, 0, 0), "end");
    data.recman.DeleteFrom(kNewBase);  // after the timed loop
}

void InsertInsideSqlite(benchmark::State& state) {
    Dataset& data = DatasetOf(static_cast<int>(state.range(0)));
    int32_t number = kNewBase;
    data.sqlite.Exec("BEGIN");
    for (auto _ : state) {
        data.sqlite.Insert(Record(number++));
        if ((number - kNewBase) % kBatch == 0) {
            data.sqlite.Exec("COMMIT");
            data.sqlite.Exec("BEGIN");
        }
    }
    data.sqlite.Exec("COMMIT");
    data.sqlite.DeleteFrom(kNewBase);
}

void GetEqualRecman(benchmark::State& state) {
    Dataset& data = DatasetOf(static_cast<int>(state.range(0)));
    Bytes record(kRecordLength);
    size_t i = 0;
    for (auto _ : state) {
        RecmanSide::Check(data.recman.GetEqual(data.picks[i++ % data.picks.size()], record),
                          "get equal");
        benchmark::DoNotOptimize(record.data());
    }
}

void GetEqualSqlite(benchmark::State& state) {
    Dataset& data = DatasetOf(static_cast<int>(state.range(0)));
    Bytes record(kRecordLength);
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(data.sqlite.GetEqual(data.picks[i++ % data.picks.size()], record));
    }
}

void GetNextRecman(benchmark::State& state) {
    Dataset& data = DatasetOf(static_cast<int>(state.range(0)));
    Bytes record(kRecordLength);
    RecmanSide::Check(data.recman.Call(RECMAN_GET_FIRST, record.data(), kRecordLength, 0),
                      "get first");
    for (auto _ : state) {
        if (data.recman.Call(RECMAN_GET_NEXT, record.data(), kRecordLength, 0) != 0) {
            RecmanSide::Check(data.recman.Call(RECMAN_GET_FIRST, record.data(), kRecordLength, 0),
                              "get first");
        }
        benchmark::DoNotOptimize(record.data());
    }
}

void GetNextSqlite(benchmark::State& state) {
    Dataset& data = DatasetOf(static_cast<int>(state.range(0)));
    Bytes record(kRecordLength);
    for (auto _ : state) {
        data.sqlite.SeekNext(record);
        benchmark::DoNotOptimize(record.data());
    }
}

void GetNextStream(benchmark::State& state) {
    Dataset& data = DatasetOf(static_cast<int>(state.range(0)));
    Bytes record(kRecordLength);
    for (auto _ : state) {
        data.sqlite.StreamNext(record);
        benchmark::DoNotOptimize(record.data());
    }
    data.sqlite.EndStream();
}

// Update: reach a random record by key and rewrite its payload.
void UpdateRecman(benchmark::State& state, bool inside) {
    Dataset& data = DatasetOf(static_cast<int>(state.range(0)));
    Bytes record(kRecordLength);
    size_t i = 0;
    if (inside) {
        RecmanSide::Check(data.recman.Call(kBegin, nullptr, 0, 0), "begin");
    }
    for (auto _ : state) {
        RecmanSide::Check(data.recman.GetEqual(data.picks[i++ % data.picks.size()], record),
                          "get equal");
        ++record[100];
        RecmanSide::Check(data.recman.Call(RECMAN_UPDATE, record.data(), kRecordLength, 0),
                          "update");
        if (inside && i % kBatch == 0) {
            RecmanSide::Check(data.recman.Call(RECMAN_END_TRANSACTION, nullptr, 0, 0), "end");
            RecmanSide::Check(data.recman.Call(kBegin, nullptr, 0, 0), "begin");
        }
    }
    if (inside) {
        RecmanSide::Check(data.recman.Call(RECMAN_END_TRANSACTION, nullptr, 0, 0), "end");
    }
}

void UpdateSqlite(benchmark::State& state, bool inside) {
    Dataset& data = DatasetOf(static_cast<int>(state.range(0)));
    Bytes record(kRecordLength);
    size_t i = 0;
    if (inside) {
        data.sqlite.Exec("BEGIN");
    }
    for (auto _ : state) {
        const int64_t position = data.sqlite.GetEqual(data.picks[i++ % data.picks.size()], record);
        ++record[100];
        data.sqlite.Update(position, record);
        if (inside && i % kBatch == 0) {
            data.sqlite.Exec("COMMIT");
            data.sqlite.Exec("BEGIN");
        }
    }
    if (inside) {
        data.sqlite.Exec("COMMIT");
    }
}

// ---- journaled pages per message write-back ----

// A message file laid out like PAGEMSG: its fields at their offsets, its six keys.
namespace message {

constexpr uint16_t kLength = 1302;
constexpr size_t kNumber = 0;           // PAGEMSGNBR, AutoInc
constexpr size_t kDevice = 4;           // PAGEDEVNBR
constexpr size_t kHostRef = 8;          // HOSTREFNBR
constexpr size_t kText = 12;            // TEXT, 1001
constexpr size_t kConfidential = 1013;  // QCONFIDENTIAL
constexpr size_t kStatus = 1014;        // STATUS
constexpr size_t kDate = 1018;          // SCHEDDATE, packed date
constexpr size_t kTime = 1022;          // SCHEDTIME, packed time
constexpr size_t kAttempts = 1026;      // ATTEMPTS
constexpr size_t kResponse = 1030;      // RESPONSE, 256
constexpr size_t kNetNumber = 1286;     // NETMSGNBR
constexpr size_t kEnteredBy = 1290;     // ENTERBY
constexpr size_t kEnteredDate = 1294;   // DATEENTER
constexpr size_t kEnteredTime = 1298;   // TIMEENTER

constexpr int kRows = 20000;
constexpr int kQueued = 3000;  // the last rows of the file are Queued, the others Sent
constexpr int kUpdates = 200;  // per write-back kind
constexpr int kDevices = 500;

Bytes Layout() {
    struct Segment {
        size_t offset;
        uint16_t length;
        uint16_t flags;
        uint8_t type;
    };
    const uint16_t dup = RECMAN_KEY_DUPLICATES | RECMAN_KEY_MODIFIABLE;
    const std::vector<std::vector<Segment>> keys = {
        {{kNumber, 4, 0, RECMAN_TYPE_AUTOINC}},
        {{kStatus, 4, dup, RECMAN_TYPE_INTEGER},
         {kDate, 4, dup, RECMAN_TYPE_DATE},
         {kTime, 4, dup, RECMAN_TYPE_TIME}},
        {{kDate, 4, dup, RECMAN_TYPE_DATE}},
        {{kDevice, 4, dup, RECMAN_TYPE_INTEGER}, {kDate, 4, dup, RECMAN_TYPE_DATE}},
        {{kHostRef, 4, dup, RECMAN_TYPE_INTEGER}},
        {{kNetNumber, 4, dup, RECMAN_TYPE_INTEGER}},
    };
    Bytes layout(16, 0);
    layout[0] = static_cast<uint8_t>(kLength);
    layout[1] = static_cast<uint8_t>(kLength >> 8);
    layout[3] = 0x10;  // page size 4096
    layout[4] = static_cast<uint8_t>(keys.size());
    for (const auto& key : keys) {
        for (size_t s = 0; s < key.size(); ++s) {
            Bytes part(16, 0);
            const uint16_t flags = key[s].flags | RECMAN_KEY_EXTENDED_TYPE |
                                   (s + 1 < key.size() ? RECMAN_KEY_SEGMENTED : 0);
            part[0] = static_cast<uint8_t>(key[s].offset + 1);
            part[1] = static_cast<uint8_t>((key[s].offset + 1) >> 8);
            part[2] = static_cast<uint8_t>(key[s].length);
            part[4] = static_cast<uint8_t>(flags);
            part[5] = static_cast<uint8_t>(flags >> 8);
            part[10] = key[s].type;
            layout.insert(layout.end(), part.begin(), part.end());
        }
    }
    return layout;
}

constexpr uint32_t PackedDate(int day, int month, int year) {
    return static_cast<uint32_t>(day) | (static_cast<uint32_t>(month) << 8) |
           (static_cast<uint32_t>(year) << 16);
}

constexpr uint32_t PackedTime(int hours, int minutes, int seconds) {
    return (static_cast<uint32_t>(seconds) << 8) | (static_cast<uint32_t>(minutes) << 16) |
           (static_cast<uint32_t>(hours) << 24);
}

constexpr uint32_t kToday = PackedDate(15, 6, 2024);
constexpr uint32_t kTomorrow = PackedDate(16, 6, 2024);

// Message `number` (1..kRows) as the file holds it before any write-back.
struct Row {
    int32_t number;
    int32_t device;
    int32_t host_ref;
    std::string text;
    int32_t status;
    uint32_t date;
    uint32_t time;
    int32_t attempts;
    std::string response;
    int32_t net_number;
};

Row RowOf(int number) {
    Row row;
    row.number = number;
    row.device = number % kDevices + 1;
    row.host_ref = 0;
    row.text = "Page " + std::to_string(number) + ": call the front desk about the delivery";
    const bool queued = number > kRows - kQueued;
    row.status = queued ? 0 : 2;
    row.date = queued ? kToday : PackedDate(number % 28 + 1, 5, 2024);
    row.time = PackedTime(number / 3600 % 24, number / 60 % 60, number % 60);
    row.attempts = queued ? 0 : 1;
    row.response = queued ? "" : "250 Message Sent Successfully";
    row.net_number = 0;
    return row;
}

void PutText(Bytes& record, size_t at, size_t width, const std::string& text) {
    std::memset(record.data() + at, 0, width);
    std::memcpy(record.data() + at, text.data(), std::min(width - 1, text.size()));
}

Bytes RecordOf(const Row& row) {
    Bytes record(kLength, 0);
    Put32(record.data() + kNumber, row.number);
    Put32(record.data() + kDevice, row.device);
    Put32(record.data() + kHostRef, row.host_ref);
    PutText(record, kText, 1001, row.text);
    Put32(record.data() + kStatus, row.status);
    Put32(record.data() + kDate, row.date);
    Put32(record.data() + kTime, row.time);
    Put32(record.data() + kAttempts, row.attempts);
    PutText(record, kResponse, 256, row.response);
    Put32(record.data() + kNetNumber, row.net_number);
    record[kConfidential] = 'N';
    Put32(record.data() + kEnteredBy, 1);
    Put32(record.data() + kEnteredDate, row.date);
    Put32(record.data() + kEnteredTime, row.time);
    return record;
}

// What a write-back changes in a row.
enum class WriteBack {
    kDataOnly,  // RESPONSE, ATTEMPTS: no key
    kSameDay,   // STATUS, RESPONSE, ATTEMPTS, SCHEDTIME: key 1
    kAllSix,    // and SCHEDDATE, NETMSGNBR: keys 1, 2, 3 and 5
};

void ApplyWriteBack(WriteBack kind, int number, Row* row) {
    row->attempts += 1;
    row->response = "250 Message Sent Successfully";
    if (kind == WriteBack::kDataOnly) {
        return;
    }
    row->status = 2;
    row->time = PackedTime(23, 59, number % 60);
    if (kind == WriteBack::kAllSix) {
        row->date = kTomorrow;
        row->net_number = 700000 + number;
    }
}

// The rows each kind of write-back works on: distinct Queued rows.
int FirstRowOf(WriteBack kind) {
    return kRows - kQueued + 1 + static_cast<int>(kind) * kUpdates;
}

struct Cost {
    bench::IoCounts counts;
    double median_ms = 0;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

class RecmanMessages {
  public:
    RecmanMessages() {
        const std::string path = g_directory + "/PAGEMSG.DAT";
        std::memset(key_, 0, sizeof key_);
        std::memcpy(key_, path.c_str(), path.size());
        Bytes layout = Layout();
        RecmanSide::Check(
            Call(RECMAN_CREATE, layout.data(), static_cast<uint32_t>(layout.size()), 0), "create");
        std::memcpy(key_, path.c_str(), path.size() + 1);
        RecmanSide::Check(Call(RECMAN_OPEN, nullptr, 0, 0), "open");
        RecmanSide::Check(Call(kBegin, nullptr, 0, 0), "begin");
        for (int number = 1; number <= kRows; ++number) {
            Bytes record = RecordOf(RowOf(number));
            RecmanSide::Check(Call(RECMAN_INSERT, record.data(), kLength, 0), "insert");
        }
        RecmanSide::Check(Call(RECMAN_END_TRANSACTION, nullptr, 0, 0), "end");
    }
    ~RecmanMessages() { static_cast<void>(Call(RECMAN_CLOSE, nullptr, 0, 0)); }

    // Each update in a transaction of its own, as a saved message: read the row by its
    // number, change it, write it back, commit.
    Cost Run(WriteBack kind) {
        std::vector<double> times;
        Bytes record(kLength);
        const bench::IoCounts before = bench::CurrentIoCounts();
        for (int number = FirstRowOf(kind); number < FirstRowOf(kind) + kUpdates; ++number) {
            Row row = RowOf(number);
            ApplyWriteBack(kind, number, &row);
            const auto start = std::chrono::steady_clock::now();
            RecmanSide::Check(Call(kBegin, nullptr, 0, 0), "begin");
            Put32(key_, number);
            RecmanSide::Check(Call(RECMAN_GET_EQUAL, record.data(), kLength, 0), "get equal");
            record = RecordOf(row);
            RecmanSide::Check(Call(RECMAN_UPDATE, record.data(), kLength, 0), "update");
            RecmanSide::Check(Call(RECMAN_END_TRANSACTION, nullptr, 0, 0), "end");
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        return {bench::CurrentIoCounts() - before, Median(times)};
    }

  private:
    int Call(uint16_t operation, void* data, uint32_t length, int8_t key_number) {
        return recman_call(operation, block_, data, &length, key_, RECMAN_KEY_BUFFER_SIZE,
                           key_number);
    }

    alignas(8) uint8_t block_[RECMAN_POSITION_BLOCK_SIZE] = {};
    uint8_t key_[RECMAN_KEY_BUFFER_SIZE] = {};
};

// The same messages in a plain SQLite table: a column a field, the message number as
// the rowid, an index for every other key.
class SqliteMessages {
  public:
    SqliteMessages() {
        const std::string path = g_directory + "/pagemsg.db";
        Check(sqlite3_open_v2(path.c_str(), &db_,
                              SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                              nullptr),
              "open");
        Exec(
            "PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL;"
            "PRAGMA cache_size = -16384;"
            "CREATE TABLE pagemsg(pagemsgnbr INTEGER PRIMARY KEY, pagedevnbr INTEGER,"
            " hostrefnbr INTEGER, text TEXT, status INTEGER, scheddate INTEGER,"
            " schedtime INTEGER, attempts INTEGER, response TEXT, netmsgnbr INTEGER,"
            " qconfidential TEXT, enterby INTEGER, dateenter INTEGER, timeenter INTEGER);"
            "CREATE INDEX pagemsg_status ON pagemsg(status, scheddate, schedtime);"
            "CREATE INDEX pagemsg_date ON pagemsg(scheddate);"
            "CREATE INDEX pagemsg_device ON pagemsg(pagedevnbr, scheddate);"
            "CREATE INDEX pagemsg_host ON pagemsg(hostrefnbr);"
            "CREATE INDEX pagemsg_carrier ON pagemsg(netmsgnbr);");
        sqlite3_stmt* insert = Prepare(
            "INSERT INTO pagemsg VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, 'N', 1,"
            " ?6, ?7)");
        Exec("BEGIN");
        for (int number = 1; number <= kRows; ++number) {
            const Row row = RowOf(number);
            sqlite3_bind_int(insert, 1, row.number);
            sqlite3_bind_int(insert, 2, row.device);
            sqlite3_bind_int(insert, 3, row.host_ref);
            sqlite3_bind_text(insert, 4, row.text.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 5, row.status);
            sqlite3_bind_int64(insert, 6, row.date);
            sqlite3_bind_int64(insert, 7, row.time);
            sqlite3_bind_int(insert, 8, row.attempts);
            sqlite3_bind_text(insert, 9, row.response.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 10, row.net_number);
            Step(insert);
        }
        Exec("COMMIT");
        sqlite3_finalize(insert);
    }
    ~SqliteMessages() { sqlite3_close(db_); }

    // Each update a durable commit of its own, naming only the columns it changes.
    Cost Run(WriteBack kind) {
        const char* sql = nullptr;
        switch (kind) {
            case WriteBack::kDataOnly:
                sql = "UPDATE pagemsg SET response = ?1, attempts = ?2 WHERE pagemsgnbr = ?7";
                break;
            case WriteBack::kSameDay:
                sql =
                    "UPDATE pagemsg SET response = ?1, attempts = ?2, status = ?3,"
                    " schedtime = ?4 WHERE pagemsgnbr = ?7";
                break;
            case WriteBack::kAllSix:
                sql =
                    "UPDATE pagemsg SET response = ?1, attempts = ?2, status = ?3,"
                    " schedtime = ?4, scheddate = ?5, netmsgnbr = ?6 WHERE pagemsgnbr = ?7";
                break;
        }
        sqlite3_stmt* update = Prepare(sql);
        std::vector<double> times;
        const bench::IoCounts before = bench::CurrentIoCounts();
        for (int number = FirstRowOf(kind); number < FirstRowOf(kind) + kUpdates; ++number) {
            Row row = RowOf(number);
            ApplyWriteBack(kind, number, &row);
            const auto start = std::chrono::steady_clock::now();
            sqlite3_bind_text(update, 1, row.response.c_str(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(update, 2, row.attempts);
            if (kind != WriteBack::kDataOnly) {
                sqlite3_bind_int(update, 3, row.status);
                sqlite3_bind_int64(update, 4, row.time);
            }
            if (kind == WriteBack::kAllSix) {
                sqlite3_bind_int64(update, 5, row.date);
                sqlite3_bind_int(update, 6, row.net_number);
            }
            sqlite3_bind_int(update, 7, number);
            Step(update);
            times.push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        const Cost cost{bench::CurrentIoCounts() - before, Median(times)};
        sqlite3_finalize(update);
        return cost;
    }

  private:
    static void Check(int result, const char* what) {
        if (result != SQLITE_OK) {
            std::fprintf(stderr, "sqlite %s: %d\n", what, result);
            std::abort();
        }
    }
    void Exec(const char* sql) { Check(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), sql); }
    sqlite3_stmt* Prepare(const char* sql) {
        sqlite3_stmt* statement = nullptr;
        Check(sqlite3_prepare_v2(db_, sql, -1, &statement, nullptr), sql);
        return statement;
    }
    static void Step(sqlite3_stmt* statement) {
        const int result = sqlite3_step(statement);
        sqlite3_reset(statement);
        if (result != SQLITE_DONE) {
            Check(result, "step");
        }
    }

    sqlite3* db_ = nullptr;
};

}  // namespace message

void PrintWriteBackTable() {
    using message::WriteBack;
    struct Kind {
        WriteBack kind;
        const char* name;
        const char* keys;
    };
    const Kind kinds[] = {
        {WriteBack::kDataOnly, "RESPONSE, ATTEMPTS", "none"},
        {WriteBack::kSameDay, "+ STATUS, SCHEDTIME (same day)", "1"},
        {WriteBack::kAllSix, "+ SCHEDDATE, NETMSGNBR (all six)", "1,2,3,5"},
    };
    std::printf(
        "\nOne message write-back per durable commit, %d rows, %d updates each "
        "(rollback journal, synchronous FULL):\n",
        message::kRows, message::kUpdates);
    std::printf("%-34s %-7s | %6s %6s %6s %7s | %6s %6s %6s %7s | %6s\n", "", "", "recman", "", "",
                "", "sqlite", "", "", "", "pages");
    std::printf("%-34s %-7s | %6s %6s %6s %7s | %6s %6s %6s %7s | %6s\n",
                "fields changed (per update)", "keys", "pages", "xSync", "fdsync", "ms", "pages",
                "xSync", "fdsync", "ms", "ratio");
    message::RecmanMessages recman;
    message::SqliteMessages sqlite;
    uint64_t super_journal_writes = 0;
    uint64_t fsyncs = 0;
    for (const Kind& kind : kinds) {
        const message::Cost ours = recman.Run(kind.kind);
        const message::Cost theirs = sqlite.Run(kind.kind);
        const double n = message::kUpdates;
        auto per = [n](uint64_t count) { return static_cast<double>(count) / n; };
        const double ratio = theirs.counts.journal_pages > 0
                                 ? static_cast<double>(ours.counts.journal_pages) /
                                       static_cast<double>(theirs.counts.journal_pages)
                                 : 0.0;
        std::printf("%-34s %-7s | %6.2f %6.2f %6.2f %7.2f | %6.2f %6.2f %6.2f %7.2f | %6.2f\n",
                    kind.name, kind.keys, per(ours.counts.journal_pages), per(ours.counts.syncs),
                    per(ours.counts.fdatasyncs), ours.median_ms, per(theirs.counts.journal_pages),
                    per(theirs.counts.syncs), per(theirs.counts.fdatasyncs), theirs.median_ms,
                    ratio);
        super_journal_writes +=
            ours.counts.super_journal_writes + theirs.counts.super_journal_writes;
        fsyncs += ours.counts.fsyncs + theirs.counts.fsyncs;
    }
    std::printf(
        "pages: database pages journaled; xSync: SQLite's syncs; fdsync: fdatasync "
        "calls reaching the kernel; ms: median time of one update and its commit\n");
    if (super_journal_writes != 0 || fsyncs != 0) {
        std::printf("also: %llu super-journal writes, %llu fsync calls\n",
                    static_cast<unsigned long long>(super_journal_writes),
                    static_cast<unsigned long long>(fsyncs));
    }
}

// ---- the table ----

class TableReporter : public benchmark::ConsoleReporter {
  public:
    struct Times {
        double real = 0;  // microseconds per operation
        double cpu = 0;
    };

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            // The median of the repetitions: the disk's fsync times vary a lot.
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median" &&
                !run.error_occurred) {
                const double to_micro = 1e6 / benchmark::GetTimeUnitMultiplier(run.time_unit);
                times_[run.run_name.function_name + "/" + run.run_name.args] = {
                    run.GetAdjustedRealTime() * to_micro, run.GetAdjustedCPUTime() * to_micro};
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    Times Get(const std::string& name, int size) const {
        const auto found = times_.find(name + "/" + std::to_string(size));
        return found != times_.end() ? found->second : Times{};
    }

  private:
    std::map<std::string, Times> times_;
};

const int kSizes[] = {1000, 10000, 100000};

void Register() {
    struct Entry {
        const char* name;
        void (*function)(benchmark::State&);
        int iterations;  // 0: let the library choose
    };
    const Entry entries[] = {
        {"insert_outside/recman", InsertOutsideRecman, 60},
        {"insert_outside/sqlite", InsertOutsideSqlite, 60},
        {"insert_inside/recman", InsertInsideRecman, 0},
        {"insert_inside/sqlite", InsertInsideSqlite, 0},
        {"get_equal/recman", GetEqualRecman, 0},
        {"get_equal/sqlite", GetEqualSqlite, 0},
        {"get_next/recman", GetNextRecman, 0},
        {"get_next/sqlite_seek", GetNextSqlite, 0},
        {"get_next/sqlite_stream", GetNextStream, 0},
        {"update_inside/recman", [](benchmark::State& s) { UpdateRecman(s, true); }, 0},
        {"update_inside/sqlite", [](benchmark::State& s) { UpdateSqlite(s, true); }, 0},
        {"update_outside/recman", [](benchmark::State& s) { UpdateRecman(s, false); }, 60},
        {"update_outside/sqlite", [](benchmark::State& s) { UpdateSqlite(s, false); }, 60},
    };
    for (const Entry& entry : entries) {
        for (const int size : kSizes) {
            auto* benchmark = benchmark::RegisterBenchmark(entry.name, entry.function)->Arg(size);
            benchmark->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
            if (entry.iterations > 0) {
                benchmark->Iterations(entry.iterations);
            } else {
                benchmark->MinTime(0.3);
            }
        }
    }
}

void PrintTable(const TableReporter& reporter) {
    struct Row {
        const char* operation;
        const char* recman;
        const char* sqlite;
    };
    const Row rows[] = {
        {"Insert, outside a transaction", "insert_outside/recman", "insert_outside/sqlite"},
        {"Insert, inside transactions", "insert_inside/recman", "insert_inside/sqlite"},
        {"Get Equal at random", "get_equal/recman", "get_equal/sqlite"},
        {"Get Next scan (seek per row)", "get_next/recman", "get_next/sqlite_seek"},
        {"Get Next vs streaming SELECT", "get_next/recman", "get_next/sqlite_stream"},
        {"Update, inside transactions", "update_inside/recman", "update_inside/sqlite"},
        {"Update, outside a transaction", "update_outside/recman", "update_outside/sqlite"},
    };
    std::printf("\n%-30s %7s | %10s %10s %6s | %10s %10s %6s\n", "", "", "real time", "", "",
                "CPU time", "", "");
    std::printf("%-30s %7s | %10s %10s %6s | %10s %10s %6s\n", "operation (us/op)", "records",
                "recman", "sqlite", "ratio", "recman", "sqlite", "ratio");
    auto ratio = [](double ours, double theirs) { return theirs > 0 ? ours / theirs : 0.0; };
    for (const Row& row : rows) {
        for (const int size : kSizes) {
            const TableReporter::Times ours = reporter.Get(row.recman, size);
            const TableReporter::Times theirs = reporter.Get(row.sqlite, size);
            std::printf("%-30s %7d | %10.2f %10.2f %6.2f | %10.2f %10.2f %6.2f\n", row.operation,
                        size, ours.real, theirs.real, ratio(ours.real, theirs.real), ours.cpu,
                        theirs.cpu, ratio(ours.cpu, theirs.cpu));
        }
    }
    const TableReporter::Times small = reporter.Get("get_equal/recman", 1000);
    const TableReporter::Times large = reporter.Get("get_equal/recman", 100000);
    std::printf("\nGet Equal at 100,000 records / at 1,000 records: real %.2f, CPU %.2f\n",
                ratio(large.real, small.real), ratio(large.cpu, small.cpu));
}

}  // namespace

int main(int argc, char** argv) {
    // The files go into the working directory: it must be on a durable disk, like the
    // data files and client databases of a real installation.
    char pattern[] = "recman-bench-XXXXXX";
    const char* directory = mkdtemp(pattern);
    if (directory == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    g_directory = std::filesystem::absolute(directory).string();
    const std::string state = g_directory + "/state";
    setenv("TOLVANE_RECMAN_DIR", state.c_str(), 0);

    if (!bench::InstallIoCounter()) {
        std::fprintf(stderr, "recman_bench: cannot install the counting VFS\n");
        return 1;
    }
    bool journal_only = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--journal_only") == 0) {
            journal_only = true;
            std::copy(argv + i + 1, argv + argc, argv + i);
            --argc;
            break;
        }
    }

    benchmark::Initialize(&argc, argv);
    if (!journal_only) {
        Register();
        TableReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        PrintTable(reporter);
    }
    PrintWriteBackTable();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(g_directory, ignored);
    return 0;
}
