// The program's carrier table: which carrier each protocol number reaches.

#include "app/tvcarriers.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "model/pagingcodes.h"
#include "tests/support/recordinghost.h"
#include "transport/tvsnppclient.h"
#include "transport/tvtapcarrier.h"

namespace {

std::unique_ptr<tvCarrier> Make(const tvCarrierRegistry& registry, int protocol,
                                tvTransportHost& host) {
    const tvCarrierFactory* factory = registry.Find(protocol);
    return factory != nullptr ? (*factory)(host) : nullptr;
}

TEST(tvCarriersTest, TapEtapAndEveryUnknownProtocolGoOverTheModem) {
    tvCarrierRegistry registry;
    RegisterCarriers(registry);
    RecordingHost host;
    // 0 and 7 are not protocols of the value list: they are treated as TAP.
    for (const int protocol : {int{kProtocolTap}, int{kProtocolEtap}, 0, 7}) {
        const std::unique_ptr<tvCarrier> carrier = Make(registry, protocol, host);
        ASSERT_NE(carrier, nullptr) << protocol;
        EXPECT_NE(dynamic_cast<tvTapCarrier*>(carrier.get()), nullptr) << protocol;
        const tvCarrierTraits traits = carrier->Traits();
        EXPECT_TRUE(traits.queries_status) << protocol;
        EXPECT_TRUE(traits.can_cancel) << protocol;
        EXPECT_FALSE(traits.one_page_per_visit) << protocol;
        EXPECT_FALSE(traits.needs_sockets) << protocol;

        // Without this computer's port there is nothing to dial from: the connect fails
        // with an empty error text, as the engine's own check would.
        std::string error = "left over";
        tvCarrierNetwork network;
        network.protocol = protocol;
        EXPECT_EQ(carrier->Connect(network, tvCarrierSite{}, &error), 1) << protocol;
        EXPECT_EQ(error, "") << protocol;
        EXPECT_FALSE(carrier->Connected()) << protocol;
        EXPECT_TRUE(host.comm_rows.empty()) << protocol;
    }
    for (const int protocol : {kProtocolSkytel, kProtocolSnpp, kProtocolSnppAck, kProtocolSmtp}) {
        const std::unique_ptr<tvCarrier> carrier = Make(registry, protocol, host);
        ASSERT_NE(carrier, nullptr) << protocol;
        EXPECT_EQ(dynamic_cast<tvTapCarrier*>(carrier.get()), nullptr) << protocol;
    }
    const std::unique_ptr<tvCarrier> snpp = Make(registry, kProtocolSnpp, host);
    EXPECT_NE(dynamic_cast<tvSnppClient*>(snpp.get()), nullptr);
}

}  // namespace
