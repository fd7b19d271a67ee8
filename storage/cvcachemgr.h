#pragma once
// The application's table caches, one per cached table, in order of registration.
// The record layer hands it every stored and deleted row of a cached table.

#include <memory>
#include <string_view>
#include <vector>

#include "storage/cvreccache.h"

class cvFileMgr;
class cvRec;

class cvCacheMgr {
  public:
    // Caches read their tables through `manager`, or the application's when none.
    explicit cvCacheMgr(cvFileMgr* manager = nullptr);

    // A new cache of the table ordered by `key`; with a filter table name, with an
    // empty filter for that table. Null when the table already has a cache.
    cvRecCache* AddCache(std::string_view table, int key, std::string_view filter_table = {});
    // The cache of the table (exact name) or null.
    cvRecCache* FindCache(std::string_view table) const;
    // Hand a stored or deleted row to the cache of its table, if any.
    void Update(const cvRec& record);
    void RemoveRecord(const cvRec& record);

  private:
    std::vector<std::unique_ptr<cvRecCache>> caches_;
    cvFileMgr* manager_;
};
