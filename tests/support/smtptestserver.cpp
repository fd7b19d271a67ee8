#include "tests/support/smtptestserver.h"

#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <stdexcept>

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kSlice{20};
constexpr std::chrono::seconds kCommandWait{60};

std::string Upper(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return text;
}

std::string Base64Decode(const std::string& text) {
    static const std::string kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string decoded;
    unsigned value = 0;
    int bits = 0;
    for (const char c : text) {
        const size_t index = kAlphabet.find(c);
        if (index == std::string::npos) {
            continue;  // padding and anything else
        }
        value = (value << 6) | static_cast<unsigned>(index);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            decoded.push_back(static_cast<char>((value >> bits) & 0xFF));
        }
    }
    return decoded;
}

// The address between < and >, or the text after the colon.
std::string PathOf(const std::string& argument) {
    const size_t open = argument.find('<');
    const size_t close = argument.find('>', open == std::string::npos ? 0 : open);
    if (open != std::string::npos && close != std::string::npos) {
        return argument.substr(open + 1, close - open - 1);
    }
    const size_t colon = argument.find(':');
    return colon == std::string::npos ? argument : argument.substr(colon + 1);
}

}  // namespace

// The connection as the server reads and writes it: plain, or TLS after StartTls.
class SmtpTestServer::Channel {
  public:
    Channel(platform::TcpSocket& socket, const std::atomic<bool>& stopping)
        : socket_(socket), stopping_(stopping) {}
    ~Channel() {
        if (ssl_ != nullptr) {
            SSL_shutdown(ssl_);
            SSL_free(ssl_);
        }
        SSL_CTX_free(context_);
    }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    bool StartTls(const TestCa::Issued& issued) {
        context_ = SSL_CTX_new(TLS_server_method());
        BIO* certificate_bio =
            BIO_new_mem_buf(issued.certificate.data(), static_cast<int>(issued.certificate.size()));
        BIO* key_bio = BIO_new_mem_buf(issued.key.data(), static_cast<int>(issued.key.size()));
        X509* certificate = PEM_read_bio_X509(certificate_bio, nullptr, nullptr, nullptr);
        EVP_PKEY* key = PEM_read_bio_PrivateKey(key_bio, nullptr, nullptr, nullptr);
        BIO_free(certificate_bio);
        BIO_free(key_bio);
        const bool loaded = certificate != nullptr && key != nullptr &&
                            SSL_CTX_use_certificate(context_, certificate) == 1 &&
                            SSL_CTX_use_PrivateKey(context_, key) == 1;
        X509_free(certificate);
        EVP_PKEY_free(key);
        if (!loaded || !socket_.SetBlocking(false)) {
            return false;
        }
        ssl_ = SSL_new(context_);
        SSL_set_fd(ssl_, socket_.Descriptor());
        const auto give_up = Clock::now() + std::chrono::seconds(20);
        for (;;) {
            const int outcome = SSL_accept(ssl_);
            if (outcome == 1) {
                return true;
            }
            const int error = SSL_get_error(ssl_, outcome);
            if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) ||
                stopping_.load() || Clock::now() > give_up) {
                ERR_clear_error();
                SSL_free(ssl_);
                ssl_ = nullptr;
                return false;
            }
            pollfd entry{socket_.Descriptor(),
                         static_cast<short>(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT), 0};
            ::poll(&entry, 1, static_cast<int>(kSlice.count()));
        }
    }
    bool Tls() const { return ssl_ != nullptr; }

    // The next line without its CR LF; none when the client closed, the wait ended or
    // the server is stopping.
    std::optional<std::string> ReadLine() {
        const auto give_up = Clock::now() + kCommandWait;
        for (;;) {
            const size_t end = buffer_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                return line;
            }
            if (stopping_.load() || Clock::now() > give_up) {
                return std::nullopt;
            }
            char chunk[4096];
            if (ssl_ != nullptr) {
                size_t count = 0;
                if (SSL_read_ex(ssl_, chunk, sizeof(chunk), &count) == 1) {
                    buffer_.append(chunk, count);
                    continue;
                }
                const int error = SSL_get_error(ssl_, 0);
                ERR_clear_error();
                if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
                    return std::nullopt;
                }
                pollfd entry{socket_.Descriptor(), POLLIN, 0};
                ::poll(&entry, 1, static_cast<int>(kSlice.count()));
                continue;
            }
            const platform::WaitResult waited = socket_.WaitReadable(kSlice);
            if (waited == platform::WaitResult::kFailed) {
                return std::nullopt;
            }
            if (waited == platform::WaitResult::kReady) {
                const long count = socket_.Receive(chunk, sizeof(chunk));
                if (count <= 0) {
                    return std::nullopt;
                }
                buffer_.append(chunk, static_cast<size_t>(count));
            }
        }
    }

    bool Write(const std::string& bytes) {
        if (ssl_ == nullptr) {
            return socket_.Send(bytes) == static_cast<long>(bytes.size());
        }
        size_t written = 0;
        while (written < bytes.size()) {
            size_t count = 0;
            if (SSL_write_ex(ssl_, bytes.data() + written, bytes.size() - written, &count) == 1) {
                written += count;
                continue;
            }
            const int error = SSL_get_error(ssl_, 0);
            ERR_clear_error();
            if ((error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) ||
                stopping_.load()) {
                return false;
            }
            pollfd entry{socket_.Descriptor(), POLLOUT, 0};
            ::poll(&entry, 1, static_cast<int>(kSlice.count()));
        }
        return true;
    }

  private:
    platform::TcpSocket& socket_;
    const std::atomic<bool>& stopping_;
    SSL_CTX* context_ = nullptr;
    SSL* ssl_ = nullptr;
    std::string buffer_;
};

SmtpTestServer::Action SmtpTestServer::Action::Reply(std::string text) {
    return {Kind::kReply, std::move(text)};
}
SmtpTestServer::Action SmtpTestServer::Action::NoReply() {
    return {Kind::kNoReply, {}};
}
SmtpTestServer::Action SmtpTestServer::Action::Close() {
    return {Kind::kClose, {}};
}

std::string SmtpTestServer::Mail::Header(const std::string& name) const {
    const std::string wanted = Upper(name) + ":";
    size_t start = 0;
    while (start < content.size()) {
        const size_t end = content.find("\r\n", start);
        const std::string line =
            content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (line.empty()) {
            break;  // end of the header
        }
        if (Upper(line.substr(0, wanted.size())) == wanted) {
            const size_t value = line.find_first_not_of(' ', wanted.size());
            return value == std::string::npos ? std::string() : line.substr(value);
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 2;
    }
    return {};
}

std::string SmtpTestServer::Mail::Body() const {
    const size_t end = content.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : content.substr(end + 4);
}

SmtpTestServer::SmtpTestServer(int port)
    : greeting_(Action::Reply("220 tolvane-test ESMTP ready")) {
    if (!listener_.Listen("127.0.0.1", port)) {
        throw std::runtime_error("SMTP test server cannot listen");
    }
    port_ = listener_.Port();
    thread_ = std::thread([this] { Run(); });
}

SmtpTestServer::~SmtpTestServer() {
    stopping_.store(true);
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SmtpTestServer::SetCertificate(const TestCa::Issued& issued) {
    std::lock_guard lock(mutex_);
    certificate_ = issued;
}

void SmtpTestServer::SetImplicitTls(bool on) {
    std::lock_guard lock(mutex_);
    implicit_tls_ = on;
}

void SmtpTestServer::SetOfferStartTls(bool on) {
    std::lock_guard lock(mutex_);
    offer_starttls_ = on;
}

void SmtpTestServer::SetCredentials(const std::string& user, const std::string& password) {
    std::lock_guard lock(mutex_);
    user_ = user;
    password_ = password;
}

void SmtpTestServer::SetGreeting(Action action) {
    std::lock_guard lock(mutex_);
    greeting_ = std::move(action);
}

void SmtpTestServer::OnCommand(const std::string& verb, Action action, int occurrence) {
    std::lock_guard lock(mutex_);
    scripts_.push_back({Upper(verb), occurrence, std::move(action)});
}

void SmtpTestServer::SetLineGap(std::chrono::milliseconds gap) {
    std::lock_guard lock(mutex_);
    line_gap_ = gap;
}

int SmtpTestServer::Connections() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(sessions_.size());
}

bool SmtpTestServer::WaitForClosedConnections(int count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return closed_changed_.wait_for(lock, timeout, [&] {
        return std::count_if(sessions_.begin(), sessions_.end(),
                             [](const Session& session) { return session.closed; }) >= count;
    });
}

std::vector<SmtpTestServer::Session> SmtpTestServer::Sessions() const {
    std::lock_guard lock(mutex_);
    return sessions_;
}

std::vector<SmtpTestServer::Mail> SmtpTestServer::Mails() const {
    std::lock_guard lock(mutex_);
    return mails_;
}

std::vector<std::string> SmtpTestServer::Commands() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> all;
    for (const Session& session : sessions_) {
        all.insert(all.end(), session.commands.begin(), session.commands.end());
    }
    return all;
}

void SmtpTestServer::Run() {
    while (!stopping_.load()) {
        platform::TcpSocket socket = listener_.Accept(kSlice);
        if (!socket.IsOpen()) {
            continue;
        }
        size_t index = 0;
        {
            std::lock_guard lock(mutex_);
            sessions_.emplace_back();
            index = sessions_.size() - 1;
        }
        Serve(socket, index);
        socket.Close();
        {
            std::lock_guard lock(mutex_);
            sessions_[index].closed = true;
        }
        closed_changed_.notify_all();
    }
}

const SmtpTestServer::Action* SmtpTestServer::Scripted(const std::string& verb) {
    auto seen = std::find_if(seen_.begin(), seen_.end(),
                             [&](const auto& entry) { return entry.first == verb; });
    if (seen == seen_.end()) {
        seen_.emplace_back(verb, 0);
        seen = seen_.end() - 1;
    }
    const int occurrence = ++seen->second;
    for (auto script = scripts_.rbegin(); script != scripts_.rend(); ++script) {
        if (script->verb == verb && (script->occurrence == 0 || script->occurrence == occurrence)) {
            return &script->action;
        }
    }
    return nullptr;
}

bool SmtpTestServer::Pause(std::chrono::milliseconds duration) const {
    const auto until = Clock::now() + duration;
    while (Clock::now() < until) {
        if (stopping_.load()) {
            return false;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, until - Clock::now()));
    }
    return true;
}

bool SmtpTestServer::Answer(Channel& channel, const std::string& text) {
    std::chrono::milliseconds gap{0};
    {
        std::lock_guard lock(mutex_);
        gap = line_gap_;
    }
    if (gap.count() == 0) {
        return channel.Write(text + "\r\n");
    }
    size_t start = 0;
    for (;;) {
        const size_t end = text.find("\r\n", start);
        const std::string line = text.substr(start, end == std::string::npos ? end : end - start);
        if (start > 0 && !Pause(gap)) {
            return false;
        }
        if (!channel.Write(line + "\r\n")) {
            return false;
        }
        if (end == std::string::npos) {
            return true;
        }
        start = end + 2;
    }
}

void SmtpTestServer::Serve(platform::TcpSocket& socket, size_t index) {
    Channel channel(socket, stopping_);
    TestCa::Issued certificate;
    Action greeting;
    bool implicit = false;
    {
        std::lock_guard lock(mutex_);
        certificate = certificate_;
        greeting = greeting_;
        implicit = implicit_tls_;
    }
    auto mark_tls = [&](bool up) {
        std::lock_guard lock(mutex_);
        sessions_[index].tls = up;
        sessions_[index].tls_failed = !up;
    };
    if (implicit) {
        const bool up = channel.StartTls(certificate);
        mark_tls(up);
        if (!up) {
            return;
        }
    }
    if (greeting.kind == Action::Kind::kClose) {
        return;
    }
    if (greeting.kind == Action::Kind::kReply && !Answer(channel, greeting.text)) {
        return;
    }

    std::string user;
    Mail mail;
    for (;;) {
        const std::optional<std::string> line = channel.ReadLine();
        if (!line) {
            return;
        }
        const size_t blank = line->find(' ');
        const std::string verb = Upper(line->substr(0, blank));
        Action action = Action::Reply("500 Command not recognised");
        bool offer_tls = false;
        std::string expected_user;
        std::string expected_password;
        {
            std::lock_guard lock(mutex_);
            sessions_[index].commands.push_back(*line);
            offer_tls = offer_starttls_ && !certificate_.certificate.empty() && !channel.Tls();
            expected_user = user_;
            expected_password = password_;
            if (const Action* scripted = Scripted(verb)) {
                action = *scripted;
            } else {
                action.kind = Action::Kind::kReply;
                action.text.clear();  // the model answers below
            }
        }
        if (action.kind == Action::Kind::kClose) {
            return;
        }
        if (action.kind == Action::Kind::kNoReply) {
            continue;
        }
        if (!action.text.empty()) {
            if (!Answer(channel, action.text)) {
                return;
            }
            continue;
        }

        // The relay model.
        std::string reply;
        if (verb == "HELO") {
            reply = "250 tolvane-test";
        } else if (verb == "EHLO") {
            reply = "250-tolvane-test greets you\r\n";
            if (offer_tls) {
                reply += "250-STARTTLS\r\n";
            }
            reply += "250-AUTH LOGIN\r\n250 SIZE 100000";
        } else if (verb == "STARTTLS") {
            if (!offer_tls) {
                reply = "454 TLS not available";
            } else {
                if (!Answer(channel, "220 Ready to start TLS")) {
                    return;
                }
                const bool up = channel.StartTls(certificate);
                mark_tls(up);
                if (!up) {
                    return;
                }
                user.clear();
                continue;
            }
        } else if (verb == "AUTH") {
            if (!Answer(channel, "334 VXNlcm5hbWU6")) {
                return;
            }
            const std::optional<std::string> user_line = channel.ReadLine();
            if (!user_line || !Answer(channel, "334 UGFzc3dvcmQ6")) {
                return;
            }
            const std::optional<std::string> password_line = channel.ReadLine();
            if (!password_line) {
                return;
            }
            {
                std::lock_guard lock(mutex_);
                sessions_[index].commands.push_back(*user_line);
                sessions_[index].commands.push_back(*password_line);
            }
            if (Base64Decode(*user_line) == expected_user &&
                Base64Decode(*password_line) == expected_password) {
                user = expected_user;
                reply = "235 Authentication successful";
            } else {
                reply = "535 Authentication failed";
            }
        } else if (verb == "MAIL") {
            mail = Mail{};
            mail.from = PathOf(line->substr(blank == std::string::npos ? line->size() : blank));
            reply = "250 Sender OK";
        } else if (verb == "RCPT") {
            mail.recipients.push_back(
                PathOf(line->substr(blank == std::string::npos ? line->size() : blank)));
            reply = "250 Recipient OK";
        } else if (verb == "DATA") {
            if (!Answer(channel, "354 Start mail input; end with <CRLF>.<CRLF>")) {
                return;
            }
            for (;;) {
                const std::optional<std::string> data_line = channel.ReadLine();
                if (!data_line) {
                    return;
                }
                if (*data_line == ".") {
                    break;
                }
                mail.data += *data_line + "\r\n";
                mail.content += (!data_line->empty() && data_line->front() == '.')
                                    ? data_line->substr(1) + "\r\n"
                                    : *data_line + "\r\n";
            }
            mail.tls = channel.Tls();
            mail.user = user;
            {
                std::lock_guard lock(mutex_);
                mails_.push_back(mail);
            }
            reply = "250 OK queued as 12345";
        } else if (verb == "RSET" || verb == "NOOP") {
            reply = "250 OK";
        } else if (verb == "QUIT") {
            Answer(channel, "221 Bye");
            return;
        } else {
            reply = "500 Command not recognised";
        }
        if (!Answer(channel, reply)) {
            return;
        }
    }
}
