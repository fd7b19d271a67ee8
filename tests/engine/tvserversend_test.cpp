// The send cycle against a loopback SNPP carrier: splitting and shortening, empty
// texts, back-off, the attempt limit, status queries, one visit per page, schedules,
// refused cancels, messages without a device, and the transports not carried here.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "model/pagingcodes.h"
#include "model/pagingobjecttypes.h"
#include "model/tvpagemsg.h"
#include "platform/net/tcplistener.h"
#include "tests/engine/serverfixture.h"
#include "tests/support/snpptestserver.h"

namespace {

using engine_testing::ServerFixture;
using std::chrono::seconds;
using Action = SnppTestServer::Action;

class tvServerSendTest : public ServerFixture {
  protected:
    // The MESS texts the carrier received, in order.
    static std::vector<std::string> Messages(const SnppTestServer& carrier) {
        std::vector<std::string> texts;
        for (const std::string& command : carrier.Commands()) {
            if (command.rfind("MESS ", 0) == 0) {
                texts.push_back(command.substr(5));
            }
        }
        return texts;
    }
    static size_t CountCommands(const SnppTestServer& carrier, const std::string& prefix) {
        const std::vector<std::string> commands = carrier.Commands();
        return static_cast<size_t>(
            std::count_if(commands.begin(), commands.end(),
                          [&](const auto& c) { return c.rfind(prefix, 0) == 0; }));
    }
};

// Words of five letters and a blank: 250 characters in all.
std::string LongText() {
    std::string text;
    for (int word = 0; text.size() < 250; ++word) {
        text += std::string(5, static_cast<char>('a' + word % 26));
        text += ' ';
    }
    text.resize(250);
    return text;
}

TEST_F(tvServerSendTest, ALongTextGoesAsNumberedPiecesCutAtBlanks) {
    SnppTestServer carrier;
    const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "5551234", 100);
    const std::string text = LongText();
    const int32_t message = AddMessage(device, text);
    StartEngine();
    Fire();

    EXPECT_EQ(StatusOf(message), kStatusSent);
    EXPECT_EQ(carrier.Connections(), 1);
    const std::vector<SnppTestServer::Page> pages = carrier.Pages();
    ASSERT_EQ(pages.size(), 3u);
    std::string joined;
    for (size_t i = 0; i < pages.size(); ++i) {
        const std::string prefix = std::to_string(i + 1) + "of3: ";
        const std::string& sent = pages[i].message;
        EXPECT_LE(sent.size(), 100u) << sent;
        ASSERT_EQ(sent.rfind(prefix, 0), 0u) << sent;
        EXPECT_EQ(pages[i].pin, "5551234");
        const std::string piece = sent.substr(prefix.size());
        if (i + 1 < pages.size()) {
            // Cut at a blank: the piece ends a word and the next piece begins one.
            EXPECT_EQ(piece.back(), piece[piece.size() - 5]) << piece;
            EXPECT_EQ(text[joined.size() + piece.size()], ' ') << piece;
        }
        joined += piece;
        if (i + 1 < pages.size()) {
            joined += ' ';
        }
    }
    EXPECT_EQ(joined, text.substr(0, text.find_last_not_of(' ') + 1));
}

TEST_F(tvServerSendTest, ATextOfBlanksAndLineFeedsGoesToErrorWithoutTraffic) {
    SnppTestServer carrier;
    const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    const int32_t message = AddMessage(device, "  \n \n\n   ");
    StartEngine();
    Fire();

    const auto stored = ReadMessage(message);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->status, kStatusError);
    EXPECT_EQ(stored->response, "Empty Message");
    EXPECT_EQ(stored->attempts, 0);
    EXPECT_EQ(carrier.Connections(), 0);
    const auto rows = message_log_.Rows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front(), (std::vector<std::string>{rows.front()[0], "Pager", "Carrier", "Error",
                                                      "0", "Empty Message"}));
}

TEST_F(tvServerSendTest, TheCarrierNotTakingThePageShortensTheLimitUntilEighty) {
    SnppTestServer carrier;
    carrier.OnCommand("MESS", Action::Reply("554 Message too long"));
    const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234", 240);
    const std::string text(150, 'x');
    const int32_t message = AddMessage(device, text);
    StartEngine();
    Fire();

    // Limits 240, 200, 160 take the text whole; 120 cuts it in two pieces, 80 in
    // three. Every piece is handed over and every refusal counts an attempt; after
    // the limit of 80 the page is given up.
    const std::vector<std::string> sent = Messages(carrier);
    ASSERT_EQ(sent.size(), 8u);
    EXPECT_EQ(sent[0], text);
    EXPECT_EQ(sent[2], text);
    const char* prefixes[] = {"1of2: ", "2of2: ", "1of3: ", "2of3: ", "3of3: "};
    for (size_t i = 0; i < std::size(prefixes); ++i) {
        EXPECT_EQ(sent[3 + i].rfind(prefixes[i], 0), 0u) << sent[3 + i];
        EXPECT_LE(sent[3 + i].size(), i < 2 ? 120u : 80u);
    }
    const auto stored = ReadMessage(message);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->status, kStatusError);
    EXPECT_EQ(stored->attempts, 8);
    EXPECT_EQ(carrier.Connections(), 1);
}

TEST_F(tvServerSendTest, ALostConnectionLeavesThePageQueuedForTheNextVisit) {
    SnppTestServer carrier;
    carrier.OnCommand("MESS", Action::Reply("421 Going away").ThenClose(), 1);
    const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    const int32_t message = AddMessage(device, "hello");
    StartEngine();
    Fire();

    // The first visit lost its connection; the send loop came back with a new one.
    const auto stored = ReadMessage(message);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->status, kStatusSent);
    EXPECT_EQ(stored->attempts, 1);
    EXPECT_EQ(carrier.Connections(), 2);
    EXPECT_EQ(carrier.Pages().size(), 1u);
}

TEST_F(tvServerSendTest, FailedConnectionsBackTheNetworkOffLongerEachTimeUntilOneOpens) {
    SnppTestServer carrier;
    carrier.SetGreeting(Action::Reply("421 Too busy").ThenClose());
    const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    // Each failure counts on one page; two pages last for more than 32 failures.
    const int32_t first = AddMessage(device, "one");
    const int32_t second = AddMessage(device, "two");
    StartEngine();
    Fire();
    ASSERT_EQ(carrier.Connections(), 1);

    std::vector<int> waits;
    for (int k = 1; k <= 30; ++k) {
        waits.push_back(10 * k);
    }
    waits.push_back(310);
    waits.push_back(310);
    auto last = Now();
    int expected = 1;
    for (const int wait : waits) {
        FireAt(last + seconds(wait - 1));
        ASSERT_EQ(carrier.Connections(), expected) << "too early for the wait of " << wait;
        FireAt(last + seconds(wait));
        ASSERT_EQ(carrier.Connections(), ++expected) << "the wait of " << wait;
        last = Now();
    }
    EXPECT_EQ(StatusOf(first), kStatusQueued);
    EXPECT_EQ(StatusOf(second), kStatusQueued);

    // One connection that opens clears the count.
    carrier.SetGreeting(Action::Reply("220 Ready"));
    FireAt(last + seconds(310));
    EXPECT_EQ(StatusOf(first), kStatusSent);
    EXPECT_EQ(StatusOf(second), kStatusSent);
    expected = carrier.Connections();
    carrier.SetGreeting(Action::Reply("421 Too busy").ThenClose());
    AddMessage(device, "three");
    Fire();
    ASSERT_EQ(carrier.Connections(), ++expected);
    last = Now();
    FireAt(last + seconds(9));
    EXPECT_EQ(carrier.Connections(), expected);
    FireAt(last + seconds(10));
    EXPECT_EQ(carrier.Connections(), expected + 1);
}

TEST_F(tvServerSendTest, TwentyFailuresLeaveThePageQueuedAndTheTwentyFirstSetsError) {
    SnppTestServer carrier;
    carrier.SetGreeting(Action::Reply("421 Too busy").ThenClose());
    const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    const int32_t message = AddMessage(device, "hello");
    StartEngine();
    for (int failure = 1; failure <= 20; ++failure) {
        Fire(seconds(310));
    }
    auto stored = ReadMessage(message);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->status, kStatusQueued);
    EXPECT_EQ(stored->attempts, 20);
    EXPECT_FALSE(stored->response.empty()) << "the transport's error text";

    Fire(seconds(310));
    stored = ReadMessage(message);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->status, kStatusError);
    EXPECT_EQ(stored->attempts, 20);
    EXPECT_EQ(carrier.Connections(), 21);
}

TEST_F(tvServerSendTest, ASentPendingPageOnAOneWayNetworkBecomesSentWithoutTraffic) {
    SnppTestServer carrier;
    const int32_t network = AddNetwork("One-way", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    const int32_t message = AddMessage(device, "hello", {.status = kStatusSentPending});
    StartEngine();
    Fire();
    EXPECT_EQ(StatusOf(message), kStatusSent);
    EXPECT_EQ(carrier.Connections(), 0);
}

TEST_F(tvServerSendTest, TwoDuePagesMakeTwoVisitsEachWithItsOwnConnection) {
    SnppTestServer carrier;
    const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    const int32_t first = AddMessage(device, "first");
    const int32_t second = AddMessage(device, "second");
    StartEngine();
    Fire();

    EXPECT_EQ(StatusOf(first), kStatusSent);
    EXPECT_EQ(StatusOf(second), kStatusSent);
    EXPECT_EQ(carrier.Connections(), 2);
    EXPECT_TRUE(carrier.WaitForClosedConnections(2));
    EXPECT_EQ(CountStatus("Processing: Carrier"), 2u);
    EXPECT_EQ(CountStatus("Connecting to Carrier"), 2u);
    const std::vector<std::string> transcripts = carrier.Transcripts();
    ASSERT_EQ(transcripts.size(), 2u);
    for (const std::string& transcript : transcripts) {
        EXPECT_NE(transcript.find("QUIT"), std::string::npos) << "closed at the end of its visit";
    }
}

TEST_F(tvServerSendTest, AConfidentialPageReachesTheCarrierAsTypedButIsLoggedAsConfidential) {
    static_cast<void>(RegisterPagingObjectTypes());
    SnppTestServer carrier;
    const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    int32_t number = 0;
    {
        cvBobRef<tvPageMsg> message = tvPageMsg::Create(main_->files);
        ASSERT_TRUE(message);
        ASSERT_NE(message->PutString("QCONFIDENTIAL", "Y"), 0);
        ASSERT_NE(message->PutInt("PAGEDEVNBR", device), 0);
        ASSERT_NE(message->PutString("TEXT", "meet at noon"), 0);
        ASSERT_EQ(message->Save(), 0);
        number = message->Number();
        static_cast<void>(message.DropAndReset());
    }
    StartEngine();
    Fire();

    EXPECT_EQ(StatusOf(number), kStatusSent);
    const std::vector<SnppTestServer::Page> pages = carrier.Pages();
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].message, "meet at noon");
    bool confidential_logged = false;
    for (const std::vector<std::string>& row : comm_log_.Rows()) {
        for (const std::string& cell : row) {
            EXPECT_EQ(cell.find("meet at noon"), std::string::npos) << cell;
            confidential_logged =
                confidential_logged || cell.find("Confidential") != std::string::npos;
        }
    }
    EXPECT_TRUE(confidential_logged);
}

TEST_F(tvServerSendTest, APageScheduledLaterWaitsUntilItsTime) {
    SnppTestServer carrier;
    const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    // Today at 10:05; the clock starts at 10:00.
    const int32_t later =
        AddMessage(device, "later", {.date = PackDate(2024, 5, 1), .time = PackTime(10, 5, 0)});
    StartEngine();
    Fire();
    FireAt(platform::MakeLocalTime(2024, 5, 1, 10, 4, 59));
    EXPECT_EQ(StatusOf(later), kStatusQueued);
    EXPECT_EQ(carrier.Connections(), 0);
    FireAt(platform::MakeLocalTime(2024, 5, 1, 10, 5, 0));
    EXPECT_EQ(StatusOf(later), kStatusSent);
}

TEST_F(tvServerSendTest, TwoWayPagesArePendingUntilTheCarrierReportsThemDelivered) {
    SetOptions({{"STATUSINTERVAL", 0}});
    SnppTestServer carrier;
    const int32_t network = AddNetwork("Two-way", kProtocolSnppAck, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    const int32_t message = AddMessage(device, "hello");
    StartEngine();
    Fire();
    auto stored = ReadMessage(message);
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->status, kStatusSentPending);
    EXPECT_NE(stored->carrier_number, 0);

    // Without a status interval the network is due for queries at once, so the page
    // was queried right after it was sent; yet a page queried in a send loop is not
    // queried again in it.
    EXPECT_EQ(CountCommands(carrier, "MSTA"), 1u);
    Fire();
    EXPECT_EQ(CountCommands(carrier, "MSTA"), 2u);
    EXPECT_EQ(StatusOf(message), kStatusSentPending);

    carrier.DeliverAll();
    Fire();
    EXPECT_EQ(StatusOf(message), kStatusDelivered);
    EXPECT_EQ(CountCommands(carrier, "MSTA"), 3u);
    Fire();
    EXPECT_EQ(CountCommands(carrier, "MSTA"), 3u) << "no longer followed";
}

TEST_F(tvServerSendTest, ACancelTheProtocolCannotDoIsRefusedOncePerStatusInterval) {
    SnppTestServer carrier;
    const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    const int32_t message = AddMessage(device, "hello", {.status = kStatusCancelling});
    StartEngine();
    Fire();  // returns: the send loop does not keep coming back to the refusal

    auto stored = ReadMessage(message);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->status, kStatusCancelling);
    EXPECT_EQ(stored->attempts, 0);
    EXPECT_EQ(stored->response, "Cancel Not Supported by Service");
    const std::vector<std::string> infos = InfoTexts();
    EXPECT_EQ(std::count(infos.begin(), infos.end(), "Cancel Not Supported by Service"), 1);
    const int visits = carrier.Connections();

    Fire(seconds(59));
    EXPECT_EQ(carrier.Connections(), visits) << "left alone within the status interval";
    Fire(seconds(1));
    EXPECT_EQ(carrier.Connections(), visits + 1) << "tried again after it";
    EXPECT_EQ(StatusOf(message), kStatusCancelling);
}

TEST_F(tvServerSendTest, APageWhoseOutcomeCannotBeStoredIsStoredLaterAndNeverSentAgain) {
    SnppTestServer carrier;
    const int32_t network = AddNetwork("Carrier", kProtocolSnpp, carrier.port());
    const int32_t device = AddDevice("Pager", network, "1234");
    const int32_t message = AddMessage(device, "hello");
    // While the engine hands the page over, somebody else changes the stored row, so
    // the engine's write-back is refused.
    bool changed = false;
    on_status_ = [&](const std::string& text) {
        if (text != "Sending Message" || changed) {
            return;
        }
        changed = true;
        cvFileMgr files(data_.dir(), &dict_);
        cvFile* messages = files.OpenTable(kPageMsgTable);
        ASSERT_NE(messages, nullptr);
        ASSERT_NE(messages->PutInt("PAGEMSGNBR", message), 0);
        ASSERT_EQ(messages->GetEqual(0), 0);
        ASSERT_NE(messages->PutString("RESPONSE", "changed meanwhile"), 0);
        ASSERT_EQ(messages->Update(), 0);
    };
    StartEngine();
    Fire();
    EXPECT_EQ(carrier.Pages().size(), 1u);
    EXPECT_EQ(StatusOf(message), kStatusQueued);
    const std::vector<std::string> infos = InfoTexts();
    EXPECT_NE(std::find(infos.begin(), infos.end(), "Unable to save updated message!"),
              infos.end());

    // The next cycle stores the outcome the carrier gave over the other change, and
    // does not hand the page over again.
    Fire();
    Fire();
    EXPECT_EQ(carrier.Pages().size(), 1u);
    EXPECT_EQ(StatusOf(message), kStatusSent);
}

TEST_F(tvServerSendTest, AMessageWhoseDeviceIsGoneGoesToErrorWhenSelected) {
    const int32_t message = AddMessage(4242, "nobody");
    StartEngine();
    Fire();
    EXPECT_EQ(StatusOf(message), kStatusError);
    const auto rows = message_log_.Rows();
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.front()[1], "Unknown (4242)");
    EXPECT_EQ(rows.front()[2], "");
    EXPECT_EQ(rows.front()[3], "Error");
}

TEST_F(tvServerSendTest, TransportsNotCarriedHereFailAtConnectAndBackOff) {
    const struct Case {
        int protocol;
        const char* response;
    } cases[] = {
        {kProtocolTap, "Unable to Connect to Service"},
        {kProtocolEtap, "Unable to Connect to Service"},
        {kProtocolSkytel, "DST_init_device error: -1"},
        {kProtocolSmtp, "SMTP Disabled: Socket or DNS Initialization Failed"},
    };
    std::vector<int32_t> messages;
    for (const Case& c : cases) {
        const std::string name = "Net" + std::to_string(c.protocol);
        const int32_t network = AddNetwork(name, c.protocol);
        messages.push_back(AddMessage(AddDevice("Dev" + name, network, "1234"), "hello"));
    }
    StartEngine();
    Fire();
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto stored = ReadMessage(messages[i]);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->status, kStatusQueued) << cases[i].protocol;
        EXPECT_EQ(stored->attempts, 1) << cases[i].protocol;
        EXPECT_EQ(stored->response, cases[i].response);
    }
    EXPECT_EQ(CountStatus("Unable to Connect to Net1"), 1u);
    // Backed off: nothing is tried again within ten seconds, and then once each.
    Fire(seconds(9));
    EXPECT_EQ(ReadMessage(messages[0])->attempts, 1);
    Fire(seconds(1));
    for (const int32_t message : messages) {
        EXPECT_EQ(ReadMessage(message)->attempts, 2);
    }
}

}  // namespace
