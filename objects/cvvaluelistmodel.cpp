#include "objects/cvvaluelistmodel.h"

#include <algorithm>
#include <utility>

bool cvValueListModel::Fill(cvValueTable table, AcceptTest test) {
    table_ = table;
    lines_.clear();
    selected_ = -1;
    for (const cvValueEntry& entry : table) {
        if (entry.text == nullptr) {
            break;  // the entry that ends a table
        }
        if (!test || test(entry.value)) {
            lines_.push_back({entry.text, entry.value});
        }
    }
    return true;
}

bool cvValueListModel::Refill(AcceptTest test) {
    return Fill(table_, std::move(test));
}

std::string cvValueListModel::TextAt(int index) const {
    return index >= 0 && index < Count() ? lines_[static_cast<size_t>(index)].text : std::string();
}

int32_t cvValueListModel::ValueAt(int index) const {
    return index >= 0 && index < Count() ? lines_[static_cast<size_t>(index)].value : 0;
}

size_t cvValueListModel::LongestText() const {
    size_t longest = 0;
    for (const Line& line : lines_) {
        longest = std::max(longest, line.text.size());
    }
    return longest;
}

void cvValueListModel::SetSelectedIndex(int index) {
    selected_ = index >= 0 && index < Count() ? index : -1;
}

int32_t cvValueListModel::SelectedValue() const {
    return ValueAt(selected_);
}

int cvValueListModel::SelectValue(int32_t value) {
    if (lines_.empty()) {
        selected_ = -1;
        return -1;
    }
    selected_ = 0;
    for (int i = 0; i < Count(); ++i) {
        if (lines_[static_cast<size_t>(i)].value == value) {
            selected_ = i;
            break;
        }
    }
    return selected_;
}
