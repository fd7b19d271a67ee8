#include "storage/cvstorageapp.h"

#include <algorithm>

#include "storage/cvcachemgr.h"
#include "storage/cvfilemgr.h"
#include "storage/cvreccache.h"
#include "storage/recordmanagercall.h"

std::string cvStorageApp::DataDirectory() const {
    std::lock_guard lock(mutex_);
    return data_directory_;
}

void cvStorageApp::SetDataDirectory(std::string directory) {
    if (!directory.empty() && directory.back() != '/') {
        directory += '/';
    }
    std::lock_guard lock(mutex_);
    data_directory_ = std::move(directory);
}

cvDataDict* cvStorageApp::Dictionary() const {
    std::lock_guard lock(mutex_);
    return dictionary_;
}

void cvStorageApp::SetDictionary(cvDataDict* dictionary) {
    std::lock_guard lock(mutex_);
    dictionary_ = dictionary;
}

cvFileMgr* cvStorageApp::FileManager() const {
    std::lock_guard lock(mutex_);
    return file_manager_;
}

void cvStorageApp::SetFileManager(cvFileMgr* manager) {
    {
        std::lock_guard lock(mutex_);
        file_manager_ = manager;
    }
    if (manager) {
        SetUserInterfaceClient(manager->ClientId());
    }
}

cvCacheMgr* cvStorageApp::CacheManager() const {
    std::lock_guard lock(mutex_);
    return cache_manager_;
}

void cvStorageApp::SetCacheManager(cvCacheMgr* caches) {
    std::vector<CachedTable> listed;
    {
        std::lock_guard lock(mutex_);
        cache_manager_ = caches;
        listed = cached_;
    }
    if (caches) {
        for (const CachedTable& entry : listed) {
            static_cast<void>(caches->AddCache(entry.table, entry.key));
        }
    }
}

void cvStorageApp::AddCachedTable(std::string_view table, int key) {
    cvCacheMgr* caches = nullptr;
    {
        std::lock_guard lock(mutex_);
        const bool listed = std::any_of(cached_.begin(), cached_.end(),
                                        [table](const CachedTable& c) { return c.table == table; });
        if (listed) {
            return;
        }
        cached_.push_back({std::string(table), key});
        caches = cache_manager_;
    }
    if (caches) {
        static_cast<void>(caches->AddCache(table, key));
    }
}

std::vector<cvStorageApp::CachedTable> cvStorageApp::CachedTables() const {
    std::lock_guard lock(mutex_);
    return cached_;
}

bool cvStorageApp::IsCached(std::string_view table) const {
    std::lock_guard lock(mutex_);
    return std::any_of(cached_.begin(), cached_.end(),
                       [table](const CachedTable& c) { return c.table == table; });
}

cvRecSet* cvStorageApp::GetCachedSet(std::string_view table) const {
    cvCacheMgr* caches = CacheManager();
    cvRecCache* cache = caches ? caches->FindCache(table) : nullptr;
    return cache ? &cache->GetRecords() : nullptr;
}

void cvStorageApp::SetDataChangeHook(DataChangeHook hook) {
    std::lock_guard lock(mutex_);
    data_change_ = std::move(hook);
}

void cvStorageApp::DataChanged(const std::string& data_directory, const cvRec* before,
                               const cvRec* after) const {
    DataChangeHook hook;
    {
        std::lock_guard lock(mutex_);
        hook = data_change_;
    }
    if (hook) {
        hook(data_directory, before, after);
    }
}

void cvStorageApp::SetConsistencyHook(ConsistencyHook hook) {
    std::lock_guard lock(mutex_);
    skip_check_ = std::move(hook);
}

bool cvStorageApp::SkipConsistencyCheck(const cvFile& file) const {
    ConsistencyHook hook;
    {
        std::lock_guard lock(mutex_);
        hook = skip_check_;
    }
    return hook && hook(file);
}

void cvStorageApp::SetRecordIdHook(RecordIdHook hook) {
    std::lock_guard lock(mutex_);
    record_id_ = std::move(hook);
}

cvObjectId cvStorageApp::RecordId(const cvRec& record) const {
    RecordIdHook hook;
    {
        std::lock_guard lock(mutex_);
        hook = record_id_;
    }
    return hook ? hook(record) : cvObjectId{};
}

void cvStorageApp::Reset() {
    std::lock_guard lock(mutex_);
    data_directory_.clear();
    dictionary_ = nullptr;
    file_manager_ = nullptr;
    cache_manager_ = nullptr;
    cached_.clear();
    data_change_ = nullptr;
    skip_check_ = nullptr;
    record_id_ = nullptr;
}

cvStorageApp& StorageApp() {
    static cvStorageApp app;
    return app;
}
