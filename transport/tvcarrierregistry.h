#pragma once
// The carriers the program knows, by protocol number. The application fills one
// registry when it starts (one Register line per carrier, and the fallback for every
// protocol number not otherwise known); each engine makes its own carrier objects from
// it, so the engine names no carrier.
//
// Threads: filled before any engine starts, read-only afterwards.

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "transport/tvcarrier.h"

// Makes a carrier that reports through `host`; the host outlives the carrier.
using tvCarrierFactory = std::function<std::unique_ptr<tvCarrier>(tvTransportHost& host)>;

class tvCarrierRegistry {
  public:
    // Registers (or replaces) the carrier of one protocol number.
    void Register(int protocol, tvCarrierFactory factory);
    // The carrier of every protocol number that has none of its own.
    void RegisterFallback(tvCarrierFactory factory);

    // The factory for `protocol`: its own, else the fallback, else null.
    const tvCarrierFactory* Find(int protocol) const;
    // The protocol numbers registered on their own, in order.
    std::vector<int> Protocols() const;
    bool HasFallback() const { return static_cast<bool>(fallback_); }

  private:
    std::map<int, tvCarrierFactory> factories_;
    tvCarrierFactory fallback_;
};
