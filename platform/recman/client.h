#pragma once
// A record-manager client: its own transaction and locks, its open files.
//
// The client's writable files are attached to one SQLite connection whose main
// database is a file of the state directory, so that one transaction commits
// atomically across all of them (rollback journals and a super-journal; never WAL).
// A file opened twice by one client shares one attachment. Read-only opens get a
// connection of their own each file, so they do not count against SQLite's limit of
// attached databases; past that limit Open answers 86 with a diagnostic line.
//
// Transaction states: none; begun (Begin Transaction answered, nothing read or written
// yet, no SQLite transaction); open (SQLite transaction running: every file touched has
// its write lock, taken at the first touch while SQLite still waits for it); lost
// (SQLite rolled it back on an I/O error: every call answers 36 until End or Abort).
// Outside a transaction each write runs in a transaction of its own that commits
// before the call returns; reads run in autocommit and see the latest committed rows.
//
// Opening a file inside an open transaction: ATTACH is impossible then. When nothing
// has been written yet, the (empty) SQLite transaction is committed, the file attached
// and the transaction goes on, retaking locks as files are touched again. Otherwise the
// file gets a connection of its own: readable at once, writable only after the
// transaction ends (41 with a diagnostic line until then), when it is attached.
//
// Everything here REQUIRES mutex(), which serialises the client's calls.

#include <sqlite3.h>
#include <sys/types.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/recman/datafile.h"
#include "platform/recman/openfile.h"
#include "platform/recman/openlock.h"
#include "platform/recman/statedirectory.h"

namespace recman {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// One data file as this client reaches it.
struct Store {
    enum class Kind {
        kAttached,  // on the client's connection; takes part in transactions
        kReadOnly,  // own connection, opened read-only
        kSide,      // own connection, opened inside a transaction
    };
    Kind kind = Kind::kAttached;
    FileIdentity identity;
    std::string path;
    sqlite3* connection = nullptr;  // own connection (kReadOnly, kSide)
    std::unique_ptr<DataFile> file;
    int users = 0;         // open files using it
    bool touched = false;  // holds its write lock in the open transaction
    std::vector<std::unique_ptr<OpenLock>> kept_locks;  // of files closed while touched
};

class Client {
  public:
    explicit Client(StateDirectory& state);
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    std::mutex& mutex() { return mutex_; }

    // Opens `path` in open mode `mode` (0 normal, -2 read-only, -4 exclusive). Returns 0
    // and the open file, 12 when missing, 30 when not a data file, 85/88 on an
    // open-mode conflict, 86 past the attach limit, or a mapped failure.
    [[nodiscard]] int Open(const std::string& path, int mode, OpenFile** file);
    // Closes one open file (its changes in an open transaction stay in the transaction).
    void Close(OpenFile* file);

    // 37 inside a transaction.
    [[nodiscard]] int Begin();
    // 39 without a transaction; a commit that fails leaves the transaction open unless
    // SQLite rolled it back.
    [[nodiscard]] int End();
    [[nodiscard]] int Abort();

    bool in_transaction() const { return in_transaction_; }
    // Changes whenever the files touched by the transaction may have lost their write
    // locks (the SQLite transaction ended or was restarted).
    uint64_t lock_epoch() const { return lock_epoch_; }

    // Called by the open files around their reads and writes.
    [[nodiscard]] int BeginRead(Store& store);
    [[nodiscard]] int BeginWrite(Store& store);
    [[nodiscard]] int FinishWrite(Store& store, int status);

    // In a forked child: closes inherited lock descriptors, touches nothing of SQLite.
    // Called without the mutex, which another thread of the parent may have held.
    void Abandon();

  private:
    [[nodiscard]] int EnsureConnection();
    [[nodiscard]] int EnsureBegun();
    [[nodiscard]] int Touch(Store& store);
    [[nodiscard]] int Attach(const std::string& path, const FileIdentity& identity, Store** out);
    [[nodiscard]] int OpenOwn(const std::string& path, const FileIdentity& identity,
                              Store::Kind kind, Store** out);
    Store* FindStore(const FileIdentity& identity, Store::Kind kind);
    size_t AttachedCount() const;
    void ReleaseStore(Store* store);
    void NoteIfLost();
    void EndTransactionState();
    void AfterTransaction();
    void MigrateSideStores();
    void CloseConnectionWhenIdle();

    std::mutex mutex_;  // serialises this client's calls; guards everything below
    StateDirectory& state_;
    sqlite3* connection_ = nullptr;
    std::string connection_path_;
    int schema_counter_ = 0;
    std::vector<std::unique_ptr<Store>> stores_;
    std::vector<std::unique_ptr<OpenFile>> files_;

    bool in_transaction_ = false;
    bool begun_ = false;  // the SQLite transaction is running
    bool wrote_ = false;  // something was written in it
    bool lost_ = false;
    uint64_t lock_epoch_ = 0;
    std::vector<Store*> touched_;
};

// The bounded wait for a lock, in milliseconds: $TOLVANE_RECMAN_LOCK_WAIT_MS, else 5000.
// Read when a connection opens (a client's first open after it had none).
int LockWaitMilliseconds();

}  // namespace recman
