#include "platform/recman/registry.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <random>

#include "platform/recman/recman.h"

namespace recman {
namespace {

constexpr char kMarker[8] = {'T', 'V', 'R', 'M', 'O', 'P', 'E', 'N'};
constexpr size_t kEpochAt = 8;
constexpr size_t kSlotAt = 16;
constexpr size_t kGenerationAt = 20;

std::atomic<Registry*> g_registry{nullptr};

// Counts forks in this process's line: a child sees a value its registry was not made
// with. (Cheaper than asking for the process id on every call.)
std::atomic<uint64_t> g_fork_generation{0};

void CountFork() {
    g_fork_generation.fetch_add(1, std::memory_order_relaxed);
}

uint64_t NewEpoch(pid_t pid) {
    std::random_device random;
    return (static_cast<uint64_t>(random()) << 32) ^ random() ^ static_cast<uint64_t>(pid);
}

}  // namespace

Registry& Registry::Current() {
    static const bool counting_forks = pthread_atfork(nullptr, nullptr, CountFork) == 0;
    Registry* current = g_registry.load(std::memory_order_acquire);
    const uint64_t generation = g_fork_generation.load(std::memory_order_relaxed);
    if (current != nullptr && current->fork_generation_ == generation &&
        (counting_forks || current->pid_ == getpid())) {
        return *current;
    }
    auto fresh = std::make_unique<Registry>(current, getpid(), generation);
    if (g_registry.compare_exchange_strong(current, fresh.get(), std::memory_order_acq_rel)) {
        if (current != nullptr) {
            current->Abandon();
        }
        return *fresh.release();  // lives for the rest of the process
    }
    return *current;  // another thread of this process made it first
}

Registry::Registry(Registry* inherited, pid_t pid, uint64_t fork_generation)
    : pid_(pid), fork_generation_(fork_generation), epoch_(NewEpoch(pid)), inherited_(inherited) {}

void Registry::Abandon() {
    // The mutexes may have been held by threads of the parent: not taken here.
    for (const auto& [key, client] : clients_) {
        client->Abandon();
    }
    state_.Abandon();
}

Registry::ClientKey Registry::KeyOf(const uint8_t* id) {
    ClientKey key{};
    if (id != nullptr) {
        key[0] = 1;
        std::memcpy(key.data() + 1, id, RECMAN_CLIENT_ID_SIZE);
    }
    return key;
}

void Registry::Release(const uint8_t* id) {
    std::unique_ptr<Client> gone;
    {
        std::lock_guard lock(mutex_);
        const auto found = clients_.find(KeyOf(id));
        if (found == clients_.end()) {
            return;
        }
        gone = std::move(found->second);
        clients_.erase(found);
        // Blocks the client left open are open no more. Their memory may already be
        // gone with their owner, so it is not written.
        for (uint32_t index = 0; index < slots_.size(); ++index) {
            Slot& slot = slots_[index];
            if (slot.owner == gone.get()) {
                slot.block = nullptr;
                slot.owner = nullptr;
                slot.file = nullptr;
                free_slots_.push_back(index);
            }
        }
    }
    // The client's destructor rolls back its transaction and closes its files.
    gone.reset();
}

size_t Registry::ClientCount() {
    std::lock_guard lock(mutex_);
    return clients_.size();
}

Client& Registry::ClientFor(const uint8_t* id) {
    const ClientKey key = KeyOf(id);
    std::lock_guard lock(mutex_);
    std::unique_ptr<Client>& client = clients_[key];
    if (!client) {
        client = std::make_unique<Client>(state_);
    }
    return *client;
}

const Registry::Slot* Registry::Find(const void* block) const {
    if (block == nullptr) {
        return nullptr;
    }
    const auto* bytes = static_cast<const uint8_t*>(block);
    if (std::memcmp(bytes, kMarker, sizeof kMarker) != 0) {
        return nullptr;
    }
    uint64_t epoch = 0;
    uint32_t slot = 0;
    uint32_t generation = 0;
    std::memcpy(&epoch, bytes + kEpochAt, sizeof epoch);
    std::memcpy(&slot, bytes + kSlotAt, sizeof slot);
    std::memcpy(&generation, bytes + kGenerationAt, sizeof generation);
    if (epoch != epoch_ || slot >= slots_.size()) {
        return nullptr;
    }
    const Slot& entry = slots_[slot];
    if (entry.file == nullptr || entry.block != block || entry.generation != generation) {
        return nullptr;
    }
    return &entry;
}

void Registry::Register(void* block, const Client* owner, OpenFile* file) {
    std::lock_guard lock(mutex_);
    uint32_t index = 0;
    if (!free_slots_.empty()) {
        index = free_slots_.back();
        free_slots_.pop_back();
    } else {
        index = static_cast<uint32_t>(slots_.size());
        slots_.emplace_back();
    }
    Slot& slot = slots_[index];
    slot.block = block;
    slot.owner = owner;
    slot.file = file;
    ++slot.generation;
    auto* bytes = static_cast<uint8_t*>(block);
    std::memset(bytes, 0, RECMAN_POSITION_BLOCK_SIZE);
    std::memcpy(bytes, kMarker, sizeof kMarker);
    std::memcpy(bytes + kEpochAt, &epoch_, sizeof epoch_);
    std::memcpy(bytes + kSlotAt, &index, sizeof index);
    std::memcpy(bytes + kGenerationAt, &slot.generation, sizeof slot.generation);
}

OpenFile* Registry::Resolve(const void* block, const Client* owner) {
    std::lock_guard lock(mutex_);
    const Slot* slot = Find(block);
    return (slot != nullptr && slot->owner == owner) ? slot->file : nullptr;
}

bool Registry::IsOpen(const void* block) {
    std::lock_guard lock(mutex_);
    return Find(block) != nullptr;
}

void Registry::Unregister(void* block) {
    std::lock_guard lock(mutex_);
    const Slot* found = Find(block);
    if (found == nullptr) {
        return;
    }
    const auto index = static_cast<uint32_t>(found - slots_.data());
    Slot& slot = slots_[index];
    slot.block = nullptr;
    slot.owner = nullptr;
    slot.file = nullptr;
    free_slots_.push_back(index);
    std::memset(block, 0, RECMAN_POSITION_BLOCK_SIZE);
}

}  // namespace recman
