#include "engine/dispatchaction.h"

#include "transport/senditem.h"

DispatchAction ChooseDispatch(const tvCarrierTraits& traits, int mode, bool sockets_available,
                              bool resolver_working) {
    if (mode != kModeSend && mode != kModeStatus && mode != kModeCancel) {
        return DispatchAction::kRefuse;
    }
    if ((traits.needs_sockets && !sockets_available) ||
        (traits.needs_resolver && !resolver_working)) {
        return DispatchAction::kRefuse;
    }
    switch (mode) {
        case kModeSend:
            return DispatchAction::kSend;
        case kModeStatus:
            return traits.queries_status ? DispatchAction::kQuery : DispatchAction::kMarkSent;
        default:
            return traits.can_cancel ? DispatchAction::kCancel : DispatchAction::kRefuse;
    }
}
