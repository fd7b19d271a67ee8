#include "transport/tvcarrierregistry.h"

#include <gtest/gtest.h>

#include "tests/support/recordinghost.h"
#include "transport/tvunavailablecarrier.h"

namespace {

tvCarrierFactory Failing(const char* error) {
    return [error](tvTransportHost& host) {
        return std::make_unique<tvUnavailableCarrier>(host, tvCarrierTraits{}, error);
    };
}

// The error text of the carrier a factory makes: which factory was found.
std::string Made(const tvCarrierFactory* factory, RecordingHost& host) {
    if (factory == nullptr) {
        return "none";
    }
    std::string error;
    EXPECT_NE((*factory)(host)->Connect({}, {}, &error), 0);
    return error;
}

TEST(tvCarrierRegistryTest, FindsAProtocolsOwnCarrierElseTheFallbackElseNone) {
    RecordingHost host;
    tvCarrierRegistry registry;
    EXPECT_EQ(Made(registry.Find(4), host), "none");
    registry.Register(4, Failing("four"));
    registry.Register(1, Failing("one"));
    EXPECT_EQ(Made(registry.Find(4), host), "four");
    EXPECT_EQ(Made(registry.Find(2), host), "none");
    registry.RegisterFallback(Failing("modem"));
    EXPECT_EQ(Made(registry.Find(2), host), "modem");
    EXPECT_EQ(Made(registry.Find(-7), host), "modem");
    registry.Register(4, Failing("four again"));
    EXPECT_EQ(Made(registry.Find(4), host), "four again");
    EXPECT_EQ(registry.Protocols(), (std::vector<int>{1, 4}));
    EXPECT_TRUE(registry.HasFallback());
}

TEST(tvUnavailableCarrierTest, FailsEveryConnectWithItsTextAndStatusLine) {
    RecordingHost host;
    tvUnavailableCarrier carrier(host, tvCarrierTraits{}, "Unable to Connect to Service",
                                 "Unable to Connect to ");
    tvCarrierNetwork network;
    network.description = "Metro TAP";
    std::string error;
    EXPECT_EQ(carrier.Connect(network, {}, &error), 1);
    EXPECT_EQ(error, "Unable to Connect to Service");
    EXPECT_EQ(host.status_lines, (std::vector<std::string>{"Unable to Connect to Metro TAP"}));
    EXPECT_FALSE(carrier.Connected());
    SendItem item;
    EXPECT_EQ(carrier.Send(item), tvHandOver::kRefused);
    EXPECT_EQ(item.attempts, 0);
}

}  // namespace
