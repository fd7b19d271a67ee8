#include "transport/cdns.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>

#include "tests/support/dnstestserver.h"
#include "tests/support/recordinghost.h"
#include "tests/support/tempdir.h"
#include "transport/dnsmessage.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// 127.0.0.2 is on the loopback interface but nothing listens there: a name server
// that never answers.
constexpr char kSilentServer[] = "127.0.0.2";

class ResolverTest : public testing::Test {
  protected:
    CDNS::Config Config(const std::string& resolv_conf) {
        std::ofstream(dir_.file("resolv.conf")) << resolv_conf;
        CDNS::Config config;
        config.resolver_file = dir_.file("resolv.conf");
        config.port = server_.port();
        config.timeout = 300ms;
        return config;
    }

    // A server that answers every query with mail exchangers, with or without
    // their addresses.
    void AnswerWithExchangers(bool addresses) {
        server_.SetResponder([addresses](const std::string& query) -> std::optional<std::string> {
            DnsAnswer answer(query);
            answer.Mx(20, "backup.example.net").Mx(10, "mx.example.net");
            if (addresses) {
                answer.A("mx.example.net", "192.0.2.10").A("backup.example.net", "192.0.2.20");
            }
            return answer.Build();
        });
    }

    TempDir dir_;
    DnsTestServer server_;
    RecordingHost host_;
};

TEST_F(ResolverTest, NameServersComeFromTheFirstTwoIpv4NameserverLines) {
    struct Case {
        const char* name;
        std::string file;
        std::string primary;
        std::string secondary;
        bool available;
    };
    const Case cases[] = {
        {"two servers",
         "# written by the network manager\nsearch example.net\nnameserver 192.0.2.53\n"
         "nameserver 198.51.100.53\nnameserver 203.0.113.53\n",
         "192.0.2.53", "198.51.100.53", true},
        {"one server", "nameserver 192.0.2.53\noptions ndots:1\n", "192.0.2.53", "", true},
        {"IPv6 servers and comments are passed over",
         "; nameserver 192.0.2.1\nnameserver ::1\n  nameserver   192.0.2.53  \n", "192.0.2.53", "",
         true},
        {"none", "search example.net\n", "", "", false},
    };
    for (const Case& c : cases) {
        const CDNS resolver(Config(c.file));
        EXPECT_EQ(resolver.Primary(), c.primary) << c.name;
        EXPECT_EQ(resolver.Secondary(), c.secondary) << c.name;
        EXPECT_EQ(resolver.IsAvailable(), c.available) << c.name;
    }
    CDNS::Config missing;
    missing.resolver_file = dir_.file("no-such-file");
    EXPECT_FALSE(CDNS(missing).IsAvailable());
}

TEST_F(ResolverTest, TheOperatorsServerReplacesThePrimaryAndKeepsTheSecondary) {
    CDNS resolver(Config("nameserver 192.0.2.53\nnameserver 198.51.100.53\n"));
    resolver.SetNameServer(0x0A000102);  // 10.0.1.2 as entered
    EXPECT_EQ(resolver.Primary(), "10.0.1.2");
    EXPECT_EQ(resolver.Secondary(), "198.51.100.53");

    CDNS empty(Config(""));
    EXPECT_FALSE(empty.Initialise());
    empty.SetServer(0x7F000001);
    EXPECT_TRUE(empty.Initialise());
    EXPECT_EQ(empty.Primary(), "127.0.0.1");
}

TEST_F(ResolverTest, QuerySendsTheQuestionAndReturnsTheDatagramOrACode) {
    AnswerWithExchangers(true);
    CDNS resolver(Config("nameserver 127.0.0.1\n"));
    CDNS::Buffer buffer{};
    const int received = resolver.Query("pager.example.net", "127.0.0.1", server_.port(),
                                        kDnsTypeMx, &buffer, &host_);
    ASSERT_GT(received, 0);
    ASSERT_EQ(server_.Queries().size(), 1u);
    EXPECT_EQ(server_.Queries()[0], BuildDnsQuery("pager.example.net", kDnsTypeMx));
    EXPECT_EQ(ParseMxAnswer(buffer.data(), static_cast<size_t>(received)).size(), 2u);

    EXPECT_EQ(resolver.Query("pager.example.net", "no-such-host.invalid", server_.port(),
                             kDnsTypeMx, &buffer, &host_),
              CDNS::kServerUnknown);
    EXPECT_EQ(resolver.Query("pager..example.net", "127.0.0.1", server_.port(), kDnsTypeMx, &buffer,
                             &host_),
              CDNS::kSendFailed);

    // A silent server: no answer after the time-out, the engine's hook running
    // all the while.
    host_.pumps.clear();
    const auto start = Clock::now();
    EXPECT_EQ(resolver.Query("pager.example.net", kSilentServer, server_.port(), kDnsTypeMx,
                             &buffer, &host_),
              CDNS::kNoAnswer);
    const auto elapsed = Clock::now() - start;
    EXPECT_GE(elapsed, 290ms);
    EXPECT_LT(elapsed, 2s);
    EXPECT_GE(host_.pumps.size(), 2u);
}

TEST_F(ResolverTest, TheSecondaryIsAskedOnlyWhenThePrimaryGaveNoDatagram) {
    // A silent primary: one query to the secondary, which answers.
    AnswerWithExchangers(true);
    CDNS silent_primary(
        Config(std::string("nameserver ") + kSilentServer + "\nnameserver 127.0.0.1\n"));
    const std::vector<tvMailExchanger> found = silent_primary.Lookup("pager.example.net", &host_);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].host, "mx.example.net");
    EXPECT_EQ(silent_primary.QueriesSent(), 2);
    EXPECT_EQ(server_.Queries().size(), 1u);

    // A primary that answers without mail exchangers: final, the secondary is not asked.
    server_.SetResponder([](const std::string& query) -> std::optional<std::string> {
        return DnsAnswer(query).Build();
    });
    CDNS empty_primary(
        Config(std::string("nameserver 127.0.0.1\nnameserver ") + kSilentServer + "\n"));
    EXPECT_TRUE(empty_primary.Lookup("pager.example.net", &host_).empty());
    EXPECT_EQ(empty_primary.QueriesSent(), 1);
}

TEST_F(ResolverTest, GetMailServerAsksAgainWhileTheFirstExchangerHasNoAddress) {
    AnswerWithExchangers(false);
    CDNS resolver(Config("nameserver 127.0.0.1\n"));
    const std::vector<tvMailExchanger> found = resolver.GetMailServer("pager.example.net", &host_);
    EXPECT_EQ(server_.Queries().size(), 4u);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].host, "mx.example.net");  // still usable without its address
    EXPECT_EQ(found[0].address, "");

    AnswerWithExchangers(true);
    CDNS answered(Config("nameserver 127.0.0.1\n"));
    const std::vector<tvMailExchanger> with_address =
        answered.GetMailServer("pager.example.net", &host_);
    EXPECT_EQ(answered.QueriesSent(), 1);
    ASSERT_EQ(with_address.size(), 2u);
    // Addresses go by position: the first address record (owned by mx) filled the
    // first exchanger of the answer (backup), the second one mx.
    EXPECT_EQ(with_address[0].host, "mx.example.net");
    EXPECT_EQ(with_address[0].address, "192.0.2.20");
    EXPECT_EQ(with_address[1].address, "192.0.2.10");

    // An answer count of 0: nothing at once, no retries.
    server_.SetResponder([](const std::string& query) -> std::optional<std::string> {
        return DnsAnswer(query).Build();
    });
    CDNS nothing(Config("nameserver 127.0.0.1\n"));
    EXPECT_TRUE(nothing.GetMailServer("pager.example.net", &host_).empty());
    EXPECT_EQ(nothing.QueriesSent(), 1);
}

TEST_F(ResolverTest, AStopRequestEndsTheWaitAndTheRetries) {
    CDNS::Config config = Config(std::string("nameserver ") + kSilentServer + "\n");
    config.timeout = 5000ms;
    CDNS resolver(config);
    host_.stop_requested = true;
    const auto start = Clock::now();
    EXPECT_TRUE(resolver.GetMailServer("pager.example.net", &host_).empty());
    EXPECT_LT(Clock::now() - start, 500ms);
    EXPECT_EQ(resolver.QueriesSent(), 1);
}

}  // namespace
