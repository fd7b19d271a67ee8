// The engine's life against a real database: start-up rows, the work cycle's due
// times, the receive-side switches, the stop, and the host library told of every
// status change.

#include "engine/tvserver.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "model/pagingcodes.h"
#include "tests/engine/serverfixture.h"
#include "tests/support/snpptestserver.h"

namespace {

using engine_testing::Computer;
using engine_testing::ServerFixture;
using std::chrono::seconds;

class tvServerTest : public ServerFixture {};

TEST_F(tvServerTest, StartsReadyAndStopsAtTheNextFiringAfterTheRequest) {
    tvServer& engine = StartEngine();
    EXPECT_EQ(status_line_.Text(), "Server Ready");
    // No name resolver here: the SMTP networks are off, and the message log says so.
    const std::vector<std::string> infos = InfoTexts();
    EXPECT_NE(std::find(infos.begin(), infos.end(), "Unable to Locate DNS"), infos.end());
    EXPECT_NE(std::find(infos.begin(), infos.end(), "EMail (SMTP) Networks Disabled"), infos.end());
    EXPECT_NE(std::find(infos.begin(), infos.end(), "Tolvane Ready (No Host Mode)"), infos.end())
        << "no host library beside this program";

    Fire();
    EXPECT_EQ(CountStatus("Looking for Messages"), 1u);
    EXPECT_EQ(status_line_.Text(), "Server Ready");

    engine.RequestStop();
    engine.RequestStop();  // harmless
    EXPECT_FALSE(engine.IsStopped()) << "acknowledged only by the next firing";
    Fire();
    EXPECT_TRUE(engine.IsStopped());
    EXPECT_EQ(status_line_.Text(), "Server Stopped");
    EXPECT_EQ(CountStatus("Looking for Messages"), 1u) << "no cycle after the stop";
}

TEST_F(tvServerTest, NoHostModeAndSmtpPortAreWrittenWithTheirDefaultsWhenMissing) {
    StartEngine();
    platform::Profile files;
    EXPECT_EQ(files.ReadNumber(platform::ProfileScope::kUser, "Settings", "NoHostMode", 999), 0);
    EXPECT_EQ(files.ReadNumber(platform::ProfileScope::kUser, "Settings", "SmtpPort", 999), 25);
}

TEST_F(tvServerTest, TheNextSendCycleIsDueOneIntervalAfterTheLastOneEnded) {
    SetOptions({{"SENDINTERVAL", 60}});
    // The send cycle takes 90 seconds of the clock.
    on_status_ = [this](const std::string& text) {
        if (text == "Looking for Messages") {
            time_.clock.Advance(seconds(90));
        }
    };
    StartEngine();
    const auto first_start = Now();
    Fire();  // the first cycle, due at once, ends 91 s after the start
    ASSERT_EQ(CountStatus("Looking for Messages"), 1u);
    const auto first_end = Now();
    ASSERT_EQ(first_end - first_start, seconds(91));

    // Measured from its start, the next cycle would be due right away.
    Fire();
    EXPECT_EQ(CountStatus("Looking for Messages"), 1u);
    FireAt(first_end + seconds(59));
    EXPECT_EQ(CountStatus("Looking for Messages"), 1u);
    FireAt(first_end + seconds(60));
    EXPECT_EQ(CountStatus("Looking for Messages"), 2u);
}

TEST_F(tvServerTest, QEnableImportOffSwitchesOffAlarmWatchAndTheFileGatewayTogether) {
    // Both switches on for this computer.
    platform::Profile files;
    ASSERT_EQ(files.WriteNumber(platform::ProfileScope::kMachine, "Settings", "Alarm Watch", 1),
              platform::ProfileResult::kOk);
    ASSERT_EQ(files.WriteNumber(platform::ProfileScope::kMachine, "Settings", "File Gateway", 1),
              platform::ProfileResult::kOk);
    main_->settings.LoadStartupSettings();
    main_->settings.SetDataDirectory(data_.dir());
    SetOptionText("QENABLEIMPORT", "N");
    SetOptionText("QENABLERECV", "Y");

    tvServer& engine = StartEngine();
    const std::vector<std::string> infos = InfoTexts();
    EXPECT_NE(std::find(infos.begin(), infos.end(), "Alarmwatch Enabled"), infos.end());
    EXPECT_NE(std::find(infos.begin(), infos.end(), "File Gateway Enabled"), infos.end());

    Fire();
    ASSERT_EQ(engine.ReceiveCycles(), 1u);
    EXPECT_EQ(engine.LastReceivePlan(), (tvReceivePlan{true, false, false}));

    SetOptionText("QENABLEIMPORT", "Y");
    engine.MarkSettingsChanged();
    Fire();
    ASSERT_EQ(engine.ReceiveCycles(), 2u);
    EXPECT_EQ(engine.LastReceivePlan(), (tvReceivePlan{true, true, true}));
}

// The host library of the tests records its calls in a file.
class tvServerHostTest : public ServerFixture {
  protected:
    std::vector<std::string> HostCalls() const {
        std::ifstream in(log_file_);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    TempDir host_dir_;
    std::string log_file_ = host_dir_.file("calls.log");
    ScopedEnv log_env_{"TVAPI_TEST_LOG", log_file_};
};

TEST_F(tvServerHostTest, TheHostHearsOfEveryStatusChangeOnceAndIsClosedAtTheEnd) {
    SnppTestServer carrier;
    const int32_t network = AddNetwork("Two-way", kProtocolSnppAck, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    const int32_t message = AddMessage(device, "hello");

    Computer* host_computer = AddComputer("alpha", HOSTLIB_FULL_DIR);
    tvServer& engine = StartEngine(host_computer);
    const std::vector<std::string> infos = InfoTexts();
    EXPECT_NE(std::find(infos.begin(), infos.end(), "Tolvane Ready (Host Interface Enabled)"),
              infos.end());

    Fire(seconds(1), &engine);
    ASSERT_EQ(StatusOf(message), kStatusSentPending);
    // Queried while the carrier still has it queued: no change, no notice.
    Fire(seconds(60), &engine);
    ASSERT_EQ(StatusOf(message), kStatusSentPending);
    carrier.DeliverAll();
    Fire(seconds(60), &engine);
    ASSERT_EQ(StatusOf(message), kStatusDelivered);
    host_computer->engine.reset();

    const std::string notice = "tvOnPageMsgStatusChange " + std::to_string(message);
    std::vector<std::string> notices;
    for (const std::string& call : HostCalls()) {
        if (call.rfind("tvOnPageMsgStatusChange", 0) == 0) {
            notices.push_back(call);
        }
    }
    EXPECT_EQ(notices, (std::vector<std::string>{notice, notice}));
    ASSERT_FALSE(HostCalls().empty());
    EXPECT_EQ(HostCalls().back(), "tvCloseFiles");
}

}  // namespace
