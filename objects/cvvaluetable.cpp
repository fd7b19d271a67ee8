#include "objects/cvvaluetable.h"

#include <cstdlib>

std::string ValueText(int32_t value, cvValueTable table) {
    for (const cvValueEntry& entry : table) {
        if (entry.text == nullptr) {
            break;  // the entry that ends a table
        }
        if (entry.value == value) {
            return entry.text;
        }
    }
    return {};
}

std::string ValueTextOf(const std::string& text, cvValueTable table) {
    const long number = std::strtol(text.c_str(), nullptr, 10);
    return ValueText(static_cast<int32_t>(number), table);
}
