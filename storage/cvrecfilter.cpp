#include "storage/cvrecfilter.h"

#include "platform/recman/recman.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/cvrecset.h"

cvRecFilter::cvRecFilter(std::string table) : table_(std::move(table)) {}

void cvRecFilter::AddText(std::string_view field, std::string_view text) {
    texts_.insert_or_assign(std::string(field), std::string(text));
}

void cvRecFilter::AddInt(std::string_view field, int32_t value) {
    ints_.insert_or_assign(std::string(field), value);
}

void cvRecFilter::AddDate(std::string_view field, uint32_t date) {
    dates_.insert_or_assign(std::string(field), date);
}

void cvRecFilter::AddObjectId(std::string_view field, const cvObjectId& id) {
    ids_.insert_or_assign(std::string(field), id);
}

void cvRecFilter::AddTest(Test test, const void* argument) {
    tests_.emplace_back(std::move(test), argument);
}

void cvRecFilter::AddSetter(Setter setter, const void* argument) {
    setters_.emplace_back(std::move(setter), argument);
}

template <typename Row>
bool cvRecFilter::MeetsConditions(const Row& row) const {
    for (const auto& [field, text] : texts_) {
        if (row.GetText(field, 1) != text) {
            return false;
        }
    }
    for (const auto& [field, value] : ints_) {
        if (row.GetInt(field) != value) {
            return false;
        }
    }
    for (const auto& [field, date] : dates_) {
        if (row.GetDate(field) != date) {
            return false;
        }
    }
    for (const auto& [field, id] : ids_) {
        if (!(row.GetObjectId(field) == id)) {
            return false;
        }
    }
    return true;
}

int cvRecFilter::MatchesRecord(const cvRec& record) const {
    if (record.Table().TableName() != table_ || !MeetsConditions(record)) {
        return -1;
    }
    for (const auto& [test, argument] : tests_) {
        const int result = test(record, argument);
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

int cvRecFilter::StopsAt(cvFile& file) const {
    if (file.TableName() != table_) {
        return -1;
    }
    if (!MeetsConditions(file)) {
        return 1;
    }
    if (tests_.empty()) {
        return 0;
    }
    const cvRec row(file, cvRec::kCopyOfFile);
    for (const auto& [test, argument] : tests_) {
        if (test(row, argument) != 0) {
            return 1;
        }
    }
    return 0;
}

bool cvRecFilter::Apply(cvRec& record) const {
    if (record.Table().TableName() != table_) {
        return false;
    }
    bool applied = true;
    for (const auto& [field, text] : texts_) {
        applied = record.PutString(field, text) != 0 && applied;
    }
    for (const auto& [field, value] : ints_) {
        applied = record.PutInt(field, value) != 0 && applied;
    }
    for (const auto& [field, date] : dates_) {
        applied = record.PutDate(field, date) != 0 && applied;
    }
    for (const auto& [field, id] : ids_) {
        applied = record.PutObjectId(field, id) != 0 && applied;
    }
    for (const auto& [setter, argument] : setters_) {
        setter(record, argument);
    }
    return applied;
}

bool cvRecFilter::ApplyToSet(cvVSet& set) const {
    bool applied = true;
    for (int i = 0; i < set.GetCount(); ++i) {
        applied = Apply(*set.GetAt(i)) && applied;
    }
    return applied;
}

int cvRecFilter::SeedKey(cvFile& file) const {
    if (file.TableName() != table_) {
        return -1;
    }
    cvRec seed(file, cvRec::kCopyOfFile);
    static_cast<void>(Apply(seed));
    return file.SetRecord(seed);
}

int cvRecFilter::Scan(cvFile& file, int key, const std::function<bool(cvFile&)>& take) const {
    file.ClearKey(key);
    if (SeedKey(file) != 0) {
        return -1;
    }
    int status = file.GetGreaterOrEqual(key);
    while (status == 0 && StopsAt(file) == 0) {
        if (!take(file)) {
            return 0;
        }
        status = file.GetNext();
    }
    return status == RECMAN_END_OF_FILE || status == RECMAN_KEY_NOT_FOUND ? 0 : status;
}

int cvRecFilter::Scan(cvFileMgr& manager, int key, cvRecSet& set, int mode) const {
    cvFile* file = manager.OpenTable(table_, mode);
    if (!file) {
        return -1;
    }
    return Scan(*file, key, [&set](cvFile& row) { return set.AddFromFile(row); });
}
