#pragma once
// A UDP socket over POSIX sockets, for datagram exchanges such as name-server
// queries. Owns its descriptor; failures keep their errno in LastError().
// Not thread-safe.

#include <chrono>
#include <string>
#include <string_view>

#include "platform/net/netwait.h"

namespace platform {

class UdpSocket {
  public:
    UdpSocket() = default;
    ~UdpSocket();
    UdpSocket(const UdpSocket&) = delete;
    UdpSocket& operator=(const UdpSocket&) = delete;

    // Makes a new IPv4 datagram socket, closing any open one first.
    [[nodiscard]] bool Open();
    // Binds to a dotted IPv4 address and port (0 = any free port).
    [[nodiscard]] bool Bind(const std::string& address, int port);
    // The local port once bound or after the first send, else 0.
    int LocalPort() const;
    // Sends one datagram to a dotted IPv4 address. Returns the bytes sent or -1.
    [[nodiscard]] long SendTo(std::string_view bytes, const std::string& address, int port);
    // Waits until a datagram is waiting, at most `timeout`.
    [[nodiscard]] WaitResult WaitReadable(std::chrono::milliseconds timeout);
    // Reads one datagram (cut at `size` bytes). Returns its length or -1; the
    // sender's dotted address and port are stored when the pointers are given.
    [[nodiscard]] long ReceiveFrom(char* buffer, size_t size, std::string* from_address = nullptr,
                                   int* from_port = nullptr);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int LastError() const { return last_error_; }

  private:
    int fd_ = -1;
    int last_error_ = 0;
};

}  // namespace platform
