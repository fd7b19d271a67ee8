#include "storage/cvrecset.h"

#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"

cvRecSet::cvRecSet() = default;

cvRecSet::~cvRecSet() = default;

bool cvRecSet::ValidIndex(int index) const {
    return index >= 0 && index < GetCount();
}

cvRec* cvRecSet::GetAt(int index) const {
    return ValidIndex(index) ? records_[static_cast<size_t>(index)].get() : nullptr;
}

bool cvRecSet::SetAt(int index, cvRec* record) {
    if (!ValidIndex(index) || !record) {
        return false;
    }
    std::unique_ptr<cvRec>& entry = records_[static_cast<size_t>(index)];
    static_cast<void>(entry.release());  // the caller owns the replaced record
    entry.reset(record);
    return true;
}

int cvRecSet::GetCount() const {
    return static_cast<int>(records_.size());
}

int cvRecSet::SwapWithNext(int index) {
    if (index >= 0 && index + 1 < GetCount()) {
        std::swap(records_[static_cast<size_t>(index)], records_[static_cast<size_t>(index) + 1]);
    }
    return index + 1;
}

void cvRecSet::Reorder(const std::vector<int>& order) {
    std::vector<std::unique_ptr<cvRec>> sorted;
    sorted.reserve(records_.size());
    for (int index : order) {
        sorted.push_back(std::move(records_[static_cast<size_t>(index)]));
    }
    records_ = std::move(sorted);
}

int cvRecSet::FindById(int32_t type, int32_t id1, int32_t id2, int32_t id3) const {
    if (type == 0) {
        return -1;
    }
    const cvObjectId wanted{type, id1, id2, id3};
    for (int i = 0; i < GetCount(); ++i) {
        if (StorageApp().RecordId(*records_[static_cast<size_t>(i)]) == wanted) {
            return i;
        }
    }
    return -1;
}

int cvRecSet::PutObjectIdAll(std::string_view name, const cvObjectId& id) {
    int result = 1;
    for (const auto& record : records_) {
        result = record->PutObjectId(name, id);
        if (!result) {
            break;
        }
    }
    return result;
}

int cvRecSet::PutIntAll(std::string_view name, int32_t value) {
    int result = 1;
    for (const auto& record : records_) {
        result = record->PutInt(name, value);
        if (!result) {
            break;
        }
    }
    return result;
}

int cvRecSet::PutStringAll(std::string_view name, std::string_view text) {
    int result = 1;
    for (const auto& record : records_) {
        result = record->PutString(name, text);
        if (!result) {
            break;
        }
    }
    return result;
}

bool cvRecSet::Insert(std::unique_ptr<cvRec> record, int index) {
    if (index == -1) {
        index = GetCount();
    }
    if (index < 0 || index > GetCount()) {
        return false;
    }
    records_.insert(records_.begin() + index, std::move(record));
    return true;
}

bool cvRecSet::Add(const cvRec& record, int index) {
    if (index < -1 || index > GetCount()) {
        return false;
    }
    return Insert(std::make_unique<cvRec>(record), index);
}

bool cvRecSet::AddFromFile(cvFile& file, int index) {
    if (index < -1 || index > GetCount()) {
        return false;
    }
    return Insert(std::make_unique<cvRec>(file, cvRec::kFromFile), index);
}

void cvRecSet::RemoveAt(int index, int count) {
    if (count == -1) {
        count = GetCount() - index;
    }
    if (index < 0 || count < 0 || index + count > GetCount()) {
        return;
    }
    records_.erase(records_.begin() + index, records_.begin() + index + count);
}

void cvRecSet::RemoveAll() {
    records_.clear();
}

int cvRecSet::Find(const cvRec& record) const {
    const int32_t position = record.Position();
    if (position == 0 || position == -1) {
        const cvObjectId id = StorageApp().RecordId(record);
        return FindById(id.type, id.id1, id.id2, id.id3);
    }
    return FindByPosition(record.Table().TableName(), position);
}

int cvRecSet::FindByPosition(std::string_view table, int32_t position) const {
    for (int i = 0; i < GetCount(); ++i) {
        const cvRec& record = *records_[static_cast<size_t>(i)];
        if (record.Position() == position && record.Table().TableName() == table) {
            return i;
        }
    }
    return -1;
}
