#pragma once
// The record manager's process-wide state: its clients, and the table of open files
// behind position blocks.
//
// A position block holds a marker, the registry's epoch, a slot number and that slot's
// generation. It is open only when all of them match a slot that records this very
// block address and the client using it, so a block never opened, closed, moved or
// inherited over a fork is not open (status 3).
//
// A forked child must not use connections it inherited: the first call after a fork
// (seen through a fork handler, or a changed process id) abandons the registry it finds (closing
// the inherited lock descriptors, leaving SQLite alone) and starts a fresh one. Registries live for
// the whole process.

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/recman/client.h"
#include "platform/recman/openfile.h"
#include "platform/recman/statedirectory.h"

namespace recman {

class Registry {
  public:
    // The registry of this process. Thread-safe.
    static Registry& Current();

    Registry(Registry* inherited, pid_t pid, uint64_t fork_generation);
    Registry(const Registry&) = delete;
    Registry& operator=(const Registry&) = delete;

    // The client named by 16 bytes, or the process's default client for nullptr; made
    // on first use. Thread-safe; clients live as long as the registry.
    Client& ClientFor(const uint8_t* id);

    // Ends the client named by `id` (nullptr: the default client): its transaction is
    // rolled back, its files are closed and their position blocks stop being open, and
    // everything it held is freed. A later call with the same id starts a new client.
    // The caller makes no other call for this client at the same time. Thread-safe.
    void Release(const uint8_t* id);
    // How many clients the registry holds. Thread-safe.
    size_t ClientCount();

    // Thread-safe. Records `file` of `owner` behind `block` and writes the block.
    void Register(void* block, const Client* owner, OpenFile* file);
    // The open file behind `block` when `owner` opened it, else nullptr.
    OpenFile* Resolve(const void* block, const Client* owner);
    // True when `block` is open for any client.
    bool IsOpen(const void* block);
    // Forgets `block` and clears it.
    void Unregister(void* block);

  private:
    struct Slot {
        const void* block = nullptr;
        const Client* owner = nullptr;
        OpenFile* file = nullptr;
        uint32_t generation = 0;
    };
    using ClientKey = std::array<uint8_t, 17>;

    const Slot* Find(const void* block) const;
    static ClientKey KeyOf(const uint8_t* id);
    void Abandon();

    const pid_t pid_;
    const uint64_t fork_generation_;
    const uint64_t epoch_;
    [[maybe_unused]] Registry* const inherited_;  // kept reachable, never used again
    StateDirectory state_;

    std::mutex mutex_;  // guards clients_, slots_, free_slots_
    std::map<ClientKey, std::unique_ptr<Client>> clients_;
    std::vector<Slot> slots_;
    std::vector<uint32_t> free_slots_;
};

}  // namespace recman
