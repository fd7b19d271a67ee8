#pragma once
// A loopback name server for tests of the resolver, the mail carrier and whole-program
// runs: UDP on 127.0.0.1, a free port, a thread of its own. Every datagram received is
// recorded and handed to the responder, whose answer (when it gives one) goes back to
// the sender; a responder that gives none makes a silent server.
//
// DnsAnswer composes answers to a query: the query's identifier and question, then
// records in the answer, authority and additional sections. Owner names of answer
// records point at the question (compression); owner names of address records are
// written out in labels, as some servers do.
//
// Thread-safe: the responder and the record of queries are guarded by mutex_.
// Destruction stops the server and joins its thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/udpsocket.h"

class DnsAnswer {
  public:
    enum Section { kAnswer = 0, kAuthority = 1, kAdditional = 2 };

    // An answer to `query` (its identifier and question copied), no records yet.
    explicit DnsAnswer(const std::string& query);

    DnsAnswer& Mx(uint16_t preference, const std::string& exchange, Section section = kAnswer);
    DnsAnswer& Cname(const std::string& target, Section section = kAnswer);
    DnsAnswer& Ns(const std::string& server, Section section = kAuthority);
    DnsAnswer& A(const std::string& owner, const std::string& dotted,
                 Section section = kAdditional);
    // A record of another type with raw data.
    DnsAnswer& Other(uint16_t type, const std::string& data, Section section = kAnswer);

    std::string Build() const;

  private:
    void Add(Section section, const std::string& owner, uint16_t type, const std::string& data);

    std::string header_;
    std::string question_;
    std::vector<std::string> records_[3];
};

// A name in labels, with its zero byte.
std::string DnsName(const std::string& dotted);

class DnsTestServer {
  public:
    // Returns the datagram to send back, or none for silence.
    using Responder = std::function<std::optional<std::string>(const std::string& query)>;

    DnsTestServer();
    ~DnsTestServer();
    DnsTestServer(const DnsTestServer&) = delete;
    DnsTestServer& operator=(const DnsTestServer&) = delete;

    int port() const { return port_; }
    void SetResponder(Responder responder);
    // Every datagram received, in order.
    std::vector<std::string> Queries() const;

  private:
    void Run();

    platform::UdpSocket socket_;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    Responder responder_;               // guarded by mutex_
    std::vector<std::string> queries_;  // guarded by mutex_
};
