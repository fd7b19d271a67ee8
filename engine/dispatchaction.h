#pragma once
// What handing one message to its network's transport means, by the network's
// protocol and the item's mode (send, status query, cancel). The engine carries the
// action out; this is only the decision.

// Refusing sends nothing and counts no attempt; the visit ends.
enum class DispatchAction {
    kRefuse,
    kSnppPage,     // one-way SNPP page
    kSnppTwoWay,   // two-way SNPP page
    kSnppQuery,    // two-way SNPP status query
    kMarkSent,     // a one-way network has nothing to ask: the message becomes Sent
    kSmtpPage,     // mail to the carrier's gateway
    kSkytelPage,   // Skytel two-way page
    kSkytelQuery,  // Skytel status query
    kTapPage,      // modem networks: the page block, then the response exchange
    kTapQuery,     // the query block, then the response exchange
    kTapCancel,    // the cancel block, then the response exchange
};

// SNPP needs socket support; SMTP needs it and a working resolver. Only the modem
// protocols (TAP, ETAP and any protocol number not otherwise known) can cancel. A
// mode other than send, status or cancel is refused.
DispatchAction ChooseDispatch(int protocol, int mode, bool sockets_available,
                              bool resolver_working);
