#pragma once
// One cached table: copies of its rows (or of the rows a filter accepts) ordered by
// one key, read on first use through a file manager and kept current by the record
// layer, which hands every stored and deleted row of the table to the cache.
//
// States: registered (nothing read), then loaded. A cache belongs to the thread of its
// file manager (the user interface's).

#include <memory>
#include <string>
#include <string_view>

#include "storage/cvrecfilter.h"
#include "storage/cvrecset.h"

class cvFileMgr;
class cvRec;

class cvRecCache {
  public:
    // Without a manager the application's is taken on first use.
    cvRecCache(std::string table, int key, std::unique_ptr<cvRecFilter> filter = nullptr,
               cvFileMgr* manager = nullptr);

    const std::string& TableName() const { return table_; }
    int KeyNumber() const { return key_; }
    bool IsLoaded() const { return loaded_; }
    cvRecFilter* Filter() const { return filter_.get(); }

    // The cached rows in key order, reading the table on the first call (logging
    // "Caching table %s [%d records]" for an unfiltered table). When the table cannot
    // be opened the set stays empty and the next call tries again.
    cvRecSet& GetRecords();

    // A stored row of the table: added, replaced or dropped (when the filter now
    // rejects it), then moved to its place by key. Nothing before the first read.
    void Update(const cvRec& record);
    // A deleted row of the table: its copy leaves the set.
    void RemoveRecord(const cvRec& record);

  private:
    void Load();
    // Moves the record at `index` to its place by the cache key.
    void Reposition(int index);
    // -1, 0 or 1 comparing two records field by field over the cache key's segments.
    int CompareByKey(const cvRec& a, const cvRec& b) const;

    std::string table_;
    int key_;
    bool loaded_ = false;
    cvRecSet records_;
    std::unique_ptr<cvRecFilter> filter_;
    cvFileMgr* manager_;
};
