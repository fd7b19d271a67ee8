#pragma once
// A carrier this computer cannot reach: every Connect fails with a fixed text, as
// when the carrier's link (a modem, the carrier's library, a mail resolver) is not
// there. It stands for a protocol whose carrier the program does not carry, so such
// pages count their attempts and their network backs off like any network that
// cannot be reached, instead of being lost or retried at once.

#include <string>

#include "transport/tvcarrier.h"

class tvUnavailableCarrier final : public tvCarrier {
  public:
    // `error`: the response each failed connect leaves; `status_prefix`, when not
    // empty, is written on the status line before the network's description ("Unable
    // to Connect to " gives "Unable to Connect to Metro TAP"). The host must outlive
    // the carrier.
    tvUnavailableCarrier(tvTransportHost& host, const tvCarrierTraits& traits, std::string error,
                         std::string status_prefix = {});

    tvCarrierTraits Traits() const override { return traits_; }
    // Always fails with the error text.
    [[nodiscard]] int Connect(const tvCarrierNetwork& network, const tvCarrierSite& site,
                              std::string* error) override;
    // Never connected, so never called by the engine: each refuses.
    [[nodiscard]] tvHandOver Send(SendItem& item) override;
    [[nodiscard]] tvHandOver Query(SendItem& item) override;
    [[nodiscard]] tvHandOver Cancel(SendItem& item) override;
    void Disconnect() override {}
    [[nodiscard]] bool Connected() const override { return false; }

  private:
    tvTransportHost& host_;
    const tvCarrierTraits traits_;
    const std::string error_;
    const std::string status_prefix_;
};
