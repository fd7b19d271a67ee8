#pragma once
// Names of the product's tables and the tables a complete database needs.

#include <string_view>
#include <vector>

inline constexpr std::string_view kPageMsgTable = "PAGEMSG";
inline constexpr std::string_view kPageDevTable = "PAGEDEV";
inline constexpr std::string_view kPageNetTable = "PAGENET";
inline constexpr std::string_view kPageGrpTable = "PAGEGRP";
inline constexpr std::string_view kMonEquipTable = "MONEQUIP";
inline constexpr std::string_view kTolvaneTable = "TOLVANE";
// Tables of the older release's files, read by the import.
inline constexpr std::string_view kOldNetTable = "OLDNET";
inline constexpr std::string_view kOldDevTable = "OLDDEV";
inline constexpr std::string_view kOldGroupTable = "OLDGROUP";
inline constexpr std::string_view kOldEquipTable = "OLDEQUIP";

// The tables whose data files a complete database holds, in the order they are
// checked and created: PAGEDEV, PAGEMSG, PAGENET, then with Alarm Watch PAGEGRP and
// MONEQUIP, then TOLVANE.
std::vector<std::string_view> RequiredTables(bool alarm_watch);
