#include "platform/core/filelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

FileLockResult FileLock::TryLock(const std::string& path) {
    Unlock();
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0664);
    if (fd < 0) {
        last_error_ = errno;
        return FileLockResult::kFailed;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        if (error == EWOULDBLOCK) {
            return FileLockResult::kHeldElsewhere;
        }
        last_error_ = error;
        return FileLockResult::kFailed;
    }
    fd_ = fd;
    return FileLockResult::kLocked;
}

void FileLock::Unlock() {
    if (fd_ >= 0) {
        close(fd_);  // the lock goes with the last descriptor of the open
        fd_ = -1;
    }
}

bool FileLock::IsHeld(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    // A shared lock is refused only while somebody holds the exclusive one.
    const bool held = flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    close(fd);
    return held;
}

}  // namespace platform
