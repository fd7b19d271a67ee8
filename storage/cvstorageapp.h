#pragma once
// What the storage layer asks of the application object, as one process-wide set of
// settable defaults and hooks. The application fills it in at start-up; until then
// every query answers the way this product behaves: no data directory, no dictionary,
// no file manager, no cached table, no data-change hook, no table exempt from the
// consistency check, and no record has an object identifier.
//
// Threads: every member may be read from any thread; the mutex `mutex_` guards them
// all. Hooks are copied out under the lock and called without it, on the caller's
// thread. The objects the application registers (dictionary, file manager, cache
// manager) must outlive their registration.

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "storage/cvobjectid.h"

class cvCacheMgr;
class cvDataDict;
class cvFile;
class cvFileMgr;
class cvRec;
class cvRecSet;

class cvStorageApp {
  public:
    // Told of every stored, updated or deleted row: the data directory of the file's
    // manager, the row before (null for an insert) and after (null for a delete).
    using DataChangeHook = std::function<void(const std::string& data_directory,
                                              const cvRec* before, const cvRec* after)>;
    // True lets an open file skip its consistency check.
    using ConsistencyHook = std::function<bool(const cvFile& file)>;
    // The object identifier of a record (type 0: the record is no object).
    using RecordIdHook = std::function<cvObjectId(const cvRec& record)>;

    struct CachedTable {
        std::string table;
        int key = 0;
    };

    cvStorageApp() = default;
    cvStorageApp(const cvStorageApp&) = delete;
    cvStorageApp& operator=(const cvStorageApp&) = delete;

    // The database's data directory (ending in "/" when set), used by file managers
    // built without one.
    std::string DataDirectory() const;
    void SetDataDirectory(std::string directory);
    // The dictionary of the database, used by file managers built without one.
    cvDataDict* Dictionary() const;
    void SetDictionary(cvDataDict* dictionary);
    // The user interface's file manager of the data directory. Setting one also names
    // its record-manager client as the one a user-interface message box aborts a
    // transaction of.
    cvFileMgr* FileManager() const;
    void SetFileManager(cvFileMgr* manager);

    // The table cache. Tables listed with AddCachedTable get a cache (without a filter)
    // in the cache manager once one is set. IsCached tells whether a table is listed.
    cvCacheMgr* CacheManager() const;
    void SetCacheManager(cvCacheMgr* caches);
    void AddCachedTable(std::string_view table, int key);
    std::vector<CachedTable> CachedTables() const;
    bool IsCached(std::string_view table) const;
    // The cached rows of a table, read on first use; null when the table has no cache.
    cvRecSet* GetCachedSet(std::string_view table) const;

    void SetDataChangeHook(DataChangeHook hook);
    void DataChanged(const std::string& data_directory, const cvRec* before,
                     const cvRec* after) const;

    void SetConsistencyHook(ConsistencyHook hook);
    bool SkipConsistencyCheck(const cvFile& file) const;

    // Installed by the business-object layer, which knows the object types.
    void SetRecordIdHook(RecordIdHook hook);
    cvObjectId RecordId(const cvRec& record) const;

    // Back to the defaults above (for tests and shutdown).
    void Reset();

  private:
    mutable std::mutex mutex_;
    std::string data_directory_;           // guarded by mutex_
    cvDataDict* dictionary_ = nullptr;     // guarded by mutex_
    cvFileMgr* file_manager_ = nullptr;    // guarded by mutex_
    cvCacheMgr* cache_manager_ = nullptr;  // guarded by mutex_
    std::vector<CachedTable> cached_;      // guarded by mutex_
    DataChangeHook data_change_;           // guarded by mutex_
    ConsistencyHook skip_check_;           // guarded by mutex_
    RecordIdHook record_id_;               // guarded by mutex_
};

// The process's storage settings.
cvStorageApp& StorageApp();
