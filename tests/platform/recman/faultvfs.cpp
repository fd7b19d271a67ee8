#include "tests/platform/recman/faultvfs.h"

#include <sqlite3.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace fault_vfs {
namespace {

std::atomic<Fault> g_fault{Fault::kNone};
std::atomic<const char*> g_faulty_name{"FAULT"};
std::atomic<uint64_t> g_journal_pages{0};
sqlite3_vfs* g_real = nullptr;
sqlite3_vfs g_vfs;
sqlite3_io_methods g_methods;

// Our file, followed in memory by the real VFS's file.
struct FaultFile {
    sqlite3_file base;
    sqlite3_file* real;
    bool faulty;
    bool journal;
};

sqlite3_file* Real(sqlite3_file* file) {
    return reinterpret_cast<FaultFile*>(file)->real;
}

int Close(sqlite3_file* file) {
    return Real(file)->pMethods->xClose(Real(file));
}

int Read(sqlite3_file* file, void* buffer, int amount, sqlite3_int64 offset) {
    return Real(file)->pMethods->xRead(Real(file), buffer, amount, offset);
}

int Write(sqlite3_file* file, const void* buffer, int amount, sqlite3_int64 offset) {
    if (reinterpret_cast<FaultFile*>(file)->faulty) {
        switch (g_fault.load()) {
            case Fault::kDiskFull:
                return SQLITE_FULL;
            case Fault::kIoError:
                return SQLITE_IOERR_WRITE;
            case Fault::kNone:
                break;
        }
    }
    // A journal record is a 4-byte page number, the page and a 4-byte checksum after a
    // header at a multiple of the sector size: a page image is the one large write at an
    // offset 4 past a multiple of 8.
    if (reinterpret_cast<FaultFile*>(file)->journal && amount >= 512 && offset % 8 == 4) {
        ++g_journal_pages;
    }
    return Real(file)->pMethods->xWrite(Real(file), buffer, amount, offset);
}

int Truncate(sqlite3_file* file, sqlite3_int64 size) {
    return Real(file)->pMethods->xTruncate(Real(file), size);
}
int Sync(sqlite3_file* file, int flags) {
    return Real(file)->pMethods->xSync(Real(file), flags);
}
int FileSize(sqlite3_file* file, sqlite3_int64* size) {
    return Real(file)->pMethods->xFileSize(Real(file), size);
}
int Lock(sqlite3_file* file, int level) {
    return Real(file)->pMethods->xLock(Real(file), level);
}
int Unlock(sqlite3_file* file, int level) {
    return Real(file)->pMethods->xUnlock(Real(file), level);
}
int CheckReservedLock(sqlite3_file* file, int* out) {
    return Real(file)->pMethods->xCheckReservedLock(Real(file), out);
}
int FileControl(sqlite3_file* file, int operation, void* argument) {
    return Real(file)->pMethods->xFileControl(Real(file), operation, argument);
}
int SectorSize(sqlite3_file* file) {
    return Real(file)->pMethods->xSectorSize(Real(file));
}
int DeviceCharacteristics(sqlite3_file* file) {
    return Real(file)->pMethods->xDeviceCharacteristics(Real(file));
}
int ShmMap(sqlite3_file* file, int region, int size, int extend, void volatile** out) {
    return Real(file)->pMethods->xShmMap(Real(file), region, size, extend, out);
}
int ShmLock(sqlite3_file* file, int offset, int count, int flags) {
    return Real(file)->pMethods->xShmLock(Real(file), offset, count, flags);
}
void ShmBarrier(sqlite3_file* file) {
    Real(file)->pMethods->xShmBarrier(Real(file));
}
int ShmUnmap(sqlite3_file* file, int remove) {
    return Real(file)->pMethods->xShmUnmap(Real(file), remove);
}
int Fetch(sqlite3_file* file, sqlite3_int64 offset, int amount, void** out) {
    return Real(file)->pMethods->xFetch(Real(file), offset, amount, out);
}
int Unfetch(sqlite3_file* file, sqlite3_int64 offset, void* page) {
    return Real(file)->pMethods->xUnfetch(Real(file), offset, page);
}

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* out_flags) {
    auto* ours = reinterpret_cast<FaultFile*>(file);
    ours->real = reinterpret_cast<sqlite3_file*>(ours + 1);
    ours->faulty = name != nullptr && std::strstr(name, g_faulty_name.load()) != nullptr;
    ours->journal = (flags & SQLITE_OPEN_MAIN_JOURNAL) != 0;
    ours->base.pMethods = nullptr;
    const int result = g_real->xOpen(g_real, name, ours->real, flags, out_flags);
    if (ours->real->pMethods != nullptr) {
        ours->base.pMethods = &g_methods;
    }
    return result;
}

}  // namespace

void Install() {
    static std::once_flag once;
    std::call_once(once, [] {
        g_real = sqlite3_vfs_find(nullptr);
        g_vfs = *g_real;
        g_vfs.pNext = nullptr;
        g_vfs.zName = "fault";
        g_vfs.szOsFile = static_cast<int>(sizeof(FaultFile)) + g_real->szOsFile;
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
        sqlite3_vfs_register(&g_vfs, 1);
    });
}

void FaultyNamesContain(const char* part) {
    g_faulty_name.store(part);
}

void FailWrites(Fault fault) {
    g_fault.store(fault);
}

uint64_t JournalPagesWritten() {
    return g_journal_pages.load();
}

}  // namespace fault_vfs
