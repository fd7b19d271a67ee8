#pragma once
// The selection behind the messages-by-device-and-period report, and its title.

#include <cstdint>
#include <string>
#include <string_view>

#include "storage/packeddatetime.h"

class cvFileMgr;
class cvRecSet;

inline constexpr std::string_view kNoMessagesFoundText = "No messages found";
inline constexpr std::string_view kAllDevicesText = "All Devices";

// Adds to `rows` the PAGEMSG rows scheduled from `first` to `last` (dates, both
// included): for one device (`device` nonzero) walked on key 3 (PAGEDEVNBR,
// SCHEDDATE), for all devices on key 2 (SCHEDDATE). Returns the number of rows added,
// or -1 when PAGEMSG cannot be opened. No rows means "No messages found".
int SelectMessagesForReport(cvFileMgr& manager, uint32_t first, uint32_t last, int32_t device,
                            cvRecSet& rows);

// "Messages for %s during %s": the device's description (or "All Devices" when empty),
// and "%s through %s" with both dates, or the one date when they are equal.
std::string MessageReportTitle(std::string_view device_description, uint32_t first, uint32_t last,
                               const DateTextFormat& format = LocaleDateFormat());
