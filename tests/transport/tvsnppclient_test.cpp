#include "transport/tvsnppclient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/recordinghost.h"
#include "tests/support/snpptestserver.h"

namespace {

using namespace std::chrono_literals;
using Action = SnppTestServer::Action;
using Row = RecordingHost::CommRow;

constexpr char kGreeting[] = "220 Tolvane test SNPP server\r\n";

class SnppClientTest : public testing::Test {
  protected:
    SnppClientTest() {
        // Short waits so that silent servers cost a fraction of a second.
        SnppTimeouts timeouts;
        timeouts.reply = 400ms;
        timeouts.connect = 2000ms;
        client_.SetTimeouts(timeouts);
        network_.phone = "127.0.0.1";
        network_.port = server_.port();
    }

    void Connect() {
        std::string error;
        ASSERT_EQ(client_.ConnectSnpp(network_, &error), 0) << error;
        ASSERT_TRUE(client_.Connected());
        host_.comm_rows.clear();
    }

    static SendItem Item(const std::string& text, int mode = kModeSend,
                         int status = kStatusQueued) {
        SendItem item;
        item.pin = "5551234";
        item.text = text;
        item.mode = mode;
        item.status = status;
        return item;
    }

    // Ends the connection and returns the bytes the server got on each connection.
    std::vector<std::string> Hangup() {
        client_.Disconnect();
        EXPECT_TRUE(server_.WaitForClosedConnections(server_.Connections()));
        return server_.Transcripts();
    }

    SnppTestServer server_;
    RecordingHost host_;
    tvSnppClient client_{host_};
    SnppNetwork network_;
};

// --- Connecting -------------------------------------------------------------------

TEST_F(SnppClientTest, ConnectReadsTheGreetingAndLogsInOnlyWithASecurityCode) {
    struct Case {
        std::string security_code;
        std::string password;
        std::string login;
    };
    const Case cases[] = {
        {"", "", ""},
        {"   ", "secret", ""},
        {"ops", "", "LOGI ops\r\n"},
        {"ops", "  ", "LOGI ops\r\n"},
        {"ops", "secret", "LOGI ops secret\r\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        network_.security_code = c.security_code;
        network_.password = c.password;
        std::string error = "stale";
        host_.comm_rows.clear();
        ASSERT_EQ(client_.ConnectSnpp(network_, &error), 0) << c.security_code;
        EXPECT_TRUE(client_.Connected());
        EXPECT_TRUE(client_.HasSocket());
        std::vector<Row> rows;
        if (i > 0) {
            rows.push_back({"6->", "QUIT"});  // the previous connection is ended first
        }
        rows.push_back({"->", "SNPP Connect 127.0.0.1 " + std::to_string(server_.port())});
        rows.push_back({"<-30", kGreeting});
        if (!c.login.empty()) {
            rows.push_back({std::to_string(c.login.size()) + "->",
                            c.login.substr(0, c.login.size() - 2)});  // shown in full
            rows.push_back({"<-20", "250 Login Accepted\r\n"});
        }
        EXPECT_EQ(host_.comm_rows, rows) << i;
    }
    // Each connect replaced the previous connection, which was ended with QUIT.
    const std::vector<std::string> transcripts = Hangup();
    ASSERT_EQ(transcripts.size(), std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(transcripts[i], cases[i].login + "QUIT\r\n") << i;
    }
}

TEST_F(SnppClientTest, FailedConnectionsLeaveNoSocketAndSayWhy) {
    struct Case {
        const char* name;
        std::string phone;
        bool refused_port;
        Action greeting;
        std::string security_code;
        std::string error;
        std::string server_got;  // "-" when no connection reached the server
    };
    const Case cases[] = {
        {"greeting other than 220", "127.0.0.1", false, Action::Reply("421 Too busy"), "",
         "421 Too busy\r\n", "QUIT\r\n"},
        {"server closes at once", "127.0.0.1", false, Action::Close(), "", "No SNPP Response", ""},
        {"server never greets", "127.0.0.1", false, Action::NoReply(), "", "stale", "QUIT\r\n"},
        {"login refused", "127.0.0.1", false, Action::Reply("220 Hi"), "ops",
         "550 Login refused\r\n", "LOGI ops\r\nQUIT\r\n"},
        {"host name does not resolve", "no-such-host..invalid", false, Action::Reply("220 Hi"), "",
         "Unable to connect to SNPP provider no-such-host..invalid on port 444. Check network "
         "connection.",
         "-"},
        {"nothing listens", "127.0.0.1", true, Action::Reply("220 Hi"), "",
         "Socket Error 111 from Connect", "-"},
    };
    server_.OnCommand("LOGI", Action::Reply("550 Login refused"));
    int connections = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        server_.SetGreeting(c.greeting);
        network_.phone = c.phone;
        network_.port = c.phone == "127.0.0.1" ? server_.port() : 444;
        if (c.refused_port) {
            platform::TcpListener released;
            ASSERT_TRUE(released.Listen("127.0.0.1", 0));
            network_.port = released.Port();
        }
        network_.security_code = c.security_code;
        std::string error = "stale";
        EXPECT_EQ(client_.ConnectSnpp(network_, &error), 1);
        EXPECT_EQ(error, c.error);
        EXPECT_FALSE(client_.Connected());
        EXPECT_FALSE(client_.HasSocket());
        if (c.server_got != "-") {
            ++connections;
            ASSERT_TRUE(server_.WaitForClosedConnections(connections));
            EXPECT_EQ(server_.Transcripts().back(), c.server_got);
        }
        EXPECT_EQ(server_.Connections(), connections);
    }
}

TEST_F(SnppClientTest, WithoutSocketSupportNothingIsTried) {
    host_.sockets_available = false;
    std::string error;
    EXPECT_EQ(client_.ConnectSnpp(network_, &error), 1);
    EXPECT_EQ(error, "SNPP Disabled: Socket Initialization Failed");
    EXPECT_TRUE(host_.comm_rows.empty());
    EXPECT_EQ(server_.Connections(), 0);
}

// --- One-way pages ----------------------------------------------------------------

TEST_F(SnppClientTest, OneWayPageTranscript) {
    Connect();
    SendItem item = Item("Server down at 10:42");
    item.response = "earlier";
    client_.SendSnppPage(&item);

    EXPECT_EQ(item.status, kStatusSent);
    EXPECT_EQ(item.attempts, 0);
    EXPECT_EQ(item.response, "250 Message Sent Successfully\r\n");  // not the RESET reply
    EXPECT_TRUE(client_.Connected());
    EXPECT_EQ(host_.comm_rows, (std::vector<Row>{{"14->", "PAGE 5551234"},
                                                 {"<-23", "250 Pager ID Accepted\r\n"},
                                                 {"27->", "MESS Server down at 10:42"},
                                                 {"<-16", "250 Message OK\r\n"},
                                                 {"6->", "SEND"},
                                                 {"<-31", "250 Message Sent Successfully\r\n"},
                                                 {"7->", "RESET"},
                                                 {"<-14", "250 RESET OK\r\n"}}));
    EXPECT_EQ(Hangup()[0],
              "PAGE 5551234\r\nMESS Server down at 10:42\r\nSEND\r\nRESET\r\nQUIT\r\n");
    ASSERT_EQ(server_.Pages().size(), 1u);
    EXPECT_EQ(server_.Pages()[0].message, "Server down at 10:42");
}

TEST_F(SnppClientTest, OneWayRepliesNotAcceptedDropMarkOrJustCount) {
    struct Case {
        std::string verb;
        std::string reply;
        int status;
        bool dropped;
        std::string wire;
    };
    const std::string all = "PAGE 5551234\r\nMESS hello\r\nSEND\r\n";
    const Case cases[] = {
        {"PAGE", "550 Invalid pager", kStatusError, false, "PAGE 5551234\r\nRESET\r\n"},
        {"PAGE", "421 Going down", kStatusQueued, true, "PAGE 5551234\r\nQUIT\r\n"},
        {"PAGE", "503 Out of order", kStatusQueued, false, "PAGE 5551234\r\nRESET\r\n"},
        {"MESS", "503 Out of order", kStatusQueued, true, "PAGE 5551234\r\nMESS hello\r\nQUIT\r\n"},
        {"MESS", "550 Too long", kStatusError, false, "PAGE 5551234\r\nMESS hello\r\nRESET\r\n"},
        {"SEND", "554 Try later", kStatusQueued, false, all + "RESET\r\n"},
        {"SEND", "550 Refused", kStatusError, false, all + "RESET\r\n"},
        {"SEND", "421 Going down", kStatusQueued, true, all + "QUIT\r\n"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.verb + " " + c.reply);
        SnppTestServer server;
        server.OnCommand(c.verb, Action::Reply(c.reply));
        network_.port = server.port();
        Connect();
        SendItem item = Item("hello");
        item.attempts = 2;
        client_.SendSnppPage(&item);
        EXPECT_EQ(item.status, c.status);
        EXPECT_EQ(item.attempts, 3);
        EXPECT_EQ(item.response, c.reply + "\r\n");
        EXPECT_EQ(client_.HasSocket(), !c.dropped);
        EXPECT_EQ(client_.Connected(), !c.dropped);
        client_.Disconnect();
        ASSERT_TRUE(server.WaitForClosedConnections(1));
        EXPECT_EQ(server.Transcripts()[0], c.wire + (c.dropped ? "" : "QUIT\r\n"));
    }
}

// --- Two-way pages ----------------------------------------------------------------

TEST_F(SnppClientTest, TwoWayPageWithReplyToSendsTheQuestionAndItsResponses) {
    Connect();
    SendItem item = Item("Meet at 5?~~Yes~~ No ");
    item.reply_to = "ops@example.com";
    client_.SendSnppTwoWay(&item);

    EXPECT_EQ(item.carrier_message_number, 5678);
    EXPECT_EQ(item.status, kStatusSentPending);
    EXPECT_EQ(item.response, "960 1 5678 Queued\r\n");
    EXPECT_EQ(Hangup()[0],
              "2WAY\r\nPAGE 5551234\r\nCALL ops@example.com\r\nMESS Meet at 5?\r\n"
              "MCRE Yes\r\nMCRE No\r\nSEND\r\nRESET\r\nQUIT\r\n");
    ASSERT_EQ(server_.Pages().size(), 1u);
    EXPECT_EQ(server_.Pages()[0].responses, (std::vector<std::string>{"Yes", "No"}));
}

TEST_F(SnppClientTest, TwoWayTextsAndTheCommandsTheyBecome) {
    struct Case {
        std::string text;
        std::string reply_to;
        std::string commands;  // between PAGE and SEND
    };
    const Case cases[] = {
        {"Meet at 5?~~Yes~~ No", "", "MESS Meet at 5?~~Yes~~ No\r\n"},
        {"Meet at 5?~~Yes~~ No", "   ", "MESS Meet at 5?~~Yes~~ No\r\n"},
        {"Done?~~Yes~~~~", "ops", "CALL ops\r\nMESS Done?\r\nMCRE Yes\r\nMCRE ~~\r\n"},
        {"~~Yes~~No", "ops", "CALL ops\r\nMESS ~~Yes~~No\r\n"},
        {"No choices here", "ops", "CALL ops\r\nMESS No choices here\r\n"},
        {"Q~~ ~~A", "ops", "CALL ops\r\nMESS Q\r\nMCRE A\r\n"},
    };
    for (const Case& c : cases) {
        SnppTestServer server;
        network_.port = server.port();
        Connect();
        SendItem item = Item(c.text);
        item.reply_to = c.reply_to;
        client_.SendSnppTwoWay(&item);
        EXPECT_EQ(item.status, kStatusSentPending) << c.text;
        client_.Disconnect();
        ASSERT_TRUE(server.WaitForClosedConnections(1));
        EXPECT_EQ(server.Transcripts()[0],
                  "2WAY\r\nPAGE 5551234\r\n" + c.commands + "SEND\r\nRESET\r\nQUIT\r\n")
            << c.text;
    }
}

TEST_F(SnppClientTest, ConfidentialTextIsHiddenInTheLogButNotOnTheWire) {
    Connect();
    SendItem item = Item("Salary review~~Accept~~Decline");
    item.reply_to = "hr";
    item.confidential = true;
    client_.SendSnppTwoWay(&item);
    EXPECT_EQ(host_.SentTexts(),
              (std::vector<std::string>{"2WAY", "PAGE 5551234", "CALL hr", "Confidential",
                                        "Confidential", "Confidential", "SEND", "RESET"}));
    EXPECT_EQ(Hangup()[0],
              "2WAY\r\nPAGE 5551234\r\nCALL hr\r\nMESS Salary review\r\nMCRE Accept\r\n"
              "MCRE Decline\r\nSEND\r\nRESET\r\nQUIT\r\n");

    SnppTestServer one_way;
    network_.port = one_way.port();
    Connect();
    SendItem page = Item("PIN 4711");
    page.confidential = true;
    client_.SendSnppPage(&page);
    EXPECT_EQ(host_.SentTexts(),
              (std::vector<std::string>{"PAGE 5551234", "Confidential", "SEND", "RESET"}));
    client_.Disconnect();
    ASSERT_TRUE(one_way.WaitForClosedConnections(1));
    EXPECT_EQ(one_way.Transcripts()[0],
              "PAGE 5551234\r\nMESS PIN 4711\r\nSEND\r\nRESET\r\nQUIT\r\n");
}

TEST_F(SnppClientTest, SendRepliesSetTheCarrierMessageNumberAndStatus) {
    struct Case {
        std::string reply;
        int32_t number_before;
        int32_t number;
        int status;
    };
    const Case cases[] = {
        {"960 1234 5678 Queued", 0, 5678, kStatusSentPending},
        {"860 1234 5678 Delivered", 0, 5678, kStatusDelivered},
        {"250 Message Sent Successfully", 0, 0, kStatusSent},
        {"960 5678", 42, 42, kStatusSentPending},       // fewer than three spaces
        {"960 1  Queued", 42, 42, kStatusSentPending},  // empty third word
        {"960 1 77abc x", 0, 77, kStatusSentPending},
        {"250 OK", 42, 42, kStatusQueued},                // accepted, neither 8 nor 9: unchanged
        {"960 1 99999999999 Queued", 0, 0, kStatusSent},  // too large to be a number
    };
    for (const Case& c : cases) {
        SnppTestServer server;
        server.OnCommand("SEND", Action::Reply(c.reply));
        network_.port = server.port();
        Connect();
        SendItem item = Item("hello");
        item.carrier_message_number = c.number_before;
        client_.SendSnppTwoWay(&item);
        EXPECT_EQ(item.carrier_message_number, c.number) << c.reply;
        EXPECT_EQ(item.status, c.status) << c.reply;
        EXPECT_EQ(item.attempts, 0) << c.reply;
        EXPECT_EQ(item.response, c.reply + "\r\n");
    }
}

TEST_F(SnppClientTest, TwoWayRepliesNotAcceptedDropMarkOrJustCount) {
    struct Case {
        std::string verb;
        std::string reply;
        int status;
        bool dropped;
    };
    const Case cases[] = {
        {"2WAY", "500 Not supported", kStatusError, false},
        {"2WAY", "550 Not allowed", kStatusQueued, true},
        {"2WAY", "421 Going down", kStatusQueued, true},
        {"PAGE", "503 Out of order", kStatusQueued, true},
        {"PAGE", "550 Invalid pager", kStatusError, false},
        {"MESS", "550 Too long", kStatusError, false},
        {"MESS", "554 Busy", kStatusQueued, false},
        {"SEND", "500 Cannot", kStatusError, false},
        {"SEND", "550 Refused", kStatusError, false},
        {"SEND", "503 Out of order", kStatusQueued, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verb + " " + c.reply);
        SnppTestServer server;
        server.OnCommand(c.verb, Action::Reply(c.reply));
        network_.port = server.port();
        Connect();
        SendItem item = Item("hello");
        client_.SendSnppTwoWay(&item);
        EXPECT_EQ(item.status, c.status);
        EXPECT_EQ(item.attempts, 1);
        EXPECT_EQ(item.response, c.reply + "\r\n");
        EXPECT_EQ(client_.HasSocket(), !c.dropped);
        client_.Disconnect();
        ASSERT_TRUE(server.WaitForClosedConnections(1));
        // The steps up to the one refused, then RESET unless the connection was dropped.
        std::string wire;
        for (const std::string step : {"2WAY", "PAGE 5551234", "MESS hello", "SEND"}) {
            wire += step + "\r\n";
            if (step.rfind(c.verb, 0) == 0) {
                break;
            }
        }
        EXPECT_EQ(server.Transcripts()[0], wire + (c.dropped ? "" : "RESET\r\n") + "QUIT\r\n");
    }
}

TEST_F(SnppClientTest, RepliesToCallAndMultipleChoiceResponsesAreIgnored) {
    server_.OnCommand("CALL", Action::Reply("421 Caller rejected"));
    server_.OnCommand("MCRE", Action::Reply("550 Too many responses"));
    Connect();
    SendItem item = Item("Lunch?~~Yes~~No");
    item.reply_to = "ops";
    client_.SendSnppTwoWay(&item);
    EXPECT_EQ(item.status, kStatusSentPending);
    EXPECT_EQ(item.attempts, 0);
    EXPECT_TRUE(client_.Connected());
}

// --- Status queries ---------------------------------------------------------------

TEST_F(SnppClientTest, StatusQueryFollowsAPageUntilDelivered) {
    Connect();
    SendItem item = Item("Call me");
    client_.SendSnppTwoWay(&item);
    ASSERT_EQ(item.status, kStatusSentPending);

    SendItem query = Item("", kModeStatus, kStatusSentPending);
    query.carrier_message_number = item.carrier_message_number;
    client_.QuerySnppStatus(&query);
    EXPECT_EQ(query.status, kStatusSentPending);
    EXPECT_EQ(query.response, "960 5678 Queued\r\n");

    server_.DeliverAll();
    client_.QuerySnppStatus(&query);
    EXPECT_EQ(query.status, kStatusDelivered);
    EXPECT_EQ(query.response, "860 5678 Delivered\r\n");
    EXPECT_EQ(query.attempts, 0);

    const std::vector<std::string> transcripts = Hangup();
    ASSERT_EQ(transcripts.size(), 1u);  // all on one connection, reset in between
    const std::string query_wire = "2WAY\r\nMSTA 5551234 5678\r\nRESET\r\n";
    EXPECT_EQ(transcripts[0], "2WAY\r\nPAGE 5551234\r\nMESS Call me\r\nSEND\r\nRESET\r\n" +
                                  query_wire + query_wire + "QUIT\r\n");
}

TEST_F(SnppClientTest, StatusRepliesAndWhatTheyDo) {
    struct Case {
        std::string verb;
        std::string reply;
        int status;
        int attempts;
        bool dropped;
    };
    const Case cases[] = {
        {"MSTA", "860 Delivered", kStatusDelivered, 0, false},
        {"MSTA", "960 Queued", kStatusSentPending, 0, false},
        {"MSTA", "250 Unknown state", kStatusSentPending, 0, false},
        {"MSTA", "750 No such message", kStatusError, 1, false},
        {"MSTA", "421 Going down", kStatusSentPending, 1, true},
        {"MSTA", "550 Not found", kStatusError, 1, false},
        {"MSTA", "500 Unknown command", kStatusError, 1, false},
        {"MSTA", "554 Busy", kStatusSentPending, 1, false},
        {"2WAY", "500 Not supported", kStatusError, 1, false},
        {"2WAY", "550 Not allowed", kStatusSentPending, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.verb + " " + c.reply);
        SnppTestServer server;
        server.OnCommand(c.verb, Action::Reply(c.reply));
        network_.port = server.port();
        Connect();
        SendItem item = Item("", kModeStatus, kStatusSentPending);
        item.carrier_message_number = 5678;
        client_.QuerySnppStatus(&item);
        EXPECT_EQ(item.status, c.status);
        EXPECT_EQ(item.attempts, c.attempts);
        EXPECT_EQ(item.response, c.reply + "\r\n");
        EXPECT_EQ(client_.HasSocket(), !c.dropped);
        EXPECT_EQ(client_.Connected(), !c.dropped);
    }
}

// --- Reset after each operation ---------------------------------------------------

TEST_F(SnppClientTest, ResetAnswered500KeepsTheConnectionAndNoAnswerDropsIt) {
    server_.OnCommand("RESET", Action::Reply("500 Command not implemented"));
    Connect();
    SendItem first = Item("one");
    client_.SendSnppPage(&first);
    EXPECT_EQ(first.status, kStatusSent);
    EXPECT_TRUE(client_.HasSocket());
    EXPECT_EQ(first.response, "250 Message Sent Successfully\r\n");

    server_.OnCommand("RESET", Action::NoReply());
    SendItem second = Item("two");
    client_.SendSnppPage(&second);
    EXPECT_EQ(second.status, kStatusSent);  // the page went through; only the link is gone
    EXPECT_EQ(second.response, "250 Message Sent Successfully\r\n");
    EXPECT_FALSE(client_.HasSocket());
    EXPECT_FALSE(client_.Connected());

    // Nothing more is sent once the connection is gone.
    SendItem third = Item("three");
    client_.SendSnppPage(&third);
    EXPECT_EQ(third.status, kStatusQueued);
    EXPECT_EQ(third.attempts, 0);
    ASSERT_TRUE(server_.WaitForClosedConnections(1));
    EXPECT_EQ(server_.Transcripts(),
              (std::vector<std::string>{"PAGE 5551234\r\nMESS one\r\nSEND\r\nRESET\r\n"
                                        "PAGE 5551234\r\nMESS two\r\nSEND\r\nRESET\r\nQUIT\r\n"}));
}

// --- Peers that split, stall, close or reset --------------------------------------

TEST_F(SnppClientTest, RepliesArrivingInSmallPiecesMakeNoDifference) {
    server_.SplitReplies(3, 15ms);
    Connect();
    SendItem item = Item("Meet at 5?~~Yes~~No");
    item.reply_to = "ops";
    client_.SendSnppTwoWay(&item);
    EXPECT_EQ(item.status, kStatusSentPending);
    EXPECT_EQ(item.carrier_message_number, 5678);
    EXPECT_EQ(item.response, "960 1 5678 Queued\r\n");
    EXPECT_TRUE(client_.HasSocket());
    EXPECT_EQ(host_.CommTexts("<-19"), (std::vector<std::string>{"960 1 5678 Queued\r\n"}));
}

TEST_F(SnppClientTest, AStalledStepLeavesTheEarlierReplyAndCountsAnAttempt) {
    server_.OnCommand("MESS", Action::NoReply());
    Connect();
    SendItem item = Item("hello");
    const auto start = std::chrono::steady_clock::now();
    client_.SendSnppPage(&item);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(item.status, kStatusQueued);
    EXPECT_EQ(item.attempts, 1);
    EXPECT_EQ(item.response, "250 Pager ID Accepted\r\n");
    EXPECT_GE(elapsed, 400ms);
    // The engine's timer kept running all through the wait.
    EXPECT_GE(host_.pumps.size(), 3u);
    // The server answers RESET, so the connection stays.
    EXPECT_TRUE(client_.HasSocket());
    EXPECT_EQ(Hangup()[0], "PAGE 5551234\r\nMESS hello\r\nRESET\r\nQUIT\r\n");
}

TEST_F(SnppClientTest, ServerThatClosesOrResetsMidPage) {
    struct Case {
        Action action;
        std::string response;
    };
    const Case cases[] = {
        {Action::Close(), "No SNPP Response"},
        {Action::Reset(), "Socket Error 104 from Receive"},
    };
    for (const Case& c : cases) {
        SnppTestServer server;
        server.OnCommand("SEND", c.action);
        network_.port = server.port();
        Connect();
        SendItem item = Item("hello");
        client_.SendSnppPage(&item);
        EXPECT_EQ(item.status, kStatusQueued) << c.response;
        EXPECT_EQ(item.attempts, 1);
        EXPECT_EQ(item.response, c.response);
        // The RESET cannot be answered either, so the connection is dropped.
        EXPECT_FALSE(client_.HasSocket());
        EXPECT_FALSE(client_.Connected());
    }
}

TEST_F(SnppClientTest, OperationsNeedAConnectionAnItemAndSocketSupport) {
    const auto untouched = [](const SendItem& item) {
        return item.status == kStatusQueued && item.attempts == 0 && item.response.empty();
    };
    SendItem item = Item("hello");
    client_.SendSnppPage(&item);  // no connection yet
    client_.SendSnppTwoWay(&item);
    client_.QuerySnppStatus(&item);
    EXPECT_TRUE(untouched(item));

    Connect();
    client_.SendSnppPage(nullptr);
    client_.SendSnppTwoWay(nullptr);
    client_.QuerySnppStatus(nullptr);

    host_.sockets_available = false;
    client_.SendSnppPage(&item);
    EXPECT_TRUE(untouched(item));
    EXPECT_EQ(Hangup()[0], "QUIT\r\n");
}

// --- As a carrier -----------------------------------------------------------------

TEST_F(SnppClientTest, AsACarrierItSaysWhatItCanDoAndReportsALostConnection) {
    tvSnppClient two_way(host_, /*two_way=*/true);
    for (const tvSnppClient* client : {&client_, &two_way}) {
        const tvCarrierTraits traits = client->Traits();
        EXPECT_TRUE(traits.needs_sockets);
        EXPECT_FALSE(traits.needs_resolver);
        EXPECT_TRUE(traits.one_page_per_visit);
        EXPECT_TRUE(traits.cleans_text);
        EXPECT_FALSE(traits.can_cancel);
        EXPECT_FALSE(traits.checks_inbound);
        EXPECT_EQ(traits.queries_status, client == &two_way);
    }

    tvCarrierNetwork network;
    network.phone = "127.0.0.1";
    network.port = server_.port();
    network.security_code = "ops";
    server_.OnCommand("MESS", Action::Reply("421 Going away").ThenClose(), 1);
    std::string error;
    ASSERT_EQ(client_.Connect(network, tvCarrierSite{}, &error), 0) << error;
    EXPECT_TRUE(client_.Connected());
    SendItem item = Item("hello");
    EXPECT_EQ(client_.Send(item), tvHandOver::kConnectionOver);
    EXPECT_FALSE(client_.Connected());
    EXPECT_EQ(item.status, kStatusQueued);
    EXPECT_EQ(item.attempts, 1);

    ASSERT_EQ(client_.Connect(network, tvCarrierSite{}, &error), 0) << error;
    item = Item("hello");
    EXPECT_EQ(client_.Send(item), tvHandOver::kDone);
    EXPECT_EQ(item.status, kStatusSent);
    SendItem query = Item("", kModeStatus, kStatusSentPending);
    EXPECT_EQ(client_.Query(query), tvHandOver::kRefused) << "a one-way carrier has nothing to ask";
    SendItem cancel = Item("", kModeCancel, kStatusCancelling);
    EXPECT_EQ(client_.Cancel(cancel), tvHandOver::kRefused);
    EXPECT_EQ(cancel.attempts, 0);
    client_.Disconnect();
    EXPECT_FALSE(client_.Connected());
    const std::vector<std::string> transcripts = server_.Transcripts();
    ASSERT_EQ(transcripts.size(), 2u);
    EXPECT_EQ(transcripts[0].rfind("LOGI ops\r\n", 0), 0u) << transcripts[0];
}

// --- Servers out of step, long replies and stopping ---------------------------------

TEST_F(SnppClientTest, AServerOutOfStepEndsTheConnectionWithOneAttemptAndAFailedExchange) {
    struct Case {
        const char* name;
        const char* verb;
        Action action;
        int status;
        int attempts;
    };
    const Case cases[] = {
        // Nonsense instead of a reply: the page was not taken.
        {"nonsense", "PAGE", Action::Reply("hello there"), kStatusQueued, 1},
        {"nonsense to MESS", "MESS", Action::Reply("hello there"), kStatusQueued, 1},
        // The page was taken before the server lost its step: it stays taken.
        {"nonsense to RESET", "RESET", Action::Reply("hello there"), kStatusSent, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SnppTestServer server;
        server.OnCommand(c.verb, c.action);
        network_.port = server.port();
        Connect();
        SendItem item = Item("hello");
        EXPECT_EQ(client_.Send(item), tvHandOver::kFailed);
        EXPECT_EQ(item.status, c.status);
        EXPECT_EQ(item.attempts, c.attempts);
        EXPECT_FALSE(client_.Connected());
        EXPECT_FALSE(client_.HasSocket());
        const std::vector<std::string> notes = host_.CommTexts(kCommNote);
        EXPECT_EQ(
            std::count(notes.begin(), notes.end(), "SNPP server out of step; connection closed"),
            1);
    }
}

TEST_F(SnppClientTest, AReplyLineOverOneKilobyteIsCutAndItsRestNeverAnswersTheNextCommand) {
    server_.OnCommand("LOGI", Action::Reply("250 " + std::string(3000, 'x')));
    network_.security_code = "ops";
    Connect();
    SendItem item = Item("hello");
    EXPECT_EQ(client_.Send(item), tvHandOver::kDone);
    EXPECT_EQ(item.status, kStatusSent);
    EXPECT_EQ(item.attempts, 0);
    EXPECT_TRUE(client_.Connected());
    // The replies to PAGE, MESS and SEND were their own.
    EXPECT_EQ(item.response, "250 Message Sent Successfully\r\n");
}

TEST_F(SnppClientTest, AStopRequestEndsAWaitAtOnceAndSendsNothingMore) {
    SnppTestServer silent;
    silent.OnCommand("MESS", Action::NoReply());
    network_.port = silent.port();
    SnppTimeouts timeouts;
    timeouts.reply = 30s;
    timeouts.connect = 30s;
    client_.SetTimeouts(timeouts);
    Connect();
    // The engine is asked to stop while the client waits for the MESS reply.
    std::thread stopper([this] {
        std::this_thread::sleep_for(300ms);
        host_.stop_requested = true;
    });
    const auto started = std::chrono::steady_clock::now();
    SendItem item = Item("hello");
    static_cast<void>(client_.Send(item));
    const auto waited = std::chrono::steady_clock::now() - started;
    stopper.join();
    EXPECT_LT(waited, 2s);
    // The page was not taken: it stays queued with its attempt.
    EXPECT_EQ(item.status, kStatusQueued);
    EXPECT_EQ(item.attempts, 1);
    client_.Disconnect();
    ASSERT_TRUE(silent.WaitForClosedConnections(1));
    // Neither SEND, RESET nor QUIT went out after the stop.
    EXPECT_EQ(silent.Transcripts()[0], "PAGE 5551234\r\nMESS hello\r\n");
}

}  // namespace
