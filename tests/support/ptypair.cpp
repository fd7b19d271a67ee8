#include "tests/support/ptypair.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Both ends raw, so that nothing the test writes is echoed or translated before the
// code under test has set its own line mode.
void MakeRaw(int fd) {
    termios line{};
    if (::tcgetattr(fd, &line) == 0) {
        ::cfmakeraw(&line);
        static_cast<void>(::tcsetattr(fd, TCSANOW, &line));
    }
}

}  // namespace

PtyPair::PtyPair() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        return;
    }
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        ::close(master);
        return;
    }
    char name[128] = {};
    if (::ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return;
    }
    const int flags = ::fcntl(master, F_GETFL);
    static_cast<void>(::fcntl(master, F_SETFL, flags | O_NONBLOCK));
    MakeRaw(master);
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave >= 0) {
        MakeRaw(slave);
        ::close(slave);
    }
    master_ = master;
    slave_path_ = name;
}

PtyPair::~PtyPair() {
    if (master_ >= 0) {
        ::close(master_);
    }
}

bool PtyPair::Write(std::string_view bytes) const {
    const auto give_up = SteadyClock::now() + milliseconds(2000);
    while (!bytes.empty()) {
        const ssize_t count = ::write(master_, bytes.data(), bytes.size());
        if (count > 0) {
            bytes.remove_prefix(static_cast<size_t>(count));
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        if (SteadyClock::now() >= give_up) {
            return false;
        }
        pollfd entry{master_, POLLOUT, 0};
        static_cast<void>(::poll(&entry, 1, 10));
    }
    return true;
}

std::string PtyPair::ReadSome(milliseconds wait, bool* hung_up) const {
    if (hung_up != nullptr) {
        *hung_up = false;
    }
    std::string got;
    pollfd entry{master_, POLLIN, 0};
    const int ready = ::poll(&entry, 1, static_cast<int>(wait.count()));
    if (ready <= 0) {
        return got;
    }
    for (;;) {
        char buffer[512];
        const ssize_t count = ::read(master_, buffer, sizeof buffer);
        if (count > 0) {
            got.append(buffer, static_cast<size_t>(count));
            continue;
        }
        if (count < 0 && errno == EIO && got.empty()) {
            // Nobody holds the slave open: poll reports it at once, so pause here.
            if (hung_up != nullptr) {
                *hung_up = true;
            }
            std::this_thread::sleep_for(std::min(wait, milliseconds(10)));
        }
        return got;
    }
}

std::string PtyPair::ReadFor(milliseconds wait) const {
    std::string got;
    const auto end = SteadyClock::now() + wait;
    for (;;) {
        const auto left = std::chrono::duration_cast<milliseconds>(end - SteadyClock::now());
        if (left.count() <= 0) {
            return got;
        }
        got += ReadSome(std::min(left, milliseconds(20)));
    }
}

std::string PtyPair::ReadUntil(std::string_view needle, milliseconds timeout) const {
    std::string got;
    const auto end = SteadyClock::now() + timeout;
    while (got.find(needle) == std::string::npos) {
        const auto left = std::chrono::duration_cast<milliseconds>(end - SteadyClock::now());
        if (left.count() <= 0) {
            break;
        }
        got += ReadSome(std::min(left, milliseconds(20)));
    }
    return got;
}
