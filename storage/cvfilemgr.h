#pragma once
// The file manager: opens the tables of one data directory by name, creating missing
// data files from their definitions, and keeps every open file in a registry so that
// each later request for the same table and mode shares it.
//
// A manager and its files belong to one thread. Each manager is a record-manager
// client of its own, so the transactions and locks of the engine's manager and of the
// user interface's never mix. Files live from OpenTable until CloseFiles (explicit,
// on a change of data directory, or when the manager goes); callers never destroy
// them and hold them only while the manager lives.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "storage/cvfile.h"
#include "storage/recordmanagercall.h"

class cvDataDict;
class cvRec;

class cvFileMgr {
  public:
    // Without a directory or dictionary the application's are taken (StorageApp()).
    // A directory gets a trailing "/" when it lacks one.
    explicit cvFileMgr(std::string data_directory = {}, cvDataDict* dictionary = nullptr);
    ~cvFileMgr();  // closes every file and ends its record-manager client
    cvFileMgr(const cvFileMgr&) = delete;
    cvFileMgr& operator=(const cvFileMgr&) = delete;

    // The open file of a table: a registered file of the table in `mode`, or in -4
    // (an exclusive file serves every request), else a new one opened from the data
    // directory + `file_name` (default: the definition's file name). A missing data
    // file is created from the definition unless `no_create`; a file name ending in
    // ".tmp" (any case) names a temporary table, which gets a fresh "~NNNNNNN.tmp" file.
    // Mode 1000 registers the definition without opening a file. Returns null when the
    // table has no definition or cannot be opened.
    cvFile* OpenTable(std::string_view table, int mode = 0, std::string_view file_name = {},
                      bool quiet = false, bool no_create = false);
    // Creates the data file of a table from its definition (a temporary table's under
    // a fresh name). Returns 0 with the path of the new file, the create status (59
    // when an ordinary table's file exists), or -1 when the table has no definition.
    [[nodiscard]] int CreateFile(std::string_view table, std::string* path);
    // Closes and forgets, newest first, every file of `table` (any table when empty)
    // open in `mode` (any mode for 0).
    void CloseFiles(std::string_view table = {}, int mode = 0);

    const std::string& DataDirectory() const { return data_directory_; }
    // Closes every file, then takes `directory` (the application's when empty).
    void SetDataDirectory(std::string directory = {});
    cvDataDict* Dictionary() const { return dictionary_; }

    // A new record of the record's table, opened here in the mode of the record's file,
    // holding a copy of the record (when the assignment rule allows); null when the
    // table cannot be opened.
    std::unique_ptr<cvRec> OpenCopy(const cvRec& record);

    // The registry, oldest first.
    const std::vector<std::unique_ptr<cvFile>>& Files() const { return files_; }
    const RecordManagerClientId& ClientId() const { return client_; }
    // Record-manager calls made by this manager's files so far.
    uint64_t CallCount() const { return calls_; }
    void CountCall() { ++calls_; }

  private:
    // Creates the table's data file named `file_name` in the data directory.
    [[nodiscard]] int CreateNamedFile(const cvDDFile& table, const std::string& file_name,
                                      std::string* path);
    [[nodiscard]] int CreateTemporaryFile(const cvDDFile& table, std::string* path);

    std::vector<std::unique_ptr<cvFile>> files_;
    std::string data_directory_;
    cvDataDict* dictionary_;
    RecordManagerClientId client_;
    uint64_t calls_ = 0;
};

// True when a file name names a temporary table: it ends in ".tmp", any letter case.
bool IsTemporaryFileName(std::string_view file_name);
