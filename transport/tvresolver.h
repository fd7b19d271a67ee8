#pragma once
// The name resolver as the engine and the mail carrier see it: told the name server
// of the options, then initialised once when the engine starts. A resolver that does
// not initialise leaves the SMTP networks without mail-exchanger lookups, so the
// engine refuses them. The mail carrier asks it for the mail exchangers of a domain.
//
// Threads: SetNameServer and Initialise run on the user-interface thread during the
// engine's Start, before the engine thread does any work; everything else runs on the
// engine thread afterwards.

#include <cstdint>
#include <string>
#include <vector>

class tvTransportHost;

// One mail exchanger of a domain.
struct tvMailExchanger {
    uint16_t preference = 0;  // lower is preferred
    std::string host;         // host name, dotted, without a trailing dot
    std::string address;      // dotted IPv4 address from the answer; empty when none
    bool operator==(const tvMailExchanger&) const = default;
};

class tvResolver {
  public:
    virtual ~tvResolver() = default;

    // The IPv4 address of the name server, first octet in the most significant byte.
    virtual void SetNameServer(uint32_t address) = 0;
    // Makes the resolver ready; false when it cannot resolve (no name server known).
    [[nodiscard]] virtual bool Initialise() = 0;
    // True while a name server is known (the carrier checks it before every connect).
    [[nodiscard]] virtual bool IsAvailable() const { return false; }
    // The mail exchangers of `domain`, most preferred first; empty when none were
    // found. Waits run `host`'s PumpWhileWaiting and give up on its StopRequested
    // (no host: plain waits).
    [[nodiscard]] virtual std::vector<tvMailExchanger> GetMailServer(const std::string& domain,
                                                                     tvTransportHost* host) {
        static_cast<void>(domain);
        static_cast<void>(host);
        return {};
    }
};

// No resolver at all: nothing initialises.
class NoNameResolver final : public tvResolver {
  public:
    void SetNameServer(uint32_t address) override { name_server_ = address; }
    [[nodiscard]] bool Initialise() override { return false; }
    uint32_t NameServer() const { return name_server_; }

  private:
    uint32_t name_server_ = 0;
};
