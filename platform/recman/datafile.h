#pragma once
// One data file, reached through a SQLite schema: a database attached to a client's
// connection, or the main database of a connection of its own.
//
// On disk a data file holds
//   spec(id = 1, layout)                   the Create layout
//   meta(id = 1, record_count, sequence)
//   rec(pos INTEGER PRIMARY KEY AUTOINCREMENT, data, k0, [s0], k1, [s1], ...)
// with application_id marking the file as ours and user_version its format. kN holds
// key N's encoding (NULL when the key leaves the record out) under an index, so every
// positioning call is one index seek. For a key with duplicates, sN orders the records
// of one key value: it is taken from meta.sequence (file-wide, only increasing) when a
// record is inserted and again whenever its value of key N changes, so duplicates stay
// in insertion order and a record moved into another group goes to that group's end.
// Positions are rowids: AUTOINCREMENT never gives one twice.
//
// An update writes data and the kN, sN of the keys whose values change, nothing else:
// the indexes of the other keys keep their entries (and their pages stay clean), and
// an unchanged key keeps its sequence and so its place among its duplicates.
//
// Invariants: meta.record_count is the number of rows in rec; every sN is at most
// meta.sequence. rec changes only under the file's write lock; from the first write of
// a transaction to its commit the two counters live in memory (LoadCounters,
// FlushCounters), which the write lock makes safe.
//
// Every function returning int answers a record-manager status: 0 on success, 9 when a
// seek finds no record, the mapped SQLite failure otherwise.

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/recman/filespec.h"
#include "platform/recman/statement.h"

namespace recman {

enum class Seek {
    kEqual,
    kGreaterOrEqual,
    kGreater,
    kLessOrEqual,
    kLess,
    kFirst,
    kLast,
    kNext,      // after (value, sequence)
    kPrevious,  // before (value, sequence)
    kPosition,  // the record at a position
    kPhysicalFirst,
    kPhysicalLast,
    kPhysicalFrom,  // the first record at or after a position
    kCount
};

// Where a found record goes.
struct RecordTarget {
    uint8_t* buffer = nullptr;  // the record's bytes, up to capacity; nullptr for none
    size_t capacity = 0;
    size_t copied = 0;             // out: bytes written to buffer
    uint8_t* key_value = nullptr;  // out: the searched key's value; nullptr for none
};

// A record's place along one key.
struct KeyPlace {
    bool in_key = false;  // false when the key leaves the record out
    Bytes encoded;
    int64_t sequence = 0;  // orders duplicates; 0 for a key without them
};

struct Found {
    int64_t position = 0;
    KeyPlace place;  // along the searched key
};

struct FoundRecord {
    Found found;
    Bytes data;
};

class DataFile {
  public:
    // Writes the tables of a new data file into `db`'s main database, which is empty.
    [[nodiscard]] static int WriteSchema(sqlite3* db, const FileSpec& spec);
    // Checks that `schema` on `db` is one of our data files and loads its
    // specification. Returns 0, 30 for a file of any other kind, or the read failure.
    [[nodiscard]] static int Load(sqlite3* db, const std::string& schema,
                                  std::unique_ptr<DataFile>* out);

    DataFile(sqlite3* db, std::string schema, FileSpec spec);
    DataFile(const DataFile&) = delete;
    DataFile& operator=(const DataFile&) = delete;

    const FileSpec& spec() const { return spec_; }
    sqlite3* connection() const { return db_; }
    const std::string& schema() const { return schema_; }

    // One seek along `key` (-1 for the physical kinds and kPosition without a key).
    // `value` is the encoded key value for the comparing kinds and kNext/kPrevious;
    // `number` the sequence for kNext/kPrevious or the position for kPosition and
    // kPhysicalFrom. Returns 0 and fills `target` and `found`, or 9 when no record.
    [[nodiscard]] int Find(Seek seek, int key, const Bytes* value, int64_t number,
                           RecordTarget* target, Found* found);

    // Up to `limit` records after (kNext) or before (kPrevious) (value, sequence) along
    // `key`, nearest first, read in one statement. Returns 0, with no records at an end.
    [[nodiscard]] int FindRun(Seek seek, int key, const Bytes& value, int64_t sequence,
                              size_t limit, std::vector<FoundRecord>* records);

    // The file's change counter as it is on disk now, read without a lock; any commit
    // to the file that finished before the call has changed it.
    [[nodiscard]] int ChangeCounter(uint32_t* counter);

    // Relative position (0..10000) of an encoded value along `key`, or of a position
    // when `key` is -1; interpolated between the first and the last record.
    [[nodiscard]] int PercentageOf(int key, const Bytes& value, int64_t position,
                                   uint32_t* percent);
    // The record at about `percent` along `key` (-1: physically).
    [[nodiscard]] int FindByPercentage(int key, uint32_t percent, RecordTarget* target,
                                       Found* found);

    // Takes the file's write lock for the open transaction without writing anything;
    // SQLite waits for it (its busy handler runs) only while the transaction has not
    // read this file yet.
    [[nodiscard]] int TakeWriteIntent();
    // REQUIRES the write lock. Brings the counters into memory; writes them back.
    [[nodiscard]] int LoadCounters();
    [[nodiscard]] int FlushCounters();
    void DropCounters();
    bool counters_loaded() const { return counters_loaded_; }

    // The number of records, as this connection sees it.
    [[nodiscard]] int RecordCount(uint32_t* count);

    // REQUIRES the write lock and loaded counters. Inserts `record` (record_length
    // bytes); AutoInc fields holding 0 get the highest value plus 1, written back into
    // `record` on success. Returns 0 and the position, or 5 on a duplicate.
    [[nodiscard]] int Insert(uint8_t* record, int64_t* position);
    // Replaces the record at `position`: 80 when it is gone, 10 when a key that is not
    // modifiable would change (nothing written), 5 on a duplicate. `stored`, when given,
    // is the record as it is stored now (the caller knows nobody can have changed it),
    // which spares reading its keys when none of them changes. Only the changed keys'
    // index entries are rewritten; a failure leaves the record as it was.
    [[nodiscard]] int Update(int64_t position, const uint8_t* record,
                             const uint8_t* stored = nullptr);
    // Deletes the record at `position`; 80 when it is gone.
    [[nodiscard]] int Delete(int64_t position);
    // Counts the writes through this object: a record read when the count was n is
    // unchanged while it is still n and the file's write lock has been held throughout.
    uint64_t writes() const { return writes_; }
    // After a successful Insert or Update: the record's place along `key`. After an
    // Update given the stored record that changed no key, the sequences are not known
    // (sequences_known() is false): the record kept its places.
    const KeyPlace& written_place(int key) const { return written_[key]; }
    bool sequences_known() const { return sequences_known_; }

    void FinalizeStatements();

    // The SQL of one seek (with `run`, of a run of them), as prepared on `schema`.
    static std::string SeekSql(const FileSpec& spec, const std::string& schema, Seek seek, int key,
                               bool run);

  private:
    sqlite3_stmt* SeekStatement(Seek seek, int key, int* result, bool run = false);
    sqlite3_stmt* Prepared(Statement& statement, const std::string& sql, int* result);
    std::string Table(const char* name) const;
    [[nodiscard]] int HighestAutoInc(int key, int64_t* highest);
    void PlaceRecord(const uint8_t* record);
    [[nodiscard]] int UpdateData(int64_t position, const uint8_t* record);
    // The UPDATE writing the data and the columns of changed_keys_, prepared on first
    // use; nullptr with the failure in `status`.
    sqlite3_stmt* UpdateStatement(int* status);

    sqlite3* db_;
    std::string schema_;
    FileSpec spec_;

    std::vector<Statement> seeks_;  // by seek kind and key
    std::vector<Statement> runs_;   // the same with a LIMIT parameter
    Statement insert_;
    // UPDATE statements by the keys they write, in key order.
    std::map<std::vector<int>, Statement> updates_;
    static constexpr size_t kMaxUpdateStatements = 64;
    Statement update_data_;
    Statement delete_;
    Statement old_keys_;
    Statement intent_;
    Statement load_counters_;
    Statement flush_counters_;
    Statement count_;

    uint64_t writes_ = 0;
    bool sequences_known_ = true;
    bool counters_loaded_ = false;
    bool counters_dirty_ = false;
    int64_t record_count_ = 0;
    int64_t sequence_ = 0;

    Bytes record_;                   // scratch: the record being written
    Bytes old_encoding_;             // scratch: a key's encoding in the stored record
    std::vector<KeyPlace> written_;  // by key, after a write
    std::vector<int> changed_keys_;  // scratch: the keys an Update changes, in order
};

}  // namespace recman
