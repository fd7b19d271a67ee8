#include "transport/tvsmtpcarrier.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "platform/net/tcpsocket.h"
#include "tests/support/dnstestserver.h"
#include "tests/support/recordinghost.h"
#include "tests/support/scopedenv.h"
#include "tests/support/smtptestserver.h"
#include "tests/support/tempdir.h"
#include "tests/support/testca.h"
#include "transport/cdns.h"

namespace {

using namespace std::chrono_literals;
using Action = SmtpTestServer::Action;
using Row = RecordingHost::CommRow;
using Rows = std::vector<Row>;

// A carrier on a loopback relay, with a resolver asking a loopback name server whose
// mail exchanger for pager.example.net is localhost.
class SmtpCarrierTest : public testing::Test {
  protected:
    SmtpCarrierTest() {
        EXPECT_TRUE(ca_.WriteCertificate(dir_.file("ca.pem")));
        std::ofstream(dir_.file("resolv.conf")) << "nameserver 127.0.0.1\n";
        CDNS::Config config;
        config.resolver_file = dir_.file("resolv.conf");
        config.port = dns_.port();
        config.timeout = 300ms;
        resolver_ = std::make_unique<CDNS>(config);
        dns_.SetResponder([](const std::string& query) -> std::optional<std::string> {
            return DnsAnswer(query)
                .Mx(20, "backup.invalid")
                .Mx(10, "localhost")
                .A("localhost", "127.0.0.1")
                .A("backup.invalid", "192.0.2.1")
                .Build();
        });
        network_.protocol = 6;
        network_.description = "Mail Carrier";
        network_.phone = "pager.example.net";
        network_.reply_to = "ops@example.com";
        site_.resolver = resolver_.get();
        site_.smtp_relay = "127.0.0.1";
        site_.smtp_port = relay_.port();
        server_.SetCredentials("pager-ops", "s3cret!");
    }

    SendItem Item(const std::string& text) const {
        SendItem item;
        item.message_number = 57;
        item.host_reference = 3;
        item.text = text;
        item.protocol = 6;
        item.reply_to = network_.reply_to;
        item.phone = network_.phone;
        item.pin = "5551234";
        item.device_name = "Pager 12";
        return item;
    }

    std::string Label() const { return " on port " + std::to_string(relay_.port()); }

    TestCa ca_;
    TempDir dir_;
    ScopedEnv cert_file_{"SSL_CERT_FILE", dir_.file("ca.pem")};
    ScopedEnv cert_dir_{"SSL_CERT_DIR", dir_.file("none")};
    DnsTestServer dns_;
    std::unique_ptr<CDNS> resolver_;
    SmtpTestServer server_;
    SmtpTestServer& relay_ = server_;
    RecordingHost host_;
    SmtpTimeouts timeouts_{2000ms, 2000ms, 2000ms};
    tvSmtpCarrier carrier_{host_, timeouts_};
    tvCarrierNetwork network_;
    tvCarrierSite site_;
};

TEST_F(SmtpCarrierTest, TheTraitsOfAOneWayMailCarrier) {
    const tvCarrierTraits traits = carrier_.Traits();
    EXPECT_TRUE(traits.needs_sockets);
    EXPECT_TRUE(traits.needs_resolver);
    EXPECT_TRUE(traits.one_page_per_visit);
    EXPECT_FALSE(traits.cleans_text);
    EXPECT_FALSE(traits.queries_status);
    EXPECT_FALSE(traits.can_cancel);
    EXPECT_FALSE(traits.checks_inbound);
}

TEST_F(SmtpCarrierTest, APageGoesToPinAtTheDomainWithTheTaggedSubject) {
    std::string error = "stale";
    ASSERT_EQ(carrier_.Connect(network_, site_, &error), 0) << error;
    EXPECT_EQ(error, "");
    EXPECT_TRUE(carrier_.Connected());
    SendItem item = Item("Server down at 10:42\nDisk full on /var");
    EXPECT_EQ(carrier_.Send(item), tvHandOver::kDone);
    EXPECT_EQ(item.status, kStatusSent);
    EXPECT_EQ(item.carrier_message_number, 57);
    EXPECT_EQ(item.attempts, 0);
    EXPECT_EQ(item.response, "");
    carrier_.Disconnect();
    EXPECT_FALSE(carrier_.Connected());
    ASSERT_TRUE(relay_.WaitForClosedConnections(1));

    EXPECT_EQ(host_.comm_rows,
              (Rows{{"->", "SMTP Connect 127.0.0.1" + Label()},
                    {"<-", "Connected: 127.0.0.1" + Label()},
                    {"->", "Sending To:5551234@pager.example.net From:ops@example.com"},
                    {"<-", "OK"}}));
    ASSERT_EQ(relay_.Mails().size(), 1u);
    const SmtpTestServer::Mail mail = relay_.Mails()[0];
    EXPECT_EQ(mail.from, "ops@example.com");
    EXPECT_EQ(mail.recipients, std::vector<std::string>{"5551234@pager.example.net"});
    EXPECT_EQ(mail.Header("From"), "ops@example.com");
    EXPECT_EQ(mail.Header("To"), "Pager 12 <5551234@pager.example.net>");
    EXPECT_EQ(mail.Header("Subject"), "Server down at   TV#57#");
    EXPECT_FALSE(mail.Header("Date").empty());
    EXPECT_EQ(mail.Header("MIME-Version"), "1.0");
    EXPECT_EQ(mail.Header("Content-type"), "text/plain; charset=US-ASCII");
    EXPECT_EQ(mail.Body(), "Server down at 10:42\r\nDisk full on /var\r\n");
    EXPECT_EQ(relay_.Commands().back(), "QUIT");
}

TEST_F(SmtpCarrierTest, TheSubjectTakesAtMostFifteenCharactersUpToTheFirstOutsideSpaceToZ) {
    const std::pair<std::string, std::string> cases[] = {
        {"Server down at 10:42", "Server down at   TV#57#"},
        {"\nServer down", "  TV#57#"},
        {"Short", "Short  TV#57#"},
        {"Pump {3} failed", "Pump   TV#57#"},
        {"Temp 40\xC2\xB0"
         "C",
         "Temp 40  TV#57#"},
        {"", "  TV#57#"},
    };
    for (const auto& [text, subject] : cases) {
        EXPECT_EQ(SmtpSubject(text, 57), subject) << text;
    }
    // The tag only with a reply-to address and a host reference.
    struct Case {
        std::string reply_to;
        int32_t host_reference;
        bool tagged;
    };
    const Case tags[] = {
        {"ops@example.com", 3, true}, {"  ", 3, false}, {"ops@example.com", 0, false}};
    for (const Case& c : tags) {
        ASSERT_EQ(carrier_.Connect(network_, site_, nullptr), 0);
        SendItem item = Item("Hello");
        item.reply_to = c.reply_to;
        item.host_reference = c.host_reference;
        EXPECT_EQ(carrier_.Send(item), tvHandOver::kDone);
        carrier_.Disconnect();
    }
    ASSERT_TRUE(relay_.WaitForClosedConnections(3));
    const std::vector<SmtpTestServer::Mail> mails = relay_.Mails();
    ASSERT_EQ(mails.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(mails[i].Header("Subject"), tags[i].tagged ? "Hello  TV#57#" : "") << i;
    }
}

TEST_F(SmtpCarrierTest, ARelayInPhoneIsUsedWithoutAnMxLookup) {
    network_.phone = "  localhost   pager.example.net ";
    site_.smtp_relay = "relay.invalid";  // replaced by the host in PHONE
    ASSERT_EQ(carrier_.Connect(network_, site_, nullptr), 0);
    SendItem item = Item("Hello");
    item.phone = network_.phone;
    EXPECT_EQ(carrier_.Send(item), tvHandOver::kDone);
    carrier_.Disconnect();
    EXPECT_EQ(host_.comm_rows,
              (Rows{{"<-", "Using host name = localhost"},
                    {"<-", "Using domain name = pager.example.net"},
                    {"->", "SMTP Connect localhost" + Label()},
                    {"<-", "Connected: localhost" + Label()},
                    {"->", "Sending To:5551234@pager.example.net From:ops@example.com"},
                    {"<-", "OK"}}));
    EXPECT_TRUE(dns_.Queries().empty());
    ASSERT_EQ(relay_.Mails().size(), 1u);
    EXPECT_EQ(relay_.Mails()[0].recipients.at(0), "5551234@pager.example.net");
}

TEST_F(SmtpCarrierTest, WithoutARelayThePreferredMailExchangerIsLookedUp) {
    site_.smtp_relay = "   ";
    ASSERT_EQ(carrier_.Connect(network_, site_, nullptr), 0);
    SendItem item = Item("Hello");
    EXPECT_EQ(carrier_.Send(item), tvHandOver::kDone);
    carrier_.Disconnect();
    EXPECT_EQ(host_.comm_rows,
              (Rows{{"->", "Get Mail Server for pager.example.net"},
                    {"<-", "Found Mail Server: localhost"},
                    {"->", "SMTP Connect localhost" + Label()},
                    {"<-", "Connected: localhost" + Label()},
                    {"->", "Sending To:5551234@pager.example.net From:ops@example.com"},
                    {"<-", "OK"}}));
    EXPECT_EQ(dns_.Queries().size(), 1u);
    EXPECT_EQ(relay_.Mails().size(), 1u);
}

TEST_F(SmtpCarrierTest, ConnectFailuresGiveTheirTextsAndLeaveNoConnection) {
    platform::TcpListener released;
    ASSERT_TRUE(released.Listen("127.0.0.1", 0));
    const int closed_port = released.Port();
    released.Close();

    // No mail exchanger for the domain.
    dns_.SetResponder([](const std::string& query) -> std::optional<std::string> {
        return DnsAnswer(query).Build();
    });
    site_.smtp_relay = "";
    std::string error;
    EXPECT_EQ(carrier_.Connect(network_, site_, &error), 1);
    EXPECT_EQ(error, "Unable to obtain MX record for pager.example.net");
    EXPECT_EQ(host_.comm_rows, (Rows{{"->", "Get Mail Server for pager.example.net"},
                                     {"<-", "Unable to obtain MX record for pager.example.net"}}));
    EXPECT_FALSE(carrier_.Connected());

    // Nobody listens on the relay's port.
    host_.comm_rows.clear();
    site_.smtp_relay = "127.0.0.1";
    site_.smtp_port = closed_port;
    EXPECT_EQ(carrier_.Connect(network_, site_, &error), 1);
    EXPECT_EQ(error, "SMTP connection to 127.0.0.1 failed");
    EXPECT_EQ(host_.comm_rows,
              (Rows{{"->", "SMTP Connect 127.0.0.1 on port " + std::to_string(closed_port)},
                    {"<-", "Connection Failed: 127.0.0.1"}}));

    // The relay refuses the greeting: the Part's text alone.
    relay_.SetGreeting(Action::Reply("554 No service"));
    site_.smtp_port = relay_.port();
    EXPECT_EQ(carrier_.Connect(network_, site_, &error), 1);
    EXPECT_EQ(error, "SMTP connection to 127.0.0.1 failed");
    EXPECT_FALSE(carrier_.Connected());

    // Without sockets or without a name server nothing is tried.
    host_.comm_rows.clear();
    host_.sockets_available = false;
    EXPECT_EQ(carrier_.Connect(network_, site_, &error), 1);
    EXPECT_EQ(error, "SMTP Disabled: Socket or DNS Initialization Failed");
    host_.sockets_available = true;
    CDNS::Config nothing;
    nothing.resolver_file = dir_.file("no-such-file");
    CDNS no_servers(nothing);
    site_.resolver = &no_servers;
    EXPECT_EQ(carrier_.Connect(network_, site_, &error), 1);
    EXPECT_EQ(error, "SMTP Disabled: Socket or DNS Initialization Failed");
    site_.resolver = nullptr;
    EXPECT_EQ(carrier_.Connect(network_, site_, &error), 1);
    EXPECT_TRUE(host_.comm_rows.empty());
}

TEST_F(SmtpCarrierTest, TheConnectLabelNamesTheUserAndAnyPortButTwentyFive) {
    site_.smtp_auth = true;
    site_.smtp_user = "pager-ops";
    site_.smtp_password = "s3cret!";
    ASSERT_EQ(carrier_.Connect(network_, site_, nullptr), 0);
    EXPECT_EQ(host_.comm_rows, (Rows{{"->", "SMTP Connect 127.0.0.1(pager-ops)" + Label()},
                                     {"<-", "Connected: 127.0.0.1(pager-ops)" + Label()}}));
    carrier_.Disconnect();
    EXPECT_EQ(relay_.Commands().at(1), "auth login");

    // Port 25 is not named. Nothing listens on 25 on the loopback here (or, if
    // something does, the rows are the same up to the outcome).
    host_.comm_rows.clear();
    site_.smtp_auth = false;
    site_.smtp_port = 25;
    static_cast<void>(carrier_.Connect(network_, site_, nullptr));
    ASSERT_FALSE(host_.comm_rows.empty());
    EXPECT_EQ(host_.comm_rows[0], (Row{"->", "SMTP Connect 127.0.0.1"}));
    carrier_.Disconnect();
}

TEST_F(SmtpCarrierTest, ARefusedRecipientLeavesTheReplyAndCountsAnAttempt) {
    relay_.OnCommand("RCPT", Action::Reply("550 5.1.1 Unknown pager"));
    ASSERT_EQ(carrier_.Connect(network_, site_, nullptr), 0);
    SendItem item = Item("Hello");
    item.attempts = 4;
    EXPECT_EQ(carrier_.Send(item), tvHandOver::kFailed);
    EXPECT_EQ(item.status, kStatusQueued);
    EXPECT_EQ(item.attempts, 5);
    EXPECT_EQ(item.response, "550 5.1.1 Unknown pager");
    EXPECT_EQ(item.carrier_message_number, 0);
    EXPECT_EQ(host_.comm_rows.back(), (Row{"<-", "Send Failed"}));
    EXPECT_TRUE(carrier_.Connected());  // the engine ends the visit
    carrier_.Disconnect();
    ASSERT_TRUE(relay_.WaitForClosedConnections(1));
    EXPECT_EQ(relay_.Commands().back(), "QUIT");
}

TEST_F(SmtpCarrierTest, StatusQueriesNeedNoTrafficAndCancelsAreRefused) {
    SendItem item = Item("Hello");
    item.mode = kModeStatus;
    item.status = kStatusSentPending;
    EXPECT_EQ(carrier_.Query(item), tvHandOver::kDone);
    EXPECT_EQ(item.status, kStatusSent);
    item.mode = kModeCancel;
    item.status = kStatusCancelling;
    EXPECT_EQ(carrier_.Cancel(item), tvHandOver::kRefused);
    EXPECT_EQ(item.status, kStatusCancelling);
    EXPECT_EQ(item.attempts, 0);
    // Sending without a connection does nothing and fails the hand-over.
    item = Item("Hello");
    EXPECT_EQ(carrier_.Send(item), tvHandOver::kFailed);
    EXPECT_EQ(item.status, kStatusQueued);
    EXPECT_EQ(item.attempts, 0);
    EXPECT_EQ(relay_.Connections(), 0);
}

TEST_F(SmtpCarrierTest, TlsFailuresFailTheVisitWithAClearRowAndResponse) {
    const TestCa stranger("Somebody Else's CA");
    relay_.SetCertificate(stranger.Issue({"localhost"}, {"127.0.0.1"}));
    site_.smtp_auth = true;
    site_.smtp_user = "pager-ops";
    site_.smtp_password = "s3cret!";
    std::string error;
    EXPECT_EQ(carrier_.Connect(network_, site_, &error), 1);
    EXPECT_EQ(error,
              "SMTP connection to 127.0.0.1 failed: TLS: certificate not trusted (unable to get "
              "local issuer certificate)");
    ASSERT_EQ(host_.comm_rows.size(), 3u);
    EXPECT_EQ(host_.comm_rows[1], (Row{"<-", "Connection Failed: 127.0.0.1"}));
    EXPECT_EQ(host_.comm_rows[2],
              (Row{"<-",
                   "TLS Failed: certificate not trusted (unable to get local issuer "
                   "certificate)"}));
    EXPECT_FALSE(carrier_.Connected());

    // Required TLS and a relay without STARTTLS: no password in clear text.
    SmtpTestServer plain;
    plain.SetCredentials("pager-ops", "s3cret!");
    site_.smtp_port = plain.port();
    site_.smtp_require_tls = true;
    host_.comm_rows.clear();
    EXPECT_EQ(carrier_.Connect(network_, site_, &error), 1);
    EXPECT_EQ(error,
              "SMTP connection to 127.0.0.1 failed: the server does not offer STARTTLS and TLS "
              "is required");
    EXPECT_EQ(host_.comm_rows.back(),
              (Row{"<-", "the server does not offer STARTTLS and TLS is required"}));
    ASSERT_TRUE(plain.WaitForClosedConnections(1));
    for (const std::string& command : plain.Commands()) {
        EXPECT_NE(command, "auth login");
    }
}

TEST_F(SmtpCarrierTest, StartTlsCarriesThePageEncrypted) {
    relay_.SetCertificate(ca_.Issue({"localhost"}, {"127.0.0.1"}));
    site_.smtp_auth = true;
    site_.smtp_user = "pager-ops";
    site_.smtp_password = "s3cret!";
    site_.smtp_relay = "localhost";
    ASSERT_EQ(carrier_.Connect(network_, site_, nullptr), 0);
    SendItem item = Item("Hello over STARTTLS");
    EXPECT_EQ(carrier_.Send(item), tvHandOver::kDone);
    carrier_.Disconnect();
    ASSERT_TRUE(relay_.WaitForClosedConnections(1));
    const std::vector<SmtpTestServer::Mail> mails = relay_.Mails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_TRUE(mails[0].tls);
    EXPECT_EQ(mails[0].user, "pager-ops");
}

TEST_F(SmtpCarrierTest, Port465MeansTlsFromTheFirstByte) {
    // Port 465 is a privileged port: only a test run as root can place a relay there.
    std::unique_ptr<SmtpTestServer> relay;
    try {
        relay = std::make_unique<SmtpTestServer>(tvSmtpCarrier::kImplicitTlsPort);
    } catch (const std::exception&) {
        GTEST_SKIP() << "cannot listen on 127.0.0.1:465";
    }
    relay->SetCertificate(ca_.Issue({"localhost"}, {"127.0.0.1"}));
    relay->SetImplicitTls(true);
    site_.smtp_port = tvSmtpCarrier::kImplicitTlsPort;
    ASSERT_EQ(carrier_.Connect(network_, site_, nullptr), 0);
    EXPECT_EQ(host_.comm_rows.at(0), (Row{"->", "SMTP Connect 127.0.0.1 on port 465"}));
    SendItem item = Item("Hello over TLS");
    EXPECT_EQ(carrier_.Send(item), tvHandOver::kDone);
    carrier_.Disconnect();
    ASSERT_TRUE(relay->WaitForClosedConnections(1));
    ASSERT_EQ(relay->Mails().size(), 1u);
    EXPECT_TRUE(relay->Mails()[0].tls);
}

}  // namespace
