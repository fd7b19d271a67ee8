#pragma once
// The name resolver as the engine sees it: told the name server of the options, then
// initialised once when the engine starts. A resolver that does not initialise leaves
// the SMTP networks without mail-exchanger lookups, so the engine refuses them.
//
// Until the DNS resolver exists, the engine runs with NoNameResolver, which never
// initialises: the engine then says "Unable to Locate DNS" and "EMail (SMTP) Networks
// Disabled", as it would on a machine without a name server.
//
// Threads: SetNameServer and Initialise run on the user-interface thread during the
// engine's Start, before the engine thread does any work; Working is read afterwards on
// the engine thread.

#include <cstdint>

class tvEngineResolver {
  public:
    virtual ~tvEngineResolver() = default;

    // The IPv4 address of the name server, first octet in the most significant byte.
    virtual void SetNameServer(uint32_t address) = 0;
    // Makes the resolver ready; false when it cannot resolve (no name server known).
    [[nodiscard]] virtual bool Initialise() = 0;
};

// No resolver at all: nothing initialises.
class NoNameResolver final : public tvEngineResolver {
  public:
    void SetNameServer(uint32_t address) override { name_server_ = address; }
    [[nodiscard]] bool Initialise() override { return false; }
    uint32_t NameServer() const { return name_server_; }

  private:
    uint32_t name_server_ = 0;
};
