#include "transport/tvtapcarrier.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "model/pagingcodes.h"
#include "platform/profile/profile.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tapterminal.h"
#include "tests/support/tempdir.h"
#include "tests/transport/modemhost.h"
#include "transport/tapblock.h"
#include "transport/tapresponse.h"

namespace {

using namespace std::chrono_literals;
using Reply = TapTerminal::Reply;
using SteadyClock = std::chrono::steady_clock;
using Strings = std::vector<std::string>;

std::chrono::milliseconds Since(SteadyClock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start);
}

bool Has(const Strings& texts, const std::string& text) {
    return std::find(texts.begin(), texts.end(), text) != texts.end();
}

tvTapTimings ShortTimings() {
    tvTapTimings timings;
    timings.comm.answer = 1000ms;
    timings.comm.pause = 10ms;
    timings.comm.reset_settle = 10ms;
    timings.comm.dial = 2000ms;
    timings.comm.hang_up_settle = 10ms;
    timings.id_pause = 10ms;
    timings.id_budget = 200ms;
    timings.logon = 400ms;
    timings.go_ahead = 400ms;
    timings.tap_block = 400ms;
    timings.etap_block = 600ms;
    timings.next_answer = 400ms;
    timings.logoff = 400ms;
    return timings;
}

class TapCarrierTest : public testing::Test {
  protected:
    TapCarrierTest() {
        platform::Profile profile;
        EXPECT_EQ(
            profile.WriteText(platform::ProfileScope::kMachine, "COMM", "COM1", terminal_.device()),
            platform::ProfileResult::kOk);
        carrier_.SetTimings(ShortTimings());
        network_.number = 7;
        network_.description = "Carrier";
        network_.protocol = kProtocolTap;
        network_.phone = "5551234";
        network_.rate = 2400;
        network_.data_bits = 7;
        network_.parity = 'E';
        network_.stop_bits = 1;
        site_.modem_port = 0;
    }

    void UseEtap() { network_.protocol = kProtocolEtap; }

    // Connects and forgets what the logon logged.
    void Connect() {
        std::string error;
        ASSERT_EQ(carrier_.Connect(network_, site_, &error), 0) << error;
        ASSERT_TRUE(carrier_.Connected());
        EXPECT_EQ(error, "");
        host_.comm_rows.clear();
        host_.status_lines.clear();
    }

    // The error of a connect that must fail.
    std::string FailedConnect() {
        std::string error = "left over";
        EXPECT_EQ(carrier_.Connect(network_, site_, &error), 1);
        EXPECT_FALSE(carrier_.Connected());
        return error;
    }

    SendItem Item(const std::string& text, int mode = kModeSend, int status = kStatusQueued) {
        SendItem item;
        item.message_number = 42;
        item.text = text;
        item.pin = "5551234";
        item.mode = mode;
        item.status = status;
        item.protocol = network_.protocol;
        item.network_number = network_.number;
        item.network_name = network_.description;
        return item;
    }

    TempDir profiles_;
    ScopedEnv machine_{"TOLVANE_MACHINE_PROFILE", profiles_.file("machine.ini")};
    TapTerminal terminal_;
    ModemHost host_;
    tvTapCarrier carrier_{host_};
    tvCarrierNetwork network_;
    tvCarrierSite site_;
};

TEST_F(TapCarrierTest, TraitsOfAModemCarrier) {
    const tvCarrierTraits traits = carrier_.Traits();
    EXPECT_TRUE(traits.queries_status);
    EXPECT_TRUE(traits.can_cancel);
    EXPECT_FALSE(traits.one_page_per_visit);
    EXPECT_TRUE(traits.cleans_text);
    EXPECT_FALSE(traits.needs_sockets);
    EXPECT_FALSE(traits.needs_resolver);
    EXPECT_FALSE(traits.checks_inbound);
}

TEST_F(TapCarrierTest, LogsOnSendsAPageAndLogsOff) {
    std::string error;
    ASSERT_EQ(carrier_.Connect(network_, site_, &error), 0) << error;
    EXPECT_TRUE(carrier_.Connected());
    EXPECT_TRUE(host_.status_lines.empty());  // the engine's link shows no texts of its own
    const Strings sent = host_.CommTexts(kCommSent);
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[1], "[CR]");
    EXPECT_EQ(sent[2], "[ESC]PG1[CR]");
    EXPECT_EQ(host_.CommTexts(kCommReceived), (Strings{"CONNECT 2400", "ID=", "[ACK]", "[ESC][p"}));

    SendItem item = Item("Hello from Tolvane");
    EXPECT_EQ(carrier_.Send(item), tvHandOver::kDone);
    EXPECT_EQ(item.status, kStatusSent);
    EXPECT_EQ(item.exchange_result, 0);
    EXPECT_EQ(item.attempts, 0);
    EXPECT_EQ(item.response, "");
    EXPECT_EQ(host_.status_lines.back(), "Waiting for Service Response");
    const std::vector<TapTerminal::Page> pages = terminal_.Pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].pin, "5551234");
    EXPECT_EQ(pages[0].text, "Hello from Tolvane");
    const std::string block = *BuildPageBlock("5551234", "Hello from Tolvane", false);
    EXPECT_TRUE(Has(host_.CommTexts(kCommSent), ShowControls(block)));

    // A second page on the same call.
    SendItem second = Item("Second");
    EXPECT_EQ(carrier_.Send(second), tvHandOver::kDone);
    EXPECT_EQ(terminal_.Pages().size(), 2u);
    EXPECT_EQ(terminal_.Calls(), 1);

    host_.comm_rows.clear();
    carrier_.Disconnect();
    EXPECT_FALSE(carrier_.Connected());
    EXPECT_EQ(host_.CommTexts(kCommSent).front(), "[EOT][CR]");
    EXPECT_EQ(host_.CommTexts(kCommReceived).front(), "[ESC][EOT]");
    EXPECT_FALSE(terminal_.OnCall());
    const Strings commands = terminal_.Commands();
    EXPECT_EQ(Strings(commands.end() - 2, commands.end()), (Strings{"ATH0", "ATZ"}));
    carrier_.Disconnect();  // harmless once the call is over
    EXPECT_EQ(terminal_.Commands().size(), commands.size());
}

TEST_F(TapCarrierTest, OnlyASixCharacterPasswordIsSent) {
    const std::pair<std::string, std::string> cases[] = {
        {"abcdef", "abcdef"}, {"abcde", ""}, {"abcdefg", ""}, {"", ""}};
    for (const auto& [password, sent] : cases) {
        network_.password = password;
        host_.comm_rows.clear();
        Connect();
        carrier_.Disconnect();
        EXPECT_EQ(terminal_.Logons().back(), "\x1bPG1" + sent) << password;
    }
    network_.password = "abcdef";
    std::string error;
    ASSERT_EQ(carrier_.Connect(network_, site_, &error), 0);
    EXPECT_TRUE(Has(host_.CommTexts(kCommSent), "[ESC]PG1abcdef[CR]"));
}

TEST_F(TapCarrierTest, TheIdPromptIsAskedForUpToTenTimes) {
    terminal_.IgnoreIdRequests(3);
    terminal_.SetIdPromptCr(false);  // "ID=" without CR: recognised when the budget runs out
    Connect();
    EXPECT_EQ(terminal_.IdRequests(), 4);
    carrier_.Disconnect();

    terminal_.IgnoreIdRequests(100);
    const int before = terminal_.IdRequests();
    EXPECT_EQ(FailedConnect(), "Service Not Responding to PING");
    EXPECT_EQ(terminal_.IdRequests() - before, 10);
    EXPECT_EQ(host_.status_lines.back(), "Carrier not Responding");
    EXPECT_TRUE(Has(host_.CommTexts(kCommSent), "[EOT][CR]"));  // logged off
    EXPECT_FALSE(terminal_.OnCall());
}

TEST_F(TapCarrierTest, LogonAnswersDecideTheConnect) {
    struct Case {
        const char* what;
        std::vector<Reply> logon_replies;
        bool go_ahead;
        int result;
        std::string error;
        Strings status_lines;
        size_t logons;
    };
    const Case cases[] = {
        {"NAKs then ACK", {Reply::Nak(), Reply::Nak(), Reply::Ack()}, true, 0, "", {}, 3},
        {"refused",
         {Reply::Disconnect()},
         true,
         1,
         "Service Logon Rejected",
         {"Carrier Logon Rejected", "Carrier Logon Failed"},
         1},
        {"carrier lost",
         {Reply::NoCarrier()},
         true,
         1,
         "Service Lost Carrier",
         {"Lost Carrier", "Carrier Logon Failed"},
         1},
        {"no answer",
         {Reply::Silence()},
         true,
         1,
         "Service Logon Failed",
         {"Carrier Logon Failed"},
         1},
        {"message then nothing",
         {Reply::Raw("Message invalid password\r")},
         true,
         1,
         "Message invalid password",
         {"Carrier Logon Failed"},
         1},
        {"no go-ahead",
         {Reply::Ack()},
         false,
         1,
         "No Service Go Ahead Message",
         {"No Go Ahead Message from Carrier"},
         1},
        {"message instead of go-ahead",
         {Reply::Raw("\x06\rMessage system busy\r", true)},
         false,
         1,
         "Message system busy",
         {"No Go Ahead Message from Carrier"},
         1},
        {"carrier lost instead of go-ahead",
         {Reply::Raw("\x06\rNO CARRIER\r", true)},
         false,
         0,
         "",
         {},
         1},
    };
    for (const Case& c : cases) {
        terminal_.SetLogonReplies(c.logon_replies);
        terminal_.SetGoAhead(c.go_ahead);
        host_.Reset();
        const size_t before = terminal_.Logons().size();
        std::string error = "left over";
        EXPECT_EQ(carrier_.Connect(network_, site_, &error), c.result) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
        EXPECT_EQ(host_.status_lines, c.status_lines) << c.what;
        EXPECT_EQ(terminal_.Logons().size() - before, c.logons) << c.what;
        EXPECT_EQ(carrier_.Connected(), c.result == 0) << c.what;
        if (c.result != 0) {
            EXPECT_TRUE(Has(host_.CommTexts(kCommSent), "[EOT][CR]")) << c.what;
        }
        carrier_.Disconnect();
        EXPECT_FALSE(terminal_.OnCall()) << c.what;
    }
}

TEST_F(TapCarrierTest, AFailedDialIsReportedAsUnableToConnect) {
    terminal_.SetDialResult(TapTerminal::DialResult::kBusy);
    const auto start = SteadyClock::now();
    EXPECT_EQ(FailedConnect(), "Unable to Connect to Service");
    EXPECT_LT(Since(start), 1500ms);
    EXPECT_EQ(host_.status_lines, Strings{"Unable to Connect to Carrier"});
    EXPECT_EQ(host_.CommTexts(kCommReceived), Strings{"BUSY"});

    // No machine record: nothing to dial with, and no text of its own.
    site_.modem_port.reset();
    std::string error = "left over";
    EXPECT_EQ(carrier_.Connect(network_, site_, &error), 1);
    EXPECT_EQ(error, "");
}

TEST_F(TapCarrierTest, APageBlockCarriesAsMuchTextAsItHasRoomFor) {
    const std::string long_text(300, 'x');
    for (const int protocol : {kProtocolTap, kProtocolEtap}) {
        network_.protocol = protocol;
        Connect();
        SendItem item = Item(long_text);
        item.pin = "1234";
        EXPECT_EQ(carrier_.Send(item), tvHandOver::kDone);
        carrier_.Disconnect();
        const TapParsedBlock block = terminal_.Blocks().back();
        EXPECT_TRUE(block.checksum_ok);
        EXPECT_EQ(block.pin, "1234");
        EXPECT_EQ(block.text.size(), protocol == kProtocolTap ? 244u : 238u);
        EXPECT_EQ(block.raw.size(), kTapBlockLimit);
    }
}

TEST_F(TapCarrierTest, AConfidentialPageNeverShowsInTheCommunicationsLog) {
    Connect();
    SendItem item = Item("the secret text");
    item.confidential = true;
    EXPECT_EQ(carrier_.Send(item), tvHandOver::kDone);
    EXPECT_EQ(terminal_.Pages().back().text, "the secret text");
    EXPECT_TRUE(Has(host_.CommTexts(kCommSent), "<<CONFIDENTIAL PAGE SENT>>"));
    for (const RecordingHost::CommRow& row : host_.comm_rows) {
        EXPECT_EQ(row.text.find("secret"), std::string::npos) << row.text;
    }
}

TEST_F(TapCarrierTest, EtapReportsDecideDeliveredPendingAndCancelled) {
    UseEtap();
    terminal_.SetNextNumber(3001);
    Connect();

    terminal_.SetAutoDeliver(true);
    SendItem delivered = Item("at once");
    EXPECT_EQ(carrier_.Send(delivered), tvHandOver::kDone);
    EXPECT_EQ(delivered.status, kStatusDelivered);
    EXPECT_EQ(delivered.carrier_message_number, 3001);
    EXPECT_EQ(delivered.response, "Message 3001 successful");
    EXPECT_TRUE(terminal_.Blocks().back().kind == TapParsedBlock::Kind::kConfirmedPage);

    terminal_.SetAutoDeliver(false);
    SendItem pending = Item("later");
    EXPECT_EQ(carrier_.Send(pending), tvHandOver::kDone);
    EXPECT_EQ(pending.status, kStatusSentPending);
    EXPECT_EQ(pending.carrier_message_number, 3002);
    EXPECT_EQ(pending.response, "Message 3002 successful - not yet delivered");

    // Queries of the pending page: still pending, then delivered.
    SendItem query = Item("later", kModeStatus, kStatusSentPending);
    query.carrier_message_number = 3002;
    EXPECT_EQ(carrier_.Query(query), tvHandOver::kDone);
    EXPECT_EQ(query.status, kStatusSentPending);
    EXPECT_EQ(terminal_.Blocks().back().kind, TapParsedBlock::Kind::kQuery);
    EXPECT_EQ(terminal_.Blocks().back().number, 3002);
    terminal_.DeliverAll();
    EXPECT_EQ(carrier_.Query(query), tvHandOver::kDone);
    EXPECT_EQ(query.status, kStatusDelivered);
    EXPECT_EQ(query.carrier_message_number, 3002);

    // Cancels: one not yet delivered is cancelled, one delivered stays delivered.
    SendItem undelivered = Item("cancel me");
    EXPECT_EQ(carrier_.Send(undelivered), tvHandOver::kDone);
    SendItem cancel = Item("cancel me", kModeCancel, kStatusCancelling);
    cancel.carrier_message_number = undelivered.carrier_message_number;
    EXPECT_EQ(carrier_.Cancel(cancel), tvHandOver::kDone);
    EXPECT_EQ(terminal_.Blocks().back().kind, TapParsedBlock::Kind::kCancel);
    EXPECT_EQ(cancel.status, kStatusCancelled);

    SendItem too_late = Item("at once", kModeCancel, kStatusCancelling);
    too_late.carrier_message_number = 3001;
    EXPECT_EQ(carrier_.Cancel(too_late), tvHandOver::kDone);
    EXPECT_EQ(too_late.status, kStatusDelivered);
    EXPECT_EQ(too_late.response, "Message 3001 failed - already delivered");
    EXPECT_EQ(too_late.attempts, 0);

    // An unknown message cannot be cancelled: an attempt is counted.
    SendItem unknown = Item("?", kModeCancel, kStatusCancelling);
    unknown.carrier_message_number = 9999;
    EXPECT_EQ(carrier_.Cancel(unknown), tvHandOver::kDone);
    EXPECT_EQ(unknown.status, kStatusCancelling);
    EXPECT_EQ(unknown.attempts, 1);
}

TEST_F(TapCarrierTest, BlockAnswersSetTheExchangeResult) {
    struct Case {
        const char* what;
        int protocol;
        std::vector<Reply> replies;
        tvHandOver outcome;
        int exchange_result;
        int status;
        int attempts;
        std::string response;
        size_t blocks;  // blocks the terminal received
    };
    const std::string nak_text = "Transaction Rejected by Service (NAK)";
    const std::vector<Reply> six_naks(6, Reply::Nak());
    const Case cases[] = {
        {"ACK", kProtocolTap, {Reply::Ack()}, tvHandOver::kDone, 0, kStatusSent, 0, "", 1},
        {"ACK without CR",
         kProtocolTap,
         {Reply::Raw("\x06", true)},
         tvHandOver::kDone,
         0,
         kStatusSent,
         0,
         "",
         1},
        {"text before ACK",
         kProtocolTap,
         {Reply::Raw("xyz\x06\r", true)},
         tvHandOver::kDone,
         0,
         kStatusSent,
         0,
         "",
         1},
        {"RS",
         kProtocolTap,
         {Reply::Rs()},
         tvHandOver::kDone,
         1,
         kStatusQueued,
         1,
         "Transaction Rejected by Service (RS)",
         1},
        {"message then RS",
         kProtocolTap,
         {Reply::Raw("Message 5 failed\r\x1e\r")},
         tvHandOver::kDone,
         1,
         kStatusQueued,
         1,
         "Message 5 failed",
         1},
        {"disconnect",
         kProtocolTap,
         {Reply::Disconnect()},
         tvHandOver::kConnectionOver,
         3,
         kStatusQueued,
         1,
         "Service Requested Disconnect",
         1},
        {"carrier lost",
         kProtocolTap,
         {Reply::NoCarrier()},
         tvHandOver::kFailed,
         2,
         kStatusQueued,
         1,
         "Lost Carrier",
         1},
        {"two NAKs then ACK",
         kProtocolTap,
         {Reply::Nak(), Reply::Nak(), Reply::Ack()},
         tvHandOver::kDone,
         0,
         kStatusSent,
         0,
         "",
         3},
        {"six NAKs", kProtocolTap, six_naks, tvHandOver::kFailed, 2, kStatusQueued, 1, nak_text, 6},
        {"silence",
         kProtocolTap,
         {Reply::Silence()},
         tvHandOver::kFailed,
         2,
         kStatusQueued,
         1,
         "",
         1},
        {"ETAP ACK alone",
         kProtocolEtap,
         {Reply::Ack()},
         tvHandOver::kDone,
         0,
         kStatusQueued,
         1,
         "No response from Extended TAP Service",
         1},
        {"ETAP failed",
         kProtocolEtap,
         {Reply::Raw("Message 9 failed\r\x06\r")},
         tvHandOver::kDone,
         0,
         kStatusQueued,
         1,
         "Message 9 failed",
         1},
        {"ETAP other text",
         kProtocolEtap,
         {Reply::Raw("Message queued\r\x06\r")},
         tvHandOver::kDone,
         0,
         kStatusQueued,
         1,
         "Message queued",
         1},
        {"ETAP NAK then report",
         kProtocolEtap,
         {Reply::Nak(), Reply::Raw("Message 77 successful\r\x06\r")},
         tvHandOver::kDone,
         0,
         kStatusDelivered,
         0,
         "Message 77 successful",
         2},
    };
    for (const Case& c : cases) {
        network_.protocol = c.protocol;
        Connect();
        terminal_.SetBlockReplies(c.replies);
        const size_t before = terminal_.Blocks().size();
        SendItem item = Item("Hello");
        EXPECT_EQ(carrier_.Send(item), c.outcome) << c.what;
        EXPECT_EQ(item.exchange_result, c.exchange_result) << c.what;
        EXPECT_EQ(item.status, c.status) << c.what;
        EXPECT_EQ(item.attempts, c.attempts) << c.what;
        EXPECT_EQ(item.response, c.response) << c.what;
        EXPECT_EQ(terminal_.Blocks().size() - before, c.blocks) << c.what;
        for (size_t i = before; i < terminal_.Blocks().size(); ++i) {
            EXPECT_TRUE(terminal_.Blocks()[i].checksum_ok) << c.what;
        }
        if (std::string(c.what) == "text before ACK") {
            EXPECT_TRUE(Has(host_.CommTexts(kCommReceived), "[ACK] - NON-STANDARD"));
            EXPECT_TRUE(Has(host_.CommTexts(kCommReceived), "xyz[ACK]"));
        }
        carrier_.Disconnect();
        terminal_.SetBlockReplies({});
    }
}

TEST_F(TapCarrierTest, APageForADeviceWithoutPinRunsOutTheBudget) {
    for (const int protocol : {kProtocolTap, kProtocolEtap}) {
        network_.protocol = protocol;
        Connect();
        const size_t before = terminal_.Blocks().size();
        SendItem item = Item("nobody to page");
        item.pin.clear();
        host_.pumps.clear();
        const auto start = SteadyClock::now();
        EXPECT_EQ(carrier_.Send(item), tvHandOver::kFailed);
        const tvTapTimings timings = ShortTimings();
        EXPECT_GE(Since(start), protocol == kProtocolTap ? timings.tap_block : timings.etap_block);
        EXPECT_EQ(item.attempts, 1);
        EXPECT_EQ(item.exchange_result, 2);
        EXPECT_EQ(terminal_.Blocks().size(), before);
        EXPECT_LE(host_.LongestPumpGap(), kPumpGapAllowance);
        carrier_.Disconnect();
    }
}

TEST_F(TapCarrierTest, APinTooLongForTheBlockFailsTheMessageButNotTheCall) {
    Connect();
    SendItem item = Item("text");
    item.pin = std::string(300, '9');
    EXPECT_EQ(carrier_.Send(item), tvHandOver::kDone);
    EXPECT_EQ(item.status, kStatusError);
    EXPECT_EQ(item.response, kPinTooLong);
    EXPECT_TRUE(terminal_.Blocks().empty());

    SendItem query = Item("text", kModeStatus, kStatusSentPending);
    query.pin = std::string(300, '9');
    EXPECT_EQ(carrier_.Query(query), tvHandOver::kDone);
    EXPECT_EQ(query.status, kStatusSent);
    EXPECT_TRUE(terminal_.Blocks().empty());

    SendItem next = Item("next one");
    EXPECT_EQ(carrier_.Send(next), tvHandOver::kDone);
    EXPECT_EQ(next.status, kStatusSent);
}

TEST_F(TapCarrierTest, AStopEndsTheWaitSendsNothingMoreAndHangsUpBriefly) {
    tvTapTimings real;  // the real budgets: only the stop may end the wait early
    carrier_.SetTimings(real);
    Connect();
    terminal_.SetBlockReplies({Reply::Silence()});
    host_.StopAfter(1000ms);
    host_.pumps.clear();
    const auto start = SteadyClock::now();
    SendItem item = Item("never answered");
    EXPECT_EQ(carrier_.Send(item), tvHandOver::kFailed);
    EXPECT_LT(Since(start), 1700ms);
    EXPECT_LE(host_.LongestPumpGap(), kPumpGapAllowance);
    const size_t blocks = terminal_.Blocks().size();

    // Nothing more goes out, and nothing is said of the items: the call is over, not
    // the carrier's ability to send or cancel.
    SendItem after = Item("after the stop");
    EXPECT_EQ(carrier_.Send(after), tvHandOver::kConnectionOver);
    EXPECT_EQ(after.attempts, 0);
    EXPECT_EQ(after.status, kStatusQueued);
    SendItem cancel = Item("after the stop", kModeCancel, kStatusCancelling);
    cancel.carrier_message_number = 77;
    cancel.response = "Message 77 successful";
    EXPECT_EQ(carrier_.Cancel(cancel), tvHandOver::kConnectionOver);
    EXPECT_EQ(cancel.status, kStatusCancelling);
    EXPECT_EQ(cancel.response, "Message 77 successful");
    EXPECT_EQ(cancel.attempts, 0);
    EXPECT_EQ(terminal_.Blocks().size(), blocks);

    const auto logoff = SteadyClock::now();
    carrier_.Disconnect();
    EXPECT_LT(Since(logoff), 1500ms);
    EXPECT_FALSE(carrier_.Connected());
    // The logoff and the hang-up string still went out.
    const std::string received = terminal_.Received();
    const size_t eot = received.rfind("\x04\r");
    ASSERT_NE(eot, std::string::npos);
    EXPECT_NE(received.find("+++ATH0\r", eot), std::string::npos);
    EXPECT_FALSE(terminal_.OnCall());
}

}  // namespace
