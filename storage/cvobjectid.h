#pragma once
// The identity of a business object: its object type and up to three ids. Records
// store it as four consecutive little-endian 32-bit integers.

#include <cstdint>
#include <string>

struct cvObjectId {
    int32_t type = 0;  // 0: no object
    int32_t id1 = 0;
    int32_t id2 = 0;
    int32_t id3 = 0;

    bool operator==(const cvObjectId&) const = default;

    // "%d-%d-%d-%d"
    std::string Text() const {
        return std::to_string(type) + "-" + std::to_string(id1) + "-" + std::to_string(id2) + "-" +
               std::to_string(id3);
    }
};
