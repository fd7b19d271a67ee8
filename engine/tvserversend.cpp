// The send cycle: picking the next network with work, visiting it phase by phase,
// and handing each message to the transport of its network.

#include <string>
#include <utility>
#include <vector>

#include "engine/messagetext.h"
#include "engine/schedule.h"
#include "engine/tvserver.h"
#include "model/pagingcodes.h"
#include "platform/core/clock.h"
#include "platform/recman/recman.h"
#include "storage/cvfile.h"
#include "storage/packeddatetime.h"
#include "transport/tvunavailablecarrier.h"

namespace {

// Phases of a visit.
constexpr int kPhaseStatus = 0;
constexpr int kPhaseStatusNext = 1;
constexpr int kPhaseQueued = 2;
constexpr int kPhaseQueuedNext = 3;
constexpr int kPhaseCancel = 4;
constexpr int kPhaseCancelNext = 5;
constexpr int kPhaseInboundSkytel = 6;
constexpr int kPhaseDone = 7;

// The PAGEMSG key over STATUS, SCHEDDATE, SCHEDTIME.
constexpr int kStatusKey = 1;

// Below this the shortening retries give up; above the second it shortens by 40.
constexpr int kShortestRetryLength = 80;
constexpr int kShortenByFortyAbove = 120;

std::chrono::sys_seconds NowSeconds() {
    return std::chrono::floor<std::chrono::seconds>(platform::CurrentClock().Now());
}

tvCarrierNetwork CarrierNetworkOf(const cvRec& network) {
    tvCarrierNetwork carrier;
    carrier.number = network.GetInt("PAGENETNBR");
    carrier.description = network.GetText("DESCRIPTION");
    carrier.protocol = network.GetInt("PROTOCOL");
    carrier.phone = network.GetText("PHONE");
    carrier.port = network.GetInt("PORT");
    carrier.reply_to = network.GetText("REPLYTO");
    carrier.password = network.GetText("PASSWORD");
    carrier.server_pin = network.GetText("SERVERPIN");
    carrier.security_code = network.GetText("SECURITYCODE");
    carrier.rate = network.GetInt("RATE");
    carrier.data_bits = network.GetInt("DATABITS");
    carrier.parity = network.GetInt("PARITY");
    carrier.stop_bits = network.GetInt("STOPBITS");
    return carrier;
}

}  // namespace

void tvServer::ProcessQueue() {
    reporter_.SetStatusLine(kLookingForMessages);
    ++send_loop_;
    queried_.clear();
    passed_over_.clear();
    if (!SaveKeptOutcomes()) {
        SaySendingPaused();
        return;
    }
    while (!timer_.StopRequested()) {
        LoadSettings(false);
        std::optional<cvRec> network = NextStatusNetwork();
        if (!network) {
            network = NextQueuedNetwork();
        }
        if (!network) {
            network = NextCancelNetwork();
        }
        if (!network) {
            return;
        }
        ProcessNetwork(*network);
        if (!kept_outcomes_.empty()) {
            // A write-back failed in that visit: nothing more goes out until it is stored.
            SaySendingPaused();
            return;
        }
    }
}

bool tvServer::PutOutcome(cvRec& record, const Outcome& outcome) {
    return record.PutInt("STATUS", outcome.status) != 0 &&
           record.PutString("RESPONSE", outcome.response) != 0 &&
           record.PutInt("ATTEMPTS", outcome.attempts) != 0 &&
           record.PutInt("NETMSGNBR", outcome.carrier_message_number) != 0 &&
           record.PutDate("SCHEDDATE", outcome.date) != 0 &&
           record.PutTime("SCHEDTIME", outcome.time) != 0;
}

bool tvServer::SaveKeptOutcomes() {
    if (kept_outcomes_.empty()) {
        return true;
    }
    if (!OpenTables(&tables_)) {
        return false;
    }
    cvFile& messages = *tables_.messages;
    while (!kept_outcomes_.empty()) {
        const auto kept = kept_outcomes_.begin();
        if (messages.PutInt("PAGEMSGNBR", kept->first) == 0) {
            return false;
        }
        const int read = messages.GetEqual(0);
        if (read == RECMAN_KEY_NOT_FOUND) {
            // Deleted meanwhile: there is nothing left to store the outcome in.
            kept_outcomes_.erase(kept);
            continue;
        }
        if (read != 0) {
            return false;
        }
        // The row as it is stored now, so that the save's check for changes by others
        // passes; the carrier's outcome is what the row must say.
        cvRec record(messages, cvRec::kFromFile);
        if (!PutOutcome(record, kept->second) || record.Save() != 0) {
            return false;
        }
        if (kept->second.status_changed) {
            NotifyHost(kept->first);
        }
        kept_outcomes_.erase(kept);
    }
    if (pause_said_) {
        pause_said_.reset();
        reporter_.LogInfo(kSendingResumed);
    }
    return true;
}

void tvServer::SaySendingPaused() {
    const auto now = platform::CurrentClock().Steady();
    if (pause_said_ && now - *pause_said_ < std::chrono::minutes(1)) {
        return;
    }
    pause_said_ = now;
    reporter_.SetStatusLine(kSendingPaused);
    reporter_.LogInfo(kSendingPaused);
}

int tvServer::SeekFirst(int status) {
    if (!OpenTables(&tables_)) {
        return -1;
    }
    cvFile& messages = *tables_.messages;
    if (messages.PutInt("STATUS", status) == 0 || messages.PutDate("SCHEDDATE", 0) == 0 ||
        messages.PutTime("SCHEDTIME", 0) == 0) {
        return -1;
    }
    return messages.GetGreaterOrEqual(kStatusKey);
}

std::optional<tvEngineMessage> tvServer::CurrentMessage(int status) {
    if (tables_.messages->GetInt("STATUS") != status) {
        return std::nullopt;
    }
    return tvEngineMessage::FromCurrentRow(tables_);
}

bool tvServer::MarkOrphan(tvEngineMessage& message) {
    cvRec& record = message.Record();
    const bool saved = record.PutInt("STATUS", kStatusError) != 0 && record.Save() == 0;
    if (saved) {
        NotifyHost(message.Number());
    }
    LogMessageRow(message, "");
    return saved;
}

std::optional<cvRec> tvServer::NextNetwork(int status) {
    int read = SeekFirst(status);
    while (read == 0 && !timer_.StopRequested()) {
        std::optional<tvEngineMessage> message = CurrentMessage(status);
        if (!message) {
            return std::nullopt;
        }
        if (status == kStatusQueued &&
            ScheduleIsInFuture(message->ScheduleDate(), message->ScheduleTime())) {
            return std::nullopt;
        }
        if (message->Network() == nullptr) {
            // A saved orphan has left this status, so the scan starts again from the
            // first; one that could not be saved is passed over.
            read = MarkOrphan(*message) ? SeekFirst(status) : tables_.messages->GetNext();
            continue;
        }
        const int32_t network = message->NetworkNumber();
        bool wanted =
            !net_blocks_.IsBackedOff(network) && !passed_over_.contains(message->Number());
        if (status == kStatusSentPending) {
            wanted = wanted && !net_blocks_.IsStatusDeferred(network) &&
                     !queried_.contains(message->Number());
        } else if (status == kStatusCancelling) {
            wanted = wanted && !CancelLeftOut(message->Number());
        }
        if (wanted) {
            return *message->Network();
        }
        read = tables_.messages->GetNext();
    }
    return std::nullopt;
}

std::optional<cvRec> tvServer::NextStatusNetwork() {
    return NextNetwork(kStatusSentPending);
}

std::optional<cvRec> tvServer::NextQueuedNetwork() {
    return NextNetwork(kStatusQueued);
}

std::optional<cvRec> tvServer::NextCancelNetwork() {
    return NextNetwork(kStatusCancelling);
}

void tvServer::ProcessNetwork(const cvRec& network) {
    const std::string description = network.GetText("DESCRIPTION");
    const int32_t number = network.GetInt("PAGENETNBR");
    visit_carrier_ = &CarrierFor(network.GetInt("PROTOCOL"));
    visit_traits_ = visit_carrier_->Traits();
    reporter_.SetStatusLine(kProcessing + description);

    int phase = kPhaseStatus;
    if (net_blocks_.IsBackedOff(number)) {
        phase = kPhaseDone;
    } else if (net_blocks_.IsStatusDeferred(number)) {
        phase = kPhaseQueued;
    }
    while (phase < kPhaseDone && !timer_.StopRequested()) {
        switch (phase) {
            case kPhaseStatus:
            case kPhaseStatusNext:
                phase = StatusStep(phase, number);
                break;
            case kPhaseQueued:
            case kPhaseQueuedNext:
                phase = QueuedStep(phase, number);
                break;
            case kPhaseCancel:
            case kPhaseCancelNext:
                phase = CancelStep(phase, number);
                break;
            default:
                CheckInbound(network);
                phase = kPhaseDone;
                break;
        }
    }

    EndVisitConnection();
    net_blocks_.MarkNetworkDone(number, StatusInterval());
    visit_carrier_ = nullptr;
}

void tvServer::EndVisitConnection() {
    // However the visit ended, nothing it opened stays open behind it.
    if (visit_carrier_ != nullptr && visit_carrier_->Connected()) {
        visit_carrier_->Disconnect();
    }
}

void tvServer::CheckInbound(const cvRec& network) {
    tvCarrier& carrier = CarrierFor(network.GetInt("PROTOCOL"));
    std::string error;
    const tvInboundSink sink = [this](const tvInboundMessage& inbound) {
        return StoreInboundMessage(inbound);
    };
    if (carrier.CheckInbound(CarrierNetworkOf(network), site_, sink, &error) != 0) {
        reporter_.LogRow({}, network.GetText("DESCRIPTION"), kInboundFailedStatus, {}, error);
    }
}

int tvServer::StatusStep(int phase, int32_t network_number) {
    if (phase == kPhaseStatus) {
        reference_date_ = TodayDate();
        reference_time_ = NowTime();
    }
    // A message already queried in this send loop is passed over: its attempt is
    // stamped to the second, so it would otherwise still count as due.
    int read = SeekFirst(kStatusSentPending);
    std::optional<tvEngineMessage> message;
    while (read == 0) {
        message = CurrentMessage(kStatusSentPending);
        if (!message ||
            (!queried_.contains(message->Number()) && !passed_over_.contains(message->Number()))) {
            break;
        }
        message.reset();
        read = tables_.messages->GetNext();
    }
    if (!message ||
        ScheduleIsLater(message->ScheduleDate(), message->ScheduleTime(), reference_date_,
                        reference_time_) ||
        message->NetworkNumber() != network_number) {
        return kPhaseQueued;
    }
    queried_.insert(message->Number());
    const int result = SendPageMessage(*message, kModeStatus);
    int next = kPhaseDone;
    if (result == 0) {
        next = message->Status() == kStatusSentPending ? kPhaseStatusNext : kPhaseStatus;
    }
    LogMessageRow(*message, message->Record().GetText("RESPONSE"));
    return next;
}

int tvServer::QueuedStep(int phase, int32_t network_number) {
    int read = 0;
    if (phase == kPhaseQueued) {
        read = SeekFirst(kStatusQueued);
        if (read != 0) {
            return kPhaseDone;
        }
    } else {
        read = tables_.messages->GetNext();
        if (read != 0) {
            return kPhaseCancel;
        }
    }
    std::optional<tvEngineMessage> message = CurrentMessage(kStatusQueued);
    if (!message || ScheduleIsInFuture(message->ScheduleDate(), message->ScheduleTime())) {
        return kPhaseCancel;
    }
    if (message->NetworkNumber() != network_number || passed_over_.contains(message->Number())) {
        return kPhaseQueuedNext;
    }
    const int result = SendPageMessage(*message, kModeSend);
    int next = kPhaseDone;
    if (result == 0 && !visit_traits_.one_page_per_visit) {
        // Every due message of the network goes on the one call.
        next = kPhaseQueued;
    }
    LogMessageRow(*message, message->Record().GetText("RESPONSE"));
    return next;
}

int tvServer::CancelStep(int phase, int32_t network_number) {
    const int over = visit_traits_.checks_inbound ? kPhaseInboundSkytel : kPhaseDone;
    int read = phase == kPhaseCancel ? SeekFirst(kStatusCancelling) : tables_.messages->GetNext();
    std::optional<tvEngineMessage> message;
    while (read == 0) {
        message = CurrentMessage(kStatusCancelling);
        if (!message ||
            (!CancelLeftOut(message->Number()) && !passed_over_.contains(message->Number()))) {
            break;
        }
        message.reset();
        read = tables_.messages->GetNext();
    }
    if (!message) {
        return over;
    }
    if (message->NetworkNumber() != network_number) {
        return kPhaseCancelNext;
    }
    const int result = SendPageMessage(*message, kModeCancel);
    const int next = result == 0 ? kPhaseCancel : kPhaseDone;
    LogMessageRow(*message, message->Record().GetText("RESPONSE"));
    return next;
}

bool tvServer::CancelLeftOut(int32_t message_number) {
    const auto found = cancel_refused_.find(message_number);
    if (found == cancel_refused_.end()) {
        return false;
    }
    if (found->second.loop == send_loop_ || NowSeconds() < found->second.until) {
        return true;
    }
    cancel_refused_.erase(found);
    return false;
}

void tvServer::NoteCancelRefused(int32_t message_number) {
    const std::optional<std::chrono::seconds> interval = StatusInterval();
    cancel_refused_[message_number] = {send_loop_,
                                       NowSeconds() + interval.value_or(std::chrono::seconds(0))};
}

void tvServer::FillItem(const tvEngineMessage& message, int mode, SendItem* item) const {
    const cvRec& record = message.Record();
    item->message_number = message.Number();
    item->host_reference = record.GetInt("HOSTREFNBR");
    item->confidential = message.Confidential();
    item->attempts = record.GetInt("ATTEMPTS");
    item->carrier_message_number = record.GetInt("NETMSGNBR");
    item->status = message.Status();
    item->response = record.GetText("RESPONSE");
    item->mode = mode;
    if (const cvRec* network = message.Network()) {
        item->network_number = network->GetInt("PAGENETNBR");
        item->protocol = network->GetInt("PROTOCOL");
        item->network_name = network->GetText("DESCRIPTION");
        item->reply_to = network->GetText("REPLYTO");
        item->phone = network->GetText("PHONE");
    }
    if (const cvRec* device = message.Device()) {
        item->pin = device->GetText("PIN");
        item->device_name = device->GetText("DESCRIPTION");
    }
}

int tvServer::SendPageMessage(tvEngineMessage& message, int mode) {
    const cvRec* network = message.Network();
    if (network == nullptr) {
        return 1;
    }
    SendItem item;
    FillItem(message, mode, &item);
    const tvCarrierTraits traits = CarrierFor(item.protocol).Traits();
    std::string text = message.PlainText();
    const int max_length = message.MaxTextLength();
    if (traits.cleans_text) {
        text = CleanText(text);
    }

    // Decided once for the message: what its carrier is asked to do.
    const DispatchAction action =
        ChooseDispatch(traits, mode, host_.SocketsAvailable(), resolver_working_);
    int result = 0;
    if (mode == kModeSend && text.empty()) {
        // Nothing to send: no connection is needed to say so.
        item.status = kStatusError;
        item.response = kEmptyMessage;
        result = 1;
    } else if (action == DispatchAction::kMarkSent) {
        // A one-way network has nothing to report: no connection either.
        result = DispatchItem(item, action);
    } else {
        std::string error;
        if (ConnectToNetwork(*network, &error) != 0) {
            net_blocks_.MarkNetworkFailed(item.network_number);
            item.response = error;
            CountFailedAttempt(item, false);
            result = 1;
        } else {
            net_blocks_.MarkNetworkConnected(item.network_number);
            result = SendText(item, action, text, max_length);
        }
    }

    cvRec& record = message.Record();
    Outcome outcome;
    outcome.status = item.status;
    outcome.response = item.response;
    outcome.attempts = item.attempts;
    outcome.carrier_message_number = item.carrier_message_number;
    outcome.date = TodayDate();
    outcome.time = NowTime();
    outcome.status_changed = item.status != message.Status();
    if (!PutOutcome(record, outcome) || record.Save() != 0) {
        // The carrier may have taken the page: its outcome is kept and stored before
        // anything else is sent, never lost and never a reason to send it again.
        passed_over_.insert(item.message_number);
        kept_outcomes_[item.message_number] = outcome;
        LogMessageRow(message, kSaveFailed);
        return 1;
    }
    if (outcome.status_changed) {
        NotifyHost(item.message_number);
    }
    return result;
}

int tvServer::SendText(SendItem& item, DispatchAction action, const std::string& text,
                       int max_length) {
    for (;;) {
        const int length = static_cast<int>(text.size());
        int result = 0;
        if (item.mode != kModeSend || length <= max_length) {
            item.text = text;
            result = DispatchItem(item, action);
        } else {
            for (const std::string& piece : SplitText(text, max_length)) {
                item.text = piece;
                result = DispatchItem(item, action);
                if (result != 0) {
                    break;
                }
            }
        }
        if (result != 0 || item.mode != kModeSend || item.status != kStatusQueued) {
            return result;
        }
        // The carrier did not take the page. Once the connection is gone nothing more
        // can be tried on this visit: the page waits for the next one, with the
        // attempt the carrier counted.
        if (!CarrierFor(item.protocol).Connected()) {
            return 1;
        }
        if (max_length <= kShortestRetryLength) {
            CountFailedAttempt(item, true);
            return result;
        }
        max_length = max_length > kShortenByFortyAbove ? max_length - 40 : kShortestRetryLength;
    }
}

int tvServer::DispatchItem(SendItem& item, DispatchAction action) {
    reporter_.SetStatusLine(kSendingMessage);
    tvCarrier& carrier = CarrierFor(item.protocol);
    tvHandOver outcome = tvHandOver::kRefused;
    switch (action) {
        case DispatchAction::kMarkSent:
            item.status = kStatusSent;
            return 0;
        case DispatchAction::kSend:
        case DispatchAction::kQuery:
        case DispatchAction::kCancel:
            if (!carrier.Connected()) {
                // The connection went with an earlier piece or message of the visit.
                return 1;
            }
            outcome = action == DispatchAction::kSend    ? carrier.Send(item)
                      : action == DispatchAction::kQuery ? carrier.Query(item)
                                                         : carrier.Cancel(item);
            break;
        case DispatchAction::kRefuse:
            break;
    }
    switch (outcome) {
        case tvHandOver::kDone:
            return 0;
        case tvHandOver::kFailed:
            net_blocks_.MarkNetworkFailed(item.network_number);
            return 1;
        case tvHandOver::kConnectionOver:
            return 1;
        case tvHandOver::kRefused:
            break;
    }
    if (item.mode == kModeCancel) {
        item.response = kCancelRefused;
        NoteCancelRefused(item.message_number);
    } else {
        passed_over_.insert(item.message_number);
    }
    return 1;
}

int tvServer::ConnectToNetwork(const cvRec& network, std::string* error) {
    error->clear();
    if (!machine_key_ || !site_.modem_port) {
        return 1;
    }
    tvCarrier& carrier = CarrierFor(network.GetInt("PROTOCOL"));
    if (carrier.Connected()) {
        return 0;
    }
    reporter_.SetStatusLine(kConnectingTo + network.GetText("DESCRIPTION"));
    return carrier.Connect(CarrierNetworkOf(network), site_, error);
}

tvCarrier& tvServer::CarrierFor(int protocol) {
    const auto found = carriers_.find(protocol);
    if (found != carriers_.end()) {
        return *found->second;
    }
    std::unique_ptr<tvCarrier> carrier;
    if (config_.carriers != nullptr) {
        if (const tvCarrierFactory* factory = config_.carriers->Find(protocol)) {
            carrier = (*factory)(host_);
        }
    }
    if (!carrier) {
        carrier = std::make_unique<tvUnavailableCarrier>(host_, tvCarrierTraits{},
                                                         kNoCarrier + std::to_string(protocol));
    }
    return *carriers_.emplace(protocol, std::move(carrier)).first->second;
}

void tvServer::LogMessageRow(const tvEngineMessage& message, const std::string& info) {
    reporter_.LogMessageRow(message.RowFacts(), info);
}
