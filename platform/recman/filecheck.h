#pragma once
// Examining a data file for damage, and mending what can be mended without losing a
// row. The file's rows are the record; its key indexes and its row count are derived
// from them, so those can always be rebuilt. Damage to the rows themselves cannot be
// undone here: it is reported, and the file is left as it is.
//
// Neither function goes through a client: they open the file on their own, so they
// must be used while no server has it open for writing (the caller makes sure).

#include <cstdint>
#include <string>
#include <vector>

namespace recman {

struct FileCheck {
    // 0 when the file could be examined; else the record-manager status of the open
    // (12 missing, 30 not a data file, 2 unreadable, ...).
    int status = 0;
    // What is wrong, one text each; none when the file is sound.
    std::vector<std::string> problems;
    // The rows read straight from the table (not through an index); -1 when the table
    // could not be read to its end.
    int64_t rows = -1;

    bool Sound() const { return status == 0 && problems.empty(); }
};

FileCheck CheckDataFile(const std::string& path);

// Rebuilds every index and the row count from the rows, in one transaction, then
// checks the file again and answers that check. The caller keeps a copy of the file.
FileCheck RepairDataFile(const std::string& path);

}  // namespace recman
