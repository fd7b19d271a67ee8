#include "transport/csnppsocket.h"

#include "transport/snppreply.h"

CSNPPSocket::CSNPPSocket(tvTransportHost& host) : CLineSocket(host) {}

CSNPPSocket::~CSNPPSocket() {
    static_cast<void>(SendCommand("QUIT", false, nullptr));
    Close();
}

int CSNPPSocket::SendCommand(const std::string& command, bool confidential, std::string* error) {
    if (host().StopRequested()) {
        return 0;
    }
    if (DrainUnasked() > 0) {
        out_of_step_ = true;
    }
    const LineSend sent = SendLine(command, confidential);
    switch (sent.status) {
        case SendStatus::kSent:
            return static_cast<int>(sent.bytes);
        case SendStatus::kEmpty:
            return 0;
        case SendStatus::kFailed:
            static_cast<void>(SocketErrorText("Send", error));
            return 0;
        case SendStatus::kNothingSent:
            if (error != nullptr) {
                *error = "Send Failed";
            }
            return 0;
    }
    return 0;
}

bool CSNPPSocket::ReadReply(std::string* reply, const std::vector<std::string>& expected,
                            std::string* error, int timeout_ms) {
    ReplyRules rules;
    rules.complete = &LineComplete;
    rules.timeout = std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    rules.max_bytes = kMaxReplyBytes;
    rules.discard_excess = true;
    const LineReply got = ReadLineReply(rules);

    if (got.status == ReplyStatus::kFailed) {
        static_cast<void>(SocketErrorText("Receive", error));
        return false;
    }
    if (got.bytes == 0) {
        if (got.status == ReplyStatus::kClosed && error != nullptr) {
            *error = "No SNPP Response";
        }
        // Timed out with nothing: the error text stays as the previous step left it.
        return false;
    }
    if (!IsSnppReplyLine(got.text)) {
        out_of_step_ = true;
    }
    if (reply != nullptr) {
        *reply = got.text;
    }
    if (error != nullptr) {
        *error = got.text;
    }
    return StartsWithAny(got.text, expected);
}

bool CSNPPSocket::Transact(const std::string& command, std::string* reply, bool confidential,
                           const std::vector<std::string>& expected, std::string* error,
                           int timeout_ms) {
    std::string local_reply;
    if (reply == nullptr) {
        reply = &local_reply;
    }
    if (SendCommand(command, confidential, error) == 0) {
        return false;
    }
    return ReadReply(reply, expected, error, timeout_ms);
}

bool CSNPPSocket::Reset() {
    std::string reply;
    return Transact("RESET", &reply, false, {"250", "500"}, nullptr, reset_timeout_ms_);
}

std::string CSNPPSocket::SocketErrorText(const std::string& context, std::string* error) const {
    std::string text = "Socket Error " + std::to_string(LastError()) + " from " + context;
    if (error != nullptr) {
        *error = text;
    }
    return text;
}
