#include "model/tvvaluelists.h"

#include "model/pagingcodes.h"

namespace {

constexpr cvValueEntry kMessageStatus[] = {
    {"Queued", kStatusQueued},       {"Error", kStatusError},
    {"Sent", kStatusSent},           {"Sent/Pending", kStatusSentPending},
    {"Delivered", kStatusDelivered}, {"Cancelling", kStatusCancelling},
    {"Cancelled", kStatusCancelled}, {"Reply", kStatusReply},
    {"Received", kStatusReceived},
};

constexpr cvValueEntry kProtocol[] = {
    {"TAP (Modem)", kProtocolTap},
    {"ETAP w/Ack (Modem)", kProtocolEtap},
    {"Skytel 2-Way (Modem)", kProtocolSkytel},
    {"SNPP (Internet)", kProtocolSnpp},
    {"SNPP (Internet-w/Ack)", kProtocolSnppAck},
    {"SMTP (EMail)", kProtocolSmtp},
};

constexpr cvValueEntry kLineSpeed[] = {
    {"300", 300},
    {"1200", 1200},
    {"2400", 2400},
    {"9600", 9600},
};

constexpr cvValueEntry kDataBits[] = {{"5", 5}, {"6", 6}, {"7", 7}, {"8", 8}};

constexpr cvValueEntry kParity[] = {
    {"None", 'N'}, {"Odd", 'O'}, {"Even", 'E'}, {"Mark", 'M'}, {"Space", 'S'},
};

constexpr cvValueEntry kStopBits[] = {{"1", 1}, {"2", 2}};

constexpr cvValueEntry kModemPort[] = {
    {"COM1", 0}, {"COM2", 1}, {"COM3", 2}, {"COM4", 3},
    {"COM5", 4}, {"COM6", 5}, {"COM7", 6}, {"COM8", 7},
};

}  // namespace

cvValueTable MessageStatusValues() {
    return kMessageStatus;
}

cvValueTable ProtocolValues() {
    return kProtocol;
}

cvValueTable LineSpeedValues() {
    return kLineSpeed;
}

cvValueTable DataBitsValues() {
    return kDataBits;
}

cvValueTable ParityValues() {
    return kParity;
}

cvValueTable StopBitsValues() {
    return kStopBits;
}

cvValueTable ModemPortValues() {
    return kModemPort;
}

std::optional<tvColour> MessageStatusColour(int32_t status) {
    switch (status) {
        case kStatusQueued:
            return tvColour{0x00, 0x7F, 0x00};
        case kStatusError:
            return tvColour{0xC0, 0x00, 0x00};
        case kStatusSent:
            return tvColour{0x00, 0x00, 0x7F};
        default:
            return std::nullopt;
    }
}
