#include "transport/csmtpconnection.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/net/tcpsocket.h"
#include "tests/support/loopbackpeer.h"
#include "tests/support/recordinghost.h"
#include "tests/support/scopedenv.h"
#include "tests/support/smtptestserver.h"
#include "tests/support/tempdir.h"
#include "tests/support/testca.h"

namespace {

using namespace std::chrono_literals;
using Action = SmtpTestServer::Action;
using Clock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

const std::string kHostName = platform::LocalHostName(100);

// The trust store holds the test CA only; the server shows a certificate it issued
// for localhost and 127.0.0.1.
class SmtpConnectionTest : public testing::Test {
  protected:
    SmtpConnectionTest() {
        EXPECT_TRUE(ca_.WriteCertificate(trust_.file("ca.pem")));
        server_.SetCredentials("pager-ops", "s3cret!");
        timeouts_.reply = 2000ms;
        timeouts_.connect = 2000ms;
        timeouts_.tls = 2000ms;
    }

    CSMTPMessage Message(const std::string& body = "Server down at 10:42") const {
        CSMTPMessage message;
        message.from = {"", "ops@example.com"};
        message.AddRecipient({"Pager", "5551234@pager.example.net"});
        message.SetBody(body);
        return message;
    }

    // The commands the server got, after the connection ended.
    Strings Commands() {
        EXPECT_TRUE(server_.WaitForClosedConnections(server_.Connections()));
        return server_.Commands();
    }

    TestCa ca_;
    TempDir trust_;
    ScopedEnv cert_file_{"SSL_CERT_FILE", trust_.file("ca.pem")};
    ScopedEnv cert_dir_{"SSL_CERT_DIR", trust_.file("none")};
    SmtpTestServer server_;
    RecordingHost host_;
    SmtpTimeouts timeouts_;
};

TEST_F(SmtpConnectionTest, WithoutAUserTheClientSaysHeloAndNeverEhlo) {
    server_.SetCertificate(ca_.Issue({"localhost"}, {"127.0.0.1"}));  // STARTTLS is offered
    {
        CSMTPConnection connection(host_, timeouts_);
        ASSERT_TRUE(connection.Connect("127.0.0.1", server_.port(), nullptr, ""));
        EXPECT_TRUE(connection.IsConnected());
        EXPECT_FALSE(connection.IsSecure());
        EXPECT_EQ(connection.GetLastCommandResponse(), "250 tolvane-test");
        EXPECT_TRUE(connection.Disconnect());
        EXPECT_FALSE(connection.IsConnected());
    }
    EXPECT_EQ(Commands(), (Strings{"HELO " + kHostName, "QUIT"}));
    EXPECT_TRUE(host_.comm_rows.empty());  // no traffic rows: the carrier writes its own
}

TEST_F(SmtpConnectionTest, WithAUserTheClientSaysEhloAndAuthenticatesInBase64) {
    const std::string user = "pager-ops";
    {
        CSMTPConnection connection(host_, timeouts_);
        ASSERT_TRUE(connection.Connect("127.0.0.1", server_.port(), &user, "s3cret!"));
        EXPECT_EQ(connection.LastReplyCode(), 235);
        ASSERT_TRUE(connection.SendMessage(Message()));
    }  // destruction says QUIT
    EXPECT_EQ(Commands(), (Strings{"EHLO " + kHostName, "auth login", "cGFnZXItb3Bz",
                                   "czNjcmV0IQ==", "MAIL FROM:<ops@example.com>",
                                   "RCPT TO:<5551234@pager.example.net>", "DATA", "QUIT"}));
    ASSERT_EQ(server_.Mails().size(), 1u);
    EXPECT_EQ(server_.Mails()[0].user, "pager-ops");
    EXPECT_FALSE(server_.Mails()[0].tls);
}

TEST_F(SmtpConnectionTest, RefusedStepsEndTheConnectWithTheServersReply) {
    struct Case {
        const char* name;
        std::string verb;  // the command answered otherwise ("" for the greeting)
        Action action;
        bool with_user;
        std::string reply;
        Strings commands;
    };
    const std::string ehlo = "EHLO " + kHostName;
    const std::string helo = "HELO " + kHostName;
    const Case cases[] = {
        {"greeting", "", Action::Reply("421 Too busy"), false, "421 Too busy", {"QUIT"}},
        {"HELO", "HELO", Action::Reply("501 Bad name"), false, "501 Bad name", {helo, "QUIT"}},
        {"EHLO", "EHLO", Action::Reply("502 Not here"), true, "502 Not here", {ehlo, "QUIT"}},
        {"password",
         "",
         Action::Reply("220 tolvane-test ESMTP ready"),
         true,
         "535 Authentication failed",
         {ehlo, "auth login", "cGFnZXItb3Bz", "d3Jvbmc=", "QUIT"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpTestServer server;
        server.SetCredentials("pager-ops", "s3cret!");
        if (c.verb.empty()) {
            server.SetGreeting(c.action);
        } else {
            server.OnCommand(c.verb, c.action);
        }
        const std::string user = "pager-ops";
        CSMTPConnection connection(host_, timeouts_);
        EXPECT_FALSE(
            connection.Connect("127.0.0.1", server.port(), c.with_user ? &user : nullptr, "wrong"));
        EXPECT_FALSE(connection.IsConnected());
        EXPECT_EQ(connection.GetLastCommandResponse(), c.reply);
        EXPECT_EQ(connection.FailureText(), "");
        EXPECT_TRUE(server.WaitForClosedConnections(1));
        EXPECT_EQ(server.Commands(), c.commands);
    }
}

TEST_F(SmtpConnectionTest, StartTlsComesBeforeThePasswordAndEhloIsSaidAgain) {
    server_.SetCertificate(ca_.Issue({"localhost"}, {"127.0.0.1"}));
    const std::string user = "pager-ops";
    {
        CSMTPConnection connection(host_, timeouts_);
        ASSERT_TRUE(connection.Connect("localhost", server_.port(), &user, "s3cret!"))
            << connection.FailureText();
        EXPECT_TRUE(connection.IsSecure());
        ASSERT_TRUE(connection.SendMessage(Message()));
    }
    const std::string ehlo = "EHLO " + kHostName;
    EXPECT_EQ(Commands(), (Strings{ehlo, "STARTTLS", ehlo, "auth login", "cGFnZXItb3Bz",
                                   "czNjcmV0IQ==", "MAIL FROM:<ops@example.com>",
                                   "RCPT TO:<5551234@pager.example.net>", "DATA", "QUIT"}));
    ASSERT_EQ(server_.Sessions().size(), 1u);
    EXPECT_TRUE(server_.Sessions()[0].tls);
    ASSERT_EQ(server_.Mails().size(), 1u);
    EXPECT_TRUE(server_.Mails()[0].tls);
}

TEST_F(SmtpConnectionTest, Port465SpeaksTlsFromTheFirstByte) {
    server_.SetCertificate(ca_.Issue({"localhost"}, {"127.0.0.1"}));
    server_.SetImplicitTls(true);
    {
        CSMTPConnection connection(host_, timeouts_);
        SmtpSecurity security;
        security.implicit_tls = true;
        ASSERT_TRUE(connection.Connect("127.0.0.1", server_.port(), nullptr, "", security))
            << connection.FailureText();
        EXPECT_TRUE(connection.IsSecure());
        ASSERT_TRUE(connection.SendMessage(Message()));
    }
    EXPECT_EQ(Commands(), (Strings{"HELO " + kHostName, "MAIL FROM:<ops@example.com>",
                                   "RCPT TO:<5551234@pager.example.net>", "DATA", "QUIT"}));
    EXPECT_TRUE(server_.Mails().at(0).tls);
}

TEST_F(SmtpConnectionTest, ACertificateThatFailsTheCheckFailsTheConnectBeforeAnyPassword) {
    const TestCa stranger("Somebody Else's CA");
    struct Case {
        const char* name;
        TestCa::Issued certificate;
        std::string host;
        std::string failure;
    };
    const Case cases[] = {
        {"untrusted", stranger.Issue({"localhost"}, {"127.0.0.1"}), "localhost",
         "TLS: certificate not trusted (unable to get local issuer certificate)"},
        {"another host name", ca_.Issue({"mail.example.net"}, {}), "localhost",
         "TLS: certificate is not for localhost"},
        {"another address", ca_.Issue({"localhost"}, {"192.0.2.1"}), "127.0.0.1",
         "TLS: certificate is not for 127.0.0.1"},
    };
    const std::string user = "pager-ops";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpTestServer server;
        server.SetCertificate(c.certificate);
        CSMTPConnection connection(host_, timeouts_);
        EXPECT_FALSE(connection.Connect(c.host, server.port(), &user, "s3cret!"));
        EXPECT_FALSE(connection.IsConnected());
        EXPECT_EQ(connection.FailureText(), c.failure);
        EXPECT_TRUE(server.WaitForClosedConnections(1));
        // Nothing after STARTTLS reached the server: no password, not even QUIT in clear.
        EXPECT_EQ(server.Commands(), (Strings{"EHLO " + kHostName, "STARTTLS"}));
        EXPECT_TRUE(server.Sessions().at(0).tls_failed);
    }
}

TEST_F(SmtpConnectionTest, RequiredTlsRefusesAServerWithoutStartTls) {
    const std::string user = "pager-ops";
    SmtpSecurity security;
    security.require_tls = true;
    for (const std::string* who : {&user, static_cast<const std::string*>(nullptr)}) {
        SmtpTestServer server;  // no certificate: no STARTTLS
        CSMTPConnection connection(host_, timeouts_);
        EXPECT_FALSE(connection.Connect("127.0.0.1", server.port(), who, "s3cret!", security));
        EXPECT_EQ(connection.FailureText(),
                  "the server does not offer STARTTLS and TLS is required");
        EXPECT_TRUE(server.WaitForClosedConnections(1));
        EXPECT_EQ(server.Commands(), (Strings{"EHLO " + kHostName, "QUIT"}));
    }
    // With STARTTLS on offer, required TLS also applies without a user.
    server_.SetCertificate(ca_.Issue({"localhost"}, {}));
    {
        CSMTPConnection connection(host_, timeouts_);
        ASSERT_TRUE(connection.Connect("localhost", server_.port(), nullptr, "", security));
        EXPECT_TRUE(connection.IsSecure());
    }
    EXPECT_EQ(Commands(), (Strings{"EHLO " + kHostName, "STARTTLS", "EHLO " + kHostName, "QUIT"}));
}

TEST_F(SmtpConnectionTest, AMultiLineReplyIsReadToItsLastLineAcrossReads) {
    server_.SetLineGap(150ms);
    const std::string user = "pager-ops";
    CSMTPConnection connection(host_, timeouts_);
    ASSERT_TRUE(connection.Connect("127.0.0.1", server_.port(), &user, "s3cret!"));
    ASSERT_TRUE(connection.SendCommand("EHLO again", 250));
    EXPECT_EQ(connection.GetLastCommandResponse(),
              "250-tolvane-test greets you\r\n250-AUTH LOGIN\r\n250 SIZE 100000");
    ASSERT_TRUE(connection.SendCommand("NOOP", 250));
    EXPECT_EQ(connection.GetLastCommandResponse(), "250 OK");
}

TEST_F(SmtpConnectionTest, ARefusedRecipientEndsTheTransactionWithItsReply) {
    server_.OnCommand("RCPT", Action::Reply("550 5.1.1 No such pager"));
    CSMTPConnection connection(host_, timeouts_);
    ASSERT_TRUE(connection.Connect("127.0.0.1", server_.port(), nullptr, ""));
    EXPECT_FALSE(connection.SendMessage(Message()));
    EXPECT_EQ(connection.GetLastCommandResponse(), "550 5.1.1 No such pager");
    EXPECT_EQ(connection.LastReplyCode(), 550);
    EXPECT_TRUE(connection.IsConnected());  // the connection stays
    EXPECT_TRUE(connection.Disconnect());
    // QUIT's reply does not replace the reply the caller keeps.
    EXPECT_EQ(connection.GetLastCommandResponse(), "550 5.1.1 No such pager");
    EXPECT_EQ(Commands(), (Strings{"HELO " + kHostName, "MAIL FROM:<ops@example.com>",
                                   "RCPT TO:<5551234@pager.example.net>", "QUIT"}));
    EXPECT_TRUE(server_.Mails().empty());
}

TEST_F(SmtpConnectionTest, TheBodyIsDotStuffedOnTheWireAndArrivesUnchanged) {
    const std::string text = ".first line\r\n.\r\n..two dots\r\nlast.";
    CSMTPConnection connection(host_, timeouts_);
    ASSERT_TRUE(connection.Connect("127.0.0.1", server_.port(), nullptr, ""));
    ASSERT_TRUE(connection.SendMessage(Message(text)));
    ASSERT_EQ(server_.Mails().size(), 1u);
    const SmtpTestServer::Mail mail = server_.Mails()[0];
    EXPECT_EQ(mail.Body(), text + "\r\n");
    EXPECT_NE(mail.data.find("\r\n..first line\r\n..\r\n...two dots\r\nlast.\r\n"),
              std::string::npos)
        << mail.data;
    EXPECT_EQ(mail.from, "ops@example.com");
    EXPECT_EQ(mail.recipients, Strings{"5551234@pager.example.net"});
}

TEST_F(SmtpConnectionTest, ASilentServerTimesOutFromTheLastBytesReceived) {
    // The greeting comes in two pieces 300 ms apart; with a 500 ms time-out counted
    // from the last bytes, it is read whole although it took longer than 500 ms in
    // all. Then the server stays silent.
    LoopbackPeer peer([](LoopbackPeer::Connection& connection) {
        connection.Send("220 slow");
        connection.Pause(300ms);
        connection.Send(" server\r\n");
        connection.Pause(300ms);
        connection.Send("2");
        connection.ReadToEnd(5s);
    });
    timeouts_.reply = 500ms;
    host_.pumps.clear();
    CSMTPConnection connection(host_, timeouts_);
    const auto start = Clock::now();
    EXPECT_FALSE(connection.Connect("127.0.0.1", peer.port(), nullptr, ""));
    const auto elapsed = Clock::now() - start;
    // The HELO reply got "2" and nothing more: what arrived is the reply text.
    EXPECT_EQ(connection.GetLastCommandResponse(), "2");
    EXPECT_GE(elapsed, 1000ms);
    EXPECT_LT(elapsed, 3s);
    Clock::duration longest{};
    for (size_t i = 1; i < host_.pumps.size(); ++i) {
        longest = std::max(longest, host_.pumps[i] - host_.pumps[i - 1]);
    }
    // Within a wait the hook runs every 100 ms; from the last run of one wait to the
    // first of the next there may be up to one more slice.
    EXPECT_LE(longest, 250ms);
}

TEST_F(SmtpConnectionTest, AStopRequestEndsEveryWaitAtOnce) {
    server_.SetGreeting(Action::NoReply());
    timeouts_.reply = 60s;
    CSMTPConnection connection(host_, timeouts_);
    host_.stop_requested = true;
    const auto start = Clock::now();
    EXPECT_FALSE(connection.Connect("127.0.0.1", server_.port(), nullptr, ""));
    EXPECT_LT(Clock::now() - start, 1s);
}

TEST_F(SmtpConnectionTest, ConnectFailuresWithoutAServerSayWhy) {
    platform::TcpListener released;
    ASSERT_TRUE(released.Listen("127.0.0.1", 0));
    const int port = released.Port();
    released.Close();
    CSMTPConnection connection(host_, timeouts_);
    EXPECT_FALSE(connection.Connect("127.0.0.1", port, nullptr, ""));
    EXPECT_EQ(connection.FailureText(), "no connection (error 111)");
    EXPECT_FALSE(connection.Connect("no-such-host.invalid", 25, nullptr, ""));
    EXPECT_EQ(connection.FailureText(), "host not found");
    EXPECT_FALSE(connection.IsConnected());
}

TEST(SmtpBase64Test, EncodesInOneLineWithPadding) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"pager-ops", "cGFnZXItb3Bz"},
        {std::string("\xff\x00\x80", 3), "/wCA"},
    };
    for (const auto& [text, encoded] : cases) {
        EXPECT_EQ(Base64Encode(text), encoded) << text;
    }
    // Long texts stay on one line: no line breaks every 76 characters.
    std::string long_encoded;
    for (int i = 0; i < 40; ++i) {
        long_encoded += "YWFh";
    }
    EXPECT_EQ(Base64Encode(std::string(120, 'a')), long_encoded);
}

}  // namespace
