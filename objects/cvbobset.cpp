#include "objects/cvbobset.h"

#include <algorithm>

#include "objects/cvbob.h"
#include "objects/cvobjecttype.h"

cvBobSet::cvBobSet(cvBob* owner, bool allow_duplicates)
    : owner_(owner), allow_duplicates_(allow_duplicates) {}

cvBobSet::~cvBobSet() {
    RemoveAll();
}

cvBob* cvBobSet::GetAt(int index) const {
    return ValidIndex(index) ? objects_[static_cast<size_t>(index)].get() : nullptr;
}

bool cvBobSet::SetAt(int index, cvRec* record) {
    if (!ValidIndex(index) || !record || record->ObjectFlag() == 0) {
        return false;
    }
    cvBob* object = dynamic_cast<cvBob*>(record);
    if (!object) {
        return false;
    }
    objects_[static_cast<size_t>(index)].Set(object);
    return true;
}

int cvBobSet::GetCount() const {
    return static_cast<int>(objects_.size());
}

int cvBobSet::SwapWithNext(int index) {
    if (index >= 0 && index + 1 < GetCount()) {
        std::swap(objects_[static_cast<size_t>(index)], objects_[static_cast<size_t>(index) + 1]);
    }
    return index + 1;
}

int cvBobSet::FindById(int32_t type, int32_t id1, int32_t id2, int32_t id3) const {
    if (type == 0) {
        return -1;
    }
    const cvObjectId wanted{type, id1, id2, id3};
    for (int i = 0; i < GetCount(); ++i) {
        if (objects_[static_cast<size_t>(i)]->ObjectId() == wanted) {
            return i;
        }
    }
    return -1;
}

template <typename Put>
int cvBobSet::PutAll(Put put) {
    int result = 1;
    for (int i = 0; i < GetCount(); ++i) {
        result = put(*objects_[static_cast<size_t>(i)]);
        if (!result) {
            break;
        }
    }
    return result;
}

int cvBobSet::PutTimeAll(std::string_view name, uint32_t time) {
    return PutAll([&](cvBob& object) { return object.PutTime(name, time); });
}

int cvBobSet::PutDateAll(std::string_view name, uint32_t date) {
    return PutAll([&](cvBob& object) { return object.PutDate(name, date); });
}

int cvBobSet::PutObjectIdAll(std::string_view name, const cvObjectId& id) {
    return PutAll([&](cvBob& object) { return object.PutObjectId(name, id); });
}

int cvBobSet::PutDoubleAll(std::string_view name, double value) {
    return PutAll([&](cvBob& object) { return object.PutDouble(name, value); });
}

int cvBobSet::PutIntAll(std::string_view name, int32_t value) {
    return PutAll([&](cvBob& object) { return object.PutInt(name, value); });
}

int cvBobSet::PutStringAll(std::string_view name, std::string_view text) {
    return PutAll([&](cvBob& object) { return object.PutString(name, text); });
}

bool cvBobSet::Add(cvBob* object, int index) {
    if (!object) {
        return true;
    }
    if (!allow_duplicates_) {
        const cvObjectId id = object->ObjectId();
        if (FindById(id.type, id.id1, id.id2, id.id3) >= 0) {
            return true;
        }
    }
    if (index == -1) {
        index = GetCount();
    }
    if (index < 0 || index > GetCount()) {
        return true;
    }
    objects_.insert(objects_.begin() + index, cvBobRef<>::Shared(object));
    if (owner_ && owner_->IsRegistered()) {
        object->Register();
    }
    return true;
}

bool cvBobSet::AddByRecord(const cvRec& record, int index) {
    const cvObjectType* entry = ObjectTypeOf(record);
    if (!entry || !entry->factory) {
        return false;
    }
    cvBobRef<> made = entry->factory(owner_, record);
    if (!made) {
        return false;
    }
    return Add(made.get(), index);
}  // the creator's reference goes back here; the set keeps its own

int cvBobSet::RemoveAt(int index) {
    if (!ValidIndex(index)) {
        return -1;
    }
    // Out of the array before the reference goes: releasing it may reach this set.
    cvBobRef<> entry = std::move(objects_[static_cast<size_t>(index)]);
    objects_.erase(objects_.begin() + index);
    return entry.Reset();
}

void cvBobSet::RemoveAll() {
    while (!objects_.empty()) {
        static_cast<void>(RemoveAt(GetCount() - 1));
    }
}

int cvBobSet::IndexOf(const cvBob* object, int hint) const {
    // The entry is normally still where it was; the calls made on it in between may
    // have changed the set all the same.
    if (GetAt(hint) == object) {
        return hint;
    }
    for (int i = 0; i < GetCount(); ++i) {
        if (GetAt(i) == object) {
            return i;
        }
    }
    return -1;
}

bool cvBobSet::IsOwnersChild(const cvBob* object) const {
    return object && owner_ && object->Parent() == owner_;
}

int cvBobSet::DropAll() {
    for (int i = GetCount() - 1; i >= 0; i = std::min(i, GetCount()) - 1) {
        cvBob* object = GetAt(i);
        if (IsOwnersChild(object)) {
            static_cast<void>(object->DropLinks(true));
        }
        static_cast<void>(RemoveAt(IndexOf(object, i)));
    }
    return 0;
}

int cvBobSet::SaveAll() {
    for (int i = 0; i < GetCount(); ++i) {
        cvBob* object = GetAt(i);
        if (!IsOwnersChild(object)) {
            continue;
        }
        const int result = object->Save();
        if (result != 0) {
            return result;
        }
    }
    return 0;
}

void cvBobSet::DropLinkToAll(cvBob* target) {
    for (int i = GetCount() - 1; i >= 0; i = std::min(i, GetCount()) - 1) {
        cvBob* object = GetAt(i);
        if (IsOwnersChild(object)) {
            object->DropLinkTo(target);
        }
        if (object == target) {
            static_cast<void>(RemoveAt(IndexOf(object, i)));
        }
    }
}

void cvBobSet::Reorder(const std::vector<int>& order) {
    std::vector<cvBobRef<>> sorted;
    sorted.reserve(objects_.size());
    for (int index : order) {
        sorted.push_back(std::move(objects_[static_cast<size_t>(index)]));
    }
    objects_ = std::move(sorted);
}
