#pragma once
// The resolver of mail exchangers: a small DNS client of its own that asks the
// machine's name servers, over UDP, for the MX records of an e-mail domain.
//
// Name servers: construction reads the resolver configuration file
// (/etc/resolv.conf unless the configuration names another): the first IPv4
// "nameserver" line gives the primary, the second the secondary. SetServer replaces
// the primary with the operator's name server (DNSADDRESS of the options) and keeps
// the secondary. The resolver is available while either is known.
//
// Lookups: one query per name server, the secondary asked only when the primary gave
// no datagram at all (an answer without mail exchangers is final). GetMailServer asks
// again, up to four queries in all, while the most preferred exchanger comes without
// an address, and returns the last list it got. Every query uses a fresh socket and
// waits at most the query time-out (5000 ms) for a datagram from the server asked;
// datagrams from anywhere else are ignored. While waiting, the host's
// PumpWhileWaiting runs at least every 100 ms, and a stop request ends the wait as if
// the server had not answered (and ends GetMailServer's retries).
//
// Threads: made on the thread that makes the engine; SetServer, Initialise and the
// lookups run on the engine thread afterwards. No state is kept between lookups.

#include <array>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "transport/tvresolver.h"
#include "transport/tvtransporthost.h"

class CDNS : public tvResolver {
  public:
    struct Config {
        std::string resolver_file = "/etc/resolv.conf";
        int port = 53;                            // port of every name server asked
        std::chrono::milliseconds timeout{5000};  // wait for each answer
    };

    // Results of Query other than a byte count.
    static constexpr int kNoAnswer = -1;       // nothing within the time-out
    static constexpr int kServerUnknown = -2;  // the server name does not resolve
    static constexpr int kNoSocket = -3;       // no socket could be made
    static constexpr int kSendFailed = -4;     // the query could not be sent (or built)
    static constexpr int kReceiveFailed = -5;  // the receive failed otherwise

    using Buffer = std::array<uint8_t, 2048>;

    // Discovers the name servers from the default configuration file.
    CDNS();
    explicit CDNS(Config config);
    ~CDNS() override;

    // Sets the primary name server to the dotted text of `address` (first octet in the
    // most significant byte).
    void SetServer(uint32_t address);
    const std::string& Primary() const { return primary_; }
    const std::string& Secondary() const { return secondary_; }

    // tvResolver.
    void SetNameServer(uint32_t address) override { SetServer(address); }
    [[nodiscard]] bool Initialise() override { return IsAvailable(); }
    [[nodiscard]] bool IsAvailable() const override;
    [[nodiscard]] std::vector<tvMailExchanger> GetMailServer(const std::string& domain,
                                                             tvTransportHost* host) override;

    // One exchange with `server` (dotted address or host name) on `port` (0: 53):
    // sends the query for `domain` and `type` and receives one datagram into
    // *buffer. Returns the bytes received or one of the codes above.
    [[nodiscard]] int Query(const std::string& domain, const std::string& server, int port,
                            uint16_t type, Buffer* buffer, tvTransportHost* host);
    // The MX query to the primary, then (when it gave no datagram) to the secondary;
    // the answer's mail exchangers, or empty.
    [[nodiscard]] std::vector<tvMailExchanger> Lookup(const std::string& domain,
                                                      tvTransportHost* host);

    // The number of queries sent since construction (for the log and for tests).
    int QueriesSent() const { return queries_sent_; }

  private:
    void Discover();

    Config config_;
    std::string primary_;
    std::string secondary_;
    int queries_sent_ = 0;
};
