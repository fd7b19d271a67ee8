#include "platform/net/tlssession.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace platform {

namespace {

using SteadyClock = std::chrono::steady_clock;

// The descriptor of a socket BIO of ours, kept in the BIO's data pointer.
int BioDescriptor(BIO* bio) {
    return static_cast<int>(reinterpret_cast<intptr_t>(BIO_get_data(bio)));
}

bool Retriable(int error) {
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

// A socket BIO that writes with MSG_NOSIGNAL, so that a peer gone away shows up as a
// failed write instead of a signal that ends the program.
int BioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    const ssize_t count =
        ::send(BioDescriptor(bio), data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (count < 0 && Retriable(errno)) {
        BIO_set_retry_write(bio);
    }
    return static_cast<int>(count);
}

int BioRead(BIO* bio, char* data, int length) {
    BIO_clear_retry_flags(bio);
    const ssize_t count = ::recv(BioDescriptor(bio), data, static_cast<size_t>(length), 0);
    if (count < 0 && Retriable(errno)) {
        BIO_set_retry_read(bio);
    }
    return static_cast<int>(count);
}

long BioControl(BIO* bio, int command, long number, void* pointer) {
    static_cast<void>(bio);
    static_cast<void>(number);
    static_cast<void>(pointer);
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int BioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

const BIO_METHOD* SocketMethod() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tolvane socket");
        BIO_meth_set_write(made, &BioWrite);
        BIO_meth_set_read(made, &BioRead);
        BIO_meth_set_ctrl(made, &BioControl);
        BIO_meth_set_create(made, &BioCreate);
        return made;
    }();
    return method;
}

bool IsDottedAddress(const std::string& host) {
    in_addr address{};
    return ::inet_pton(AF_INET, host.c_str(), &address) == 1;
}

std::string OpenSslErrors() {
    std::string text;
    for (unsigned long code = ERR_get_error(); code != 0; code = ERR_get_error()) {
        char buffer[256] = {};
        ERR_error_string_n(code, buffer, sizeof(buffer));
        if (!text.empty()) {
            text += "; ";
        }
        text += buffer;
    }
    return text;
}

std::chrono::milliseconds Left(SteadyClock::time_point deadline) {
    const auto now = SteadyClock::now();
    return deadline > now ? std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now)
                          : std::chrono::milliseconds(0);
}

}  // namespace

struct TlsSession::Handles {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    ~Handles() {
        SSL_free(ssl);
        SSL_CTX_free(context);
    }
};

TlsSession::TlsSession() = default;

TlsSession::~TlsSession() {
    Shutdown();
}

void TlsSession::Fail(const std::string& context) {
    const std::string details = OpenSslErrors();
    error_text_ = details.empty() ? context : context + ": " + details;
}

TlsStatus TlsSession::Handshake(TcpSocket& socket, const std::string& host,
                                std::chrono::milliseconds timeout, const WaitHooks& hooks) {
    Shutdown();
    handles_.reset();
    error_text_.clear();
    ERR_clear_error();
    if (!socket.IsOpen() || !socket.SetBlocking(false)) {
        error_text_ = "no connection";
        return TlsStatus::kFailed;
    }
    fd_ = socket.Descriptor();

    auto handles = std::make_unique<Handles>();
    handles->context = SSL_CTX_new(TLS_client_method());
    if (handles->context == nullptr) {
        Fail("TLS set-up failed");
        return TlsStatus::kFailed;
    }
    SSL_CTX_set_min_proto_version(handles->context, TLS1_2_VERSION);
    SSL_CTX_set_verify(handles->context, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(handles->context) != 1) {
        Fail("TLS trust store not readable");
        return TlsStatus::kFailed;
    }
    handles->ssl = SSL_new(handles->context);
    BIO* bio = handles->ssl != nullptr ? BIO_new(SocketMethod()) : nullptr;
    if (bio == nullptr) {
        Fail("TLS set-up failed");
        return TlsStatus::kFailed;
    }
    BIO_set_data(bio, reinterpret_cast<void*>(static_cast<intptr_t>(fd_)));
    SSL_set_bio(handles->ssl, bio, bio);

    // The certificate must be for what the caller connected to: an address is
    // checked against the certificate's addresses, a name against its names.
    X509_VERIFY_PARAM* parameters = SSL_get0_param(handles->ssl);
    bool named = false;
    if (IsDottedAddress(host)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(parameters, host.c_str()) == 1;
    } else {
        X509_VERIFY_PARAM_set_hostflags(parameters, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        named = SSL_set1_host(handles->ssl, host.c_str()) == 1 &&
                SSL_ctrl(handles->ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name,
                         const_cast<char*>(host.c_str())) == 1;
    }
    if (!named) {
        Fail("TLS cannot check the host name " + host);
        return TlsStatus::kFailed;
    }

    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        const int outcome = SSL_connect(handles->ssl);
        if (outcome == 1) {
            break;
        }
        const int error = SSL_get_error(handles->ssl, outcome);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            const long verified = SSL_get_verify_result(handles->ssl);
            if (verified == X509_V_ERR_HOSTNAME_MISMATCH ||
                verified == X509_V_ERR_IP_ADDRESS_MISMATCH) {
                error_text_ = std::string("certificate is not for ") + host;
                return TlsStatus::kNameMismatch;
            }
            if (verified != X509_V_OK) {
                error_text_ = std::string("certificate not trusted (") +
                              X509_verify_cert_error_string(verified) + ")";
                return TlsStatus::kUntrusted;
            }
            Fail(error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN
                     ? "TLS handshake failed (connection closed)"
                     : "TLS handshake failed");
            return TlsStatus::kFailed;
        }
        if (hooks.should_stop && hooks.should_stop()) {
            error_text_ = "stopped";
            return TlsStatus::kStopped;
        }
        if (SteadyClock::now() >= deadline) {
            error_text_ = "TLS handshake timed out";
            return TlsStatus::kTimedOut;
        }
        int wait_error = 0;
        const short events = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        if (WaitForDescriptor(fd_, events, std::min(Left(deadline), kWaitSlice), &wait_error) ==
            WaitResult::kFailed) {
            error_text_ = "TLS handshake failed (wait error " + std::to_string(wait_error) + ")";
            return TlsStatus::kFailed;
        }
        if (hooks.while_waiting) {
            hooks.while_waiting();
        }
    }
    handles_ = std::move(handles);
    active_ = true;
    return TlsStatus::kOk;
}

size_t TlsSession::Read(char* buffer, size_t size, TlsIo* io) {
    if (!active_) {
        *io = TlsIo::kFailed;
        return 0;
    }
    ERR_clear_error();
    size_t count = 0;
    if (SSL_read_ex(handles_->ssl, buffer, size, &count) == 1) {
        *io = TlsIo::kDone;
        return count;
    }
    const int error = SSL_get_error(handles_->ssl, 0);
    switch (error) {
        case SSL_ERROR_WANT_READ:
        case SSL_ERROR_WANT_WRITE:
            *io = TlsIo::kWouldBlock;
            break;
        case SSL_ERROR_ZERO_RETURN:
            *io = TlsIo::kClosed;
            break;
        case SSL_ERROR_SYSCALL:
            *io = TlsIo::kFailed;
            Fail("TLS read failed (socket error " + std::to_string(errno) + ")");
            break;
        default:
            // OpenSSL 3 reports an end of stream without close notification as a
            // protocol error ("unexpected eof while reading"); it is a close all the same.
            if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
                ERR_clear_error();
                *io = TlsIo::kClosed;
            } else {
                *io = TlsIo::kFailed;
                Fail("TLS read failed");
            }
            break;
    }
    return 0;
}

bool TlsSession::HasBuffered() const {
    return active_ && SSL_pending(handles_->ssl) > 0;
}

size_t TlsSession::Write(std::string_view bytes, std::chrono::milliseconds timeout,
                         const WaitHooks& hooks, TlsIo* io) {
    if (!active_) {
        *io = TlsIo::kFailed;
        return 0;
    }
    const auto deadline = SteadyClock::now() + timeout;
    size_t written = 0;
    while (written < bytes.size()) {
        ERR_clear_error();
        size_t count = 0;
        if (SSL_write_ex(handles_->ssl, bytes.data() + written, bytes.size() - written, &count) ==
            1) {
            written += count;
            continue;
        }
        const int error = SSL_get_error(handles_->ssl, 0);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) {
            *io = error == SSL_ERROR_ZERO_RETURN ? TlsIo::kClosed : TlsIo::kFailed;
            Fail("TLS write failed");
            return written;
        }
        if ((hooks.should_stop && hooks.should_stop()) || SteadyClock::now() >= deadline) {
            *io = TlsIo::kWouldBlock;
            return written;
        }
        int wait_error = 0;
        const short events = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        if (WaitForDescriptor(fd_, events, std::min(Left(deadline), kWaitSlice), &wait_error) ==
            WaitResult::kFailed) {
            *io = TlsIo::kFailed;
            error_text_ = "TLS write failed (wait error " + std::to_string(wait_error) + ")";
            return written;
        }
        if (hooks.while_waiting) {
            hooks.while_waiting();
        }
    }
    *io = TlsIo::kDone;
    return written;
}

void TlsSession::Shutdown() {
    if (active_) {
        // One try: the notification goes out when the socket takes it; the peer's
        // answer is not awaited.
        ERR_clear_error();
        static_cast<void>(SSL_shutdown(handles_->ssl));
        ERR_clear_error();
        active_ = false;
    }
}

}  // namespace platform
