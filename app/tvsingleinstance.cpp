#include "app/tvsingleinstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "log/cveventlog.h"
#include "log/logcategory.h"

namespace {

constexpr const char* kLockName = "instance.lock";
constexpr const char* kSocketName = "instance.sock";
constexpr const char* kRaiseRequest = "RAISE\n";
constexpr const char* kRaiseReply = "OK\n";
// A first instance may be between taking its lock and listening: ask a few times.
constexpr int kConnectAttempts = 20;
constexpr auto kConnectPause = std::chrono::milliseconds(50);
constexpr int kReplyTimeoutMs = 2000;

void CloseFd(int& fd) {
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

bool SocketAddress(const std::string& path, sockaddr_un* address) {
    std::memset(address, 0, sizeof *address);
    address->sun_family = AF_UNIX;
    if (path.size() >= sizeof address->sun_path) {
        return false;
    }
    std::memcpy(address->sun_path, path.c_str(), path.size() + 1);
    return true;
}

void WriteAll(int fd, const char* text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t written = send(fd, text, left, MSG_NOSIGNAL);
        if (written <= 0) {
            if (written < 0 && errno == EINTR) {
                continue;
            }
            return;
        }
        text += written;
        left -= static_cast<size_t>(written);
    }
}

// Reads up to a line feed (or `limit` bytes) within the time-out.
std::string ReadLine(int fd, int timeout_ms, size_t limit = 64) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (line.size() < limit && (line.empty() || line.back() != '\n')) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            break;
        }
        pollfd waiting{fd, POLLIN, 0};
        const int ready = poll(&waiting, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            break;
        }
        char c = 0;
        const ssize_t got = recv(fd, &c, 1, 0);
        if (got <= 0) {
            break;
        }
        line += c;
    }
    return line;
}

void Report(const std::string& what) {
    EventLog().LogEvent(kLogUiErrors, "Single instance: %s: %s\n", what.c_str(),
                        std::strerror(errno));
}

}  // namespace

std::string tvSingleInstance::DefaultDirectory() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        return std::string(runtime) + "/tolvane";
    }
    return "/tmp/tolvane-" + std::to_string(getuid());
}

tvSingleInstance::tvSingleInstance(std::string directory)
    : directory_(directory.empty() ? DefaultDirectory() : std::move(directory)) {}

tvSingleInstance::~tvSingleInstance() {
    Release();
}

tvSingleInstance::Claim tvSingleInstance::TryClaim(RaiseCallback on_raise) {
    if (lock_fd_ >= 0) {
        return Claim::kFirst;
    }
    if (mkdir(directory_.c_str(), 0700) != 0 && errno != EEXIST) {
        Report("cannot create " + directory_);
        return Claim::kError;
    }
    // A directory another user made (possible under /tmp) must not be trusted.
    struct stat status {};
    if (lstat(directory_.c_str(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != getuid()) {
        errno = EPERM;
        Report(directory_ + " is not a directory of this user");
        return Claim::kError;
    }
    const std::string lock_path = directory_ + "/" + kLockName;
    lock_fd_ = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock_fd_ < 0) {
        Report("cannot open " + lock_path);
        return Claim::kError;
    }
    if (flock(lock_fd_, LOCK_EX | LOCK_NB) != 0) {
        const bool taken = errno == EWOULDBLOCK;
        CloseFd(lock_fd_);
        if (!taken) {
            Report("cannot lock " + lock_path);
            return Claim::kError;
        }
        return AskRunningInstance() ? Claim::kAlreadyRunning : Claim::kError;
    }

    // The lock is ours, so a socket file left behind is stale.
    const std::string socket_path = directory_ + "/" + kSocketName;
    sockaddr_un address{};
    unlink(socket_path.c_str());
    listen_fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listen_fd_ < 0 || !SocketAddress(socket_path, &address) ||
        bind(listen_fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listen_fd_, 4) != 0 || pipe2(wake_pipe_, O_CLOEXEC) != 0) {
        Report("cannot listen on " + socket_path);
        Release();
        return Claim::kError;
    }
    on_raise_ = std::move(on_raise);
    listener_ = std::thread([this] { Listen(); });
    return Claim::kFirst;
}

bool tvSingleInstance::AskRunningInstance() const {
    const std::string socket_path = directory_ + "/" + kSocketName;
    sockaddr_un address{};
    if (!SocketAddress(socket_path, &address)) {
        return false;
    }
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            return false;
        }
        if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            WriteAll(fd, kRaiseRequest);
            const bool told = ReadLine(fd, kReplyTimeoutMs) == kRaiseReply;
            CloseFd(fd);
            return told;
        }
        CloseFd(fd);
        std::this_thread::sleep_for(kConnectPause);
    }
    return false;
}

void tvSingleInstance::Listen() {
    for (;;) {
        pollfd waiting[2] = {{listen_fd_, POLLIN, 0}, {wake_pipe_[0], POLLIN, 0}};
        const int ready = poll(waiting, 2, -1);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (waiting[1].revents != 0) {
            return;
        }
        if ((waiting[0].revents & POLLIN) == 0) {
            continue;
        }
        int client = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        if (ReadLine(client, kReplyTimeoutMs) == kRaiseRequest) {
            if (on_raise_) {
                on_raise_();
            }
            WriteAll(client, kRaiseReply);
        }
        CloseFd(client);
    }
}

void tvSingleInstance::Release() {
    if (listener_.joinable()) {
        const char stop = 'x';
        static_cast<void>(write(wake_pipe_[1], &stop, 1));
        listener_.join();
    }
    if (listen_fd_ >= 0) {
        unlink((directory_ + "/" + kSocketName).c_str());
    }
    CloseFd(listen_fd_);
    CloseFd(wake_pipe_[0]);
    CloseFd(wake_pipe_[1]);
    CloseFd(lock_fd_);
    on_raise_ = {};
}
