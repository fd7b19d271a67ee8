#pragma once
// Create: a new data file at exactly the given path, from a Create layout.

#include <cstddef>
#include <cstdint>
#include <string>

namespace recman {

// Builds the file beside `path` under a temporary name and moves it into place, so the
// path holds either the old file or the complete new one. With `replace` an existing
// file is replaced (85 while anybody has it open); without, an existing file gives 59.
// Returns 0 when the file is on disk, or the status of the fault (those of
// ParseFileSpec for a bad layout, 25 when the directory is missing).
[[nodiscard]] int CreateDataFile(const std::string& path, const uint8_t* layout, size_t length,
                                 bool replace);

}  // namespace recman
