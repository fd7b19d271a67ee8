#include "platform/net/tcpsocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace platform {

namespace {

// getaddrinfo results, freed on scope exit.
class AddressList {
  public:
    AddressList() = default;
    ~AddressList() {
        if (list_ != nullptr) {
            ::freeaddrinfo(list_);
        }
    }
    AddressList(const AddressList&) = delete;
    AddressList& operator=(const AddressList&) = delete;
    addrinfo** out() { return &list_; }
    const addrinfo* first() const { return list_; }

  private:
    addrinfo* list_ = nullptr;
};

}  // namespace

TcpSocket::~TcpSocket() {
    Close();
}

TcpSocket::TcpSocket(TcpSocket&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), last_error_(other.last_error_) {}

TcpSocket& TcpSocket::operator=(TcpSocket&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        last_error_ = other.last_error_;
    }
    return *this;
}

TcpSocket TcpSocket::Adopt(int fd) {
    return TcpSocket(fd);
}

int TcpSocket::Fail() {
    last_error_ = errno;
    return -1;
}

bool TcpSocket::Create() {
    Close();
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        static_cast<void>(Fail());
        return false;
    }
    return true;
}

bool TcpSocket::SetBlocking(bool blocking) {
    int non_blocking = blocking ? 0 : 1;
    if (::ioctl(fd_, FIONBIO, &non_blocking) != 0) {
        static_cast<void>(Fail());
        return false;
    }
    return true;
}

bool TcpSocket::IsBlocking() const {
    const int flags = ::fcntl(fd_, F_GETFL);
    return flags >= 0 && (flags & O_NONBLOCK) == 0;
}

ConnectResult TcpSocket::Connect(const std::string& host, int port,
                                 std::chrono::milliseconds timeout,
                                 const std::function<void()>& while_waiting,
                                 const std::function<bool()>& give_up) {
    if (!IsOpen()) {
        last_error_ = EBADF;
        return ConnectResult::kFailed;
    }
    if (port < 1 || port > 65535) {
        last_error_ = EINVAL;
        return ConnectResult::kFailed;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    AddressList addresses;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, addresses.out()) != 0 ||
        addresses.first() == nullptr) {
        last_error_ = EINVAL;
        return ConnectResult::kHostNotFound;
    }

    const bool blocking = IsBlocking();
    ConnectResult result = ConnectResult::kFailed;
    for (const addrinfo* entry = addresses.first(); entry != nullptr; entry = entry->ai_next) {
        if (entry != addresses.first()) {
            // A descriptor whose connect failed cannot be reused portably: start afresh.
            if (!Create() || !SetBlocking(blocking)) {
                return ConnectResult::kFailed;
            }
        }
        sockaddr_in address{};
        std::memcpy(&address, entry->ai_addr, std::min<size_t>(sizeof(address), entry->ai_addrlen));
        address.sin_port = htons(static_cast<uint16_t>(port));
        result = ConnectOnce(&address, sizeof(address), timeout, while_waiting, give_up);
        if (result == ConnectResult::kConnected || last_error_ == ECANCELED) {
            break;
        }
    }
    return result;
}

ConnectResult TcpSocket::ConnectOnce(const void* address, unsigned length,
                                     std::chrono::milliseconds timeout,
                                     const std::function<void()>& while_waiting,
                                     const std::function<bool()>& give_up) {
    // Connect without blocking so that the caller's callback keeps running while the
    // handshake is under way; the original mode is restored afterwards.
    const bool blocking = IsBlocking();
    if (blocking && !SetBlocking(false)) {
        return ConnectResult::kFailed;
    }
    int outcome = ::connect(fd_, static_cast<const sockaddr*>(address), length);
    int error = outcome == 0 ? 0 : errno;
    if (outcome != 0 && (error == EINPROGRESS || error == EINTR)) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        error = ETIMEDOUT;
        for (;;) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline) {
                break;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
            int wait_error = 0;
            const WaitResult waited =
                WaitForDescriptor(fd_, POLLOUT, std::min(left, kWaitSlice), &wait_error);
            if (waited == WaitResult::kFailed) {
                error = wait_error;
                break;
            }
            if (waited == WaitResult::kReady) {
                int socket_error = 0;
                socklen_t size = sizeof(socket_error);
                if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &socket_error, &size) != 0) {
                    socket_error = errno;
                }
                error = socket_error;
                break;
            }
            if (while_waiting) {
                while_waiting();
            }
            if (give_up && give_up()) {
                error = ECANCELED;
                break;
            }
        }
    }
    if (blocking && !SetBlocking(true) && error == 0) {
        return ConnectResult::kFailed;
    }
    if (error != 0) {
        last_error_ = error;
        return ConnectResult::kFailed;
    }
    return ConnectResult::kConnected;
}

long TcpSocket::Send(std::string_view bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return Fail();
        }
        if (count == 0) {
            break;
        }
        sent += static_cast<size_t>(count);
    }
    return static_cast<long>(sent);
}

long TcpSocket::Receive(char* buffer, size_t size) {
    for (;;) {
        const ssize_t count = ::recv(fd_, buffer, size, 0);
        if (count >= 0) {
            return static_cast<long>(count);
        }
        if (errno != EINTR) {
            return Fail();
        }
    }
}

long TcpSocket::BytesWaiting() {
    int count = 0;
    if (::ioctl(fd_, FIONREAD, &count) != 0) {
        return Fail();
    }
    return count;
}

WaitResult TcpSocket::WaitReadable(std::chrono::milliseconds timeout) {
    if (!IsOpen()) {
        last_error_ = EBADF;
        return WaitResult::kFailed;
    }
    int error = 0;
    const WaitResult result = WaitForDescriptor(fd_, POLLIN, timeout, &error);
    if (result == WaitResult::kFailed) {
        last_error_ = error;
    }
    return result;
}

void TcpSocket::CloseWithReset() {
    if (!IsOpen()) {
        return;
    }
    linger option{1, 0};
    static_cast<void>(::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &option, sizeof(option)));
    Close();
}

void TcpSocket::Close() {
    if (fd_ >= 0) {
        static_cast<void>(::close(fd_));
        fd_ = -1;
    }
}

int TcpSocket::LocalPort() const {
    sockaddr_in address{};
    socklen_t size = sizeof(address);
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

std::string LocalHostName(size_t limit) {
    char name[256] = {};
    if (::gethostname(name, sizeof(name) - 1) != 0 || name[0] == '\0') {
        return "localhost";
    }
    return std::string(name).substr(0, limit);
}

}  // namespace platform
