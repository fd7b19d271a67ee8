#include "transport/csnppsocket.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "tests/support/recordinghost.h"
#include "tests/support/snpptestserver.h"

namespace {

using namespace std::chrono_literals;
using Action = SnppTestServer::Action;
using Row = RecordingHost::CommRow;

class SnppSocketTest : public testing::Test {
  protected:
    // A socket connected to the server with its greeting read.
    void Connect() {
        socket_ = std::make_unique<CSNPPSocket>(host_);
        ASSERT_TRUE(socket_->Create());
        ASSERT_TRUE(socket_->SetBlocking());
        ASSERT_EQ(socket_->Connect("127.0.0.1", server_.port(), 2000ms),
                  platform::ConnectResult::kConnected);
        ASSERT_TRUE(socket_->ReadReply(nullptr, {"220"}, nullptr, 2000));
        host_.comm_rows.clear();
    }

    // Destroys the socket and returns every byte the server received.
    std::string Hangup() {
        socket_.reset();
        EXPECT_TRUE(server_.WaitForClosedConnections(server_.Connections()));
        return server_.Received();
    }

    SnppTestServer server_;
    RecordingHost host_;
    std::unique_ptr<CSNPPSocket> socket_;
};

TEST_F(SnppSocketTest, TransactSendsTheLineAndMatchesThePrefixesInOrder) {
    server_.OnCommand("PAGE", Action::Reply("850 Two-way pager"));
    Connect();
    std::string reply;
    std::string error = "before";
    EXPECT_TRUE(
        socket_->Transact("PAGE 5551234", &reply, false, {"250", "850", "950"}, &error, 2000));
    EXPECT_EQ(reply, "850 Two-way pager\r\n");
    EXPECT_EQ(error, reply);

    // A reply without an expected prefix is still the reply and the error text.
    EXPECT_FALSE(socket_->Transact("PAGE 5551234", &reply, false, {"250"}, &error, 2000));
    EXPECT_EQ(reply, "850 Two-way pager\r\n");
    EXPECT_EQ(error, reply);
    // A missing reply argument is fine.
    EXPECT_FALSE(socket_->Transact("PAGE 1", nullptr, false, {}, &error, 2000));

    EXPECT_EQ(Hangup(), "PAGE 5551234\r\nPAGE 5551234\r\nPAGE 1\r\nQUIT\r\n");
    EXPECT_EQ(host_.comm_rows, (std::vector<Row>{{"14->", "PAGE 5551234"},
                                                 {"<-19", "850 Two-way pager\r\n"},
                                                 {"14->", "PAGE 5551234"},
                                                 {"<-19", "850 Two-way pager\r\n"},
                                                 {"8->", "PAGE 1"},
                                                 {"<-19", "850 Two-way pager\r\n"},
                                                 {"6->", "QUIT"}}));
}

TEST_F(SnppSocketTest, ErrorTextOfEachWayAReplyCanEnd) {
    struct Case {
        const char* name;
        Action action;
        bool result;
        std::string error;
    };
    const Case cases[] = {
        {"server closes", Action::Close(), false, "No SNPP Response"},
        {"server is silent", Action::NoReply(), false, "left as it was"},
        {"server resets", Action::Reset(), false, "Socket Error 104 from Receive"},
        {"reply without line end, then a close", Action::Raw("250 Mess").ThenClose(), true,
         "250 Mess"},
        {"reply without line end, then silence", Action::Raw("250 Mess"), true, "250 Mess"},
        {"refusal without line end", Action::Raw("550 Nope"), false, "550 Nope"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        server_.OnCommand("MESS", c.action, static_cast<int>(i) + 1);
        Connect();
        std::string error = "left as it was";
        std::string reply;
        EXPECT_EQ(socket_->Transact("MESS hello", &reply, false, {"250"}, &error, 300), c.result);
        EXPECT_EQ(error, c.error);
        if (c.action.then_close) {
            // The partial reply was taken at the close; the next read sees the close.
            EXPECT_FALSE(socket_->ReadReply(&reply, {"250"}, &error, 300));
            EXPECT_EQ(error, "No SNPP Response");
        }
        socket_.reset();
        ASSERT_TRUE(server_.WaitForClosedConnections(static_cast<int>(i) + 1));
    }
}

TEST_F(SnppSocketTest, SendFailuresAndEmptyCommandsSendNothing) {
    Connect();
    std::string error = "untouched";
    EXPECT_EQ(socket_->SendCommand("", false, &error), 0);
    EXPECT_EQ(error, "untouched");
    EXPECT_FALSE(socket_->Transact("", nullptr, false, {"250"}, &error, 100));
    EXPECT_TRUE(host_.comm_rows.empty());

    CSNPPSocket unconnected(host_);
    ASSERT_TRUE(unconnected.Create());
    EXPECT_EQ(unconnected.SendCommand("PAGE 1", false, &error), 0);
    EXPECT_NE(unconnected.LastError(), 0);
    EXPECT_EQ(error, "Socket Error " + std::to_string(unconnected.LastError()) + " from Send");
    EXPECT_FALSE(unconnected.Transact("PAGE 1", nullptr, false, {"250"}, &error, 100));
    EXPECT_TRUE(host_.comm_rows.empty());

    EXPECT_EQ(unconnected.SocketErrorText("IOCtl", nullptr),
              "Socket Error " + std::to_string(unconnected.LastError()) + " from IOCtl");
}

TEST_F(SnppSocketTest, ResetAcceptsOnly250Or500) {
    struct Case {
        Action action;
        bool accepted;
    };
    const Case cases[] = {
        {Action::Reply("250 RESET OK"), true},
        {Action::Reply("500 Command not known"), true},
        {Action::Reply("421 Closing"), false},
        {Action::NoReply(), false},
    };
    Connect();
    socket_->SetResetTimeout(300);
    for (size_t i = 0; i < std::size(cases); ++i) {
        server_.OnCommand("RESET", cases[i].action, static_cast<int>(i) + 1);
        EXPECT_EQ(socket_->Reset(), cases[i].accepted) << i;
    }
    EXPECT_EQ(Hangup(), "RESET\r\nRESET\r\nRESET\r\nRESET\r\nQUIT\r\n");
}

TEST_F(SnppSocketTest, DestructionSendsQuitWithoutWaitingForTheAnswer) {
    server_.OnCommand("QUIT", Action::Reply("221 Bye", 1000ms));
    Connect();
    const auto start = std::chrono::steady_clock::now();
    socket_.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_EQ(host_.comm_rows, (std::vector<Row>{{"6->", "QUIT"}}));
    ASSERT_TRUE(server_.WaitForClosedConnections(1));
    EXPECT_EQ(server_.Received(), "QUIT\r\n");
}

}  // namespace
