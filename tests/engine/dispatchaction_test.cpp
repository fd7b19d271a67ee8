#include "engine/dispatchaction.h"

#include <gtest/gtest.h>

#include "transport/senditem.h"

namespace {

using A = DispatchAction;

// What the carriers of each kind of network say they can do.
tvCarrierTraits OneWayInternet() {
    tvCarrierTraits traits;
    traits.needs_sockets = true;
    traits.one_page_per_visit = true;
    return traits;
}
tvCarrierTraits TwoWayInternet() {
    tvCarrierTraits traits = OneWayInternet();
    traits.queries_status = true;
    return traits;
}
tvCarrierTraits Mail() {
    tvCarrierTraits traits = OneWayInternet();
    traits.needs_resolver = true;
    traits.cleans_text = false;
    return traits;
}
tvCarrierTraits TwoWayService() {
    tvCarrierTraits traits;
    traits.queries_status = true;
    traits.checks_inbound = true;
    return traits;
}
tvCarrierTraits Modem() {
    tvCarrierTraits traits;
    traits.queries_status = true;
    traits.can_cancel = true;
    return traits;
}

TEST(ChooseDispatchTest, FollowsTheCarrierTheModeAndWhatTheMachineCanDo) {
    struct Case {
        const char* carrier;
        tvCarrierTraits traits;
        int mode;
        bool sockets;
        bool resolver;
        A want;
    };
    const Case cases[] = {
        {"one-way", OneWayInternet(), kModeSend, true, false, A::kSend},
        {"one-way", OneWayInternet(), kModeStatus, true, false, A::kMarkSent},
        {"one-way", OneWayInternet(), kModeCancel, true, true, A::kRefuse},
        {"one-way", OneWayInternet(), kModeSend, false, true, A::kRefuse},
        {"one-way", OneWayInternet(), kModeStatus, false, true, A::kRefuse},
        {"two-way", TwoWayInternet(), kModeSend, true, false, A::kSend},
        {"two-way", TwoWayInternet(), kModeStatus, true, false, A::kQuery},
        {"two-way", TwoWayInternet(), kModeCancel, true, true, A::kRefuse},
        {"two-way", TwoWayInternet(), kModeSend, false, true, A::kRefuse},
        {"mail", Mail(), kModeSend, true, true, A::kSend},
        {"mail", Mail(), kModeStatus, true, true, A::kMarkSent},
        {"mail", Mail(), kModeSend, true, false, A::kRefuse},
        {"mail", Mail(), kModeStatus, true, false, A::kRefuse},
        {"mail", Mail(), kModeSend, false, true, A::kRefuse},
        {"mail", Mail(), kModeCancel, true, true, A::kRefuse},
        // The two-way service and the modem need no sockets.
        {"service", TwoWayService(), kModeSend, false, false, A::kSend},
        {"service", TwoWayService(), kModeStatus, false, false, A::kQuery},
        {"service", TwoWayService(), kModeCancel, false, false, A::kRefuse},
        {"modem", Modem(), kModeSend, false, false, A::kSend},
        {"modem", Modem(), kModeStatus, false, false, A::kQuery},
        {"modem", Modem(), kModeCancel, false, false, A::kCancel},
        {"modem", Modem(), 3, true, true, A::kRefuse},
        {"modem", Modem(), -1, true, true, A::kRefuse},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooseDispatch(c.traits, c.mode, c.sockets, c.resolver), c.want)
            << c.carrier << " mode " << c.mode << " sockets " << c.sockets << " resolver "
            << c.resolver;
    }
}

}  // namespace
