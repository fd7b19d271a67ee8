#include "bench/iocount.h"

#include <sqlite3.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

namespace bench {
namespace {

std::atomic<uint64_t> g_journal_pages{0};
std::atomic<uint64_t> g_super_journal_writes{0};
std::atomic<uint64_t> g_syncs{0};
std::atomic<uint64_t> g_fdatasyncs{0};
std::atomic<uint64_t> g_fsyncs{0};

sqlite3_vfs* g_inner = nullptr;
sqlite3_vfs g_vfs;
sqlite3_io_methods g_methods;

enum class Kind { kOther, kJournal, kSuperJournal };

// Our part of an open file; the inner VFS's file follows it in the same allocation.
struct CountingFile {
    sqlite3_file base;
    sqlite3_file* inner;
    Kind kind;
};

CountingFile* Ours(sqlite3_file* file) {
    return reinterpret_cast<CountingFile*>(file);
}
sqlite3_file* Inner(sqlite3_file* file) {
    return Ours(file)->inner;
}

int Close(sqlite3_file* file) {
    return Inner(file)->pMethods->xClose(Inner(file));
}

int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    return Inner(file)->pMethods->xRead(Inner(file), buffer, amount, offset);
}

int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    switch (Ours(file)->kind) {
        case Kind::kJournal:
            // A journal holds headers at multiples of the sector size, and records of a
            // 4-byte page number, the page and a 4-byte checksum after them: page images
            // are the only large writes at an offset 4 past a multiple of 8.
            if (amount >= 512 && offset % 8 == 4) {
                ++g_journal_pages;
            }
            break;
        case Kind::kSuperJournal:
            ++g_super_journal_writes;
            break;
        case Kind::kOther:
            break;
    }
    return Inner(file)->pMethods->xWrite(Inner(file), buffer, amount, offset);
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    return Inner(file)->pMethods->xTruncate(Inner(file), size);
}

int Sync(sqlite3_file* file, int flags) {
    ++g_syncs;
    return Inner(file)->pMethods->xSync(Inner(file), flags);
}

int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    return Inner(file)->pMethods->xFileSize(Inner(file), size);
}
int Lock(sqlite3_file* file, int level) {
    return Inner(file)->pMethods->xLock(Inner(file), level);
}
int Unlock(sqlite3_file* file, int level) {
    return Inner(file)->pMethods->xUnlock(Inner(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* out) {
    return Inner(file)->pMethods->xCheckReservedLock(Inner(file), out);
}
int FileControl(sqlite3_file* file, int operation, void* argument) {
    return Inner(file)->pMethods->xFileControl(Inner(file), operation, argument);
}
int SectorSize(sqlite3_file* file) {
    return Inner(file)->pMethods->xSectorSize(Inner(file));
}
int DeviceCharacteristics(sqlite3_file* file) {
    return Inner(file)->pMethods->xDeviceCharacteristics(Inner(file));
}

// Shared memory (WAL) and memory mapping: passed on when the inner file has them.
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
    const sqlite3_io_methods* inner = Inner(file)->pMethods;
    return inner->iVersion >= 2 ? inner->xShmMap(Inner(file), region, size, extend, out)
                                : SQLITE_IOERR_SHMMAP;
}
int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
    const sqlite3_io_methods* inner = Inner(file)->pMethods;
    return inner->iVersion >= 2 ? inner->xShmLock(Inner(file), offset, count, flags)
                                : SQLITE_IOERR_SHMLOCK;
}
void ShmBarrier(sqlite3_file* file) {
    const sqlite3_io_methods* inner = Inner(file)->pMethods;
    if (inner->iVersion >= 2) {
        inner->xShmBarrier(Inner(file));
    }
}
int ShmUnmap(sqlite3_file* file, int remove) {
    const sqlite3_io_methods* inner = Inner(file)->pMethods;
    return inner->iVersion >= 2 ? inner->xShmUnmap(Inner(file), remove) : SQLITE_OK;
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
    const sqlite3_io_methods* inner = Inner(file)->pMethods;
    if (inner->iVersion < 3) {
        *out = nullptr;
        return SQLITE_OK;
    }
    return inner->xFetch(Inner(file), offset, amount, out);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    const sqlite3_io_methods* inner = Inner(file)->pMethods;
    return inner->iVersion >= 3 ? inner->xUnfetch(Inner(file), offset, page) : SQLITE_OK;
}

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
    CountingFile* ours = Ours(file);
    ours->inner = reinterpret_cast<sqlite3_file*>(ours + 1);
    ours->kind = (flags & SQLITE_OPEN_MAIN_JOURNAL) != 0    ? Kind::kJournal
                 : (flags & SQLITE_OPEN_SUPER_JOURNAL) != 0 ? Kind::kSuperJournal
                                                            : Kind::kOther;
    ours->base.pMethods = nullptr;
    const int result = g_inner->xOpen(g_inner, name, ours->inner, flags, out_flags);
    // SQLite closes a file whose open failed only when it has methods.
    if (ours->inner->pMethods != nullptr) {
        ours->base.pMethods = &g_methods;
    }
    return result;
}

}  // namespace

IoCounts operator-(const IoCounts& after, const IoCounts& before) {
    return {after.journal_pages - before.journal_pages,
            after.super_journal_writes - before.super_journal_writes, after.syncs - before.syncs,
            after.fdatasyncs - before.fdatasyncs, after.fsyncs - before.fsyncs};
}

bool InstallIoCounter() {
    if (g_inner != nullptr) {
        return true;
    }
    g_inner = sqlite3_vfs_find(nullptr);
    if (g_inner == nullptr) {
        return false;
    }
    // Everything but opening a file is the inner VFS's own.
    g_vfs = *g_inner;
    g_vfs.pNext = nullptr;
    g_vfs.zName = "iocount";
    g_vfs.szOsFile = static_cast<int>(sizeof(CountingFile)) + g_inner->szOsFile;
    g_vfs.xOpen = Open;
    g_methods = {3,
                 Close,
                 Read,
                 Write,
                 Truncate,
                 Sync,
                 FileSize,
                 Lock,
                 Unlock,
                 CheckReservedLock,
                 FileControl,
                 SectorSize,
                 DeviceCharacteristics,
                 ShmMap,
                 ShmLock,
                 ShmBarrier,
                 ShmUnmap,
                 Fetch,
                 Unfetch};
    if (sqlite3_vfs_register(&g_vfs, 1) != SQLITE_OK) {
        g_inner = nullptr;
        return false;
    }
    return true;
}

IoCounts CurrentIoCounts() {
    return {g_journal_pages.load(), g_super_journal_writes.load(), g_syncs.load(),
            g_fdatasyncs.load(), g_fsyncs.load()};
}

}  // namespace bench

// The program's own fdatasync and fsync: the shared SQLite library and the record
// manager call these in place of the C library's, which ask the kernel the same way.
extern "C" int fdatasync(int fd) {
    ++bench::g_fdatasyncs;
    return static_cast<int>(syscall(SYS_fdatasync, fd));
}

extern "C" int fsync(int fd) {
    ++bench::g_fsyncs;
    return static_cast<int>(syscall(SYS_fsync, fd));
}
