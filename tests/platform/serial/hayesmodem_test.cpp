#include "platform/serial/hayesmodem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "tests/support/ptypair.h"
#include "tests/support/tapterminal.h"

namespace {

using namespace std::chrono_literals;
using namespace platform;
using SteadyClock = std::chrono::steady_clock;

std::chrono::milliseconds Since(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start);
}

// A modem object on a pty whose other end the test drives by hand.
class HayesModemTest : public testing::Test {
  protected:
    HayesModemTest() : port_(pty_.slave_path(), 4096, 2048), modem_(port_) {
        EXPECT_EQ(port_.Open(), kSerialOk) << port_.LastErrorText();
        modem_.SetAnswer(400ms, "OK");
        modem_.SetPause(100ms);
    }

    PtyPair pty_;
    SerialPort port_;
    HayesModem modem_;
};

TEST_F(HayesModemTest, ACommandIsPrefixedTerminatedAndWaitsForItsAnswer) {
    struct Case {
        const char* answer;  // waiting before the command goes out
        int result;
    };
    const Case cases[] = {
        {"\r\nOK\r\n", kSerialOk},
        {"0\r", kSerialOk},                 // numeric result codes
        {"ATS0=0\r\r\nOK\r\n", kSerialOk},  // the echo first
        {"\r\nERROR\r\n", kSerialModemRefused},
        {"4\r", kSerialModemRefused},
        {"\r\nRING\r\n", kSerialTimedOut},  // anything else is read past
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(pty_.Write(c.answer));
        EXPECT_EQ(modem_.Command("S0=0"), c.result) << c.answer;
        EXPECT_EQ(pty_.ReadFor(50ms), "ATS0=0\r") << c.answer;
    }
}

TEST_F(HayesModemTest, ARefusalEndsTheWaitAtOnceAndSilenceRunsOutTheTimeOut) {
    auto start = SteadyClock::now();
    ASSERT_TRUE(pty_.Write("ERROR\r"));
    EXPECT_EQ(modem_.Command("X4"), kSerialModemRefused);
    EXPECT_LT(Since(start), 300ms);

    start = SteadyClock::now();
    EXPECT_EQ(modem_.Command("X3"), kSerialTimedOut);
    EXPECT_GE(Since(start), 390ms);
    EXPECT_LT(Since(start), 1500ms);
}

TEST_F(HayesModemTest, TildesArePausesAndAreNotSent) {
    const auto start = SteadyClock::now();
    ASSERT_EQ(modem_.SendString("~~+++~~ATH0"), kSerialOk);
    EXPECT_GE(Since(start), 390ms);
    EXPECT_EQ(pty_.ReadFor(50ms), "+++ATH0\r");

    ASSERT_EQ(modem_.Dial(true, "9,5551234"), kSerialOk);
    EXPECT_EQ(pty_.ReadFor(50ms), "ATDT9,5551234\r");
    ASSERT_EQ(modem_.Dial(false, "5551234"), kSerialOk);
    EXPECT_EQ(pty_.ReadFor(50ms), "ATDP5551234\r");
}

TEST_F(HayesModemTest, ReadLineCollectsUpToACarriageReturn) {
    std::string line;
    ASSERT_TRUE(pty_.Write("ab\ncd\r\nnext\r"));
    EXPECT_GT(modem_.ReadLine(&line, 128, 1000ms), 0);
    EXPECT_EQ(line, "abcd");
    EXPECT_GT(modem_.ReadLine(&line, 128, 1000ms), 0);
    EXPECT_EQ(line, "next");

    // At most size - 1 characters; the rest is the next line, and a carriage return
    // right after a full line ends that line, not the next.
    ASSERT_TRUE(pty_.Write("abcdef\rgh\r"));
    EXPECT_GT(modem_.ReadLine(&line, 4, 1000ms), 0);
    EXPECT_EQ(line, "abc");
    EXPECT_GT(modem_.ReadLine(&line, 4, 1000ms), 0);
    EXPECT_EQ(line, "def");
    EXPECT_GT(modem_.ReadLine(&line, 4, 1000ms), 0);
    EXPECT_EQ(line, "gh");

    // Without a carriage return the line is what came when the time is up.
    ASSERT_TRUE(pty_.Write("\x06"));
    const auto start = SteadyClock::now();
    EXPECT_EQ(modem_.ReadLine(&line, 128, 300ms), 0);
    EXPECT_EQ(line, "\x06");
    EXPECT_GE(Since(start), 290ms);

    // A budget of 0 still takes what is already waiting.
    ASSERT_TRUE(pty_.Write("ID="));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(modem_.ReadLine(&line, 128, 0ms), 0);
    EXPECT_EQ(line, "ID=");
}

TEST_F(HayesModemTest, TimeIsSpentOnlyWhileNothingIsWaiting) {
    // A long line already waiting is read whole on a budget of almost nothing.
    ASSERT_TRUE(pty_.Write(std::string(300, 'x') + "\r"));
    std::this_thread::sleep_for(50ms);
    std::string line;
    EXPECT_GE(modem_.ReadLine(&line, 512, 1ms), 0);
    EXPECT_EQ(line, std::string(300, 'x'));

    // Two bursts 100 ms apart on a 400 ms budget: about 100 ms of it is used (more on
    // a loaded machine, where the writer may wake late).
    std::thread writer([this] {
        static_cast<void>(pty_.Write("first half "));
        std::this_thread::sleep_for(100ms);
        static_cast<void>(pty_.Write("second half\r"));
    });
    const long left = modem_.ReadLine(&line, 128, 400ms);
    writer.join();
    EXPECT_EQ(line, "first half second half");
    EXPECT_GT(left, 100);
    EXPECT_LE(left, 310);
}

TEST_F(HayesModemTest, TheWaitHookRunsOftenAndCanEndEveryWait) {
    int calls = 0;
    bool keep_waiting = true;
    modem_.SetWaitHook([&] {
        ++calls;
        return keep_waiting;
    });
    std::string line;
    EXPECT_EQ(modem_.ReadLine(&line, 128, 600ms), 0);
    EXPECT_GE(calls, 4);  // every 100 ms, with room for a loaded machine

    keep_waiting = false;
    const auto start = SteadyClock::now();
    EXPECT_EQ(modem_.ReadLine(&line, 128, 10000ms), 0);
    modem_.SetAnswer(10000ms, "OK");
    EXPECT_EQ(modem_.Command("Z"), kSerialAbandoned);
    EXPECT_FALSE(modem_.Pause(10000ms));
    EXPECT_FALSE(modem_.DiscardFor(10000ms));
    EXPECT_LT(Since(start), 1000ms);
}

TEST(HayesModemLineTest, ALineThatFailsEndsAReadWithAnError) {
    auto pair = std::make_unique<PtyPair>();
    SerialPort port(pair->slave_path(), 4096, 2048);
    ASSERT_EQ(port.Open(), kSerialOk);
    HayesModem modem(port);
    pair.reset();  // the other end is gone: the line hung up
    std::string line;
    const auto start = SteadyClock::now();
    EXPECT_EQ(modem.ReadLine(&line, 128, 5000ms), -1);
    EXPECT_EQ(port.LastError(), kSerialIoError);
    EXPECT_LT(Since(start), 1000ms);
}

TEST(HayesModemInitialiseTest, ResetsInitialisesAndNoticesTheEcho) {
    TapTerminal terminal;
    ASSERT_TRUE(terminal.ok());
    SerialPort port(terminal.device(), 4096, 2048);
    ASSERT_EQ(port.Open(), kSerialOk);
    HayesModem modem(port);
    modem.SetAnswer(2000ms, "OK");
    EXPECT_EQ(modem.profile().init, "X1 V1 S0=0");
    EXPECT_EQ(modem.profile().hang_up, "~~~+++~~~ATH0");

    ASSERT_EQ(modem.Initialise(), kSerialOk);
    EXPECT_TRUE(modem.Echoes());  // the terminal echoes after a reset
    EXPECT_EQ(terminal.Commands(), (std::vector<std::string>{"ATZ", "ATX1 V1 S0=0"}));

    ASSERT_EQ(modem.Command("E0"), kSerialOk);
    ASSERT_EQ(modem.Initialise(), kSerialOk);  // the reset turns the echo on again
    EXPECT_TRUE(modem.Echoes());

    terminal.RefuseCommands({"X1 V1 S0=0"});
    EXPECT_EQ(modem.Initialise(), kSerialModemRefused);
    EXPECT_EQ(modem.CarrierPresent(), std::nullopt);  // a pty cannot tell
}

}  // namespace
