#include "transport/csmtpconnection.h"

#include "transport/smtpreply.h"

namespace {

// An address goes into a command line: a line break in it would end the command.
std::string EnvelopeAddress(std::string address) {
    for (char& c : address) {
        if (c == '\r' || c == '\n') {
            c = ' ';
        }
    }
    return address;
}

}  // namespace

std::string Base64Encode(const std::string& text) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((text.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < text.size(); i += 3) {
        const unsigned value = (static_cast<unsigned char>(text[i]) << 16) |
                               (static_cast<unsigned char>(text[i + 1]) << 8) |
                               static_cast<unsigned char>(text[i + 2]);
        encoded.push_back(kAlphabet[(value >> 18) & 63]);
        encoded.push_back(kAlphabet[(value >> 12) & 63]);
        encoded.push_back(kAlphabet[(value >> 6) & 63]);
        encoded.push_back(kAlphabet[value & 63]);
    }
    const size_t rest = text.size() - i;
    if (rest > 0) {
        unsigned value = static_cast<unsigned char>(text[i]) << 16;
        if (rest == 2) {
            value |= static_cast<unsigned char>(text[i + 1]) << 8;
        }
        encoded.push_back(kAlphabet[(value >> 18) & 63]);
        encoded.push_back(kAlphabet[(value >> 12) & 63]);
        encoded.push_back(rest == 2 ? kAlphabet[(value >> 6) & 63] : '=');
        encoded.push_back('=');
    }
    return encoded;
}

CSMTPConnection::CSMTPConnection(tvTransportHost& host, SmtpTimeouts timeouts)
    : host_(host), timeouts_(timeouts) {}

CSMTPConnection::~CSMTPConnection() {
    if (connected_) {
        static_cast<void>(Disconnect());
    }
    socket_.reset();
}

bool CSMTPConnection::Connect(const std::string& host, int port, const std::string* user,
                              const std::string& password, const SmtpSecurity& security) {
    if (socket_ != nullptr) {
        static_cast<void>(Disconnect());
    }
    failure_.clear();
    failed_on_tls_ = false;
    last_reply_.clear();
    last_code_ = 0;
    socket_ = std::make_unique<CLineSocket>(host_);
    socket_->SetTrafficLogging(false);
    socket_->SetSendTimeout(timeouts_.reply);
    if (!socket_->Create() || !socket_->SetBlocking()) {
        failure_ = "no socket (error " + std::to_string(socket_->LastError()) + ")";
        socket_.reset();
        return false;
    }
    const platform::ConnectResult connected = socket_->Connect(host, port, timeouts_.connect);
    if (connected != platform::ConnectResult::kConnected) {
        failure_ = connected == platform::ConnectResult::kHostNotFound
                       ? "host not found"
                       : "no connection (error " + std::to_string(socket_->LastError()) + ")";
        socket_.reset();
        return false;
    }
    connected_ = true;

    bool ready = true;
    if (security.implicit_tls) {
        ready = UpgradeToTls(host);
    }
    ready = ready && ReadCommandResponse(220);
    std::string hello_reply;
    if (ready && user == nullptr && !security.require_tls) {
        ready = Hello("HELO", &hello_reply);
    } else if (ready) {
        ready = Hello("EHLO", &hello_reply);
        if (ready && !socket_->TlsActive() && SmtpReplyOffers(hello_reply, "STARTTLS")) {
            ready =
                SendCommand("STARTTLS", 220) && UpgradeToTls(host) && Hello("EHLO", &hello_reply);
        }
        if (ready && !socket_->TlsActive() && security.require_tls) {
            failure_ = "the server does not offer STARTTLS and TLS is required";
            failed_on_tls_ = true;
            ready = false;
        }
        if (ready && user != nullptr) {
            ready = SendCommand("auth login", 334) && SendCommand(Base64Encode(*user), 334) &&
                    SendCommand(Base64Encode(password), 235);
        }
    }
    if (!ready) {
        static_cast<void>(Disconnect());
        return false;
    }
    return true;
}

bool CSMTPConnection::Hello(const std::string& verb, std::string* reply) {
    if (!SendCommand(verb + " " + platform::LocalHostName(kMaxHostNameLength), 250)) {
        return false;
    }
    *reply = last_reply_;
    return true;
}

bool CSMTPConnection::UpgradeToTls(const std::string& host) {
    const platform::TlsStatus status = socket_->StartTls(host, timeouts_.tls);
    if (status == platform::TlsStatus::kOk) {
        return true;
    }
    failure_ = "TLS: " + socket_->TlsErrorText();
    failed_on_tls_ = true;
    return false;
}

bool CSMTPConnection::Disconnect() {
    bool quit_answered = false;
    if (connected_ && socket_ != nullptr) {
        connected_ = false;
        // The reply to QUIT does not change the last reply text the caller may keep.
        const std::string kept_reply = last_reply_;
        const int kept_code = last_code_;
        quit_answered = SendCommand("QUIT", 221);
        last_reply_ = kept_reply;
        last_code_ = kept_code;
    }
    connected_ = false;
    if (socket_ != nullptr) {
        socket_->Close();
        socket_.reset();
    }
    return quit_answered;
}

bool CSMTPConnection::SendRaw(const std::string& bytes) {
    if (bytes.empty()) {
        return true;
    }
    const LineSend sent = socket_->SendBytes(bytes);
    return sent.status == SendStatus::kSent && sent.bytes == bytes.size();
}

bool CSMTPConnection::SendCommand(const std::string& text, int expected) {
    if (socket_ == nullptr) {
        return false;
    }
    const LineSend sent = socket_->SendLine(text, false);
    if (sent.status != SendStatus::kSent || sent.bytes != text.size() + 2) {
        return false;
    }
    return ReadCommandResponse(expected);
}

bool CSMTPConnection::ReadCommandResponse(int expected, std::string* reply) {
    if (socket_ == nullptr) {
        return false;
    }
    ReplyRules rules;
    rules.complete = &SmtpReplyComplete;
    rules.timeout = timeouts_.reply;
    rules.restart_on_data = true;
    rules.max_bytes = kMaxReplyBytes;
    const LineReply got = socket_->ReadLineReply(rules);
    last_reply_ = SmtpReplyText(got.text);
    if (reply != nullptr) {
        *reply = last_reply_;
    }
    if (got.status != ReplyStatus::kComplete) {
        last_code_ = 0;
        return false;
    }
    last_code_ = SmtpReplyCode(last_reply_);
    return last_code_ == expected;
}

bool CSMTPConnection::SendMessage(const CSMTPMessage& message) {
    if (!connected_ || socket_ == nullptr) {
        return false;
    }
    if (!SendCommand("MAIL FROM:<" + EnvelopeAddress(message.from.address) + ">", 250)) {
        return false;
    }
    for (int list = CSMTPMessage::kTo; list <= CSMTPMessage::kBcc; ++list) {
        for (const CSMTPAddress& recipient : message.Recipients(list)) {
            if (!SendCommand("RCPT TO:<" + EnvelopeAddress(recipient.address) + ">", 250)) {
                return false;
            }
        }
    }
    if (!SendCommand("DATA", 354)) {
        return false;
    }
    if (!SendRaw(message.GetHeader()) || !SendRaw(message.Body()) || !SendRaw("\r\n.\r\n")) {
        return false;
    }
    return ReadCommandResponse(250);
}
