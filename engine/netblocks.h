#pragma once
// The engine's scheduling state per paging network: how often connecting to it has
// failed in a row, until when it is backed off, and until when its Sent/Pending
// messages are left alone.
//
// A block is made (failure count 0, both times now) the first time a network is
// marked failed or done, and lives as long as the engine. Each failure backs the
// network off for 10 seconds more than the one before, 10, 20, 30 ... 300 seconds,
// then 310 seconds for every further failure; a connection that opens clears the
// count. Times come from the clock seam, to the second. Engine thread only.

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

struct NETBLOCK {
    int32_t network_number = 0;                   // PAGENETNBR
    int failure_count = 0;                        // 0 to kMaxFailureCount
    std::chrono::sys_seconds next_status_time{};  // no status queries before it
    std::chrono::sys_seconds retry_time{};        // no visit at all before it
};

class tvNetBlocks {
  public:
    static constexpr int kMaxFailureCount = 30;

    // A block exists and its retry time is later than now.
    bool IsBackedOff(int32_t network_number) const;
    // A block exists and its next status time is later than now.
    bool IsStatusDeferred(int32_t network_number) const;

    // Backs the network off: retry time = now + (failure count x 10 + 10) seconds,
    // then the count goes up by one while below the maximum.
    void MarkNetworkFailed(int32_t network_number);
    // A connection opened: count 0, retry and next status time now. Nothing when the
    // network has no block.
    void MarkNetworkConnected(int32_t network_number);
    // A visit ended: next status time = now + the status interval (STATUSINTERVAL of
    // the options record); with no interval (no options record) it stays.
    void MarkNetworkDone(int32_t network_number,
                         std::optional<std::chrono::seconds> status_interval);

    // The network's block, or null.
    const NETBLOCK* Find(int32_t network_number) const;
    void Clear() { blocks_.clear(); }

  private:
    NETBLOCK* FindOrAdd(int32_t network_number);

    std::vector<NETBLOCK> blocks_;
};
