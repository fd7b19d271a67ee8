#pragma once
// Waiting on a socket descriptor, shared by the TCP and UDP sockets.

#include <chrono>

namespace platform {

// Longest single wait inside any socket operation that waits on behalf of a caller
// with a "while waiting" callback: the callback runs at least this often.
inline constexpr std::chrono::milliseconds kWaitSlice{100};

enum class WaitResult {
    kReady,     // the descriptor is ready (or has an error or hang-up to report)
    kTimedOut,  // nothing happened within the time-out
    kFailed,    // the wait itself failed; the error number says why
};

// Polls one descriptor for `events` (POLLIN, POLLOUT) for at most `timeout`
// (0 = just look). An error or hang-up on the descriptor counts as ready so that
// the following read or write reports it. On kFailed, *error holds errno.
WaitResult WaitForDescriptor(int fd, short events, std::chrono::milliseconds timeout, int* error);

}  // namespace platform
