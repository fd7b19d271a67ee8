#pragma once
// The in-memory form of one message while the engine hands it to a transport, and
// the failed-attempt rule that every transport applies to it.
//
// The send cycle fills a SendItem from the message, its device and its network,
// the transport updates status, attempts, response and the carrier's message number,
// and the send cycle writes those back to the message record.

#include <cstdint>
#include <string>

#include "model/pagingcodes.h"

// What the engine asks of the transport for this item.
enum SendMode : int {
    kModeSend = 0,
    kModeStatus = 1,
    kModeCancel = 2,
};

struct SendItem {
    int32_t message_number = 0;  // PAGEMSGNBR
    std::string text;            // the text, or the piece of it, to hand over
    int status = kStatusQueued;  // starts as STATUS; written back
    int attempts = 0;            // starts as ATTEMPTS; written back
    std::string response;        // starts as RESPONSE; the carrier's answer or the error
    int mode = kModeSend;
    int32_t carrier_message_number = 0;  // NETMSGNBR; written back
    int32_t host_reference = 0;          // HOSTREFNBR
    int32_t network_number = 0;          // PAGENETNBR of the network
    int protocol = 0;                    // PROTOCOL of the network
    std::string network_name;            // DESCRIPTION of the network
    std::string reply_to;                // REPLYTO of the network
    std::string phone;                   // PHONE of the network
    std::string pin;                     // PIN of the device
    std::string device_name;             // DESCRIPTION of the device
    bool confidential = false;           // QCONFIDENTIAL is "Y"
    int last_response_code = 0;          // TAP response classification
    int exchange_result = 0;             // TAP exchange result
};

// Counted attempts before a failure becomes final.
inline constexpr int kMaxAttempts = 20;

// The failed-attempt rule, applied after every failure:
// - not final, fewer than kMaxAttempts attempts, send mode: one more attempt; Sent
//   and Sent/Pending go back to Queued (the whole message goes again later),
//   Delivered becomes Sent/Pending, any other status stays;
// - not final, fewer than kMaxAttempts attempts, status or cancel mode: one more
//   attempt, status unchanged;
// - final, or attempts used up: attempts unchanged; Sent/Pending becomes Sent,
//   Cancelling becomes Cancelled, Cancelled stays, anything else becomes Error.
void CountFailedAttempt(SendItem& item, bool final);
