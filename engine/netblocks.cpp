#include "engine/netblocks.h"

#include "platform/core/clock.h"

namespace {

std::chrono::sys_seconds NowSeconds() {
    return std::chrono::floor<std::chrono::seconds>(platform::CurrentClock().Now());
}

}  // namespace

const NETBLOCK* tvNetBlocks::Find(int32_t network_number) const {
    for (const NETBLOCK& block : blocks_) {
        if (block.network_number == network_number) {
            return &block;
        }
    }
    return nullptr;
}

NETBLOCK* tvNetBlocks::FindOrAdd(int32_t network_number) {
    for (NETBLOCK& block : blocks_) {
        if (block.network_number == network_number) {
            return &block;
        }
    }
    const auto now = NowSeconds();
    blocks_.push_back({network_number, 0, now, now});
    return &blocks_.back();
}

bool tvNetBlocks::IsBackedOff(int32_t network_number) const {
    const NETBLOCK* block = Find(network_number);
    return block != nullptr && block->retry_time > NowSeconds();
}

bool tvNetBlocks::IsStatusDeferred(int32_t network_number) const {
    const NETBLOCK* block = Find(network_number);
    return block != nullptr && block->next_status_time > NowSeconds();
}

void tvNetBlocks::MarkNetworkFailed(int32_t network_number) {
    NETBLOCK* block = FindOrAdd(network_number);
    block->retry_time = NowSeconds() + std::chrono::seconds(block->failure_count * 10 + 10);
    if (block->failure_count < kMaxFailureCount) {
        ++block->failure_count;
    }
}

void tvNetBlocks::MarkNetworkConnected(int32_t network_number) {
    for (NETBLOCK& block : blocks_) {
        if (block.network_number == network_number) {
            const auto now = NowSeconds();
            block.failure_count = 0;
            block.retry_time = now;
            block.next_status_time = now;
            return;
        }
    }
}

void tvNetBlocks::MarkNetworkDone(int32_t network_number,
                                  std::optional<std::chrono::seconds> status_interval) {
    NETBLOCK* block = FindOrAdd(network_number);
    if (status_interval) {
        block->next_status_time = NowSeconds() + *status_interval;
    }
}
