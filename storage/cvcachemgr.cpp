#include "storage/cvcachemgr.h"

#include "storage/cvrec.h"

cvCacheMgr::cvCacheMgr(cvFileMgr* manager) : manager_(manager) {}

cvRecCache* cvCacheMgr::AddCache(std::string_view table, int key, std::string_view filter_table) {
    if (FindCache(table)) {
        return nullptr;
    }
    std::unique_ptr<cvRecFilter> filter;
    if (!filter_table.empty()) {
        filter = std::make_unique<cvRecFilter>(std::string(filter_table));
    }
    caches_.push_back(
        std::make_unique<cvRecCache>(std::string(table), key, std::move(filter), manager_));
    return caches_.back().get();
}

cvRecCache* cvCacheMgr::FindCache(std::string_view table) const {
    for (const auto& cache : caches_) {
        if (cache->TableName() == table) {
            return cache.get();
        }
    }
    return nullptr;
}

void cvCacheMgr::Update(const cvRec& record) {
    cvRecCache* cache = FindCache(record.Table().TableName());
    if (cache) {
        cache->Update(record);
    }
}

void cvCacheMgr::RemoveRecord(const cvRec& record) {
    cvRecCache* cache = FindCache(record.Table().TableName());
    if (cache) {
        cache->RemoveRecord(record);
    }
}
