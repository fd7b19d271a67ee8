#include "transport/tvcomm.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "platform/profile/profile.h"
#include "tests/support/ptypair.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tapterminal.h"
#include "tests/support/tempdir.h"
#include "tests/transport/modemhost.h"

namespace {

using namespace std::chrono_literals;
using Row = RecordingHost::CommRow;
using SteadyClock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

std::chrono::milliseconds Since(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start);
}

bool Has(const Strings& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

class CommTest : public testing::Test {
  protected:
    CommTest() {
        MapPort("COM1", terminal_.device());
        timings_.answer = 1000ms;
        timings_.pause = 20ms;
        timings_.reset_settle = 20ms;
        timings_.dial = 3000ms;
        timings_.hang_up_settle = 20ms;
    }

    void MapPort(const std::string& name, const std::string& device) {
        platform::Profile profile;
        ASSERT_EQ(profile.WriteText(platform::ProfileScope::kMachine, "COMM", name, device),
                  platform::ProfileResult::kOk);
    }

    std::unique_ptr<tvComm> Link(tvModemSettings settings = {}, bool status_line = true) {
        auto link = std::make_unique<tvComm>(std::move(settings), host_, status_line);
        link->SetTimings(timings_);
        return link;
    }

    // The usual network line: 2400 bit/s, 7 data bits, even parity, 1 stop bit.
    static int DialUsual(tvComm& link, const std::string& phone = "5551234") {
        return link.Dial(2400, phone, 'E', 7, 1, 2);
    }

    // The info texts of the message-log rows.
    Strings InfoRows() const {
        Strings texts;
        for (const std::vector<std::string>& row : host_.log_rows) {
            texts.push_back(row.back());
        }
        return texts;
    }

    TempDir profiles_;
    ScopedEnv machine_{"TOLVANE_MACHINE_PROFILE", profiles_.file("machine.ini")};
    TapTerminal terminal_;
    ModemHost host_;
    tvCommTimings timings_;
};

TEST_F(CommTest, DialsInitialisesAndConnectsOnPortOneShownAsPortOne) {
    std::unique_ptr<tvComm> link = Link({0, "9,", ""});
    ASSERT_EQ(DialUsual(*link), 0);
    EXPECT_TRUE(link->IsOpen());
    EXPECT_EQ(host_.status_lines, (Strings{"Initializing Port 1\n", "Initializing Modem",
                                           "Modem Initialized", "Dialing Service", "Connected"}));
    EXPECT_EQ(terminal_.Commands(),
              (Strings{"ATZ", "ATX1 V1 S0=0", "ATS0=0", "ATE0", "ATV1", "ATX4", "ATDT9,5551234"}));
    EXPECT_EQ(terminal_.Dialled(), Strings{"9,5551234"});
    EXPECT_EQ(link->profile().init, "X1 V1 S0=0");
    EXPECT_TRUE(Has(host_.CommTexts(kCommSent), "ATDT9,5551234 - 7E1"));
    EXPECT_TRUE(Has(host_.CommTexts(kCommReceived), "CONNECT 2400"));
    // The pseudo-terminal's missing modem lines are noted once, not treated as failure.
    const Strings notes = host_.CommTexts(kCommNote);
    ASSERT_FALSE(notes.empty());
    EXPECT_NE(notes[0].find("carrier presence unknown"), std::string::npos);
    EXPECT_EQ(host_.beeps, 0);
    EXPECT_TRUE(host_.log_rows.empty());
    EXPECT_TRUE(terminal_.OnCall());

    // Without a status line the link's own texts are not shown.
    link->HangUp();
    host_.status_lines.clear();
    std::unique_ptr<tvComm> quiet = Link({0, "", ""}, false);
    ASSERT_EQ(DialUsual(*quiet), 0);
    EXPECT_TRUE(host_.status_lines.empty());
}

TEST_F(CommTest, ACustomInitialisationStringIsLoggedAndSentAfterTheStandardCommands) {
    std::unique_ptr<tvComm> link = Link({0, "", "&C1&D2 M0"});
    ASSERT_EQ(DialUsual(*link), 0);
    EXPECT_EQ(terminal_.Commands(), (Strings{"ATZ", "ATX1 V1 S0=0", "ATS0=0", "ATE0", "ATV1",
                                             "ATX4", "AT&C1&D2 M0", "ATDT5551234"}));
    EXPECT_EQ(link->profile().init, "&C1&D2 M0");
    EXPECT_TRUE(Has(host_.CommTexts(kCommSent), "&C1&D2 M0"));
    link->HangUp();

    // Only the first 250 characters are used.
    const std::string long_init = "S7=60" + std::string(300, ' ');
    std::unique_ptr<tvComm> cut = Link({0, "", long_init});
    ASSERT_EQ(DialUsual(*cut), 0);
    EXPECT_EQ(cut->profile().init, long_init.substr(0, 250));
}

TEST_F(CommTest, AModemThatRefusesTheResultCodeSetsIsStillUsed) {
    terminal_.RefuseCommands({"X4", "X3"});
    std::unique_ptr<tvComm> link = Link();
    ASSERT_EQ(DialUsual(*link), 0);
    Strings commands = terminal_.Commands();
    EXPECT_EQ(Strings(commands.begin() + 5, commands.end()),
              (Strings{"ATX4", "ATX3", "ATX2", "ATDT5551234"}));
    link->HangUp();

    terminal_.RefuseCommands({"X4", "X3", "X2", "X1", "X0", "S0=0", "E0", "V1"});
    std::unique_ptr<tvComm> stubborn = Link();
    ASSERT_EQ(DialUsual(*stubborn), 0);
    commands = terminal_.Commands();
    EXPECT_EQ(Strings(commands.end() - 6, commands.end()),
              (Strings{"ATX4", "ATX3", "ATX2", "ATX1", "ATX0", "ATDT5551234"}));
    EXPECT_TRUE(host_.log_rows.empty());
}

TEST_F(CommTest, EveryOpenFailureGivesOneTextOneRowAndOneBeep) {
    std::ofstream(profiles_.file("plain-file")) << "not a line";
    PtyPair silent;  // a port with nothing behind it
    struct Case {
        const char* what;
        tvModemSettings settings;
        std::string device;  // COM1's device for the case
        int rate;
        std::set<std::string> refused;
        std::string text;  // the failure text; a trailing '*' matches a prefix
    };
    const Case cases[] = {
        {"port number", {8, "", ""}, "", 2400, {}, "Unable to Open Communications Port"},
        {"missing device",
         {0, "", ""},
         profiles_.file("no-such-tty"),
         2400,
         {},
         "Error Opening Serial Port: device not found (" + profiles_.file("no-such-tty") + "*"},
        {"not a line",
         {0, "", ""},
         profiles_.file("plain-file"),
         2400,
         {},
         "Unable to Initialize Serial Port"},
        {"line format", {0, "", ""}, terminal_.device(), 12345, {}, "Error Setting Data Format"},
        {"init refused",
         {0, "", ""},
         terminal_.device(),
         2400,
         {"X1 V1 S0=0"},
         "Error Initializing Modem: 11"},
        {"no modem", {0, "", ""}, silent.slave_path(), 2400, {}, "Error Initializing Modem: 7"},
        {"custom init refused",
         {0, "", "&Q9"},
         terminal_.device(),
         2400,
         {"&Q9"},
         "Error Using Custom Initialization String: 11"},
    };
    timings_.answer = 300ms;
    for (const Case& c : cases) {
        if (!c.device.empty()) {
            MapPort("COM1", c.device);
        }
        terminal_.RefuseCommands(c.refused);
        host_.Reset();
        std::unique_ptr<tvComm> link = Link(c.settings);
        EXPECT_EQ(link->Dial(c.rate, "5551234", 'E', 7, 1, 2), 1) << c.what;
        EXPECT_EQ(host_.beeps, 1) << c.what;
        ASSERT_EQ(host_.log_rows.size(), 1u) << c.what;
        const std::string info = host_.log_rows[0].back();
        const Strings notes = host_.CommTexts(kCommNote);
        ASSERT_FALSE(notes.empty()) << c.what;
        EXPECT_EQ(notes.back(), info) << c.what;
        if (c.text.back() == '*') {
            EXPECT_EQ(info.substr(0, c.text.size() - 1), c.text.substr(0, c.text.size() - 1))
                << c.what;
        } else {
            EXPECT_EQ(info, c.text) << c.what;
        }
        EXPECT_FALSE(Has(host_.status_lines, "Dialing Service")) << c.what;
        // Nothing is left open to stand in the way of the next call.
        EXPECT_FALSE(link->IsOpen()) << c.what;
        platform::SerialPort next(c.device.empty() ? terminal_.device() : c.device, 16, 16);
        if (next.Open() != platform::kSerialNotATerminal) {
            EXPECT_NE(next.LastError(), platform::kSerialPortBusy) << c.what;
        }
    }
}

TEST_F(CommTest, AFailureAnswerEndsTheDialAtOnce) {
    const std::pair<TapTerminal::DialResult, const char*> answers[] = {
        {TapTerminal::DialResult::kBusy, "BUSY"},
        {TapTerminal::DialResult::kNoCarrier, "NO CARRIER"},
        {TapTerminal::DialResult::kNoAnswer, "NO ANSWER"},
        {TapTerminal::DialResult::kNoDialtone, "NO DIALTONE"},
        {TapTerminal::DialResult::kError, "ERROR"},
    };
    timings_.dial = 10000ms;
    for (const auto& [result, text] : answers) {
        terminal_.SetDialResult(result);
        host_.Reset();
        std::unique_ptr<tvComm> link = Link();
        const auto start = SteadyClock::now();
        EXPECT_EQ(DialUsual(*link), 1) << text;
        EXPECT_LT(Since(start), 2000ms) << text;
        EXPECT_EQ(host_.CommTexts(kCommReceived), Strings{text});
        EXPECT_FALSE(link->IsOpen()) << text;
        EXPECT_FALSE(Has(host_.status_lines, "Connected"));
        EXPECT_TRUE(host_.log_rows.empty()) << text;
    }
}

TEST_F(CommTest, ADialWithoutAnAnswerRunsOutItsBudget) {
    terminal_.SetDialResult(TapTerminal::DialResult::kSilent);
    timings_.dial = 1000ms;
    std::unique_ptr<tvComm> link = Link();
    const auto start = SteadyClock::now();
    EXPECT_EQ(DialUsual(*link), 1);
    EXPECT_GE(Since(start), 1000ms);
    EXPECT_FALSE(link->IsOpen());
    EXPECT_LE(host_.LongestPumpGap(), kPumpGapAllowance);
}

TEST_F(CommTest, HangUpEscapesHangsUpResetsAndCloses) {
    std::unique_ptr<tvComm> link = Link();
    ASSERT_EQ(DialUsual(*link), 0);
    const size_t before = terminal_.Commands().size();
    const auto start = SteadyClock::now();
    link->HangUp();
    EXPECT_GE(Since(start), 6 * timings_.pause);  // three pauses either side of "+++"
    EXPECT_FALSE(link->IsOpen());
    EXPECT_EQ(host_.status_lines.back(), "Hangup and Reset Modem");
    const Strings commands = terminal_.Commands();
    EXPECT_EQ(Strings(commands.begin() + static_cast<long>(before), commands.end()),
              (Strings{"ATH0", "ATZ"}));
    EXPECT_NE(terminal_.Received().find("+++ATH0\r"), std::string::npos);
    EXPECT_TRUE(terminal_.WaitForHangUps(1, 2000ms));
    EXPECT_FALSE(terminal_.OnCall());

    // Harmless when nothing is open.
    link->HangUp();
    link->Close();
    EXPECT_FALSE(link->IsOpen());
}

TEST_F(CommTest, AStopEndsADialPromptlyAndTheHangUpIsBrief) {
    terminal_.SetDialResult(TapTerminal::DialResult::kSilent);
    timings_ = tvCommTimings();  // the real budgets and pauses
    std::unique_ptr<tvComm> link = Link();
    host_.StopAfter(1500ms);
    auto start = SteadyClock::now();
    EXPECT_EQ(DialUsual(*link), 1);
    EXPECT_LT(Since(start), 2200ms);
    EXPECT_LE(host_.LongestPumpGap(), kPumpGapAllowance);

    // A call up when the stop comes is still hung up, in well under the usual time.
    terminal_.SetDialResult(TapTerminal::DialResult::kConnect);
    host_.Reset();
    std::unique_ptr<tvComm> call = Link();
    ASSERT_EQ(DialUsual(*call), 0);
    host_.stop_requested = true;
    start = SteadyClock::now();
    call->HangUp();
    EXPECT_LT(Since(start), 1500ms);
    EXPECT_FALSE(call->IsOpen());
    EXPECT_TRUE(terminal_.WaitForHangUps(1, 2000ms));
}

}  // namespace
