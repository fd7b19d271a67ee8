#include "platform/net/netwait.h"

#include <poll.h>

#include <cerrno>

namespace platform {

WaitResult WaitForDescriptor(int fd, short events, std::chrono::milliseconds timeout, int* error) {
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - start);
        const auto left = timeout > elapsed ? timeout - elapsed : std::chrono::milliseconds(0);
        pollfd entry{fd, events, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready > 0) {
            if ((entry.revents & POLLNVAL) != 0) {
                *error = EBADF;
                return WaitResult::kFailed;
            }
            return WaitResult::kReady;
        }
        if (ready == 0) {
            return WaitResult::kTimedOut;
        }
        if (errno != EINTR) {
            *error = errno;
            return WaitResult::kFailed;
        }
    }
}

}  // namespace platform
