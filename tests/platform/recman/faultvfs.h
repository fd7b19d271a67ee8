#pragma once
// A SQLite VFS for tests, over the default one: on demand it fails the writes to files
// whose names contain "FAULT" (data files and their journals), as a full disk or as an
// I/O error would. It also counts the database pages written into rollback journals.
// Installed as the default VFS, so every connection opened afterwards goes through it.

#include <cstdint>

namespace fault_vfs {

enum class Fault { kNone, kDiskFull, kIoError };

// Registers the VFS as the default (once; later calls do nothing).
void Install();

// Files opened from now on are faulty when their names contain `part` (a string that
// lives for the rest of the process) instead of "FAULT".
void FaultyNamesContain(const char* part);

// From now on, writes to "FAULT" files fail this way (kNone: they succeed again).
void FailWrites(Fault fault);

// Database pages written into rollback journals through the VFS so far.
uint64_t JournalPagesWritten();

}  // namespace fault_vfs
