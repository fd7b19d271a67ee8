#include "transport/clinesocket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "tests/support/loopbackpeer.h"
#include "tests/support/recordinghost.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Row = RecordingHost::CommRow;

class LineSocketTest : public testing::Test {
  protected:
    // Connects a line socket to a peer running `script`.
    void Start(LoopbackPeer::Script script) {
        peer_ = std::make_unique<LoopbackPeer>(std::move(script));
        socket_ = std::make_unique<CLineSocket>(host_);
        ASSERT_TRUE(socket_->Create());
        ASSERT_TRUE(socket_->SetBlocking());
        ASSERT_EQ(socket_->Connect("127.0.0.1", peer_->port(), 2000ms),
                  platform::ConnectResult::kConnected);
    }

    LineReply Read(std::chrono::milliseconds timeout, ReplyComplete complete = &LineComplete,
                   size_t max_bytes = 1024, bool restart_on_data = false) {
        ReplyRules rules;
        rules.complete = complete;
        rules.timeout = timeout;
        rules.max_bytes = max_bytes;
        rules.restart_on_data = restart_on_data;
        const auto start = Clock::now();
        LineReply reply = socket_->ReadLineReply(rules);
        elapsed_ = Clock::now() - start;
        return reply;
    }

    // The longest time between two runs of the wait hook (or the ends of the read).
    Clock::duration LongestGapBetweenPumps() const {
        Clock::duration longest{};
        for (size_t i = 1; i < host_.pumps.size(); ++i) {
            longest = std::max(longest, host_.pumps[i] - host_.pumps[i - 1]);
        }
        return longest;
    }

    RecordingHost host_;
    std::unique_ptr<LoopbackPeer> peer_;
    std::unique_ptr<CLineSocket> socket_;
    Clock::duration elapsed_{};
};

TEST_F(LineSocketTest, SendsEachCommandWithCrLfAndLogsItsByteCount) {
    std::string received;
    Start([&](LoopbackPeer::Connection& connection) { received = connection.ReadToEnd(); });

    const LineSend page = socket_->SendLine("PAGE 5551234", false);
    EXPECT_EQ(page.status, SendStatus::kSent);
    EXPECT_EQ(page.bytes, 14u);
    const LineSend secret = socket_->SendLine("MESS meet me at noon", true);
    EXPECT_EQ(secret.bytes, 22u);
    EXPECT_EQ(socket_->SendLine("", false).status, SendStatus::kEmpty);
    socket_->SetTrafficLogging(false);
    EXPECT_EQ(socket_->SendLine("QUIT", false).bytes, 6u);
    socket_->Close();
    peer_->Join();

    EXPECT_EQ(received, "PAGE 5551234\r\nMESS meet me at noon\r\nQUIT\r\n");
    EXPECT_EQ(host_.comm_rows,
              (std::vector<Row>{{"14->", "PAGE 5551234"}, {"22->", "Confidential"}}));
}

TEST_F(LineSocketTest, SendOnAConnectionThePeerResetFailsWithoutALogRow) {
    // The pause lets the connection finish setting up before the reset.
    Start([](LoopbackPeer::Connection& connection) {
        connection.Pause(100ms);
        connection.Reset();
    });
    peer_->Join();
    std::this_thread::sleep_for(50ms);
    // The first send may still be taken by the system; the reset shows by the next.
    LineSend sent = socket_->SendLine("PAGE 1", false);
    for (int i = 0; i < 10 && sent.status == SendStatus::kSent; ++i) {
        std::this_thread::sleep_for(20ms);
        sent = socket_->SendLine("PAGE 1", false);
    }
    EXPECT_EQ(sent.status, SendStatus::kFailed);
    EXPECT_TRUE(socket_->LastError() == EPIPE || socket_->LastError() == ECONNRESET)
        << socket_->LastError();
    for (const Row& row : host_.comm_rows) {
        EXPECT_EQ(row.direction, "8->");  // only sends that went out are logged
    }
}

TEST_F(LineSocketTest, AReplyAlreadyWaitingIsReturnedAtOnceWithEverythingThatCameWithIt) {
    Start([](LoopbackPeer::Connection& connection) {
        connection.ReadUntil("\r\n");
        connection.Send("250-first\r\n250 second\r\n");
        connection.ReadToEnd();
    });
    ASSERT_EQ(socket_->SendLine("HELP", false).status, SendStatus::kSent);
    std::this_thread::sleep_for(200ms);
    const LineReply reply = Read(5000ms);
    EXPECT_EQ(reply.status, ReplyStatus::kComplete);
    EXPECT_EQ(reply.text, "250-first\r\n250 second\r\n");
    EXPECT_EQ(reply.bytes, 23u);
    EXPECT_LT(elapsed_, 90ms);  // well under one 100 ms wait slice
    EXPECT_TRUE(host_.pumps.empty());
    EXPECT_EQ(host_.comm_rows.back(), (Row{"<-23", "250-first\r\n250 second\r\n"}));
}

TEST_F(LineSocketTest, AReplySplitAcrossWritesIsGatheredUntilItsLineEnd) {
    Start([](LoopbackPeer::Connection& connection) {
        connection.Send("25");
        connection.Pause(150ms);
        connection.Send("0 Message ");
        connection.Pause(150ms);
        connection.Send("OK\r\n");
        connection.ReadToEnd();
    });
    const LineReply reply = Read(5000ms);
    EXPECT_EQ(reply.status, ReplyStatus::kComplete);
    EXPECT_EQ(reply.text, "250 Message OK\r\n");
    EXPECT_GE(elapsed_, 290ms);
    EXPECT_LT(elapsed_, 2000ms);  // returned when the line end came, not at the time-out
    EXPECT_GE(host_.pumps.size(), 2u);
    EXPECT_EQ(host_.comm_rows, (std::vector<Row>{{"<-16", "250 Message OK\r\n"}}));
}

TEST_F(LineSocketTest, ASilentPeerTimesOutWhileTheWaitHookKeepsRunning) {
    Start([](LoopbackPeer::Connection& connection) { connection.ReadToEnd(); });
    const LineReply reply = Read(600ms);
    EXPECT_EQ(reply.status, ReplyStatus::kTimedOut);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(reply.text, "");
    EXPECT_GE(elapsed_, 600ms);
    EXPECT_LT(elapsed_, 1500ms);
    // About one pump a slice; a loaded machine may stretch a slice, so the bound on the
    // gaps is what holds the hook to its rhythm.
    EXPECT_GE(host_.pumps.size(), 3u);
    EXPECT_LE(LongestGapBetweenPumps(), 300ms);
    EXPECT_TRUE(host_.comm_rows.empty());
}

TEST_F(LineSocketTest, EndsOfAReadOtherThanALineEnd) {
    struct Case {
        const char* name;
        std::function<void(LoopbackPeer::Connection&)> script;
        ReplyStatus status;
        std::string text;
        size_t bytes;
    };
    const Case cases[] = {
        {"partial then silence",
         [](LoopbackPeer::Connection& c) {
             c.Send("250 no line end");
             c.ReadToEnd();
         },
         ReplyStatus::kTimedOut, "250 no line end", 15},
        {"close", [](LoopbackPeer::Connection& c) { c.Close(); }, ReplyStatus::kClosed, "", 0},
        {"partial then close",
         [](LoopbackPeer::Connection& c) {
             c.Send("421 going");
             c.Close();
         },
         ReplyStatus::kClosed, "421 going", 9},
        {"reset",
         [](LoopbackPeer::Connection& c) {
             c.Pause(100ms);
             c.Reset();
         },
         ReplyStatus::kFailed, "", 0},
        {"text ends at a NUL byte",
         [](LoopbackPeer::Connection& c) {
             c.Send(std::string("250 OK\0junk\r\n", 13));
             c.ReadToEnd();
         },
         ReplyStatus::kComplete, "250 OK", 13},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host_.Clear();
        Start(c.script);
        const LineReply reply = Read(400ms);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_EQ(reply.text, c.text);
        EXPECT_EQ(reply.bytes, c.bytes);
        if (c.bytes > 0) {
            EXPECT_EQ(host_.comm_rows,
                      (std::vector<Row>{{"<-" + std::to_string(c.bytes), c.text}}));
        } else {
            EXPECT_TRUE(host_.comm_rows.empty());
        }
        if (c.status == ReplyStatus::kFailed) {
            EXPECT_EQ(socket_->LastError(), ECONNRESET);
        }
        socket_->Close();
        peer_.reset();
    }
}

TEST_F(LineSocketTest, ALongReplyStopsAtTheSizeLimitAndLeavesTheRestUnread) {
    Start([](LoopbackPeer::Connection& connection) {
        connection.Send(std::string(1500, 'x') + "\r\n");
        connection.ReadToEnd();
    });
    const LineReply first = Read(2000ms, &LineComplete, 1024);
    EXPECT_EQ(first.status, ReplyStatus::kComplete);
    EXPECT_EQ(first.text, std::string(1024, 'x'));
    const LineReply rest = Read(2000ms, &LineComplete, 1024);
    EXPECT_EQ(rest.text, std::string(476, 'x') + "\r\n");
}

TEST_F(LineSocketTest, MultiLineRepliesWaitForTheirLastLine) {
    Start([](LoopbackPeer::Connection& connection) {
        connection.Send("250-mail.example\r\n");
        connection.Pause(150ms);
        connection.Send("250-AUTH LOGIN\r\n250 OK\r\n");
        connection.ReadUntil("\r\n");
        connection.Send("+OK 2 messages\r\n1 120\r\n");
        connection.Pause(150ms);
        connection.Send("2 200\r\n.\r\n");
        connection.ReadToEnd();
    });
    const LineReply coded = Read(3000ms, &CodedReplyComplete);
    EXPECT_EQ(coded.status, ReplyStatus::kComplete);
    EXPECT_EQ(coded.text, "250-mail.example\r\n250-AUTH LOGIN\r\n250 OK\r\n");
    ASSERT_EQ(socket_->SendLine("LIST", false).status, SendStatus::kSent);
    const LineReply listing = Read(3000ms, &DotTerminatedComplete);
    EXPECT_EQ(listing.status, ReplyStatus::kComplete);
    EXPECT_EQ(listing.text, "+OK 2 messages\r\n1 120\r\n2 200\r\n.\r\n");
}

TEST(ReplyEndTest, EachProtocolsReplyEnd) {
    struct Case {
        std::string gathered;
        bool line;
        bool coded;
        bool dotted;
    };
    const Case cases[] = {
        {"", false, false, false},
        {"250 OK", false, false, false},
        {"250 OK\r\n", true, true, false},
        {"250 OK\n", true, true, false},
        {"250-first\r\n", true, false, false},
        {"250-first\r\n250-second\r\n", true, false, false},
        {"250-first\r\n250 last\r\n", true, true, false},
        {"250-first\r\n250 la", true, false, false},
        {"OK\r\n", true, true, false},
        {"+OK 1 message\r\n", true, true, false},
        {"+OK 1 message\r\n1 100\r\n", true, true, false},
        {"+OK 1 message\r\n1 100\r\n.\r\n", true, true, true},
        {"+OK\r\n.\r\n", true, true, true},
        {"-ERR no such message\r\n", true, true, true},
        {"-ERR no such", false, false, false},
        {"+OK\r\n..\r\n", true, true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(LineComplete(c.gathered), c.line) << c.gathered;
        EXPECT_EQ(CodedReplyComplete(c.gathered), c.coded) << c.gathered;
        EXPECT_EQ(DotTerminatedComplete(c.gathered), c.dotted) << c.gathered;
    }
}

TEST_F(LineSocketTest, AnIdleTimeOutRestartsWhenBytesArrive) {
    const auto trickle = [](LoopbackPeer::Connection& connection) {
        connection.Send("2");
        connection.Pause(300ms);
        connection.Send("5");
        connection.Pause(300ms);
        connection.Send("0\r\n");
        connection.ReadToEnd();
    };
    Start(trickle);
    const LineReply whole = Read(450ms, &LineComplete, 1024, true);
    EXPECT_EQ(whole.status, ReplyStatus::kComplete);
    EXPECT_EQ(whole.text, "250\r\n");
    socket_->Close();
    peer_.reset();

    Start(trickle);
    const LineReply cut = Read(450ms, &LineComplete, 1024, false);
    EXPECT_EQ(cut.status, ReplyStatus::kTimedOut);
    EXPECT_EQ(cut.text, "25");
}

}  // namespace

namespace {

TEST_F(LineSocketTest, AStopRequestEndsAReadWithWhatHadArrived) {
    Start([](LoopbackPeer::Connection& connection) {
        connection.Send("250-first line\r\n");
        connection.ReadToEnd();
    });
    // The request comes while the reply is incomplete; the read gives up within a
    // slice instead of waiting out its minute.
    host_.stop_requested = true;
    const LineReply reply = Read(60s, &CodedReplyComplete);
    EXPECT_EQ(reply.status, ReplyStatus::kStopped);
    EXPECT_EQ(reply.text, "250-first line\r\n");
    EXPECT_LT(elapsed_, 1s);
}

TEST_F(LineSocketTest, AStopRequestEndsAConnectThatIsUnderWay) {
    // 192.0.2.1 (documentation range) is not routed: the connect would hang until
    // its time-out if the stop request did not end it.
    host_.stop_requested = true;
    CLineSocket socket(host_);
    ASSERT_TRUE(socket.Create());
    const auto start = Clock::now();
    const platform::ConnectResult result = socket.Connect("192.0.2.1", 25, 30s);
    EXPECT_EQ(result, platform::ConnectResult::kFailed);
    EXPECT_LT(Clock::now() - start, 1s);
}

}  // namespace
