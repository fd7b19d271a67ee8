#pragma once
// What is done with page messages: queue a page (the gateways, alarm watch and
// administrative notices), and the operator's cancel and resend.

#include <cstdint>
#include <string_view>

class cvFileMgr;
class tvPageMsg;

// Marks text that goes straight into the table, without a business object.
inline constexpr std::string_view kNoBobPrefix = "#NOBOB#";

// Stores a new message to `device` with the text, host reference and entered-by, due
// now (SCHEDDATE today, SCHEDTIME now) unless `keep_schedule` is nonzero (then as soon
// as possible). A text starting with "#NOBOB#" is stored without those characters as a
// plain record, not expanded for a group; any other goes through a tvPageMsg and its
// save (group expansion). False, storing nothing, for a device number of 0 or below or
// when PAGEMSG cannot be opened; otherwise whether the insert or save succeeded.
bool QueuePage(cvFileMgr& manager, int32_t device, std::string_view text, int32_t host_reference,
               int keep_schedule, int32_t entered_by);
// The same through the application's file manager; false without one.
bool QueuePage(int32_t device, std::string_view text, int32_t host_reference, int keep_schedule,
               int32_t entered_by);

// Cancels a message: STATUS 6 (Cancelled), SCHEDDATE today, SCHEDTIME now, saved. A
// failed save leaves both the stored row and the object as they were. Returns the save's
// status (0 on success).
[[nodiscard]] int CancelMessage(tvPageMsg& message);

// Sends a message again: a new message in the same PAGEMSG table with the old one's
// PAGEDEVNBR, HOSTREFNBR, QCONFIDENTIAL and plain text (hidden again when confidential),
// due at once and expanded like any new message. Returns the save's status; on success
// `new_number` (when given) receives the new PAGEMSGNBR (the first member's message for
// a group).
[[nodiscard]] int ResendMessage(tvPageMsg& message, int32_t* new_number = nullptr);
