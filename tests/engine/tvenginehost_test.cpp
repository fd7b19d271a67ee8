#include "engine/tvenginehost.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/engine/enginetestwork.h"

namespace {

TEST(tvEngineHostTest, RoutesReportsFlagsAndWaitsToTheEngine) {
    ManualClockScope time{2024, 5, 1, 10, 0, 59};
    EngineTestWork work;
    cvStatusStatic status_line;
    cvLogBox message_log;
    cvLogBox comm_log(cvLogOrder::kOldestFirst);
    tvEngineReporter reporter;
    reporter.Attach(&status_line, &message_log, &comm_log);
    tvEngineTimer timer(work, reporter);
    tvEngineHost host(reporter, timer);
    tvTransportHost& transport_side = host;

    transport_side.SetStatusLine("Connecting to Metro");
    transport_side.LogRow("", "", "", "", "note");
    transport_side.LogComm("9->", "PAGE 555");
    EXPECT_EQ(status_line.Text(), "Connecting to Metro");
    EXPECT_EQ(message_log.Rows().at(0).back(), "note");
    EXPECT_EQ(comm_log.Rows().at(0).at(1), "9->");

    EXPECT_FALSE(transport_side.SocketsAvailable());
    host.SetSocketsAvailable(true);
    EXPECT_TRUE(transport_side.SocketsAvailable());

    EXPECT_FALSE(transport_side.StopRequested());
    timer.RequestStop();
    EXPECT_TRUE(transport_side.StopRequested());

    // A wait fires the timer once its period is up: here it acknowledges the stop.
    timer.MarkInitialised();
    timer.Arm();
    transport_side.PumpWhileWaiting();
    EXPECT_FALSE(timer.IsStopped());
    time.clock.Advance(std::chrono::seconds(1));
    transport_side.PumpWhileWaiting();
    EXPECT_TRUE(timer.IsStopped());
    EXPECT_EQ(status_line.Text(), "Server Stopped");
}

}  // namespace
