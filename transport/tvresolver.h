#pragma once
// The name resolver as the engine and the mail carrier see it: told the name server
// of the options, then initialised once when the engine starts. A resolver that does
// not initialise leaves the SMTP networks without mail-exchanger lookups, so the
// engine refuses them.
//
// Threads: SetNameServer and Initialise run on the user-interface thread during the
// engine's Start, before the engine thread does any work; everything else runs on the
// engine thread afterwards.

#include <cstdint>

class tvResolver {
  public:
    virtual ~tvResolver() = default;

    // The IPv4 address of the name server, first octet in the most significant byte.
    virtual void SetNameServer(uint32_t address) = 0;
    // Makes the resolver ready; false when it cannot resolve (no name server known).
    [[nodiscard]] virtual bool Initialise() = 0;
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
