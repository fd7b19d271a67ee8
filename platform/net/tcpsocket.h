#pragma once
// A TCP client socket over POSIX sockets: the one place where the program's protocol
// clients touch the operating system for a stream connection.
//
// The object owns its descriptor and closes it when destroyed (or moved from). Every
// call that fails keeps the errno of the failure in LastError(), which the protocol
// clients report as their "socket error" number. Send never raises SIGPIPE: a peer
// that has gone away shows up as a failed send. Not thread-safe: one thread uses a
// socket at a time.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "platform/net/netwait.h"

namespace platform {

enum class ConnectResult {
    kConnected,
    kHostNotFound,  // the host is neither a dotted address nor a name that resolves
    kFailed,        // resolved, but no connection (refused, unreachable, timed out ...)
};

class TcpSocket {
  public:
    TcpSocket() = default;
    ~TcpSocket();
    TcpSocket(TcpSocket&& other) noexcept;
    TcpSocket& operator=(TcpSocket&& other) noexcept;
    TcpSocket(const TcpSocket&) = delete;
    TcpSocket& operator=(const TcpSocket&) = delete;

    // Takes ownership of a connected descriptor (from a listener's accept).
    static TcpSocket Adopt(int fd);

    // Makes a new IPv4 stream socket, closing any open one first. Returns false (and
    // sets LastError) when the system refuses.
    [[nodiscard]] bool Create();
    // Switches blocking mode with the FIONBIO control. Sockets start blocking.
    [[nodiscard]] bool SetBlocking(bool blocking);

    // Resolves `host` (dotted IPv4 address or host name) and connects to `port`,
    // trying each address the name resolves to. Waits at most `timeout` per address,
    // in slices of kWaitSlice, running `while_waiting` between slices; when `give_up`
    // answers true between slices, the attempt ends with kFailed and ECANCELED. The
    // socket must have been created; its blocking mode is kept. kHostNotFound sets
    // LastError to EINVAL; a port outside 1..65535 gives kFailed with EINVAL.
    [[nodiscard]] ConnectResult Connect(const std::string& host, int port,
                                        std::chrono::milliseconds timeout,
                                        const std::function<void()>& while_waiting = {},
                                        const std::function<bool()>& give_up = {});

    // Sends all of `bytes`, handing them to the system in one call (repeated only
    // for what a short send left over). Returns the number of bytes sent, or -1.
    [[nodiscard]] long Send(std::string_view bytes);
    // Reads what is waiting, at most `size` bytes; blocks in blocking mode when
    // nothing is. Returns the count, 0 when the peer closed its side, or -1.
    [[nodiscard]] long Receive(char* buffer, size_t size);
    // Number of bytes waiting to be read (the FIONREAD control), or -1.
    [[nodiscard]] long BytesWaiting();
    // Waits until a read would not block (data, end of stream or a pending error),
    // at most `timeout`. A closed socket gives kFailed with EBADF.
    [[nodiscard]] WaitResult WaitReadable(std::chrono::milliseconds timeout);

    // Closes the connection with a reset instead of an orderly end (SO_LINGER 0):
    // the peer's next read or write fails with "connection reset".
    void CloseWithReset();
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    // Local port of a bound or connected socket, 0 when unknown.
    int LocalPort() const;
    int LastError() const { return last_error_; }
    // The descriptor, for a layer that works on it directly (TLS); -1 when closed.
    // The socket keeps owning it.
    int Descriptor() const { return fd_; }

  private:
    explicit TcpSocket(int fd) : fd_(fd) {}
    bool IsBlocking() const;
    // One connect attempt to an already resolved address on the current descriptor.
    ConnectResult ConnectOnce(const void* address, unsigned length,
                              std::chrono::milliseconds timeout,
                              const std::function<void()>& while_waiting,
                              const std::function<bool()>& give_up);
    int Fail();

    int fd_ = -1;
    int last_error_ = 0;
};

// This machine's host name (at most `limit` characters); "localhost" when the system
// gives none.
std::string LocalHostName(size_t limit);

}  // namespace platform
