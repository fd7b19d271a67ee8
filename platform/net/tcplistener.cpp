#include "platform/net/tcplistener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

TcpListener::~TcpListener() {
    Close();
}

bool TcpListener::Listen(const std::string& address, int port, int backlog) {
    Close();
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (port < 0 || port > 65535 || ::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        last_error_ = EINVAL;
        return false;
    }
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        last_error_ = errno;
        return false;
    }
    const int reuse = 1;
    static_cast<void>(::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse)));
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0 ||
        ::listen(fd_, backlog) != 0) {
        last_error_ = errno;
        Close();
        return false;
    }
    return true;
}

int TcpListener::Port() const {
    sockaddr_in local{};
    socklen_t size = sizeof(local);
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

TcpSocket TcpListener::Accept(std::chrono::milliseconds timeout) {
    if (fd_ < 0) {
        last_error_ = EBADF;
        return TcpSocket();
    }
    int error = 0;
    const WaitResult waited = WaitForDescriptor(fd_, POLLIN, timeout, &error);
    if (waited != WaitResult::kReady) {
        if (waited == WaitResult::kFailed) {
            last_error_ = error;
        }
        return TcpSocket();
    }
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
        last_error_ = errno;
        return TcpSocket();
    }
    return TcpSocket::Adopt(fd);
}

void TcpListener::Close() {
    if (fd_ >= 0) {
        static_cast<void>(::close(fd_));
        fd_ = -1;
    }
}

}  // namespace platform
