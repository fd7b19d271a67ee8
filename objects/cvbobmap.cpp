#include "objects/cvbobmap.h"

#include <algorithm>

#include "objects/cvbob.h"

namespace {

bool TypeBelow(const std::pair<int32_t, std::vector<cvBob*>>& list, int32_t type) {
    return list.first < type;
}

}  // namespace

cvBobMap::~cvBobMap() {
    for (TypeList& list : lists_) {
        for (cvBob* object : list.second) {
            if (object->map_ == this && !object->HasFlags(cvBob::kOwnsMap)) {
                object->map_ = nullptr;
            }
        }
    }
}

std::vector<cvBob*>* cvBobMap::ListOf(int32_t type) {
    auto at = std::lower_bound(lists_.begin(), lists_.end(), type, TypeBelow);
    return at != lists_.end() && at->first == type ? &at->second : nullptr;
}

const std::vector<cvBob*>* cvBobMap::ListOf(int32_t type) const {
    auto at = std::lower_bound(lists_.begin(), lists_.end(), type, TypeBelow);
    return at != lists_.end() && at->first == type ? &at->second : nullptr;
}

bool cvBobMap::Add(cvBob* object) {
    if (!object) {
        return false;
    }
    const int32_t type = object->ObjectId().type;
    if (type == 0) {
        return false;
    }
    auto at = std::lower_bound(lists_.begin(), lists_.end(), type, TypeBelow);
    if (at == lists_.end() || at->first != type) {
        at = lists_.insert(at, TypeList{type, {}});
    }
    std::vector<cvBob*>& list = at->second;
    if (std::find(list.begin(), list.end(), object) == list.end()) {
        list.push_back(object);
        ++count_;
    }
    return true;
}

bool cvBobMap::Remove(cvBob* object) {
    if (!object) {
        return false;
    }
    // Its own type's list first; any list when its identifier has changed since.
    std::vector<cvBob*>* own = ListOf(object->ObjectId().type);
    if (own && std::erase(*own, object) > 0) {
        --count_;
        return true;
    }
    for (TypeList& list : lists_) {
        if (std::erase(list.second, object) > 0) {
            --count_;
            return true;
        }
    }
    return false;
}

cvBob* cvBobMap::Find(int32_t type, int32_t id1, int32_t id2, int32_t id3) const {
    const std::vector<cvBob*>* list = ListOf(type);
    if (!list) {
        return nullptr;
    }
    const cvObjectId wanted{type, id1, id2, id3};
    for (auto it = list->rbegin(); it != list->rend(); ++it) {
        if ((*it)->ObjectId() == wanted) {
            return *it;
        }
    }
    return nullptr;
}
