#include "transport/tvsnppclient.h"

#include <vector>

#include "transport/snppreply.h"

namespace {

// The note of a connection ended because the server broke the protocol.
constexpr const char* kOutOfStepNote = "SNPP server out of step; connection closed";

bool IsBlank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n\f\v") == std::string::npos;
}

}  // namespace

// What a step that is not accepted does, by the prefix of its reply: drop the
// connection, or else mark the message as an error. Drop codes are tested first.
struct tvSnppClient::RejectRule {
    std::vector<std::string> drop;
    std::vector<std::string> error;
};

struct tvSnppClient::Step {
    std::string command;
    std::vector<std::string> expected;
    bool confidential = false;
    const RejectRule* rule = nullptr;  // null: the outcome is ignored
};

tvSnppClient::tvSnppClient(tvTransportHost& host, bool two_way, const SnppTimeouts& timeouts)
    : host_(host), two_way_(two_way), timeouts_(timeouts) {}

tvSnppClient::~tvSnppClient() {
    socket_.reset();
}

int tvSnppClient::ReplyTimeoutMs() const {
    return static_cast<int>(timeouts_.reply.count());
}

int tvSnppClient::ConnectSnpp(const SnppNetwork& network, std::string* error) {
    std::string local_error;
    if (error == nullptr) {
        error = &local_error;
    }
    if (!host_.SocketsAvailable()) {
        *error = "SNPP Disabled: Socket Initialization Failed";
        return 1;
    }
    Disconnect();
    socket_ = std::make_unique<CSNPPSocket>(host_);
    socket_->SetResetTimeout(ReplyTimeoutMs());

    bool connected = false;
    if (!socket_->Create()) {
        static_cast<void>(socket_->SocketErrorText("Create", error));
    } else if (!socket_->SetBlocking()) {
        static_cast<void>(socket_->SocketErrorText("IOCtl", error));
    } else {
        host_.LogComm(kCommSent,
                      "SNPP Connect " + network.phone + " " + std::to_string(network.port));
        const platform::ConnectResult result =
            socket_->Connect(network.phone, network.port, timeouts_.connect);
        if (result == platform::ConnectResult::kHostNotFound) {
            *error = "Unable to connect to SNPP provider " + network.phone + " on port " +
                     std::to_string(network.port) + ". Check network connection.";
        } else if (result == platform::ConnectResult::kFailed) {
            static_cast<void>(socket_->SocketErrorText("Connect", error));
        } else {
            connected = socket_->ReadReply(nullptr, {"220"}, error, ReplyTimeoutMs());
            connected_ = connected;
            if (connected && !IsBlank(network.security_code)) {
                const std::string login =
                    IsBlank(network.password)
                        ? "LOGI " + network.security_code
                        : "LOGI " + network.security_code + " " + network.password;
                connected =
                    socket_->Transact(login, nullptr, false, {"250"}, error, ReplyTimeoutMs());
            }
        }
    }
    connected_ = connected;
    if (!connected) {
        socket_.reset();
        return 1;
    }
    return 0;
}

bool tvSnppClient::Ready(const SendItem* item) const {
    return socket_ != nullptr && connected_ && item != nullptr && host_.SocketsAvailable() &&
           !host_.StopRequested();
}

void tvSnppClient::EndIfOutOfStep(SendItem& item, int status_before, int attempts_before) {
    if (socket_ == nullptr || !socket_->OutOfStep()) {
        return;
    }
    host_.LogComm(kCommNote, kOutOfStepNote);
    // A page the server took before it lost its step stays taken.
    if (item.status == status_before && item.attempts == attempts_before) {
        CountFailedAttempt(item, false);
    }
    out_of_step_ = true;
    Disconnect();
}

bool tvSnppClient::RunSteps(SendItem& item, const std::vector<Step>& steps,
                            std::string* last_reply) {
    for (const Step& step : steps) {
        last_reply->clear();
        const bool accepted = socket_ != nullptr &&
                              socket_->Transact(step.command, last_reply, step.confidential,
                                                step.expected, &item.response, ReplyTimeoutMs());
        if (!accepted && step.rule != nullptr) {
            Reject(item, *last_reply, *step.rule);
            return false;
        }
    }
    return true;
}

void tvSnppClient::Reject(SendItem& item, const std::string& reply, const RejectRule& rule) {
    if (StartsWithAny(reply, rule.drop)) {
        Disconnect();
    } else if (StartsWithAny(reply, rule.error)) {
        item.status = kStatusError;
    }
    CountFailedAttempt(item, false);
}

void tvSnppClient::ResetAfterOperation() {
    if (socket_ != nullptr && connected_ && !socket_->Reset() && !socket_->OutOfStep()) {
        // (A server out of step is dealt with by the operation.)
        Disconnect();
    }
}

void tvSnppClient::Disconnect() {
    socket_.reset();
    connected_ = false;
}

tvCarrierTraits tvSnppClient::Traits() const {
    tvCarrierTraits traits;
    traits.needs_sockets = true;
    traits.queries_status = two_way_;
    traits.one_page_per_visit = true;
    return traits;
}

int tvSnppClient::Connect(const tvCarrierNetwork& network, const tvCarrierSite& site,
                          std::string* error) {
    static_cast<void>(site);
    SnppNetwork snpp;
    snpp.phone = network.phone;
    snpp.port = network.port;
    snpp.security_code = network.security_code;
    snpp.password = network.password;
    return ConnectSnpp(snpp, error);
}

tvHandOver tvSnppClient::Outcome() const {
    if (out_of_step_) {
        return tvHandOver::kFailed;
    }
    return connected_ ? tvHandOver::kDone : tvHandOver::kConnectionOver;
}

tvHandOver tvSnppClient::Send(SendItem& item) {
    out_of_step_ = false;
    if (two_way_) {
        SendSnppTwoWay(&item);
    } else {
        SendSnppPage(&item);
    }
    return Outcome();
}

tvHandOver tvSnppClient::Query(SendItem& item) {
    if (!two_way_) {
        return tvHandOver::kRefused;
    }
    out_of_step_ = false;
    QuerySnppStatus(&item);
    return Outcome();
}

tvHandOver tvSnppClient::Cancel(SendItem& item) {
    static_cast<void>(item);
    return tvHandOver::kRefused;
}

void tvSnppClient::SendSnppPage(SendItem* item) {
    if (!Ready(item)) {
        return;
    }
    const int status_before = item->status;
    const int attempts_before = item->attempts;
    static const RejectRule kPageRule{{"421"}, {"550"}};
    static const RejectRule kMessageRule{{"421", "503"}, {"550"}};
    const std::vector<Step> steps = {
        {"PAGE " + item->pin, {"250"}, false, &kPageRule},
        {"MESS " + item->text, {"250"}, item->confidential, &kMessageRule},
        {"SEND", {"250"}, false, &kMessageRule},
    };
    std::string reply;
    if (RunSteps(*item, steps, &reply)) {
        item->status = kStatusSent;
    }
    EndIfOutOfStep(*item, status_before, attempts_before);
    ResetAfterOperation();
    EndIfOutOfStep(*item, status_before, attempts_before);
}

void tvSnppClient::SendSnppTwoWay(SendItem* item) {
    if (!Ready(item)) {
        return;
    }
    const int status_before = item->status;
    const int attempts_before = item->attempts;
    static const RejectRule kTwoWayRule{{"421", "550"}, {"500"}};
    static const RejectRule kPageRule{{"421", "503"}, {"550"}};
    static const RejectRule kSendRule{{"421", "503"}, {"550", "500"}};

    std::vector<Step> steps = {
        {"2WAY", {"250"}, false, &kTwoWayRule},
        {"PAGE " + item->pin, {"250", "850", "950"}, false, &kPageRule},
    };
    MultipleChoice message{item->text, {}};
    if (!IsBlank(item->reply_to)) {
        steps.push_back({"CALL " + item->reply_to, {"250"}, false, nullptr});
        message = SplitMultipleChoice(item->text);
    }
    steps.push_back({"MESS " + message.question, {"250"}, item->confidential, &kPageRule});
    for (const std::string& response : message.responses) {
        steps.push_back({"MCRE " + response, {"250"}, item->confidential, nullptr});
    }
    steps.push_back({"SEND", {"250", "8", "9"}, false, &kSendRule});

    std::string reply;
    if (RunSteps(*item, steps, &reply)) {
        if (const std::optional<int32_t> number = CarrierMessageNumber(reply)) {
            item->carrier_message_number = *number;
        }
        if (item->carrier_message_number == 0) {
            item->status = kStatusSent;
        } else if (StartsWithAny(reply, {"8"})) {
            item->status = kStatusDelivered;
        } else if (StartsWithAny(reply, {"9"})) {
            item->status = kStatusSentPending;
        }
    }
    EndIfOutOfStep(*item, status_before, attempts_before);
    ResetAfterOperation();
    EndIfOutOfStep(*item, status_before, attempts_before);
}

void tvSnppClient::QuerySnppStatus(SendItem* item) {
    if (!Ready(item)) {
        return;
    }
    const int status_before = item->status;
    const int attempts_before = item->attempts;
    static const RejectRule kTwoWayRule{{"421", "550"}, {"500"}};
    static const RejectRule kStatusRule{{"421"}, {"550", "500", "7"}};
    const std::vector<Step> steps = {
        {"2WAY", {"250"}, false, &kTwoWayRule},
        {"MSTA " + item->pin + " " + std::to_string(item->carrier_message_number),
         {"250", "8", "9"},
         false,
         &kStatusRule},
    };
    std::string reply;
    if (RunSteps(*item, steps, &reply)) {
        if (StartsWithAny(reply, {"8"})) {
            item->status = kStatusDelivered;
        } else if (StartsWithAny(reply, {"9"})) {
            item->status = kStatusSentPending;
        }
    }
    EndIfOutOfStep(*item, status_before, attempts_before);
    ResetAfterOperation();
    EndIfOutOfStep(*item, status_before, attempts_before);
}
