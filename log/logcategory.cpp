#include "log/logcategory.h"

#include <array>

namespace {

struct CategoryName {
    const char* group;
    const char* label;
};

constexpr std::array<CategoryName, 16> kNames{{
    {"User Interface Events", "Status"},
    {"User Interface Events", "Errors"},
    {"Report Engine Events", "Status"},
    {"Report Engine Events", "Errors"},
    {"Database Engine Events", "Structure"},
    {"Database Engine Events", "Integrity"},
    {"Database Engine Events", "Cache"},
    {"Database Engine Events", "Errors"},
    {"Database Engine Events", "Updates"},
    {"Database Engine Events", "Status"},
    {"Business Object Events", "Errors"},
    {"Business Object Events", "Updates"},
    {"Business Object Events", "Status"},
    {"Business Object Events", "Logic"},
    {"Business Object Events", "RefCount"},
    {"Business Object Events", "Integrity"},
}};

}  // namespace

std::string LogCategoryGroup(int bit) {
    if (bit < 0 || bit >= static_cast<int>(kNames.size())) {
        return {};
    }
    return kNames[static_cast<size_t>(bit)].group;
}

std::string LogCategoryLabel(int bit) {
    if (bit < 0 || bit >= static_cast<int>(kNames.size())) {
        return {};
    }
    return kNames[static_cast<size_t>(bit)].label;
}
