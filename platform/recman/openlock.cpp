#include "platform/recman/openlock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/recman/recman.h"
#include "platform/recman/sqlitestatus.h"

namespace recman {

std::string LockPathFor(const std::string& data_path) {
    return data_path + "-lock";
}

int OpenLock::Acquire(const std::string& data_path, Kind kind, bool optional,
                      std::unique_ptr<OpenLock>* out) {
    out->reset();
    const std::string path = LockPathFor(data_path);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0 && optional && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            return RECMAN_OK;  // a read-only directory without a lock file: nothing to lock
        }
    }
    if (fd < 0) {
        return StatusFromErrno(errno);
    }
    auto lock = std::make_unique<OpenLock>(fd);
    struct flock request = {};
    request.l_type = kind == Kind::kExclusive ? F_WRLCK : F_RDLCK;
    request.l_whence = SEEK_SET;
    request.l_start = 0;
    request.l_len = 1;
    if (fcntl(fd, F_OFD_SETLK, &request) == 0) {
        *out = std::move(lock);
        return RECMAN_OK;
    }
    if (errno != EAGAIN && errno != EACCES) {
        return StatusFromErrno(errno);
    }
    if (kind == Kind::kShared) {
        return RECMAN_FILE_LOCKED;
    }
    // Refused an exclusive lock: an exclusive holder makes the file locked; others
    // merely having it open make the mode incompatible.
    struct flock probe = {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = 0;
    probe.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type == F_RDLCK) {
        return RECMAN_INCOMPATIBLE_MODE;
    }
    return RECMAN_FILE_LOCKED;
}

OpenLock::~OpenLock() {
    close(fd_);
}

}  // namespace recman
