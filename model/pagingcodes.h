#pragma once
// Codes stored in the paging tables and shared by every layer that handles pages.

// `STATUS` of a page message.
enum MessageStatus : int {
    kStatusQueued = 0,
    kStatusError = 1,
    kStatusSent = 2,
    kStatusSentPending = 3,
    kStatusDelivered = 4,
    kStatusCancelling = 5,
    kStatusCancelled = 6,
    kStatusReply = 7,
    kStatusReceived = 8,
};

// `PROTOCOL` of a paging network.
enum PagingProtocol : int {
    kProtocolTap = 1,
    kProtocolEtap = 2,
    kProtocolSkytel = 3,
    kProtocolSnpp = 4,
    kProtocolSnppAck = 5,
    kProtocolSmtp = 6,
};
