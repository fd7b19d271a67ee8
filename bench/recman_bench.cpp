// The record manager beside the same work done directly with SQLite: a table with the
// same indexes and key encodings, prepared statements, the same transaction grouping,
// journal mode, synchronisation and cache size. Each operation runs at 1,000, 10,000
// and 100,000 records; the table at the end gives the time per operation and the ratio.
//
// Records are 128 bytes: key 0 a unique 4-byte integer at the start, key 1 a 16-byte
// case-insensitive name with duplicates (100 names), the rest payload.

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

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

    benchmark::Initialize(&argc, argv);
    Register();
    TableReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintTable(reporter);
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(g_directory, ignored);
    return 0;
}
