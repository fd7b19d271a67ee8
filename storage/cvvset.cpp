#include "storage/cvvset.h"

#include <algorithm>
#include <numeric>

#include "storage/cvrec.h"

cvVSet::~cvVSet() = default;

bool cvVSet::AllSameTable() const {
    const int count = GetCount();
    if (count < 2) {
        return true;
    }
    const cvDDFile* table = &GetAt(0)->Table();
    for (int i = 1; i < count; ++i) {
        if (&GetAt(i)->Table() != table) {
            return false;
        }
    }
    return true;
}

void cvVSet::Sort(const cvRecCompare& compare, bool descending) {
    const int count = GetCount();
    if (count < 2 || !compare || !AllSameTable()) {
        return;
    }
    // The order a stable sort gives, as indices into the current entries.
    std::vector<cvRec*> records(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        records[static_cast<size_t>(i)] = GetAt(i);
    }
    std::vector<int> order(static_cast<size_t>(count));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int result =
            compare(*records[static_cast<size_t>(a)], *records[static_cast<size_t>(b)]);
        return descending ? result > 0 : result < 0;
    });
    Reorder(order);
}

void cvVSet::Reorder(const std::vector<int>& order) {
    // Each entry moves down from where it is now to its place.
    const int count = static_cast<int>(order.size());
    std::vector<int> slot_of(order.size());  // original index -> slot
    std::vector<int> at_slot(order.size());  // slot -> original index
    std::iota(slot_of.begin(), slot_of.end(), 0);
    std::iota(at_slot.begin(), at_slot.end(), 0);
    for (int target = 0; target < count; ++target) {
        const int wanted = order[static_cast<size_t>(target)];
        for (int slot = slot_of[static_cast<size_t>(wanted)]; slot > target; --slot) {
            static_cast<void>(SwapWithNext(slot - 1));
            const int moved = at_slot[static_cast<size_t>(slot - 1)];
            at_slot[static_cast<size_t>(slot - 1)] = wanted;
            at_slot[static_cast<size_t>(slot)] = moved;
            slot_of[static_cast<size_t>(moved)] = slot;
        }
        slot_of[static_cast<size_t>(wanted)] = target;
    }
}

void cvVSet::SortByFields(const std::vector<std::string>& names, bool descending) {
    Sort(
        [&names](const cvRec& a, const cvRec& b) {
            for (const std::string& name : names) {
                const cvDDField* field = a.Table().FindField(name, false);
                int result = 0;
                if (field) {
                    result = a.CompareField(b.Buffer(), *field);
                } else {
                    const int text = a.GetText(name, 1).compare(b.GetText(name, 1));
                    result = (text > 0) - (text < 0);
                }
                if (result != 0) {
                    return result;
                }
            }
            return 0;
        },
        descending);
}

void cvVSet::SortByField(const std::string& name, bool descending) {
    if (GetCount() < 1) {
        return;
    }
    const cvRec* first = GetAt(0);
    if (first->ObjectFlag() == 0 && !first->Table().FindField(name, true)) {
        return;
    }
    SortByFields({name}, descending);
}
