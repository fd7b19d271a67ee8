#pragma once
// A one-connection peer on 127.0.0.1 for socket tests. It listens on a free port,
// accepts the first connection on a thread of its own and runs a script on it: the
// script reads what the client sent and answers with exact bytes, stalls, closes or
// resets. Destruction asks the script to end (every read helper gives up), then joins.

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/net/tcplistener.h"
#include "platform/net/tcpsocket.h"

class LoopbackPeer {
  public:
    // The accepted connection as a script sees it. Used only on the peer's thread.
    class Connection {
      public:
        Connection(platform::TcpSocket& socket, const std::atomic<bool>& stopping)
            : socket_(socket), stopping_(stopping) {}
        // Reads until the bytes gathered end with `terminator`, the peer closes, the
        // time-out passes or the peer is being destroyed; returns what was gathered.
        std::string ReadUntil(std::string_view terminator,
                              std::chrono::milliseconds timeout = std::chrono::seconds(5));
        // Reads until the client closes its side (or the time-out); returns everything.
        std::string ReadToEnd(std::chrono::milliseconds timeout = std::chrono::seconds(5));
        // Sends the bytes exactly; false when the send failed.
        bool Send(std::string_view bytes);
        // Sleeps, giving up early when the peer is being destroyed.
        void Pause(std::chrono::milliseconds duration);
        void Close() { socket_.Close(); }
        void Reset() { socket_.CloseWithReset(); }
        platform::TcpSocket& socket() { return socket_; }

      private:
        platform::TcpSocket& socket_;
        const std::atomic<bool>& stopping_;
    };
    using Script = std::function<void(Connection& connection)>;

    explicit LoopbackPeer(Script script);
    ~LoopbackPeer();
    LoopbackPeer(const LoopbackPeer&) = delete;
    LoopbackPeer& operator=(const LoopbackPeer&) = delete;

    int port() const { return port_; }
    // Waits until the script has finished. A peer that no client reaches gives up
    // accepting after 10 seconds, so this never hangs for long.
    void Join();

  private:
    void Run();

    platform::TcpListener listener_;
    int port_ = 0;
    Script script_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};
