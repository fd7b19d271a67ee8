#include "app/tvcarriers.h"

#include "app/tvmailsetup.h"
#include "model/pagingcodes.h"
#include "transport/tvsmtpcarrier.h"
#include "transport/tvsnppclient.h"
#include "transport/tvtapcarrier.h"
#include "transport/tvunavailablecarrier.h"

namespace {

// A carrier whose link this program does not have yet: its networks fail at connect
// with the text the missing link would give, and back off.
tvCarrierFactory Unavailable(tvCarrierTraits traits, const char* error,
                             const char* status_prefix = "") {
    return [traits, error, status_prefix](tvTransportHost& host) {
        return std::make_unique<tvUnavailableCarrier>(host, traits, error, status_prefix);
    };
}

tvCarrierTraits SkytelTraits() {
    tvCarrierTraits traits;
    traits.queries_status = true;
    traits.checks_inbound = true;
    return traits;
}

}  // namespace

void RegisterCarriers(tvCarrierRegistry& registry) {
    registry.Register(kProtocolSnpp, [](tvTransportHost& host) {
        return std::make_unique<tvSnppClient>(host, /*two_way=*/false);
    });
    registry.Register(kProtocolSnppAck, [](tvTransportHost& host) {
        return std::make_unique<tvSnppClient>(host, /*two_way=*/true);
    });
    registry.Register(kProtocolSkytel, Unavailable(SkytelTraits(), "DST_init_device error: -1"));
    registry.Register(kProtocolSmtp, [](tvTransportHost& host) {
        return std::make_unique<tvSmtpCarrier>(host, MailTimeouts());
    });
    // TAP, ETAP and every protocol number not otherwise known go over the modem.
    const tvCarrierFactory modem = [](tvTransportHost& host) {
        return std::make_unique<tvTapCarrier>(host);
    };
    registry.Register(kProtocolTap, modem);
    registry.Register(kProtocolEtap, modem);
    registry.RegisterFallback(modem);
}

std::unique_ptr<tvResolver> MakeNameResolver() {
    return MakeResolver();
}
