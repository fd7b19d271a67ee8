#pragma once
// Event categories: one bit each, grouped the way the diagnostic views name them.
// An event may carry several bits; it is kept when any of them is in the mask.
// Category 0 means "always, while the log is open".

#include <cstdint>
#include <string>

enum LogCategory : uint32_t {
    kLogAlways = 0x0000,
    kLogUiStatus = 0x0001,
    kLogUiErrors = 0x0002,
    kLogReportStatus = 0x0004,
    kLogReportErrors = 0x0008,
    kLogDbStructure = 0x0010,
    kLogDbIntegrity = 0x0020,
    kLogDbCache = 0x0040,
    kLogDbErrors = 0x0080,
    kLogDbUpdates = 0x0100,
    kLogDbStatus = 0x0200,
    kLogBobErrors = 0x0400,
    kLogBobUpdates = 0x0800,
    kLogBobStatus = 0x1000,
    kLogBobLogic = 0x2000,
    kLogBobRefCount = 0x4000,
    kLogBobIntegrity = 0x8000,
};

// The mask the application keeps for the whole run: every error and integrity
// category (0x0002, 0x0008, 0x0010, 0x0020, 0x0080, 0x0400, 0x2000, 0x8000).
constexpr uint32_t kLogErrorAndIntegrityMask = 0xA4BA;
// Everything: used while "Log Startup Events" records the early start-up steps.
constexpr uint32_t kLogAllCategories = 0xFFFF;

// Group and label of one category bit (0..15), e.g. "Database Engine Events" and
// "Errors" for bit 7; empty texts for any other bit number.
std::string LogCategoryGroup(int bit);
std::string LogCategoryLabel(int bit);
