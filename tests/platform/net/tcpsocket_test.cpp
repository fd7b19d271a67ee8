#include "platform/net/tcpsocket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>

#include "platform/net/tcplistener.h"
#include "tests/support/loopbackpeer.h"

namespace {

using namespace std::chrono_literals;
using platform::ConnectResult;
using platform::TcpSocket;
using platform::WaitResult;

TcpSocket ConnectedTo(int port, const std::string& host = "127.0.0.1") {
    TcpSocket socket;
    EXPECT_TRUE(socket.Create());
    EXPECT_TRUE(socket.SetBlocking(true));
    EXPECT_EQ(socket.Connect(host, port, 2000ms), ConnectResult::kConnected) << host;
    return socket;
}

// A port on which nothing listens: bound once, then released.
int ClosedPort() {
    platform::TcpListener listener;
    EXPECT_TRUE(listener.Listen("127.0.0.1", 0));
    return listener.Port();
}

TEST(TcpSocketTest, ExchangesBytesWithAPeerReachedByAddressOrName) {
    for (const std::string host : {"127.0.0.1", "localhost"}) {
        std::string peer_got;
        LoopbackPeer peer([&](LoopbackPeer::Connection& connection) {
            peer_got = connection.ReadUntil("\r\n");
            connection.Send("world\r\n");
            connection.ReadToEnd();
        });
        TcpSocket socket = ConnectedTo(peer.port(), host);
        EXPECT_GT(socket.LocalPort(), 0);
        EXPECT_EQ(socket.Send("hello\r\n"), 7);
        ASSERT_EQ(socket.WaitReadable(2000ms), WaitResult::kReady);
        // Give the peer's single write time to arrive whole before counting it.
        for (int i = 0; i < 100 && socket.BytesWaiting() < 7; ++i) {
            std::this_thread::sleep_for(5ms);
        }
        EXPECT_EQ(socket.BytesWaiting(), 7);
        char buffer[32] = {};
        EXPECT_EQ(socket.Receive(buffer, sizeof(buffer)), 7);
        EXPECT_EQ(std::string(buffer, 7), "world\r\n");
        socket.Close();
        peer.Join();
        EXPECT_EQ(peer_got, "hello\r\n") << host;
    }
}

TEST(TcpSocketTest, ConnectFailuresTellAnUnknownHostFromOtherFailures) {
    const int closed_port = ClosedPort();
    struct Case {
        std::string host;
        int port;
        ConnectResult result;
        int error;
    };
    const Case cases[] = {
        {"no-such-host..invalid", 444, ConnectResult::kHostNotFound, EINVAL},
        {"", 444, ConnectResult::kHostNotFound, EINVAL},
        {"127.0.0.1", closed_port, ConnectResult::kFailed, ECONNREFUSED},
        {"127.0.0.1", 0, ConnectResult::kFailed, EINVAL},
        {"127.0.0.1", 70000, ConnectResult::kFailed, EINVAL},
    };
    for (const Case& c : cases) {
        TcpSocket socket;
        ASSERT_TRUE(socket.Create());
        EXPECT_EQ(socket.Connect(c.host, c.port, 1000ms), c.result) << c.host << ":" << c.port;
        EXPECT_EQ(socket.LastError(), c.error) << c.host << ":" << c.port;
    }
    TcpSocket never_created;
    EXPECT_EQ(never_created.Connect("127.0.0.1", closed_port, 100ms), ConnectResult::kFailed);
    EXPECT_EQ(never_created.LastError(), EBADF);
}

TEST(TcpSocketTest, ConnectThatCannotCompleteTimesOutRunningTheCallback) {
    // A listener with a full accept queue drops further connection requests, so the
    // last connect below stays pending until its time-out.
    platform::TcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0, 0));
    std::vector<TcpSocket> queued;
    for (int i = 0; i < 2; ++i) {
        TcpSocket socket;
        ASSERT_TRUE(socket.Create());
        static_cast<void>(socket.Connect("127.0.0.1", listener.Port(), 200ms));
        queued.push_back(std::move(socket));
    }
    TcpSocket socket;
    ASSERT_TRUE(socket.Create());
    int calls = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(socket.Connect("127.0.0.1", listener.Port(), 400ms, [&] { ++calls; }),
              ConnectResult::kFailed);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(socket.LastError(), ETIMEDOUT);
    EXPECT_GE(elapsed, 390ms);
    EXPECT_GE(calls, 3);
}

TEST(TcpSocketTest, ReadsReportSilenceOrderlyCloseAndReset) {
    LoopbackPeer quiet([](LoopbackPeer::Connection& connection) {
        connection.Pause(300ms);
        connection.Close();
    });
    TcpSocket socket = ConnectedTo(quiet.port());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(socket.WaitReadable(100ms), WaitResult::kTimedOut);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 95ms);
    EXPECT_EQ(socket.BytesWaiting(), 0);
    ASSERT_EQ(socket.WaitReadable(3000ms), WaitResult::kReady);
    char buffer[8];
    EXPECT_EQ(socket.Receive(buffer, sizeof(buffer)), 0);

    LoopbackPeer resetting([](LoopbackPeer::Connection& connection) {
        connection.ReadUntil("\n");
        connection.Reset();
    });
    TcpSocket reset = ConnectedTo(resetting.port());
    EXPECT_EQ(reset.Send("x\n"), 2);
    ASSERT_EQ(reset.WaitReadable(3000ms), WaitResult::kReady);
    EXPECT_EQ(reset.Receive(buffer, sizeof(buffer)), -1);
    EXPECT_EQ(reset.LastError(), ECONNRESET);
    // Writing to a connection the peer has reset fails instead of killing the process.
    EXPECT_EQ(reset.Send("more\n"), -1);
    EXPECT_TRUE(reset.LastError() == EPIPE || reset.LastError() == ECONNRESET) << reset.LastError();
}

TEST(TcpSocketTest, ClosedOrMovedFromSocketRefusesWork) {
    LoopbackPeer peer([](LoopbackPeer::Connection& connection) { connection.ReadToEnd(); });
    TcpSocket original = ConnectedTo(peer.port());
    TcpSocket moved = std::move(original);
    EXPECT_FALSE(original.IsOpen());  // NOLINT(bugprone-use-after-move): checked on purpose
    EXPECT_TRUE(moved.IsOpen());
    EXPECT_EQ(original.WaitReadable(10ms), WaitResult::kFailed);
    EXPECT_EQ(original.LastError(), EBADF);
    EXPECT_EQ(original.BytesWaiting(), -1);
    EXPECT_EQ(original.Send("x"), -1);
    moved.Close();
    EXPECT_FALSE(moved.IsOpen());
}

TEST(TcpListenerTest, AcceptTimesOutWithoutAClientAndRefusesBadAddresses) {
    platform::TcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
    EXPECT_GT(listener.Port(), 0);
    EXPECT_FALSE(listener.Accept(50ms).IsOpen());

    platform::TcpListener bad;
    EXPECT_FALSE(bad.Listen("not-an-address", 0));
    EXPECT_EQ(bad.LastError(), EINVAL);
    EXPECT_FALSE(bad.Listen("127.0.0.1", listener.Port()));  // already taken
    EXPECT_EQ(bad.LastError(), EADDRINUSE);
}

}  // namespace
