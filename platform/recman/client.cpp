#include "platform/recman/client.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "platform/core/diagnostics.h"
#include "platform/recman/recman.h"
#include "platform/recman/sqlitestatus.h"

namespace recman {
namespace {

constexpr uint32_t kDiagnosticCategory = 0x0080;
constexpr int kDefaultLockWaitMs = 5000;

// A URI naming `path` for SQLite, opened for reading and writing only (never created).
std::string UriFor(const std::string& path, bool read_only) {
    const std::string absolute = std::filesystem::absolute(path).lexically_normal().string();
    std::string uri = "file:";
    static const char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : absolute) {
        if (c == '%' || c == '?' || c == '#' || c <= ' ' || c >= 0x7F) {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0x0F];
        } else {
            uri += static_cast<char>(c);
        }
    }
    return uri + (read_only ? "?mode=ro" : "?mode=rw");
}

void ConfigureConnection(sqlite3* db) {
    sqlite3_extended_result_codes(db, 1);
    sqlite3_busy_timeout(db, LockWaitMilliseconds());
}

// Rollback journal, full synchronisation: a commit is on disk when it returns.
int ConfigureSchema(sqlite3* db, const std::string& schema) {
    const std::string name = QuoteName(schema);
    const std::string sql = "PRAGMA " + name + ".journal_mode = DELETE; PRAGMA " + name +
                            ".synchronous = FULL; PRAGMA " + name + ".cache_size = -16384;";
    const int result = Execute(db, sql.c_str());
    return result == SQLITE_OK ? RECMAN_OK : StatusOf(db, result);
}

int IdentityOf(const std::string& path, FileIdentity* identity) {
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0) {
        return StatusFromErrno(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return RECMAN_NOT_A_RECORD_FILE;
    }
    identity->device = info.st_dev;
    identity->inode = info.st_ino;
    return RECMAN_OK;
}

}  // namespace

int LockWaitMilliseconds() {
    const char* text = std::getenv("TOLVANE_RECMAN_LOCK_WAIT_MS");
    if (text == nullptr || *text == '\0') {
        return kDefaultLockWaitMs;
    }
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return (*end == '\0' && value >= 0 && value <= 600000) ? static_cast<int>(value)
                                                           : kDefaultLockWaitMs;
}

Client::Client(StateDirectory& state) : state_(state) {}

Client::~Client() {
    if (in_transaction_ && begun_ && connection_ != nullptr) {
        static_cast<void>(Execute(connection_, "ROLLBACK"));
    }
    files_.clear();
    while (!stores_.empty()) {
        ReleaseStore(stores_.back().get());
    }
    in_transaction_ = false;
    CloseConnectionWhenIdle();
}

int Client::EnsureConnection() {
    if (connection_ != nullptr) {
        return RECMAN_OK;
    }
    std::string path;
    const int status = state_.NewClientDatabase(&path);
    if (status != RECMAN_OK) {
        return status;
    }
    sqlite3* db = nullptr;
    const int result = sqlite3_open_v2(
        path.c_str(), &db,
        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX,
        nullptr);
    if (result != SQLITE_OK) {
        const int failure = StatusOf(db, result);
        sqlite3_close(db);
        platform::ReportDiagnostic(kDiagnosticCategory,
                                   "Record manager: cannot create client database " + path);
        return failure;
    }
    ConfigureConnection(db);
    const int configured = ConfigureSchema(db, "main");
    if (configured != RECMAN_OK) {
        sqlite3_close(db);
        unlink(path.c_str());
        return configured;
    }
    connection_ = db;
    connection_path_ = path;
    return RECMAN_OK;
}

void Client::CloseConnectionWhenIdle() {
    if (connection_ == nullptr || in_transaction_ || AttachedCount() != 0) {
        return;
    }
    sqlite3_close(connection_);
    connection_ = nullptr;
    unlink(connection_path_.c_str());
    unlink((connection_path_ + "-journal").c_str());
}

Store* Client::FindStore(const FileIdentity& identity, Store::Kind kind) {
    for (const auto& store : stores_) {
        if (store->kind == kind && store->identity == identity) {
            return store.get();
        }
    }
    return nullptr;
}

size_t Client::AttachedCount() const {
    return static_cast<size_t>(std::count_if(stores_.begin(), stores_.end(), [](const auto& s) {
        return s->kind == Store::Kind::kAttached;
    }));
}

int Client::Attach(const std::string& path, const FileIdentity& identity, Store** out) {
    int status = EnsureConnection();
    if (status != RECMAN_OK) {
        return status;
    }
    const int limit = sqlite3_limit(connection_, SQLITE_LIMIT_ATTACHED, -1);
    if (AttachedCount() >= static_cast<size_t>(limit)) {
        platform::ReportDiagnostic(kDiagnosticCategory, "Record manager: cannot open " + path +
                                                            ": a client holds at most " +
                                                            std::to_string(limit) +
                                                            " files open for writing at once");
        return RECMAN_FILE_TABLE_FULL;
    }
    if (begun_) {
        // Nothing written yet (or the caller would not be here): end the empty SQLite
        // transaction so that ATTACH can run; the files take their locks again when
        // touched next.
        const int result = Execute(connection_, "COMMIT");
        if (result != SQLITE_OK) {
            return StatusOf(connection_, result);
        }
        for (Store* touched : touched_) {
            touched->touched = false;
            touched->file->DropCounters();
        }
        touched_.clear();
        begun_ = false;
        ++lock_epoch_;
    }
    const std::string schema = "f" + std::to_string(++schema_counter_);
    Statement attach;
    int result = attach.Prepare(connection_, "ATTACH DATABASE ?1 AS " + QuoteName(schema));
    if (result == SQLITE_OK) {
        const std::string uri = UriFor(path, false);
        result = sqlite3_bind_text(attach.get(), 1, uri.c_str(), static_cast<int>(uri.size()),
                                   SQLITE_TRANSIENT);
    }
    if (result == SQLITE_OK) {
        result = sqlite3_step(attach.get());
    }
    attach.Finalize();
    if (result != SQLITE_DONE) {
        return StatusOf(connection_, result);
    }
    auto store = std::make_unique<Store>();
    store->kind = Store::Kind::kAttached;
    store->identity = identity;
    store->path = path;
    status = ConfigureSchema(connection_, schema);
    if (status == RECMAN_OK) {
        status = DataFile::Load(connection_, schema, &store->file);
    }
    if (status != RECMAN_OK) {
        static_cast<void>(Execute(connection_, ("DETACH DATABASE " + QuoteName(schema)).c_str()));
        return status;
    }
    stores_.push_back(std::move(store));
    *out = stores_.back().get();
    return RECMAN_OK;
}

int Client::OpenOwn(const std::string& path, const FileIdentity& identity, Store::Kind kind,
                    Store** out) {
    constexpr int kFlags = SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX;
    sqlite3* db = nullptr;
    // Read-write even for a read-only open when allowed: a connection that may write
    // can roll back a journal a killed writer left behind.
    int result =
        sqlite3_open_v2(UriFor(path, false).c_str(), &db, kFlags | SQLITE_OPEN_READWRITE, nullptr);
    if (result != SQLITE_OK && kind == Store::Kind::kReadOnly) {
        sqlite3_close(db);
        db = nullptr;
        result = sqlite3_open_v2(UriFor(path, true).c_str(), &db, kFlags | SQLITE_OPEN_READONLY,
                                 nullptr);
    }
    if (result != SQLITE_OK) {
        const int status = StatusOf(db, result);
        sqlite3_close(db);
        return status;
    }
    ConfigureConnection(db);
    auto store = std::make_unique<Store>();
    store->kind = kind;
    store->identity = identity;
    store->path = path;
    store->connection = db;
    int status = ConfigureSchema(db, "main");
    if (status == RECMAN_OK && kind == Store::Kind::kReadOnly) {
        status = Execute(db, "PRAGMA query_only = 1") == SQLITE_OK ? RECMAN_OK : RECMAN_IO_ERROR;
    }
    if (status == RECMAN_OK) {
        status = DataFile::Load(db, "main", &store->file);
    }
    if (status != RECMAN_OK) {
        sqlite3_close(db);
        return status;
    }
    stores_.push_back(std::move(store));
    *out = stores_.back().get();
    return RECMAN_OK;
}

void Client::ReleaseStore(Store* store) {
    store->file->FinalizeStatements();
    if (store->kind == Store::Kind::kAttached) {
        const std::string sql = "DETACH DATABASE " + QuoteName(store->file->schema());
        const int result = Execute(connection_, sql.c_str());
        if (result != SQLITE_OK) {
            platform::ReportDiagnostic(kDiagnosticCategory, "Record manager: cannot detach " +
                                                                store->path + ": " +
                                                                sqlite3_errmsg(connection_));
        }
    } else {
        sqlite3_close(store->connection);
    }
    std::erase_if(stores_, [store](const auto& owned) { return owned.get() == store; });
}

int Client::Open(const std::string& path, int mode, OpenFile** file) {
    FileIdentity identity;
    int status = IdentityOf(path, &identity);
    if (status != RECMAN_OK) {
        return status;
    }
    const bool read_only = mode == RECMAN_MODE_READ_ONLY;
    std::unique_ptr<OpenLock> lock;
    status = OpenLock::Acquire(
        path, mode == RECMAN_MODE_EXCLUSIVE ? OpenLock::Kind::kExclusive : OpenLock::Kind::kShared,
        read_only, &lock);
    if (status != RECMAN_OK) {
        return status;
    }
    // Under the lock nobody replaces the file any more: this is the one we open.
    status = IdentityOf(path, &identity);
    if (status != RECMAN_OK) {
        return status;
    }

    Store* store = nullptr;
    if (read_only) {
        store = FindStore(identity, Store::Kind::kReadOnly);
        if (store == nullptr) {
            status = OpenOwn(path, identity, Store::Kind::kReadOnly, &store);
        }
    } else {
        store = FindStore(identity, Store::Kind::kAttached);
        if (store == nullptr) {
            store = FindStore(identity, Store::Kind::kSide);
        }
        if (store == nullptr && begun_ && wrote_) {
            status = OpenOwn(path, identity, Store::Kind::kSide, &store);
        } else if (store == nullptr) {
            status = Attach(path, identity, &store);
        }
    }
    if (status != RECMAN_OK) {
        CloseConnectionWhenIdle();
        return status;
    }
    ++store->users;
    files_.push_back(std::make_unique<OpenFile>(*this, store, std::move(lock), read_only));
    *file = files_.back().get();
    return RECMAN_OK;
}

void Client::Close(OpenFile* file) {
    Store* store = file->store();
    std::unique_ptr<OpenLock> lock = file->TakeLock();
    std::erase_if(files_, [file](const auto& owned) { return owned.get() == file; });
    if (--store->users > 0) {
        return;
    }
    if (store->touched) {
        // Its changes belong to the open transaction: it stays attached, and keeps the
        // file from being replaced, until the transaction ends.
        if (lock) {
            store->kept_locks.push_back(std::move(lock));
        }
        return;
    }
    ReleaseStore(store);
    CloseConnectionWhenIdle();
}

int Client::Begin() {
    if (in_transaction_) {
        return RECMAN_TRANSACTION_ACTIVE;
    }
    in_transaction_ = true;
    begun_ = false;
    wrote_ = false;
    lost_ = false;
    return RECMAN_OK;
}

int Client::EnsureBegun() {
    if (begun_) {
        return RECMAN_OK;
    }
    const int result = Execute(connection_, "BEGIN");
    if (result != SQLITE_OK) {
        return StatusOf(connection_, result);
    }
    begun_ = true;
    return RECMAN_OK;
}

int Client::Touch(Store& store) {
    if (store.touched) {
        return RECMAN_OK;
    }
    const int status = store.file->TakeWriteIntent();
    if (status != RECMAN_OK) {
        NoteIfLost();
        return status;
    }
    store.touched = true;
    touched_.push_back(&store);
    return RECMAN_OK;
}

void Client::NoteIfLost() {
    if (in_transaction_ && begun_ && sqlite3_get_autocommit(connection_) != 0) {
        lost_ = true;  // SQLite rolled the whole transaction back
    }
}

int Client::BeginRead(Store& store) {
    if (!in_transaction_ || store.kind != Store::Kind::kAttached) {
        return RECMAN_OK;
    }
    if (lost_) {
        return RECMAN_TRANSACTION_ERROR;
    }
    const int status = EnsureBegun();
    return status != RECMAN_OK ? status : Touch(store);
}

int Client::BeginWrite(Store& store) {
    if (store.kind == Store::Kind::kReadOnly) {
        return RECMAN_ACCESS_DENIED;
    }
    if (in_transaction_) {
        if (lost_) {
            return RECMAN_TRANSACTION_ERROR;
        }
        if (store.kind == Store::Kind::kSide) {
            platform::ReportDiagnostic(kDiagnosticCategory,
                                       "Record manager: " + store.path +
                                           " was opened inside a transaction and takes no part "
                                           "in it; it can be written once the transaction ends");
            return RECMAN_NOT_ALLOWED;
        }
        int status = EnsureBegun();
        if (status == RECMAN_OK) {
            status = Touch(store);
        }
        if (status == RECMAN_OK) {
            status = store.file->LoadCounters();
            if (status != RECMAN_OK) {
                NoteIfLost();
            }
        }
        return status;
    }
    // A transaction of its own, taking the write lock before reading anything so that
    // SQLite waits for a busy file.
    sqlite3* db = store.file->connection();
    int result = Execute(db, "BEGIN");
    if (result != SQLITE_OK) {
        return StatusOf(db, result);
    }
    int status = store.file->TakeWriteIntent();
    if (status == RECMAN_OK) {
        status = store.file->LoadCounters();
    }
    if (status != RECMAN_OK) {
        store.file->DropCounters();
        static_cast<void>(Execute(db, "ROLLBACK"));
    }
    return status;
}

int Client::FinishWrite(Store& store, int status) {
    if (in_transaction_) {
        if (status == RECMAN_OK) {
            wrote_ = true;
        } else {
            NoteIfLost();
        }
        return status;
    }
    sqlite3* db = store.file->connection();
    if (status == RECMAN_OK) {
        status = store.file->FlushCounters();
    }
    if (status == RECMAN_OK) {
        const int result = Execute(db, "COMMIT");
        if (result != SQLITE_OK) {
            status = StatusOf(db, result);
        }
    }
    if (status != RECMAN_OK && sqlite3_get_autocommit(db) == 0) {
        static_cast<void>(Execute(db, "ROLLBACK"));
    }
    store.file->DropCounters();
    return status;
}

void Client::EndTransactionState() {
    ++lock_epoch_;
    for (Store* store : touched_) {
        store->touched = false;
        store->file->DropCounters();
    }
    touched_.clear();
    in_transaction_ = false;
    begun_ = false;
    wrote_ = false;
    lost_ = false;
}

void Client::AfterTransaction() {
    std::vector<Store*> unused;
    for (const auto& store : stores_) {
        if (store->users == 0) {
            unused.push_back(store.get());
        }
    }
    for (Store* store : unused) {
        ReleaseStore(store);
    }
    MigrateSideStores();
    CloseConnectionWhenIdle();
}

void Client::MigrateSideStores() {
    std::vector<Store*> sides;
    for (const auto& store : stores_) {
        if (store->kind == Store::Kind::kSide) {
            sides.push_back(store.get());
        }
    }
    for (Store* side : sides) {
        Store* attached = FindStore(side->identity, Store::Kind::kAttached);
        if (attached == nullptr && Attach(side->path, side->identity, &attached) != RECMAN_OK) {
            continue;  // stays on its own connection, writable outside transactions
        }
        for (const auto& file : files_) {
            if (file->store() == side) {
                file->set_store(attached);
                ++attached->users;
            }
        }
        ReleaseStore(side);
    }
}

int Client::End() {
    if (!in_transaction_) {
        return RECMAN_NO_TRANSACTION;
    }
    if (lost_) {
        EndTransactionState();
        AfterTransaction();
        return RECMAN_TRANSACTION_ERROR;
    }
    if (begun_) {
        for (Store* store : touched_) {
            const int status = store->file->FlushCounters();
            if (status != RECMAN_OK) {
                NoteIfLost();
                return status;
            }
        }
        const int result = Execute(connection_, "COMMIT");
        if (result != SQLITE_OK) {
            const int status = StatusOf(connection_, result);
            if (sqlite3_get_autocommit(connection_) != 0) {
                EndTransactionState();  // rolled back: nothing of it is there
                AfterTransaction();
            }
            return status;
        }
    }
    EndTransactionState();
    AfterTransaction();
    return RECMAN_OK;
}

int Client::Abort() {
    if (!in_transaction_) {
        return RECMAN_NO_TRANSACTION;
    }
    int status = RECMAN_OK;
    if (begun_ && sqlite3_get_autocommit(connection_) == 0) {
        const int result = Execute(connection_, "ROLLBACK");
        if (result != SQLITE_OK) {
            status = StatusOf(connection_, result);
        }
    }
    EndTransactionState();
    AfterTransaction();
    return status;
}

void Client::Abandon() {
    for (const auto& file : files_) {
        file->TakeLock().reset();
    }
    for (const auto& store : stores_) {
        store->kept_locks.clear();
    }
}

}  // namespace recman
