#pragma once
// A loopback SMTP server for tests of the mail client, the carrier and whole-program
// runs. It listens on 127.0.0.1 on a free port and serves one connection at a time on
// a thread of its own.
//
// By default it behaves like a small mail relay: a "220" greeting; HELO and EHLO
// ("250-" lines naming its extensions: STARTTLS when a certificate is set and TLS is
// not on yet, AUTH LOGIN, then "250 SIZE 100000"); STARTTLS ("220", then the TLS
// handshake); "auth login" checking the user and password set (235 or 535); MAIL,
// RCPT, DATA (the data read to its "." line, unstuffed and stored); RSET, NOOP;
// QUIT ("221" and close). With SetImplicitTls every connection is TLS from the first
// byte. A script overrides the answer to a command word: another reply line, silence
// (the server reads on but never answers), or a close; for every occurrence or only
// the n-th. Replies can go out one line at a time with a pause between lines, so that
// multi-line replies arrive in several reads.
//
// Everything received is recorded per connection (after TLS, as text). Thread-safe:
// the test thread scripts and inspects while the server thread serves (state guarded
// by mutex_). Destruction stops the server and joins its thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/tcplistener.h"
#include "platform/net/tcpsocket.h"
#include "tests/support/testca.h"

class SmtpTestServer {
  public:
    struct Action {
        enum class Kind { kReply, kNoReply, kClose };
        Kind kind = Kind::kReply;
        std::string text;  // kReply: the reply, lines separated by "\r\n", CR LF added

        static Action Reply(std::string text);
        static Action NoReply();
        static Action Close();
    };

    // One mail accepted after DATA.
    struct Mail {
        std::string from;                     // MAIL FROM address, without < >
        std::vector<std::string> recipients;  // RCPT TO addresses
        std::string data;                     // the data as sent, before unstuffing
        std::string content;                  // the data unstuffed, without the "." line
        bool tls = false;                     // the transaction ran over TLS
        std::string user;                     // the authenticated user, if any

        // The value of the first header line `name` ("Subject"), empty when absent.
        std::string Header(const std::string& name) const;
        // The text after the empty line that ends the header.
        std::string Body() const;
    };

    // One connection as the server saw it.
    struct Session {
        std::vector<std::string> commands;  // every command line, in order
        bool tls = false;                   // TLS came up on it
        bool tls_failed = false;            // a TLS handshake was tried and failed
        bool closed = false;
    };

    // Listens on 127.0.0.1 at `port` (0: a free one); throws when it cannot.
    explicit SmtpTestServer(int port = 0);
    ~SmtpTestServer();
    SmtpTestServer(const SmtpTestServer&) = delete;
    SmtpTestServer& operator=(const SmtpTestServer&) = delete;

    int port() const { return port_; }

    // The certificate the server shows; without one, STARTTLS is not offered.
    void SetCertificate(const TestCa::Issued& issued);
    // Every connection is TLS from the first byte (needs a certificate).
    void SetImplicitTls(bool on);
    // STARTTLS is offered in the EHLO reply when a certificate is set (default on).
    void SetOfferStartTls(bool on);
    // The user and password "auth login" accepts.
    void SetCredentials(const std::string& user, const std::string& password);
    void SetGreeting(Action action);
    // Answers the command word `verb` (case-insensitive; "AUTH" for "auth login")
    // with `action`: always, or only at the `occurrence`-th time (from 1, over all
    // connections). The latest matching script wins.
    void OnCommand(const std::string& verb, Action action, int occurrence = 0);
    // Writes each reply line separately, `gap` apart.
    void SetLineGap(std::chrono::milliseconds gap);

    int Connections() const;
    bool WaitForClosedConnections(
        int count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    std::vector<Session> Sessions() const;
    std::vector<Mail> Mails() const;
    // Every command line received on every connection, in order.
    std::vector<std::string> Commands() const;

  private:
    class Channel;
    struct Script {
        std::string verb;
        int occurrence = 0;
        Action action;
    };

    void Run();
    void Serve(platform::TcpSocket& socket, size_t index);
    // The scripted action for `verb`, if any; counts the occurrence. REQUIRES: mutex_.
    const Action* Scripted(const std::string& verb);
    bool Answer(Channel& channel, const std::string& text);
    bool Pause(std::chrono::milliseconds duration) const;

    platform::TcpListener listener_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable closed_changed_;
    TestCa::Issued certificate_;                     // guarded by mutex_
    bool implicit_tls_ = false;                      // guarded by mutex_
    bool offer_starttls_ = true;                     // guarded by mutex_
    std::string user_;                               // guarded by mutex_
    std::string password_;                           // guarded by mutex_
    Action greeting_;                                // guarded by mutex_
    std::vector<Script> scripts_;                    // guarded by mutex_
    std::vector<std::pair<std::string, int>> seen_;  // per verb: occurrences; mutex_
    std::chrono::milliseconds line_gap_{0};          // guarded by mutex_
    std::vector<Session> sessions_;                  // guarded by mutex_
    std::vector<Mail> mails_;                        // guarded by mutex_
};
