#pragma once
// One SMTP connection to a mail server: connecting (greeting, HELO or EHLO, TLS,
// AUTH LOGIN), mail transactions, and QUIT.
//
// States: closed; connected once the TCP connection is up (the greeting must then be
// 220); ready after HELO, or EHLO with authentication; SendMessage may run any number
// of times while ready; Disconnect or destruction returns it to closed.
//
// Connect, step by step (any failure after the TCP connection is up runs Disconnect):
//   - TLS from the first byte when security.implicit_tls (the port that speaks TLS
//     at once, 465), before the greeting;
//   - the greeting, 220;
//   - without a user name and without security.require_tls: "HELO <local host>",
//     250;
//   - otherwise "EHLO <local host>", 250; when the reply offers STARTTLS and TLS is
//     not on yet: "STARTTLS", 220, the TLS handshake, and "EHLO" again, 250. When TLS
//     is still not on and security.require_tls is set, the connection fails here,
//     before any password is sent;
//   - with a user name: "auth login", 334; the user name in base64, 334; the
//     password in base64, 235.
// The local host name is this machine's, at most 100 characters. TLS certificates are
// checked against the system's trust store and the host connected to; a certificate
// that fails the check fails the connection (FailureText says why), never a fall back
// to clear text.
//
// Replies: every reply is read until its last line (a multi-line reply is whole when
// its final "250 " line is in), waiting at most the reply time-out (90000 ms) from the
// start or from the last bytes received. The last reply text is the reply as received
// without its final CR LF (or what was gathered when the reply did not complete); the
// last reply code is read from its first three characters. Waits run the host's
// PumpWhileWaiting at least every 100 ms and give up when the host's StopRequested
// turns true.
//
// Traffic rows are not written to the communications log (the carrier writes the
// rows of its own; the AUTH exchange carries the password). Engine thread only.

#include <chrono>
#include <memory>
#include <string>

#include "transport/clinesocket.h"
#include "transport/csmtpmessage.h"
#include "transport/tvtransporthost.h"

struct SmtpTimeouts {
    std::chrono::milliseconds reply{90000};    // each reply, from the last bytes received
    std::chrono::milliseconds connect{30000};  // TCP connection set-up
    std::chrono::milliseconds tls{30000};      // TLS handshake
};

struct SmtpSecurity {
    bool implicit_tls = false;  // TLS from the first byte
    bool require_tls = false;   // never go on (nor send a password) in clear text
};

class CSMTPConnection {
  public:
    static constexpr size_t kMaxReplyBytes = 65536;
    static constexpr size_t kMaxHostNameLength = 100;

    // The host receives the waits; it must outlive the connection.
    explicit CSMTPConnection(tvTransportHost& host, SmtpTimeouts timeouts = {});
    // Disconnect() when still connected, then the socket is closed.
    virtual ~CSMTPConnection();
    CSMTPConnection(const CSMTPConnection&) = delete;
    CSMTPConnection& operator=(const CSMTPConnection&) = delete;

    // Connects, greets and (with a user name) authenticates, as the file comment
    // says. `user` null: no authentication. True when ready.
    [[nodiscard]] bool Connect(const std::string& host, int port, const std::string* user,
                               const std::string& password, const SmtpSecurity& security = {});
    // Sends "QUIT" when connected, expects 221, closes; true when the 221 came.
    bool Disconnect();
    // The whole mail transaction: MAIL FROM, RCPT TO for each To, Cc and Bcc
    // recipient, DATA, the header, the body, the end of data. True when the server
    // accepted the message; otherwise the server's reply (when one came) is the last
    // reply text.
    [[nodiscard]] bool SendMessage(const CSMTPMessage& message);
    // Sends `text` and CR LF, reads the reply; true when its code is `expected`.
    [[nodiscard]] bool SendCommand(const std::string& text, int expected);
    // Reads one reply; true when its code is `expected`. The reply text goes to
    // *reply when given.
    [[nodiscard]] bool ReadCommandResponse(int expected, std::string* reply = nullptr);

    const std::string& GetLastCommandResponse() const { return last_reply_; }
    int LastReplyCode() const { return last_code_; }
    bool IsConnected() const { return connected_; }
    // True while the connection runs over TLS.
    bool IsSecure() const { return socket_ != nullptr && socket_->TlsActive(); }
    // Why the last Connect failed when it was not a server reply: the TLS check, a
    // server that does not offer STARTTLS when TLS is required, no connection at all.
    // Empty when the server's reply says it all.
    const std::string& FailureText() const { return failure_; }
    // True when the last Connect failed on TLS: the handshake or the certificate
    // check, or a server without STARTTLS while TLS is required.
    bool FailedOnTls() const { return failed_on_tls_; }

  private:
    // Sends the bytes exactly; false when they did not all go.
    bool SendRaw(const std::string& bytes);
    bool Hello(const std::string& verb, std::string* reply);
    bool UpgradeToTls(const std::string& host);

    tvTransportHost& host_;
    SmtpTimeouts timeouts_;
    std::unique_ptr<CLineSocket> socket_;
    bool connected_ = false;
    std::string last_reply_;
    int last_code_ = 0;
    std::string failure_;
    bool failed_on_tls_ = false;
};

// Base64 of `text` in one line (RFC 2045 alphabet and padding).
std::string Base64Encode(const std::string& text);
