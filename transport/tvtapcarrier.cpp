#include "transport/tvtapcarrier.h"

#include "model/pagingcodes.h"
#include "transport/tapblock.h"
#include "transport/tapresponse.h"

namespace {

using std::chrono::milliseconds;

// The line buffer of a response read: 512 bytes, of which ReadLine fills 510.
constexpr size_t kResponseLineSize = 511;
constexpr int kMaxRetransmissions = 5;
constexpr size_t kLogonPasswordLength = 6;

bool IsMessageLine(int code) {
    return code == kTapMessageText || code == kTapMessageSuccessful || code == kTapMessageFailed;
}

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

tvTapCarrier::tvTapCarrier(tvTransportHost& host) : host_(host) {}

tvTapCarrier::~tvTapCarrier() = default;

void tvTapCarrier::SetTimings(const tvTapTimings& timings) {
    timings_ = timings;
    if (comm_ != nullptr) {
        comm_->SetTimings(timings_.comm);
    }
}

tvCarrierTraits tvTapCarrier::Traits() const {
    tvCarrierTraits traits;
    traits.needs_sockets = false;
    traits.needs_resolver = false;
    traits.queries_status = true;
    traits.can_cancel = true;
    traits.one_page_per_visit = false;
    traits.cleans_text = true;
    traits.checks_inbound = false;
    return traits;
}

int tvTapCarrier::Connect(const tvCarrierNetwork& network, const tvCarrierSite& site,
                          std::string* error) {
    std::string local_error;
    if (error == nullptr) {
        error = &local_error;
    }
    error->clear();
    connected_ = false;
    comm_.reset();
    if (!site.modem_port) {
        // This computer has no machine record: there is no port to dial from.
        return 1;
    }
    comm_ = std::make_unique<tvComm>(
        tvModemSettings{*site.modem_port, site.dial_prefix, site.modem_init}, host_, link_status_);
    comm_->SetTimings(timings_.comm);

    if (comm_->Dial(network.rate, network.phone, static_cast<char>(network.parity),
                    network.data_bits, network.stop_bits, 2) != 0) {
        Status("Unable to Connect to " + network.description);
        *error = "Unable to Connect to Service";
        return 1;
    }
    if (Logon(network, error) != 0) {
        return 1;
    }
    connected_ = true;
    return 0;
}

bool tvTapCarrier::AwaitIdPrompt() {
    comm_->PurgeInput();
    for (int attempt = 0; attempt < timings_.id_tries && !host_.StopRequested(); ++attempt) {
        static_cast<void>(comm_->WriteChar(kCr));
        comm_->LogIo("[CR]", kIoSent);
        if (!comm_->Wait(timings_.id_pause)) {
            return false;
        }
        milliseconds budget = timings_.id_budget;
        for (;;) {
            std::string line;
            const int code = ReadResponse(&line, &budget);
            if (code == kTapIdPrompt) {
                return true;
            }
            if (code == kTapNoCarrier || (code == kTapNone && budget.count() <= 0)) {
                break;
            }
        }
    }
    return false;
}

void tvTapCarrier::SendLogon(const std::string& password) {
    const std::string sent = password.size() == kLogonPasswordLength ? password : std::string();
    std::string logon;
    logon += kEsc;
    logon += "PG1";
    logon += sent;
    static_cast<void>(comm_->WriteLine(logon, kCr));
    comm_->LogIo("[ESC]PG1" + sent + "[CR]", kIoSent);
}

int tvTapCarrier::Logon(const tvCarrierNetwork& network, std::string* error) {
    const std::string& name = network.description;

    if (!AwaitIdPrompt()) {
        Status(name + " not Responding");
        *error = "Service Not Responding to PING";
        TapLogoff();
        return 1;
    }

    comm_->PurgeInput();
    SendLogon(network.password);
    bool logged_on = false;
    milliseconds budget = timings_.logon;
    for (;;) {
        std::string line;
        const int code = ReadResponse(&line, &budget);
        if (code == kTapAck) {
            logged_on = true;
            break;
        }
        if (host_.StopRequested()) {
            break;
        }
        if (code == kTapNak) {
            comm_->PurgeInput();
            SendLogon(network.password);
            budget = timings_.logon;
            continue;
        }
        if (code == kTapDisconnect) {
            Status(name + " Logon Rejected");
            *error = "Service Logon Rejected";
            break;
        }
        if (code == kTapNoCarrier) {
            Status("Lost Carrier");
            *error = "Service Lost Carrier";
            break;
        }
        if (IsMessageLine(code)) {
            *error = line;
        } else if (code == kTapNone && budget.count() <= 0) {
            break;
        }
    }
    if (!logged_on) {
        Status(name + " Logon Failed");
        if (error->empty()) {
            *error = "Service Logon Failed";
        }
        TapLogoff();
        return 1;
    }

    error->clear();
    budget = timings_.go_ahead;
    for (;;) {
        std::string line;
        const int code = ReadResponse(&line, &budget);
        if (code == kTapGoAhead || code == kTapNoCarrier) {
            // A lost carrier shows itself at the first block exchange.
            break;
        }
        if (IsMessageLine(code)) {
            *error = line;
        }
        if ((code == kTapNone && budget.count() <= 0) || host_.StopRequested()) {
            Status("No Go Ahead Message from " + name);
            if (error->empty()) {
                *error = "No Service Go Ahead Message";
            }
            TapLogoff();
            return 1;
        }
    }
    error->clear();
    return 0;
}

int tvTapCarrier::ReadResponse(std::string* line, milliseconds* budget) {
    const long left = comm_ != nullptr ? comm_->ReadLine(line, kResponseLineSize, *budget) : -1;
    if (left < 0) {
        *budget = milliseconds(0);
        return kTapNone;
    }
    *budget = milliseconds(left);
    const TapClassified classified = ClassifyTapResponse(*line);
    for (const std::string& row : classified.rows) {
        comm_->LogIo(row, kIoReceived);
    }
    return classified.code;
}

tvHandOver tvTapCarrier::Send(SendItem& item) {
    return Exchange(item, Block::kPage);
}

tvHandOver tvTapCarrier::Query(SendItem& item) {
    return Exchange(item, Block::kQuery);
}

tvHandOver tvTapCarrier::Cancel(SendItem& item) {
    return Exchange(item, Block::kCancel);
}

bool tvTapCarrier::BuildBlock(SendItem& item, Block block) {
    block_.clear();
    std::optional<std::string> built;
    if (block == Block::kPage) {
        if (item.text.empty() || item.pin.empty()) {
            // Nothing goes out; the exchange runs out of its budget.
            return true;
        }
        built = BuildPageBlock(item.pin, item.text, item.protocol == kProtocolEtap);
    } else {
        built = BuildQueryBlock(item.pin, block == Block::kCancel, item.carrier_message_number);
    }
    if (!built) {
        item.response = kPinTooLong;
        item.exchange_result = 1;
        CountFailedAttempt(item, true);
        return false;
    }
    block_ = std::move(*built);
    return true;
}

tvHandOver tvTapCarrier::Exchange(SendItem& item, Block block) {
    if (!connected_ || comm_ == nullptr) {
        return tvHandOver::kRefused;
    }
    if (host_.StopRequested()) {
        // The call is being given up, not the mode: the item stays as it is (a refusal
        // would tell the engine this carrier cannot cancel).
        return tvHandOver::kConnectionOver;
    }
    if (!BuildBlock(item, block)) {
        return tvHandOver::kDone;
    }
    if (block == Block::kPage) {
        SendPageBlock(item);
    } else {
        SendQueryBlock(item);
    }
    Status("Waiting for Service Response");
    AwaitBlockResponse(item);
    switch (item.exchange_result) {
        case 0:
        case 1:
            return tvHandOver::kDone;
        case 3:
            return tvHandOver::kConnectionOver;
        default:
            return tvHandOver::kFailed;
    }
}

void tvTapCarrier::SendPageBlock(const SendItem& item) {
    if (comm_ == nullptr || !comm_->IsOpen() || block_.empty()) {
        return;
    }
    static_cast<void>(comm_->WriteBlock(block_));
    comm_->LogIo(item.confidential ? "<<CONFIDENTIAL PAGE SENT>>" : block_, kIoSent);
}

void tvTapCarrier::SendQueryBlock(const SendItem& item) {
    static_cast<void>(item);
    if (comm_ == nullptr || !comm_->IsOpen() || block_.empty()) {
        return;
    }
    static_cast<void>(comm_->WriteBlock(block_));
    comm_->LogIo(block_, kIoSent);
}

void tvTapCarrier::AwaitBlockResponse(SendItem& item) {
    item.exchange_result = 2;
    item.response.clear();
    int retransmissions = 0;
    int previous = kTapNone;
    milliseconds budget = item.protocol == kProtocolEtap ? timings_.etap_block : timings_.tap_block;
    for (;;) {
        std::string line;
        const int code = ReadResponse(&line, &budget);
        item.last_response_code = code;
        const bool final_answer =
            code == kTapAck || code == kTapDisconnect || code == kTapRs || code == kTapNoCarrier;
        if (!final_answer && host_.StopRequested()) {
            // The engine is stopping: nothing more is sent or awaited.
            if (IsMessageLine(code)) {
                item.response = line;
            }
            CountFailedAttempt(item, false);
            item.exchange_result = 2;
            return;
        }
        switch (code) {
            case kTapAck:
                ApplyEtapResult(item, previous);
                item.exchange_result = 0;
                return;
            case kTapNak:
                if (retransmissions >= kMaxRetransmissions) {
                    if (!IsMessageLine(previous)) {
                        item.response = "Transaction Rejected by Service (NAK)";
                    }
                    item.exchange_result = 2;
                    CountFailedAttempt(item, false);
                    return;
                }
                if (item.mode == kModeSend) {
                    SendPageBlock(item);
                } else {
                    SendQueryBlock(item);
                }
                ++retransmissions;
                previous = kTapNak;
                budget = timings_.next_answer;
                continue;
            case kTapDisconnect:
                if (!IsMessageLine(previous)) {
                    item.response = "Service Requested Disconnect";
                }
                item.exchange_result = 3;
                CountFailedAttempt(item, false);
                return;
            case kTapRs:
                if (!IsMessageLine(previous)) {
                    item.response = "Transaction Rejected by Service (RS)";
                }
                item.exchange_result = 1;
                CountFailedAttempt(item, false);
                return;
            case kTapMessageText:
            case kTapMessageSuccessful:
            case kTapMessageFailed:
                item.response = line;
                if (code == kTapMessageSuccessful) {
                    // A line without a number keeps the number the message has.
                    if (const std::optional<int32_t> number = EtapMessageNumber(line)) {
                        item.carrier_message_number = *number;
                    }
                }
                previous = code;
                budget = timings_.next_answer;
                continue;
            case kTapNoCarrier:
                item.response = "Lost Carrier";
                item.exchange_result = 2;
                CountFailedAttempt(item, false);
                return;
            default:
                if (code == kTapNone && budget.count() <= 0) {
                    CountFailedAttempt(item, false);
                    item.exchange_result = 2;
                    return;
                }
                continue;
        }
    }
}

void tvTapCarrier::ApplyEtapResult(SendItem& item, int previous_code) {
    if (item.protocol != kProtocolEtap) {
        item.status = kStatusSent;
        return;
    }
    const bool cancel = item.mode == kModeCancel;
    switch (previous_code) {
        case kTapMessageSuccessful:
            if (cancel) {
                item.status = kStatusCancelled;
            } else {
                item.status =
                    Contains(item.response, "not") ? kStatusSentPending : kStatusDelivered;
            }
            return;
        case kTapMessageFailed:
            if (cancel && Contains(item.response, "delivered")) {
                item.status = kStatusDelivered;
            } else {
                CountFailedAttempt(item, false);
            }
            return;
        case kTapMessageText:
            CountFailedAttempt(item, false);
            return;
        default:
            item.response = "No response from Extended TAP Service";
            CountFailedAttempt(item, false);
            return;
    }
}

void tvTapCarrier::TapLogoff() {
    connected_ = false;
    if (comm_ == nullptr || !comm_->IsOpen()) {
        return;
    }
    static_cast<void>(comm_->WriteBlock(std::string{kEot, kCr}));
    comm_->LogIo("[EOT][CR]", kIoSent);
    milliseconds budget = timings_.logoff;
    for (;;) {
        std::string line;
        const int code = ReadResponse(&line, &budget);
        if (code == kTapDisconnect || code == kTapRs || code == kTapNoCarrier) {
            break;
        }
        if (IsMessageLine(code)) {
            comm_->LogIo(line, kIoNote);
            budget = timings_.logoff;
        } else if (code == kTapNone && budget.count() <= 0) {
            break;
        }
        if (host_.StopRequested()) {
            break;
        }
    }
    comm_->HangUp();
}

void tvTapCarrier::Disconnect() {
    TapLogoff();
}
