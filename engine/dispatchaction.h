#pragma once
// What handing one message to its network's carrier means, by what the carrier can
// do, the item's mode (send, status query, cancel) and what this machine can do. The
// engine decides once per message and carries the decision out.

#include "transport/tvcarrier.h"

enum class DispatchAction {
    kRefuse,    // nothing is sent and no attempt counted; the visit ends
    kSend,      // the carrier's Send
    kQuery,     // the carrier's Query
    kCancel,    // the carrier's Cancel
    kMarkSent,  // a one-way network has nothing to ask: the message becomes Sent
};

// A carrier that needs sockets is refused without them, one that needs the resolver
// without a working one. A status query of a carrier that does not follow delivery
// marks the message Sent; a cancel of a carrier that cannot cancel is refused. A mode
// other than send, status or cancel is refused.
DispatchAction ChooseDispatch(const tvCarrierTraits& traits, int mode, bool sockets_available,
                              bool resolver_working);
