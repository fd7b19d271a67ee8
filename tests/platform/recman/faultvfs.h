#pragma once
// A SQLite VFS for tests, over the default one: on demand it fails the writes to files
// whose names contain "FAULT" (data files and their journals), as a full disk or as an
// I/O error would. Installed as the default VFS, so every connection opened afterwards
// goes through it.

namespace fault_vfs {

enum class Fault { kNone, kDiskFull, kIoError };

// Registers the VFS as the default (once; later calls do nothing).
void Install();

// From now on, writes to "FAULT" files fail this way (kNone: they succeed again).
void FailWrites(Fault fault);

}  // namespace fault_vfs
