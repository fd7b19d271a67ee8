#include "storage/cvreccache.h"

#include "log/cveventlog.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"

namespace {

// Tables of more rows than this are logged as errors too when cached.
constexpr uint32_t kSmallTableRows = 300;

}  // namespace

cvRecCache::cvRecCache(std::string table, int key, std::unique_ptr<cvRecFilter> filter,
                       cvFileMgr* manager)
    : table_(std::move(table)), key_(key), filter_(std::move(filter)), manager_(manager) {}

cvRecSet& cvRecCache::GetRecords() {
    if (!loaded_) {
        Load();
    }
    return records_;
}

void cvRecCache::Load() {
    records_.RemoveAll();
    if (!manager_) {
        manager_ = StorageApp().FileManager();
    }
    cvFile* file = manager_ ? manager_->OpenTable(table_, 0) : nullptr;
    if (!file) {
        return;
    }
    int status = 0;
    if (filter_) {
        file->ClearKey(key_);
        static_cast<void>(filter_->SeedKey(*file));
        status = file->GetGreaterOrEqual(key_);
    } else {
        uint32_t count = 0;
        static_cast<void>(file->RecordCount(&count));
        const uint32_t category =
            count <= kSmallTableRows ? kLogDbCache : kLogDbCache | kLogDbErrors;
        EventLog().LogEvent(category, "Caching table %s [%d records]", table_.c_str(),
                            static_cast<int>(count));
        status = file->GetFirst(key_);
    }
    while (status == 0 && (!filter_ || filter_->StopsAt(*file) == 0)) {
        static_cast<void>(records_.AddFromFile(*file));
        status = file->GetNext();
    }
    loaded_ = true;
}

int cvRecCache::CompareByKey(const cvRec& a, const cvRec& b) const {
    const cvDDFile& table = a.Table();
    const int count = table.SegmentCount(key_);
    for (int number = 0; number < count; ++number) {
        const cvDDKeySeg* segment = table.Segment(key_, number);
        const cvDDField* field = segment ? table.SegmentField(*segment) : nullptr;
        if (!field) {
            continue;
        }
        const int result = a.CompareField(b.Buffer(), *field);
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

void cvRecCache::Reposition(int index) {
    bool moved = false;
    while (index > 0 && CompareByKey(*records_.GetAt(index - 1), *records_.GetAt(index)) > 0) {
        static_cast<void>(records_.SwapWithNext(index - 1));
        --index;
        moved = true;
    }
    if (moved) {
        return;
    }
    while (index + 1 < records_.GetCount() &&
           CompareByKey(*records_.GetAt(index), *records_.GetAt(index + 1)) > 0) {
        index = records_.SwapWithNext(index);
    }
}

void cvRecCache::Update(const cvRec& record) {
    if (!loaded_ || record.Table().TableName() != table_) {
        return;
    }
    const bool accepted = !filter_ || filter_->MatchesRecord(record) == 0;
    const int index = records_.Find(record);
    if (index < 0) {
        if (accepted && records_.Add(record)) {
            Reposition(records_.GetCount() - 1);
        }
        return;
    }
    if (!accepted) {
        records_.RemoveAt(index);
        return;
    }
    cvRec* cached = records_.GetAt(index);
    if (cached != &record) {
        *cached = record;
    }
    Reposition(index);
}

void cvRecCache::RemoveRecord(const cvRec& record) {
    if (!loaded_ || record.Table().TableName() != table_) {
        return;
    }
    const int index = records_.Find(record);
    if (index >= 0) {
        records_.RemoveAt(index);
    }
}
