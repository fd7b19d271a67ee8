#include "engine/tvenginereporter.h"

#include <string>

namespace {

std::string UnknownText(int32_t number) {
    return "Unknown (" + std::to_string(number) + ")";
}

}  // namespace

std::array<std::string, 4> MessageRowTexts(const MessageRowFacts& facts,
                                           cvValueTable status_texts) {
    std::array<std::string, 4> texts;
    if (facts.device) {
        texts[0] = *facts.device;
        texts[1] = facts.network ? *facts.network : UnknownText(facts.network_number);
    } else {
        texts[0] = UnknownText(facts.device_number);
    }
    texts[2] = ValueText(facts.status, status_texts);
    texts[3] = std::to_string(facts.attempts);
    return texts;
}

tvEngineReporter::tvEngineReporter(cvValueTable status_texts) : status_texts_(status_texts) {}

void tvEngineReporter::Attach(cvStatusStatic* status_line, cvLogBox* message_log,
                              cvLogBox* comm_log) {
    // Waits for every report that is using the controls being replaced.
    std::lock_guard lock(attach_mutex_);
    if (message_log != nullptr) {
        static_cast<void>(
            message_log->SetColumns({kMessageLogColumns.begin(), kMessageLogColumns.end()}));
    }
    if (comm_log != nullptr) {
        static_cast<void>(comm_log->SetColumns({kCommLogColumn}));
    }
    status_line_ = status_line;
    message_log_ = message_log;
    comm_log_ = comm_log;
}

void tvEngineReporter::SetStatusLine(const std::string& text) {
    std::lock_guard lock(attach_mutex_);
    if (status_line_ != nullptr) {
        // A line whose window is gone refuses the text; the engine goes on without it.
        static_cast<void>(status_line_->SetText(text));
    }
}

void tvEngineReporter::LogRow(const std::string& device, const std::string& service,
                              const std::string& status, const std::string& attempts,
                              const std::string& info) {
    std::lock_guard lock(attach_mutex_);
    if (message_log_ != nullptr) {
        message_log_->AddRow({device, service, status, attempts, info});
    }
}

void tvEngineReporter::LogInfo(const std::string& info) {
    LogRow({}, {}, {}, {}, info);
}

void tvEngineReporter::LogMessageRow(const MessageRowFacts& facts, const std::string& info) {
    const std::array<std::string, 4> texts = MessageRowTexts(facts, status_texts_);
    LogRow(texts[0], texts[1], texts[2], texts[3], info);
}

void tvEngineReporter::LogComm(const std::string& direction, const std::string& text) {
    std::lock_guard lock(attach_mutex_);
    if (comm_log_ != nullptr) {
        comm_log_->AddRow({direction, text});
    }
}
