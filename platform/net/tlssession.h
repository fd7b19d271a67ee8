#pragma once
// TLS on a connected TCP socket, client side, over OpenSSL: the handshake, with the
// peer's certificate checked against the system's trust store (OpenSSL's default
// verify paths, which honour the SSL_CERT_FILE and SSL_CERT_DIR environment
// variables) and against the host name or address the caller connected to; then
// encrypted reads and writes on the same descriptor. Mail and mailbox clients use it
// for STARTTLS and for connections that are TLS from the first byte.
//
// A session puts its socket into non-blocking mode for good: reads never block, and
// every wait (handshake, a write the peer does not take) is a poll of at most
// kWaitSlice, after which the caller's hooks run, the "while waiting" hook and the
// stop check that makes the wait give up. Nothing is ever accepted unverified: there
// is no switch to turn the checks off. Writes never raise SIGPIPE.
//
// The socket must outlive the session (or the session be shut down first). Not
// thread-safe: one thread uses a session at a time.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/net/tcpsocket.h"

namespace platform {

// What a wait does between its slices.
struct WaitHooks {
    std::function<void()> while_waiting;  // runs at least every kWaitSlice
    std::function<bool()> should_stop;    // true: the wait gives up at once
};

enum class TlsStatus {
    kOk,
    kUntrusted,     // the certificate chain does not lead to a trusted root (or is
                    // expired, or is not for a server)
    kNameMismatch,  // the certificate is valid but names another host
    kFailed,        // no TLS: protocol error, the peer closed, no certificate
    kTimedOut,      // the handshake did not finish in time
    kStopped,       // the stop check turned true while waiting
};

// The outcome of one read or write.
enum class TlsIo {
    kDone,        // bytes moved
    kWouldBlock,  // nothing now: wait for the socket and call again
    kClosed,      // the peer ended the session (close notification or end of stream)
    kFailed,      // the session is broken; ErrorText says why
};

class TlsSession {
  public:
    TlsSession();
    ~TlsSession();
    TlsSession(const TlsSession&) = delete;
    TlsSession& operator=(const TlsSession&) = delete;

    // Runs the client handshake on `socket`, which must be connected, for `host` (the
    // name or dotted address the caller connected to: it is sent as the server name
    // and must be what the certificate is for). Waits at most `timeout` in all.
    // kOk makes the session active; anything else leaves it inactive with
    // ErrorText() saying why (for certificate failures, OpenSSL's verification text).
    [[nodiscard]] TlsStatus Handshake(TcpSocket& socket, const std::string& host,
                                      std::chrono::milliseconds timeout, const WaitHooks& hooks);
    bool Active() const { return active_; }

    // Reads decrypted bytes that are there, at most `size`; never blocks. Returns the
    // count (kDone), or 0 with the reason in *io.
    [[nodiscard]] size_t Read(char* buffer, size_t size, TlsIo* io);
    // True when decrypted bytes are waiting inside the session, so that a poll of
    // the socket would not show them.
    bool HasBuffered() const;
    // Writes all of `bytes`, waiting for the socket as needed (at most `timeout` in
    // all). Returns the bytes written (all of them on kDone) and the outcome.
    [[nodiscard]] size_t Write(std::string_view bytes, std::chrono::milliseconds timeout,
                               const WaitHooks& hooks, TlsIo* io);
    // Sends the close notification (without waiting for the peer's) and ends the
    // session; harmless when inactive.
    void Shutdown();

    const std::string& ErrorText() const { return error_text_; }

  private:
    struct Handles;

    void Fail(const std::string& context);

    std::unique_ptr<Handles> handles_;
    int fd_ = -1;
    bool active_ = false;
    std::string error_text_;
};

}  // namespace platform
