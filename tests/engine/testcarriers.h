#pragma once
// The carriers the engine tests run with: SNPP (one-way and two-way) with short
// time-outs for loopback carriers, and the modem, the two-way service and mail as
// carriers that cannot be reached (each failing at connect with the text of its
// missing link).

#include <chrono>
#include <memory>

#include "model/pagingcodes.h"
#include "transport/tvcarrierregistry.h"
#include "transport/tvsnppclient.h"
#include "transport/tvunavailablecarrier.h"

namespace engine_testing {

inline tvCarrierRegistry TestCarriers() {
    SnppTimeouts timeouts;
    timeouts.reply = std::chrono::milliseconds(3000);
    timeouts.connect = std::chrono::milliseconds(3000);
    tvCarrierRegistry registry;
    for (const bool two_way : {false, true}) {
        registry.Register(two_way ? kProtocolSnppAck : kProtocolSnpp,
                          [two_way, timeouts](tvTransportHost& host) {
                              return std::make_unique<tvSnppClient>(host, two_way, timeouts);
                          });
    }
    tvCarrierTraits modem;
    modem.queries_status = true;
    modem.can_cancel = true;
    registry.RegisterFallback([modem](tvTransportHost& host) {
        return std::make_unique<tvUnavailableCarrier>(host, modem, "Unable to Connect to Service",
                                                      "Unable to Connect to ");
    });
    tvCarrierTraits skytel;
    skytel.queries_status = true;
    skytel.checks_inbound = true;
    registry.Register(kProtocolSkytel, [skytel](tvTransportHost& host) {
        return std::make_unique<tvUnavailableCarrier>(host, skytel, "DST_init_device error: -1");
    });
    tvCarrierTraits mail;
    mail.needs_sockets = true;
    mail.needs_resolver = true;
    mail.one_page_per_visit = true;
    mail.cleans_text = false;
    registry.Register(kProtocolSmtp, [mail](tvTransportHost& host) {
        return std::make_unique<tvUnavailableCarrier>(
            host, mail, "SMTP Disabled: Socket or DNS Initialization Failed");
    });
    return registry;
}

}  // namespace engine_testing
