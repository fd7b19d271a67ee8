#pragma once
// A listening TCP socket, for peers that the program's clients talk to in tests
// (loopback servers) and for anything else that must accept connections.
// Owns its descriptor; not thread-safe.

#include <chrono>
#include <string>

#include "platform/net/tcpsocket.h"

namespace platform {

class TcpListener {
  public:
    TcpListener() = default;
    ~TcpListener();
    TcpListener(const TcpListener&) = delete;
    TcpListener& operator=(const TcpListener&) = delete;

    // Binds to a dotted IPv4 address and port (0 = any free port) and listens.
    // Returns false (and sets LastError) on failure.
    [[nodiscard]] bool Listen(const std::string& address, int port, int backlog = 8);
    // The port actually bound, 0 when not listening.
    int Port() const;
    // Waits at most `timeout` for a connection. Returns the accepted (blocking)
    // socket, or a closed socket when none came or accept failed.
    [[nodiscard]] TcpSocket Accept(std::chrono::milliseconds timeout);
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int LastError() const { return last_error_; }

  private:
    int fd_ = -1;
    int last_error_ = 0;
};

}  // namespace platform
