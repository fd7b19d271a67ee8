#pragma once
// One open of a data file, behind one position block: its store, its open-mode lock and
// its positioning.
//
// Positioning: the key of the last positioning call, the place along that key (the
// current key value and duplicate sequence, or before the first or after the last
// record after running off an end), and the current record's position. The place is
// kept by value, not by record, so Get Next and Get Previous continue from it even when
// the current record was deleted meanwhile, by this client or another.
//
// A scan (Get Next or Get Previous repeated) outside a transaction reads rows ahead in
// one statement and hands them out while the file's change counter stays what it was
// before they were read: any commit by anybody drops them, so every call still answers
// with the latest committed rows.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/recman/call.h"
#include "platform/recman/datafile.h"
#include "platform/recman/filespec.h"
#include "platform/recman/openlock.h"

namespace recman {

class Client;
struct Store;

struct Positioning {
    enum class Place { kNone, kOn, kBeforeFirst, kAfterLast };
    int key = -1;  // -1: none
    Place place = Place::kNone;
    Bytes value;  // kOn: the current key value, encoded
    int64_t sequence = 0;
    int64_t record = 0;      // the current record's position; 0 for none
    bool on_record = false;  // the place is the current record's own
};

// The current record as read inside a transaction, kept while it is sure to be what is
// stored: the file's write lock held since, and nothing written to the file since.
struct StoredImage {
    bool valid = false;
    uint64_t lock_epoch = 0;
    uint64_t writes = 0;
    int64_t record = 0;
    Bytes data;
};

struct ReadAhead {
    int key = -1;
    bool forward = true;
    int steps = 0;  // consecutive Get Next (or Previous) calls of this scan
    int fills = 0;
    uint32_t change_counter = 0;  // read before the rows were
    std::vector<FoundRecord> rows;
    size_t next = 0;  // the next row to hand out
};

class OpenFile {
  public:
    OpenFile(Client& client, Store* store, std::unique_ptr<OpenLock> lock, bool read_only);
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    // REQUIRES the client's mutex. Carries out one file operation (not Open, Close or
    // the transaction calls) and returns its status.
    [[nodiscard]] int Execute(Call& call);

    Store* store() const { return store_; }
    void set_store(Store* store) { store_ = store; }
    std::unique_ptr<OpenLock> TakeLock() { return std::move(lock_); }

  private:
    [[nodiscard]] int GetByKey(Call& call);
    [[nodiscard]] int GetNextOrPrevious(Call& call);
    [[nodiscard]] int StepFromPlace(bool next, int key, RecordTarget* target, Found* found);
    void RememberStored(int64_t record, const uint8_t* data, size_t length);
    const uint8_t* StoredCurrentRecord() const;
    [[nodiscard]] int GetDirect(Call& call);
    [[nodiscard]] int GetPosition(Call& call);
    [[nodiscard]] int GetByPercentage(Call& call);
    [[nodiscard]] int FindPercentage(Call& call);
    [[nodiscard]] int Insert(Call& call);
    [[nodiscard]] int Update(Call& call);
    [[nodiscard]] int Delete(Call& call);
    [[nodiscard]] int Stat(Call& call);

    const FileSpec& spec() const;
    bool ValidKey(int key) const;
    // 21 unless the key buffer holds a value of `key`.
    [[nodiscard]] int CheckKeyBuffer(const Call& call, int key) const;

    Client& client_;
    Store* store_;
    std::unique_ptr<OpenLock> lock_;
    bool read_only_;
    Positioning positioning_;
    ReadAhead read_ahead_;
    StoredImage stored_;
    Bytes value_;   // scratch: an encoded key value being searched
    Bytes record_;  // scratch: a record read before it is handed out
};

}  // namespace recman
