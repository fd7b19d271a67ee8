// The send cycle through the carrier interface, with a scripted carrier standing in
// for a real one: what each outcome does to the visit and the network, that nothing a
// visit opened stays open, one call for all due pages of a carrier that takes them so,
// the inbound check and what it stores, and a protocol nobody carries.

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/pagingcodes.h"
#include "tests/engine/serverfixture.h"

namespace {

using engine_testing::ServerFixture;
using std::chrono::seconds;

constexpr int kScriptedProtocol = 7;

// What the scripted carrier did and will do. Shared with the carrier the engine
// makes; the engine thread writes it while the test thread reads it, so it is guarded.
struct Script {
    std::mutex mutex;
    tvCarrierTraits traits;
    int connect_result = 0;
    // Outcomes of the next hand-overs, in order; when empty: taken (Sent), kDone.
    std::deque<tvHandOver> outcomes;
    std::vector<std::string> calls;  // "connect", "send <text>", "query", "cancel", "disconnect"
    std::vector<tvInboundMessage> inbound;
    std::vector<bool> stored;  // what the sink answered for each inbound message

    std::vector<std::string> Calls() {
        std::lock_guard lock(mutex);
        return calls;
    }
};

class ScriptedCarrier final : public tvCarrier {
  public:
    explicit ScriptedCarrier(std::shared_ptr<Script> script) : script_(std::move(script)) {}

    tvCarrierTraits Traits() const override {
        std::lock_guard lock(script_->mutex);
        return script_->traits;
    }
    int Connect(const tvCarrierNetwork& network, const tvCarrierSite&,
                std::string* error) override {
        std::lock_guard lock(script_->mutex);
        script_->calls.push_back("connect " + network.description);
        if (script_->connect_result != 0) {
            *error = "no line";
            return script_->connect_result;
        }
        connected_ = true;
        return 0;
    }
    tvHandOver Send(SendItem& item) override { return HandOver(item, "send " + item.text); }
    tvHandOver Query(SendItem& item) override { return HandOver(item, "query"); }
    tvHandOver Cancel(SendItem& item) override { return HandOver(item, "cancel"); }
    void Disconnect() override {
        std::lock_guard lock(script_->mutex);
        script_->calls.push_back("disconnect");
        connected_ = false;
    }
    bool Connected() const override { return connected_; }
    int CheckInbound(const tvCarrierNetwork&, const tvCarrierSite&, const tvInboundSink& sink,
                     std::string*) override {
        std::vector<tvInboundMessage> inbound;
        {
            std::lock_guard lock(script_->mutex);
            script_->calls.push_back("inbound");
            inbound.swap(script_->inbound);
        }
        for (const tvInboundMessage& message : inbound) {
            const bool stored = sink(message);
            std::lock_guard lock(script_->mutex);
            script_->stored.push_back(stored);
        }
        return 0;
    }

  private:
    tvHandOver HandOver(SendItem& item, const std::string& call) {
        std::lock_guard lock(script_->mutex);
        script_->calls.push_back(call);
        tvHandOver outcome = tvHandOver::kDone;
        if (!script_->outcomes.empty()) {
            outcome = script_->outcomes.front();
            script_->outcomes.pop_front();
        }
        switch (outcome) {
            case tvHandOver::kDone:
                item.status = item.mode == kModeCancel ? kStatusCancelled : kStatusSent;
                break;
            case tvHandOver::kFailed:
                CountFailedAttempt(item, false);
                break;
            case tvHandOver::kConnectionOver:
                CountFailedAttempt(item, false);
                connected_ = false;
                break;
            case tvHandOver::kRefused:
                break;
        }
        return outcome;
    }

    std::shared_ptr<Script> script_;
    bool connected_ = false;
};

class tvServerCarrierTest : public ServerFixture {
  protected:
    tvServerCarrierTest() {
        carriers_.Register(kScriptedProtocol, [script = script_](tvTransportHost&) {
            return std::make_unique<ScriptedCarrier>(script);
        });
    }
    void SetTraits(const tvCarrierTraits& traits) {
        std::lock_guard lock(script_->mutex);
        script_->traits = traits;
    }
    void ScriptOutcomes(std::initializer_list<tvHandOver> outcomes) {
        std::lock_guard lock(script_->mutex);
        script_->outcomes.assign(outcomes);
    }

    std::shared_ptr<Script> script_ = std::make_shared<Script>();
};

TEST_F(tvServerCarrierTest, EachOutcomeEndsTheVisitOrNotAndBacksTheNetworkOffOnlyOnFailure) {
    const struct Case {
        const char* name;
        tvHandOver outcome;
        int status;
        int attempts;
        bool backed_off;
    } cases[] = {
        {"done", tvHandOver::kDone, kStatusSent, 0, false},
        {"failed", tvHandOver::kFailed, kStatusQueued, 1, true},
        // The send loop comes back to the network at once, on a new connection.
        {"connection over", tvHandOver::kConnectionOver, kStatusSent, 1, false},
        // Passed over for the rest of the send loop, so the loop does not keep coming
        // back to a carrier that will not try.
        {"refused", tvHandOver::kRefused, kStatusQueued, 0, false},
    };
    StartEngine();
    for (const Case& c : cases) {
        const int32_t network = AddNetwork(c.name, kScriptedProtocol);
        const int32_t device = AddDevice(std::string("Pager ") + c.name, network, "1234");
        const int32_t first = AddMessage(device, "first");
        const int32_t second = AddMessage(device, "second");
        {
            std::lock_guard lock(script_->mutex);
            script_->calls.clear();
            script_->traits = {};  // every due page on one call
            // Only the first hand-over has the case's outcome; later ones are taken.
            script_->outcomes.assign({c.outcome});
        }
        Fire();
        const auto stored = ReadMessage(first);
        ASSERT_TRUE(stored) << c.name;
        EXPECT_EQ(stored->status, c.status) << c.name;
        EXPECT_EQ(stored->attempts, c.attempts) << c.name;
        EXPECT_EQ(Engine().NetBlocks().IsBackedOff(network), c.backed_off) << c.name;
        const std::vector<std::string> calls = script_->Calls();
        ASSERT_GE(calls.size(), 3u) << c.name;
        EXPECT_EQ(calls[0], std::string("connect ") + c.name);
        EXPECT_EQ(calls[1], "send first");
        if (c.outcome == tvHandOver::kDone) {
            // The visit went on: the second page went on the same call.
            EXPECT_EQ(calls, (std::vector<std::string>{std::string("connect ") + c.name,
                                                       "send first", "send second", "disconnect"}));
        } else if (c.backed_off) {
            // The visit ended and the network waits: the second page is still queued.
            EXPECT_EQ(calls.back(), "disconnect") << c.name;
            EXPECT_EQ(StatusOf(second), kStatusQueued) << c.name;
        } else {
            // The next visit of the send loop took the pages left on a new call.
            EXPECT_EQ(StatusOf(second), kStatusSent) << c.name;
            EXPECT_EQ(std::count(calls.begin(), calls.end(), "send first"),
                      c.outcome == tvHandOver::kRefused ? 1 : 2)
                << c.name;
        }
        // Whatever happened, no connection stays open behind a visit.
        size_t connects = 0;
        size_t disconnects = 0;
        for (const std::string& call : calls) {
            connects += call.rfind("connect", 0) == 0 ? 1 : 0;
            disconnects += call == "disconnect" ? 1 : 0;
        }
        EXPECT_LE(disconnects, connects) << c.name;
        if (c.outcome != tvHandOver::kConnectionOver) {
            EXPECT_EQ(disconnects, connects) << c.name;
        }
        // Take this case's pages out of the later cases' way.
        ASSERT_NE(Table(kPageMsgTable), nullptr);
        for (const int32_t number : {first, second}) {
            cvFile& messages = *Table(kPageMsgTable);
            ASSERT_NE(messages.PutInt("PAGEMSGNBR", number), 0);
            ASSERT_EQ(messages.GetEqual(0), 0);
            ASSERT_EQ(messages.Delete(), 0);
        }
    }
}

TEST_F(tvServerCarrierTest, ACarrierOfOnePagePerVisitGetsAConnectionPerPage) {
    tvCarrierTraits traits;
    traits.one_page_per_visit = true;
    SetTraits(traits);
    const int32_t network = AddNetwork("Net", kScriptedProtocol);
    const int32_t device = AddDevice("Pager", network, "1234");
    AddMessage(device, "one");
    AddMessage(device, "two");
    StartEngine();
    Fire();
    EXPECT_EQ(script_->Calls(),
              (std::vector<std::string>{"connect Net", "send one", "disconnect", "connect Net",
                                        "send two", "disconnect"}));
}

TEST_F(tvServerCarrierTest, StatusAndCancelGoToTheCarrierOnlyWhenItCanDoThem) {
    const int32_t network = AddNetwork("Net", kScriptedProtocol);
    const int32_t device = AddDevice("Pager", network, "1234");
    const int32_t pending = AddMessage(device, "pending", {.status = kStatusSentPending});
    const int32_t cancelling = AddMessage(device, "cancel me", {.status = kStatusCancelling});
    StartEngine();
    Fire();
    // Neither queries nor cancels: the pending page becomes Sent without traffic, the
    // cancel is refused without an attempt.
    EXPECT_EQ(StatusOf(pending), kStatusSent);
    auto stored = ReadMessage(cancelling);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->status, kStatusCancelling);
    EXPECT_EQ(stored->attempts, 0);
    EXPECT_EQ(stored->response, "Cancel Not Supported by Service");
    EXPECT_EQ(script_->Calls(), (std::vector<std::string>{"connect Net", "disconnect"}));

    tvCarrierTraits traits;
    traits.queries_status = true;
    traits.can_cancel = true;
    SetTraits(traits);
    const int32_t queried = AddMessage(device, "query me", {.status = kStatusSentPending});
    Fire(seconds(61));
    EXPECT_EQ(StatusOf(queried), kStatusSent);
    EXPECT_EQ(StatusOf(cancelling), kStatusCancelled);
    const std::vector<std::string> calls = script_->Calls();
    EXPECT_NE(std::find(calls.begin(), calls.end(), "query"), calls.end());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "cancel"), calls.end());
}

TEST_F(tvServerCarrierTest, TheInboundCheckStoresRepliesWithTheirPageAndOtherMessagesAsReceived) {
    tvCarrierTraits traits;
    traits.checks_inbound = true;
    SetTraits(traits);
    const int32_t network = AddNetwork("Two-way service", kScriptedProtocol);
    const int32_t device = AddDevice("Pager", network, "1234");
    AddMessage(device, "are you there?", {.carrier_number = 5150});
    {
        std::lock_guard lock(script_->mutex);
        script_->inbound.push_back({7001, "yes", 5150, "from 1234"});
        script_->inbound.push_back({7002, "lunch?", std::nullopt, "from 5678"});
        script_->inbound.push_back({7003, "late reply", 9999, "from 4321"});
    }
    StartEngine();
    Fire();
    const std::vector<std::string> calls = script_->Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_NE(std::find(calls.begin(), calls.end(), "inbound"), calls.end());
    EXPECT_EQ(script_->stored, (std::vector<bool>{true, true, true}));

    cvFile& messages = *Table(kPageMsgTable);
    const struct Want {
        int32_t carrier_number;
        int status;
        int32_t device;
        std::string text;
        std::string response;
    } wants[] = {
        {7001, kStatusReply, device, "yes", ""},
        {7002, kStatusReceived, 0, "lunch?", "from 5678"},
        {7003, kStatusReceived, 0, "late reply", "from 4321"},
    };
    for (const Want& want : wants) {
        ASSERT_NE(messages.PutInt("NETMSGNBR", want.carrier_number), 0);
        ASSERT_EQ(messages.GetEqual(5), 0) << want.carrier_number;
        EXPECT_EQ(messages.GetInt("STATUS"), want.status) << want.carrier_number;
        EXPECT_EQ(messages.GetInt("PAGEDEVNBR"), want.device) << want.carrier_number;
        EXPECT_EQ(messages.GetText("TEXT"), want.text) << want.carrier_number;
        EXPECT_EQ(messages.GetText("RESPONSE"), want.response) << want.carrier_number;
    }
}

TEST_F(tvServerCarrierTest, AProtocolNobodyCarriesFailsAtConnectAndBacksOff) {
    const int32_t network = AddNetwork("Nobody", 9);
    const int32_t message = AddMessage(AddDevice("Pager", network, "1234"), "hello");
    carriers_ = tvCarrierRegistry{};  // not even a fallback
    StartEngine();
    Fire();
    const auto stored = ReadMessage(message);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->status, kStatusQueued);
    EXPECT_EQ(stored->attempts, 1);
    EXPECT_EQ(stored->response, "No Transport for Protocol 9");
    EXPECT_TRUE(Engine().NetBlocks().IsBackedOff(network));
}

}  // namespace
