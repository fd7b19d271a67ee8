// The whole program as a mail server: `tolvane init`, `tolvane set options` for the
// relay, the port ("SmtpPort"), authentication and the name server (DNSADDRESS), an
// e-mail network and a device, a queued page, then `tolvane --headless` against a
// loopback SMTP server and a loopback name server until `tolvane list messages` shows
// what became of the page; stopped with SIGTERM like the closing of the Server tab.
//
// The test build lets the program's resolver read another configuration file and ask
// its name servers on another port, and shortens the mail server's waits, through the
// TOLVANE_TEST_* variables of app/tvmailsetup.h.

#include <gtest/gtest.h>

#include "tests/app/serverprogramfixture.h"

#include <algorithm>
#include <cctype>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "model/pagingcodes.h"
#include "model/pagingtables.h"
#include "model/tolvanetable.h"
#include "model/tvdatadict.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"
#include "tests/support/childprocess.h"
#include "tests/support/dnstestserver.h"
#include "tests/support/scopedenv.h"
#include "tests/support/smtptestserver.h"
#include "tests/support/tempdir.h"
#include "tests/support/testca.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using testing_support::BuiltProgram;
using testing_support::ChildProcess;
using testing_support::ProgramResult;
using testing_support::RunProgram;
using Action = SmtpTestServer::Action;

constexpr const char* kDomain = "pager.example.net";
constexpr const char* kReplyTo = "ops@example.com";
constexpr const char* kPin = "5551234";
constexpr const char* kDevice = "Pager 12";

// One row of `tolvane list messages`.
struct ListedMessage {
    std::string status;
    std::string attempts;
    std::string response;
};

// True when `text` has the shape of `shape`, character by character: "A" an upper-case
// letter, "a" a lower-case one, "9" a digit, "+" a sign, anything else itself.
bool MatchesShape(const std::string& text, const std::string& shape) {
    if (text.size() != shape.size()) {
        return false;
    }
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const bool fits = shape[i] == 'A'   ? std::isupper(c) != 0
                          : shape[i] == 'a' ? std::islower(c) != 0
                          : shape[i] == '9' ? std::isdigit(c) != 0
                          : shape[i] == '+' ? (c == '+' || c == '-')
                                            : text[i] == shape[i];
        if (!fits) {
            return false;
        }
    }
    return true;
}

class TolvaneMailTest : public app_testing::ServerProgramFixture {
  protected:
    TolvaneMailTest() {
        EXPECT_TRUE(ca_.WriteCertificate(trust_.file("ca.pem")));
        // No name server of the machine: only DNSADDRESS names one.
        std::ofstream(trust_.file("resolv.conf")) << "# none\n";
        dns_.SetResponder([](const std::string& query) -> std::optional<std::string> {
            return DnsAnswer(query)
                .Mx(20, "backup.invalid")
                .Mx(10, "localhost")
                .A("localhost", "127.0.0.1")
                .A("backup.invalid", "192.0.2.1")
                .Build();
        });
    }

    // A database with one e-mail network whose PHONE is `phone`, one device on it and
    // one queued page of `text`, set up with `options` (FIELD=VALUE words of `set
    // options`, the relay's port and the name server added). The send cycle runs every
    // second, a value below what the options sheet allows, and the page carries a host
    // reference, so both are written through the record layer.
    void PrepareDatabase(const std::string& phone, std::vector<std::string> options,
                         const std::string& text) {
        ProgramResult result = Tolvane({"init"});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        result = Tolvane({"set", "machine", "PORT=0"});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        options.insert(options.begin(), {"options", "SMTPPORT=" + std::to_string(relay_.port())});
        if (with_name_server_) {
            options.push_back("DNSADDRESS=127.0.0.1");
        }
        options.insert(options.begin(), "set");
        result = Tolvane(options);
        ASSERT_EQ(result.exit_status, 0) << result.err;
        result = Tolvane({"add", "network", "DESCRIPTION=Mail",
                          "PROTOCOL=" + std::to_string(kProtocolSmtp), "PHONE=" + phone,
                          std::string("REPLYTO=") + kReplyTo});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        result = Tolvane({"add", "device", std::string("DESCRIPTION=") + kDevice, "NETWORK=Mail",
                          std::string("PIN=") + kPin});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        result = Tolvane({"page", kDevice, text});
        ASSERT_EQ(result.exit_status, 0) << result.err;
        WriteOptions({{"SENDINTERVAL", 1}});
        WithFiles([](cvFileMgr& files) {
            cvFile* messages = files.OpenTable(kPageMsgTable);
            ASSERT_NE(messages, nullptr);
            ASSERT_EQ(messages->GetFirst(0), 0);
            ASSERT_NE(messages->PutInt("HOSTREFNBR", 3), 0);
            ASSERT_EQ(messages->Update(), 0);
        });
    }

    // PAGEMSGNBR and NETMSGNBR of the only message.
    std::pair<int32_t, int32_t> MessageNumbers() {
        std::pair<int32_t, int32_t> numbers{-1, -1};
        WithFiles([&](cvFileMgr& files) {
            cvFile* messages = files.OpenTable(kPageMsgTable);
            ASSERT_NE(messages, nullptr);
            ASSERT_EQ(messages->GetFirst(0), 0);
            numbers = {messages->GetInt("PAGEMSGNBR"), messages->GetInt("NETMSGNBR")};
        });
        return numbers;
    }

    ListedMessage Listed() {
        const ProgramResult listed = Tolvane({"list", "messages"});
        EXPECT_EQ(listed.exit_status, 0) << listed.err;
        const size_t row = listed.out.find('\n');
        std::vector<std::string> cells;
        if (row != std::string::npos && row + 1 < listed.out.size()) {
            size_t start = row + 1;
            for (;;) {
                const size_t tab = listed.out.find_first_of("\t\n", start);
                cells.push_back(listed.out.substr(start, tab - start));
                if (tab == std::string::npos || listed.out[tab] == '\n') {
                    break;
                }
                start = tab + 1;
            }
        }
        cells.resize(6);
        return {cells[2], cells[3], cells[5]};
    }
    // Waits until the message has `status` and `attempts`; the last listing.
    ListedMessage WaitForListed(const std::string& status, const std::string& attempts) {
        const auto give_up = std::chrono::steady_clock::now() + seconds(20);
        ListedMessage listed;
        while (std::chrono::steady_clock::now() < give_up) {
            listed = Listed();
            if ((listed.status == status && listed.attempts == attempts) || HasFailure()) {
                break;
            }
            std::this_thread::sleep_for(milliseconds(200));
        }
        return listed;
    }

    void StartServer(ChildProcess& server) {
        ASSERT_TRUE(server.Start(ServerArguments()));
        ASSERT_TRUE(server.WaitForOutput("Status: Server Ready", seconds(20))) << server.Errors();
    }
    // Stops the server as a service manager would and expects a clean end.
    void StopServer(ChildProcess& server) {
        server.Signal(SIGTERM);
        EXPECT_EQ(server.Wait(seconds(20)), 0) << server.Errors();
        EXPECT_NE(server.Output().find("Status: Server Stopped"), std::string::npos)
            << server.Output();
    }

    std::string OnPort() const { return " on port " + std::to_string(relay_.port()); }

    bool with_name_server_ = true;
    TestCa ca_;
    TempDir trust_;
    ScopedEnv cert_file_{"SSL_CERT_FILE", trust_.file("ca.pem")};
    ScopedEnv cert_dir_{"SSL_CERT_DIR", trust_.file("none")};
    ScopedEnv resolv_conf_{"TOLVANE_TEST_RESOLV_CONF", trust_.file("resolv.conf")};
    DnsTestServer dns_;
    ScopedEnv dns_port_{"TOLVANE_TEST_DNS_PORT", std::to_string(dns_.port())};
    ScopedEnv dns_timeout_{"TOLVANE_TEST_DNS_TIMEOUT_MS", "1000"};
    SmtpTestServer relay_;
};

TEST_F(TolvaneMailTest, APageGoesThroughTheRelayOfTheOptionsWithTheHeaderAndTheSubjectTag) {
    const std::string text = "Server down at 10:42\n.profile is gone\n..and more\nend";
    PrepareDatabase(kDomain, {"SMTPMAILSERVER=127.0.0.1"}, text);
    ChildProcess server;
    StartServer(server);
    const ListedMessage listed = WaitForListed("Sent", "0");
    EXPECT_EQ(listed.status, "Sent") << server.Output();
    EXPECT_EQ(listed.response, "");
    ASSERT_TRUE(server.WaitForOutput("Mail | Sent", seconds(10))) << server.Output();
    StopServer(server);

    const std::string& out = server.Output();
    EXPECT_EQ(out.find("Unable to Locate DNS"), std::string::npos) << out;
    EXPECT_EQ(out.find("EMail (SMTP) Networks Disabled"), std::string::npos) << out;
    for (const std::string& row :
         {"-> | SMTP Connect 127.0.0.1" + OnPort(), "<- | Connected: 127.0.0.1" + OnPort(),
          std::string("-> | Sending To:5551234@pager.example.net "
                      "From:ops@example.com"),
          std::string("<- | OK")}) {
        EXPECT_NE(out.find(row), std::string::npos) << row << "\n" << out;
    }
    EXPECT_TRUE(dns_.Queries().empty());

    const auto [message_number, carrier_number] = MessageNumbers();
    EXPECT_EQ(carrier_number, message_number);
    ASSERT_EQ(relay_.Mails().size(), 1u);
    const SmtpTestServer::Mail mail = relay_.Mails()[0];
    EXPECT_EQ(mail.from, kReplyTo);
    EXPECT_EQ(mail.recipients, std::vector<std::string>{"5551234@pager.example.net"});
    EXPECT_EQ(mail.Header("From"), kReplyTo);
    EXPECT_EQ(mail.Header("To"), "Pager 12 <5551234@pager.example.net>");
    EXPECT_EQ(mail.Header("Subject"),
              "Server down at   TV#" + std::to_string(message_number) + "#");
    EXPECT_TRUE(MatchesShape(mail.Header("Date"), "Aaa, 99 Aaa 9999 99:99:99 +9999"))
        << mail.Header("Date");
    EXPECT_EQ(mail.Header("MIME-Version"), "1.0");
    EXPECT_EQ(mail.Header("Content-type"), "text/plain; charset=US-ASCII");
    EXPECT_EQ(mail.Header("Reply-To"), "");
    // Stuffed on the wire, as typed on arrival (the line ends of the text go as they are;
    // the test server reads lines and keeps them with CR LF).
    EXPECT_NE(mail.data.find("\r\n..profile is gone\r\n...and more\r\n"), std::string::npos)
        << mail.data;
    EXPECT_EQ(mail.Body(), "Server down at 10:42\r\n.profile is gone\r\n..and more\r\nend\r\n");
    // Without authentication: HELO, never EHLO.
    const std::vector<std::string> commands = relay_.Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands[0].rfind("HELO ", 0), 0u) << commands[0];
    for (const std::string& command : commands) {
        EXPECT_NE(command.rfind("EHLO", 0), 0u) << command;
    }
    EXPECT_EQ(commands.back(), "QUIT");
}

TEST_F(TolvaneMailTest, ARelayInThePhoneFieldIsUsedWithoutALookup) {
    PrepareDatabase(std::string("127.0.0.1 ") + kDomain, {}, "Disk full");
    ChildProcess server;
    StartServer(server);
    EXPECT_EQ(WaitForListed("Sent", "0").status, "Sent") << server.Output();
    StopServer(server);

    const std::string& out = server.Output();
    EXPECT_NE(out.find("<- | Using host name = 127.0.0.1"), std::string::npos) << out;
    EXPECT_NE(out.find("<- | Using domain name = pager.example.net"), std::string::npos) << out;
    EXPECT_EQ(out.find("Get Mail Server"), std::string::npos) << out;
    EXPECT_TRUE(dns_.Queries().empty());
    ASSERT_EQ(relay_.Mails().size(), 1u);
    EXPECT_EQ(relay_.Mails()[0].recipients, std::vector<std::string>{"5551234@pager.example.net"});
    EXPECT_EQ(relay_.Mails()[0].Body(), "Disk full\r\n");
}

TEST_F(TolvaneMailTest, EachPageGoesOnAConnectionOfItsOwn) {
    PrepareDatabase(kDomain, {"SMTPMAILSERVER=127.0.0.1"}, "First");
    ASSERT_EQ(Tolvane({"page", kDevice, "Second"}).exit_status, 0);
    ChildProcess server;
    StartServer(server);
    const auto give_up = std::chrono::steady_clock::now() + seconds(20);
    while (relay_.Mails().size() < 2 && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(milliseconds(100));
    }
    ASSERT_TRUE(relay_.WaitForClosedConnections(2)) << server.Output();
    StopServer(server);

    const std::vector<SmtpTestServer::Mail> mails = relay_.Mails();
    ASSERT_EQ(mails.size(), 2u) << server.Output();
    EXPECT_EQ(mails[0].Body(), "First\r\n");
    EXPECT_EQ(mails[1].Body(), "Second\r\n");
    const std::vector<SmtpTestServer::Session> sessions = relay_.Sessions();
    ASSERT_EQ(sessions.size(), 2u);
    for (const SmtpTestServer::Session& session : sessions) {
        EXPECT_EQ(std::count_if(session.commands.begin(), session.commands.end(),
                                [](const std::string& command) {
                                    return command.rfind("MAIL FROM:", 0) == 0;
                                }),
                  1);
        ASSERT_FALSE(session.commands.empty());
        EXPECT_EQ(session.commands.back(), "QUIT");
    }
}

TEST_F(TolvaneMailTest, WithoutARelayTheMailExchangerOfTheDomainIsLookedUp) {
    PrepareDatabase(kDomain, {}, "Disk full");
    ChildProcess server;
    StartServer(server);
    EXPECT_EQ(WaitForListed("Sent", "0").status, "Sent") << server.Output();
    StopServer(server);

    const std::string& out = server.Output();
    for (const std::string& row :
         {std::string("-> | Get Mail Server for pager.example.net"),
          std::string("<- | Found Mail Server: localhost"),
          "-> | SMTP Connect localhost" + OnPort(), "<- | Connected: localhost" + OnPort()}) {
        EXPECT_NE(out.find(row), std::string::npos) << row << "\n" << out;
    }
    // The preferred exchanger came with its address: one query.
    EXPECT_EQ(dns_.Queries().size(), 1u);
    ASSERT_EQ(relay_.Mails().size(), 1u);
}

TEST_F(TolvaneMailTest, AuthenticationGoesOverStartTlsWithEhlo) {
    relay_.SetCertificate(ca_.Issue({"localhost"}, {"127.0.0.1"}));
    relay_.SetCredentials("pager-ops", "s3cret!");
    PrepareDatabase(
        kDomain,
        {"SMTPMAILSERVER=127.0.0.1", "SMTPQAUTH=Y", "SMTPUSERID=pager-ops", "SMTPPASSWORD=s3cret!"},
        "Disk full");
    ChildProcess server;
    StartServer(server);
    EXPECT_EQ(WaitForListed("Sent", "0").status, "Sent") << server.Output();
    StopServer(server);

    EXPECT_NE(server.Output().find("-> | SMTP Connect 127.0.0.1(pager-ops)" + OnPort()),
              std::string::npos)
        << server.Output();
    ASSERT_EQ(relay_.Mails().size(), 1u);
    EXPECT_TRUE(relay_.Mails()[0].tls);
    EXPECT_EQ(relay_.Mails()[0].user, "pager-ops");
    const std::vector<std::string> commands = relay_.Commands();
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands[0].rfind("EHLO ", 0), 0u) << commands[0];
    EXPECT_EQ(commands[1], "STARTTLS");
    EXPECT_EQ(commands[2].rfind("EHLO ", 0), 0u) << commands[2];
    EXPECT_EQ(commands[3], "auth login");
    for (const std::string& command : commands) {
        EXPECT_NE(command.rfind("HELO", 0), 0u) << command;
    }
}

TEST_F(TolvaneMailTest, AServerThatOffersNoTlsGetsThePlainAuthLoginExchange) {
    relay_.SetCredentials("pager-ops", "s3cret!");
    PrepareDatabase(
        kDomain,
        {"SMTPMAILSERVER=127.0.0.1", "SMTPQAUTH=Y", "SMTPUSERID=pager-ops", "SMTPPASSWORD=s3cret!"},
        "Disk full");
    ChildProcess server;
    StartServer(server);
    EXPECT_EQ(WaitForListed("Sent", "0").status, "Sent") << server.Output();
    StopServer(server);

    ASSERT_EQ(relay_.Mails().size(), 1u);
    EXPECT_FALSE(relay_.Mails()[0].tls);
    EXPECT_EQ(relay_.Mails()[0].user, "pager-ops");
    const std::vector<std::string> commands = relay_.Commands();
    ASSERT_GE(commands.size(), 4u);
    EXPECT_EQ(commands[0].rfind("EHLO ", 0), 0u) << commands[0];
    EXPECT_EQ(commands[1], "auth login");
    EXPECT_EQ(commands[2], "cGFnZXItb3Bz");  // pager-ops
    EXPECT_EQ(commands[3], "czNjcmV0IQ==");  // s3cret!
}

TEST_F(TolvaneMailTest, RequiredTlsRefusesAServerWithoutStartTlsBeforeThePassword) {
    relay_.SetCredentials("pager-ops", "s3cret!");
    PrepareDatabase(kDomain,
                    {"SMTPMAILSERVER=127.0.0.1", "SMTPQAUTH=Y", "SMTPUSERID=pager-ops",
                     "SMTPPASSWORD=s3cret!", "SMTPREQUIRETLS=1"},
                    "Disk full");
    ChildProcess server;
    StartServer(server);
    const ListedMessage listed = WaitForListed("Queued", "1");
    StopServer(server);
    EXPECT_EQ(listed.attempts, "1") << server.Output();
    EXPECT_EQ(listed.response.rfind("SMTP connection to 127.0.0.1 failed", 0), 0u)
        << listed.response;
    EXPECT_NE(listed.response.find("STARTTLS"), std::string::npos) << listed.response;
    EXPECT_TRUE(relay_.Mails().empty());
    for (const std::string& command : relay_.Commands()) {
        EXPECT_NE(command, "auth login");
    }
}

TEST_F(TolvaneMailTest, ARefusedRecipientLeavesTheReplyAndCountsAnAttempt) {
    relay_.OnCommand("RCPT", Action::Reply("550 5.1.1 No such pager"));
    PrepareDatabase(kDomain, {"SMTPMAILSERVER=127.0.0.1"}, "Disk full");
    ChildProcess server;
    StartServer(server);
    const ListedMessage listed = WaitForListed("Queued", "1");
    ASSERT_TRUE(server.WaitForOutput("<- | Send Failed", seconds(10))) << server.Output();
    StopServer(server);
    EXPECT_EQ(listed.attempts, "1") << server.Output();
    EXPECT_EQ(listed.response, "550 5.1.1 No such pager");
    EXPECT_TRUE(relay_.Mails().empty());
}

TEST_F(TolvaneMailTest, ASilentServerEndsTheVisitAfterTheTimeOut) {
    ScopedEnv timeout("TOLVANE_TEST_SMTP_TIMEOUT_MS", "1500");
    relay_.SetGreeting(Action::NoReply());
    PrepareDatabase(kDomain, {"SMTPMAILSERVER=127.0.0.1"}, "Disk full");
    ChildProcess server;
    StartServer(server);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(server.WaitForOutput("<- | Connection Failed: 127.0.0.1", seconds(20)))
        << server.Output();
    const auto waited = std::chrono::steady_clock::now() - started;
    const ListedMessage listed = WaitForListed("Queued", "1");
    StopServer(server);
    EXPECT_GE(waited, milliseconds(1000));
    EXPECT_LT(waited, seconds(10));
    EXPECT_EQ(listed.attempts, "1");
    EXPECT_EQ(listed.response, "SMTP connection to 127.0.0.1 failed");
}

TEST_F(TolvaneMailTest, SigtermStopsTheServerWhileItWaitsForASilentServer) {
    // The product's 90 s reply wait: the stop must not wait for it.
    relay_.SetGreeting(Action::NoReply());
    PrepareDatabase(kDomain, {"SMTPMAILSERVER=127.0.0.1"}, "Disk full");
    ChildProcess server;
    StartServer(server);
    ASSERT_TRUE(server.WaitForOutput("-> | SMTP Connect 127.0.0.1", seconds(20)))
        << server.Output();
    const auto give_up = std::chrono::steady_clock::now() + seconds(10);
    while (relay_.Connections() == 0 && std::chrono::steady_clock::now() < give_up) {
        std::this_thread::sleep_for(milliseconds(50));
    }
    ASSERT_EQ(relay_.Connections(), 1);
    const auto signalled = std::chrono::steady_clock::now();
    StopServer(server);
    EXPECT_LT(std::chrono::steady_clock::now() - signalled, seconds(5));
    EXPECT_EQ(Listed().status, "Queued");
}

TEST_F(TolvaneMailTest, WithoutANameServerMailNetworksAreDisabledAtStart) {
    with_name_server_ = false;
    PrepareDatabase(kDomain, {"SMTPMAILSERVER=127.0.0.1"}, "Disk full");
    ChildProcess server;
    StartServer(server);
    ASSERT_TRUE(server.WaitForOutput("EMail (SMTP) Networks Disabled", seconds(10)))
        << server.Output();
    EXPECT_NE(server.Output().find("Unable to Locate DNS"), std::string::npos);
    // The network fails at connect, without traffic.
    const ListedMessage listed = WaitForListed("Queued", "1");
    StopServer(server);
    EXPECT_EQ(listed.attempts, "1") << server.Output();
    EXPECT_EQ(listed.response, "SMTP Disabled: Socket or DNS Initialization Failed");
    EXPECT_EQ(relay_.Connections(), 0);
    EXPECT_TRUE(dns_.Queries().empty());
}

}  // namespace
