#include "platform/net/udpsocket.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>

namespace {

using namespace std::chrono_literals;

TEST(UdpSocketTest, DatagramsTravelBothWaysOnLoopback) {
    platform::UdpSocket server;
    ASSERT_TRUE(server.Open());
    ASSERT_TRUE(server.Bind("127.0.0.1", 0));
    ASSERT_GT(server.LocalPort(), 0);

    platform::UdpSocket client;
    ASSERT_TRUE(client.Open());
    EXPECT_EQ(client.WaitReadable(50ms), platform::WaitResult::kTimedOut);
    EXPECT_EQ(client.SendTo("query", "127.0.0.1", server.LocalPort()), 5);

    ASSERT_EQ(server.WaitReadable(2000ms), platform::WaitResult::kReady);
    char buffer[64];
    std::string from;
    int from_port = 0;
    ASSERT_EQ(server.ReceiveFrom(buffer, sizeof(buffer), &from, &from_port), 5);
    EXPECT_EQ(std::string(buffer, 5), "query");
    EXPECT_EQ(from, "127.0.0.1");
    EXPECT_EQ(from_port, client.LocalPort());

    // A datagram longer than the buffer is cut, not split over two reads.
    EXPECT_EQ(server.SendTo("answer-longer-than-buffer", from, from_port), 25);
    ASSERT_EQ(client.WaitReadable(2000ms), platform::WaitResult::kReady);
    EXPECT_EQ(client.ReceiveFrom(buffer, 6), 6);
    EXPECT_EQ(std::string(buffer, 6), "answer");
    EXPECT_EQ(client.WaitReadable(50ms), platform::WaitResult::kTimedOut);
}

TEST(UdpSocketTest, BadAddressesAndClosedSocketsFail) {
    platform::UdpSocket socket;
    EXPECT_EQ(socket.WaitReadable(10ms), platform::WaitResult::kFailed);
    EXPECT_EQ(socket.LastError(), EBADF);
    ASSERT_TRUE(socket.Open());
    EXPECT_EQ(socket.SendTo("x", "name.example", 53), -1);
    EXPECT_EQ(socket.LastError(), EINVAL);
    EXPECT_EQ(socket.SendTo("x", "127.0.0.1", 0), -1);
    EXPECT_FALSE(socket.Bind("127.0.0.1", 99999));
}

}  // namespace
