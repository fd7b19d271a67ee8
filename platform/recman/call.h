#pragma once
// One call's parameters as the entry points received them.

#include <cstdint>

namespace recman {

struct Call {
    uint16_t operation = 0;
    void* position_block = nullptr;
    uint8_t* data = nullptr;
    uint32_t* data_length = nullptr;  // never null: the entry points substitute a local
    uint8_t* key = nullptr;
    uint8_t key_length = 0;
    int8_t key_number = 0;

    uint32_t DataCapacity() const { return data != nullptr ? *data_length : 0; }
    uint32_t KeyCapacity() const { return key != nullptr ? key_length : 0; }
};

}  // namespace recman
