#include "engine/dispatchaction.h"

#include "model/pagingcodes.h"
#include "transport/senditem.h"

DispatchAction ChooseDispatch(int protocol, int mode, bool sockets_available,
                              bool resolver_working) {
    if (mode != kModeSend && mode != kModeStatus && mode != kModeCancel) {
        return DispatchAction::kRefuse;
    }
    switch (protocol) {
        case kProtocolSnpp:
            if (!sockets_available || mode == kModeCancel) {
                return DispatchAction::kRefuse;
            }
            return mode == kModeSend ? DispatchAction::kSnppPage : DispatchAction::kMarkSent;
        case kProtocolSnppAck:
            if (!sockets_available || mode == kModeCancel) {
                return DispatchAction::kRefuse;
            }
            return mode == kModeSend ? DispatchAction::kSnppTwoWay : DispatchAction::kSnppQuery;
        case kProtocolSmtp:
            if (!sockets_available || !resolver_working || mode == kModeCancel) {
                return DispatchAction::kRefuse;
            }
            return mode == kModeSend ? DispatchAction::kSmtpPage : DispatchAction::kMarkSent;
        case kProtocolSkytel:
            if (mode == kModeCancel) {
                return DispatchAction::kRefuse;
            }
            return mode == kModeSend ? DispatchAction::kSkytelPage : DispatchAction::kSkytelQuery;
        default:
            if (mode == kModeSend) {
                return DispatchAction::kTapPage;
            }
            return mode == kModeStatus ? DispatchAction::kTapQuery : DispatchAction::kTapCancel;
    }
}
