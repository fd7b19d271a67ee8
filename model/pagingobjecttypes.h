#pragma once
// The object types of the paging tables and their registration.

#include <cstdint>

inline constexpr int32_t kPageDevType = 1000;      // PAGEDEV: devices and groups
inline constexpr int32_t kPageMsgType = 1001;      // PAGEMSG
inline constexpr int32_t kPageNetType = 1002;      // PAGENET
inline constexpr int32_t kMonEquipType = 1003;     // MONEQUIP
inline constexpr int32_t kGroupMemberType = 1004;  // PAGEGRP

// Registers the five types, in the order 1003, 1000, 1004, 1001, 1002, each with its
// caption, table, identifying fields (key 0, no discriminator) and the factory of its
// class. True when all five were added; a type number already registered is left as it
// is and makes the result false. Called once at start-up, before other threads run.
bool RegisterPagingObjectTypes();
