#pragma once
// Counts what a durable commit costs on disk, for the benchmarks: a SQLite VFS over the
// default one that counts the database pages written into rollback journals and the
// xSync calls, and a wrapper of the C library's fdatasync and fsync that counts the
// calls that reach the kernel (the unix VFS also syncs a new journal's directory inside
// an xSync, which only the second count sees).
//
// InstallIoCounter must run before any database is opened: it makes the counting VFS
// the default one. The counts are process-wide and only grow; take differences.

#include <cstdint>

namespace bench {

struct IoCounts {
    uint64_t journal_pages = 0;         // database pages written into rollback journals
    uint64_t super_journal_writes = 0;  // writes into super-journals (multi-file commits)
    uint64_t syncs = 0;                 // xSync calls on any file
    uint64_t fdatasyncs = 0;            // fdatasync calls of the process
    uint64_t fsyncs = 0;                // fsync calls of the process
};

IoCounts operator-(const IoCounts& after, const IoCounts& before);

// Returns false when SQLite has no default VFS to wrap or refuses the new one.
[[nodiscard]] bool InstallIoCounter();

IoCounts CurrentIoCounts();

}  // namespace bench
