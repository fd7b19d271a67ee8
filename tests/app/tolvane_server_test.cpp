// The whole program as a server: `tolvane init`, a network and a device on a loopback
// SNPP carrier, a queued page, then `tolvane --headless` until `tolvane list messages`
// shows the page's new status, stopped with SIGTERM like the closing of the Server
// tab: a clean exit and the server lock given back.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/app/serverprogramfixture.h"

namespace {

using namespace app_testing;

class TolvaneServerTest : public ServerProgramFixture {
  protected:
    // A database with one network on the carrier, one device and one queued page.
    void PrepareDatabase(int protocol) {
        ServerProgramFixture::PrepareDatabase(protocol, carrier_.port());
    }

    SnppTestServer carrier_;
};

TEST_F(TolvaneServerTest, WithoutAModemPortTheServerAsksToBeConfigured) {
    ASSERT_EQ(Tolvane({"init"}).exit_status, 0);
    const ProgramResult result = RunProgram(ServerArguments());
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find("You must configure the server before starting."), std::string::npos)
        << result.err;
}

TEST_F(TolvaneServerTest, ALockHeldByAnotherComputerEndsTheServerWithoutSending) {
    PrepareDatabase(kProtocolSnpp);
    SetLockHolder(12345);
    const ProgramResult result = RunProgram(ServerArguments());
    EXPECT_EQ(result.exit_status, 1);
    const size_t refused =
        result.out.find("Status: Server unable to start.  Already running on different computer!");
    ASSERT_NE(refused, std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Status: Server Stopped", refused), std::string::npos) << result.out;
    EXPECT_EQ(ListedStatus(), "Queued");
    EXPECT_EQ(carrier_.Connections(), 0);
    EXPECT_EQ(LockHolder(), 12345);
}

TEST_F(TolvaneServerTest, AOneWayPageIsSentAndTheServerStopsCleanly) {
    PrepareDatabase(kProtocolSnpp);
    ASSERT_EQ(ListedStatus(), "Queued");
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    ASSERT_TRUE(server.WaitForOutput("Status: Server Ready", seconds(20))) << server.Errors();
    EXPECT_NE(LockHolder(), 0);

    // A second server for the same user is refused while this one runs.
    const ProgramResult second = RunProgram(ServerArguments());
    EXPECT_EQ(second.exit_status, 1);
    EXPECT_NE(second.err.find("already running"), std::string::npos) << second.err;

    EXPECT_TRUE(WaitForListedStatus("Sent")) << server.Output();
    const std::vector<SnppTestServer::Page> pages = carrier_.Pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].pin, "5551234");
    EXPECT_EQ(pages[0].message, "Hello from Tolvane");
    EXPECT_TRUE(server.WaitForOutput("Pager | Carrier | Sent", seconds(10))) << server.Output();
    StopServer(server);
}

TEST_F(TolvaneServerTest, ATwoWayPageIsPendingUntilTheCarrierReportsItDelivered) {
    PrepareDatabase(kProtocolSnppAck);
    ChildProcess server;
    ASSERT_TRUE(server.Start(ServerArguments()));
    EXPECT_TRUE(WaitForListedStatus("Sent/Pending")) << server.Output() << server.Errors();
    carrier_.DeliverAll();
    EXPECT_TRUE(WaitForListedStatus("Delivered")) << server.Output();
    StopServer(server);
}

}  // namespace
