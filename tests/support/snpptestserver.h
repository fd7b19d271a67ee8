#pragma once
// A loopback SNPP server for tests of the SNPP client, the engine and whole-program
// runs. It listens on 127.0.0.1 on a free port and serves one connection at a time
// on a thread of its own, in the order they arrive.
//
// By default it behaves like a small carrier: PAGE, MESS, MCRE, CALL, LOGI, 2WAY and
// RESET are answered "250 ...", SEND files the page ("250 Message Sent Successfully"
// one-way; "960 <n> <msgnbr> Queued" two-way, with a new message number), MSTA answers
// "860 <msgnbr> Delivered" once the page is delivered and "960 <msgnbr> Queued" until
// then, QUIT answers "221" and closes. A script overrides any of this per command
// word: another reply, exact bytes, silence, a close or a reset, optionally after a
// delay, for every occurrence or only the n-th. Replies can be written in small
// pieces with pauses between them, so clients see them split across reads.
//
// Everything received is recorded byte for byte per connection. Thread-safe: the
// test thread scripts and inspects while the server thread serves (all state is
// guarded by mutex_). Destruction stops the server and joins its thread.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/tcplistener.h"
#include "platform/net/tcpsocket.h"

class SnppTestServer {
  public:
    struct Action {
        enum class Kind { kReply, kRaw, kNoReply, kClose, kReset };
        Kind kind = Kind::kReply;
        std::string text;  // kReply: a line, sent with CR LF; kRaw: the exact bytes
        std::chrono::milliseconds delay{0};
        bool then_close = false;  // close the connection once the bytes are written

        // The same action, followed by a close.
        Action ThenClose() const;

        static Action Reply(std::string line, std::chrono::milliseconds delay = {});
        static Action Raw(std::string bytes, std::chrono::milliseconds delay = {});
        static Action NoReply();
        static Action Close(std::chrono::milliseconds delay = {});
        static Action Reset();
    };

    // One page filed by SEND.
    struct Page {
        std::string pin;
        std::string message;
        std::vector<std::string> responses;  // MCRE texts, in order
        std::string caller;                  // CALL text
        bool two_way = false;
        int number = 0;  // message number given in two-way mode, else 0
        bool delivered = false;
    };

    SnppTestServer();
    ~SnppTestServer();
    SnppTestServer(const SnppTestServer&) = delete;
    SnppTestServer& operator=(const SnppTestServer&) = delete;

    int port() const { return port_; }

    // What a new connection is greeted with (default "220 Tolvane test SNPP server").
    void SetGreeting(Action action);
    // Answers the command word `verb` (case-insensitive) with `action`: on every
    // occurrence, or only on the `occurrence`-th (from 1, counted over all
    // connections). The latest matching script wins.
    void OnCommand(const std::string& verb, Action action, int occurrence = 0);
    // Writes every greeting and reply in pieces of `chunk` bytes, `gap` apart.
    void SplitReplies(size_t chunk, std::chrono::milliseconds gap);
    // Two-way pages count as delivered as soon as they are sent (default off).
    void SetAutoDeliver(bool on);
    void DeliverAll();

    int Connections() const;
    // Connections that have ended (closed by either side).
    int ClosedConnections() const;
    // Waits until at least `count` connections have ended.
    bool WaitForClosedConnections(
        int count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) const;
    // Bytes received on each connection, in order, exactly as they came.
    std::vector<std::string> Transcripts() const;
    // All bytes received, every connection in order.
    std::string Received() const;
    // Every command line received (without its line end), in order.
    std::vector<std::string> Commands() const;
    std::vector<Page> Pages() const;

  private:
    struct Script {
        std::string verb;
        int occurrence = 0;
        Action action;
    };
    // What the client has given so far on the current connection.
    struct Session {
        bool two_way = false;
        std::string pin;
        std::string message;
        std::vector<std::string> responses;
        std::string caller;
    };

    void Run();
    void Serve(platform::TcpSocket& socket, size_t index);
    // Carries out an action; false when the connection is over.
    bool Perform(platform::TcpSocket& socket, const Action& action);
    bool Write(platform::TcpSocket& socket, const std::string& bytes);
    bool Pause(std::chrono::milliseconds duration) const;
    // The carrier model's answer; REQUIRES: mutex_ held.
    Action ModelReply(const std::string& verb, const std::string& argument, Session& session);

    platform::TcpListener listener_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    mutable std::mutex mutex_;
    mutable std::condition_variable closed_changed_;  // signalled when closed_ grows
    Action greeting_;                                 // guarded by mutex_
    std::vector<Script> scripts_;                     // guarded by mutex_
    std::vector<std::pair<std::string, int>> seen_;   // per verb: occurrences; mutex_
    size_t chunk_ = 0;                                // guarded by mutex_
    std::chrono::milliseconds gap_{0};                // guarded by mutex_
    bool auto_deliver_ = false;                       // guarded by mutex_
    int next_number_ = 5678;                          // guarded by mutex_
    int closed_ = 0;                                  // guarded by mutex_
    std::vector<std::string> transcripts_;            // guarded by mutex_
    std::vector<std::string> commands_;               // guarded by mutex_
    std::vector<Page> pages_;                         // guarded by mutex_
};
