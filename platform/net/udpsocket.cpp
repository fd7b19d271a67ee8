#include "platform/net/udpsocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

namespace {

bool MakeAddress(const std::string& address, int port, sockaddr_in* out) {
    *out = sockaddr_in{};
    out->sin_family = AF_INET;
    out->sin_port = htons(static_cast<uint16_t>(port));
    return port >= 0 && port <= 65535 && ::inet_pton(AF_INET, address.c_str(), &out->sin_addr) == 1;
}

}  // namespace

UdpSocket::~UdpSocket() {
    Close();
}

bool UdpSocket::Open() {
    Close();
    fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        last_error_ = errno;
        return false;
    }
    return true;
}

bool UdpSocket::Bind(const std::string& address, int port) {
    sockaddr_in local{};
    if (!MakeAddress(address, port, &local)) {
        last_error_ = EINVAL;
        return false;
    }
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
        last_error_ = errno;
        return false;
    }
    return true;
}

int UdpSocket::LocalPort() const {
    sockaddr_in local{};
    socklen_t size = sizeof(local);
    if (fd_ < 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&local), &size) != 0) {
        return 0;
    }
    return ntohs(local.sin_port);
}

long UdpSocket::SendTo(std::string_view bytes, const std::string& address, int port) {
    sockaddr_in remote{};
    if (!MakeAddress(address, port, &remote) || port == 0) {
        last_error_ = EINVAL;
        return -1;
    }
    for (;;) {
        const ssize_t count = ::sendto(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL,
                                       reinterpret_cast<const sockaddr*>(&remote), sizeof(remote));
        if (count >= 0) {
            return static_cast<long>(count);
        }
        if (errno != EINTR) {
            last_error_ = errno;
            return -1;
        }
    }
}

WaitResult UdpSocket::WaitReadable(std::chrono::milliseconds timeout) {
    if (fd_ < 0) {
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

long UdpSocket::ReceiveFrom(char* buffer, size_t size, std::string* from_address, int* from_port) {
    sockaddr_in remote{};
    for (;;) {
        socklen_t length = sizeof(remote);
        const ssize_t count =
            ::recvfrom(fd_, buffer, size, 0, reinterpret_cast<sockaddr*>(&remote), &length);
        if (count >= 0) {
            if (from_address != nullptr) {
                char text[INET_ADDRSTRLEN] = {};
                *from_address =
                    ::inet_ntop(AF_INET, &remote.sin_addr, text, sizeof(text)) != nullptr
                        ? std::string(text)
                        : std::string();
            }
            if (from_port != nullptr) {
                *from_port = ntohs(remote.sin_port);
            }
            return static_cast<long>(count);
        }
        if (errno != EINTR) {
            last_error_ = errno;
            return -1;
        }
    }
}

void UdpSocket::Close() {
    if (fd_ >= 0) {
        static_cast<void>(::close(fd_));
        fd_ = -1;
    }
}

}  // namespace platform
