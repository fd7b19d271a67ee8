#pragma once
// The line-protocol core shared by the SNPP, SMTP and POP3 clients: a TCP connection
// over which a client sends one command line at a time and reads the reply to it.
//
// Sending: the command and CR LF go to the system in one send; the communications
// log gets a row "%d->" (bytes sent, CR LF included) with the command, or with
// "Confidential" when the caller says so.
//
// Reading: the reply is gathered from as many reads as it takes until the protocol's
// reply end is in (a line end, a final line of a multi-line coded reply, the "."
// line of a multi-line POP3 answer), until the peer closes, a read fails, the
// time-out passes, the size limit is reached or the engine is asked to stop. Nothing
// sleeps when the reply is already there. While waiting, the engine's hook runs at
// least every 100 ms. Every read that gathered bytes adds a row "<-%d" (bytes read)
// with the reply text. Everything that arrived in the reads of one reply belongs to
// that reply; with `discard_excess`, a reply longer than the size limit is read on to
// its line end and what lies beyond the limit is dropped, so it is never taken for
// the next reply.
//
// Once the engine is asked to stop, waits (connecting, reading a reply, TLS set-up)
// end within one slice (kStopped, or a connect that fails with ECANCELED): no wait
// outlasts a stop request by more than 100 ms.
//
// TLS: StartTls puts TLS under the connection at any point (at once for a port that
// speaks TLS from the first byte, or after a STARTTLS exchange); from then on every
// command and reply goes through it. Close ends TLS before the socket.
//
// Traffic rows go through the host's LogComm and can be switched off for clients
// whose log rows say something else. Engine thread only; not thread-safe.

#include <chrono>
#include <string>
#include <string_view>

#include "platform/net/tcpsocket.h"
#include "platform/net/tlssession.h"
#include "transport/tvtransporthost.h"

// Decides whether the bytes gathered so far hold a complete reply.
using ReplyComplete = bool (*)(std::string_view gathered);

// A line end (LF, normally after CR) has arrived.
bool LineComplete(std::string_view gathered);
// A coded reply (SMTP style) is complete when its last line has arrived: a line
// whose code is not followed by "-" ("250-first", "250 last").
bool CodedReplyComplete(std::string_view gathered);
// A POP3 multi-line answer is complete when it ends with the terminating "."
// line (CR LF "." CR LF); a negative status line ("-ERR ...") is complete at its
// line end, since no data follows it.
bool DotTerminatedComplete(std::string_view gathered);

struct ReplyRules {
    ReplyComplete complete = &LineComplete;
    std::chrono::milliseconds timeout{30000};
    // When set, the time-out counts from the last bytes received rather than from
    // the start of the read.
    bool restart_on_data = false;
    // The reply ends here even without its end mark; the rest stays unread, unless
    // `discard_excess` is set.
    size_t max_bytes = 1024;
    // Past max_bytes, read on and drop the bytes until a line end (LF) arrives.
    bool discard_excess = false;
};

enum class ReplyStatus {
    kComplete,  // the reply end arrived, or max_bytes were gathered
    kTimedOut,  // the time-out passed (the text holds whatever arrived)
    kClosed,    // the peer closed (the text holds whatever arrived before)
    kFailed,    // a read failed; LastError() (or TlsErrorText()) says why
    kStopped,   // the engine was asked to stop while waiting (the text holds what came)
};

struct LineReply {
    ReplyStatus status = ReplyStatus::kTimedOut;
    std::string text;    // the bytes gathered, as text ending at the first NUL byte
    size_t bytes = 0;    // the number of bytes gathered
    size_t dropped = 0;  // bytes beyond max_bytes that were read and dropped
};

enum class SendStatus {
    kSent,
    kEmpty,        // empty command: nothing to send
    kFailed,       // the send call failed; LastError() says why
    kNothingSent,  // the send call took no bytes
};

struct LineSend {
    SendStatus status = SendStatus::kEmpty;
    size_t bytes = 0;  // bytes sent, CR LF included
};

class CLineSocket {
  public:
    // The host receives the traffic rows and runs the wait hook; it must outlive
    // the socket.
    explicit CLineSocket(tvTransportHost& host);
    virtual ~CLineSocket();
    CLineSocket(const CLineSocket&) = delete;
    CLineSocket& operator=(const CLineSocket&) = delete;

    // Makes the TCP socket; false on failure (LastError says why).
    [[nodiscard]] bool Create();
    // Puts the socket into blocking mode; false on failure.
    [[nodiscard]] bool SetBlocking();
    // Connects to a dotted address or host name, running the wait hook while the
    // connection is being set up; gives up (kFailed, ECANCELED) on a stop request.
    [[nodiscard]] platform::ConnectResult Connect(const std::string& host, int port,
                                                  std::chrono::milliseconds timeout);
    // Ends TLS (when on) and closes the socket.
    void Close();
    bool IsOpen() const { return socket_.IsOpen(); }

    // Runs the TLS handshake on the open connection for `host` (what the certificate
    // must be for), waiting at most `timeout`. kOk: every later command and reply
    // goes through TLS. Otherwise TLS is off and TlsErrorText() says why; the caller
    // must not go on in clear text.
    [[nodiscard]] platform::TlsStatus StartTls(const std::string& host,
                                               std::chrono::milliseconds timeout);
    bool TlsActive() const { return tls_.Active(); }
    const std::string& TlsErrorText() const { return tls_.ErrorText(); }

    // Sends `command` followed by CR LF in one send and logs it (see the file
    // comment). An empty command sends nothing.
    [[nodiscard]] LineSend SendLine(std::string_view command, bool confidential);
    // Sends the bytes exactly as they are, in one send, without a log row (message
    // contents). Empty bytes send nothing.
    [[nodiscard]] LineSend SendBytes(std::string_view bytes);
    // Gathers one reply under `rules` and logs it (see the file comment).
    [[nodiscard]] LineReply ReadLineReply(const ReplyRules& rules);

    // Reads and drops whatever the peer sent that no reply has taken; returns the
    // number of bytes (0 when none; the bytes are logged as received).
    size_t DrainUnasked();

    // The errno of the last failed socket call.
    int LastError() const { return socket_.LastError(); }
    void SetTrafficLogging(bool on) { log_traffic_ = on; }
    // How long a send under TLS may wait for the peer to take the bytes (a plain
    // socket blocks in the system instead). 30000 ms unless changed.
    void SetSendTimeout(std::chrono::milliseconds timeout) { send_timeout_ = timeout; }

  protected:
    tvTransportHost& host() { return host_; }

  private:
    // Sends the bytes through TLS or the plain socket; the count, or -1.
    long Transmit(std::string_view bytes);
    // Reads what is there through TLS or the plain socket: the count, 0 when the peer
    // closed, -1 on failure, kNothingYet when TLS took a record that held no data.
    long ReceiveSome(char* buffer, size_t room);
    static constexpr long kNothingYet = -2;
    // Waits for something to read; bytes TLS already holds count as ready.
    platform::WaitResult WaitReadable(std::chrono::milliseconds timeout);
    platform::WaitHooks Hooks();

    tvTransportHost& host_;
    platform::TcpSocket socket_;
    platform::TlsSession tls_;
    bool log_traffic_ = true;
    std::chrono::milliseconds send_timeout_{30000};
};
