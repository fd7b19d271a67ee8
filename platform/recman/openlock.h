#pragma once
// The open-mode lock of a data file: an open-file-description lock on a small file
// beside it ("<data file>-lock"). Every open holds a shared lock, an exclusive open and
// Create hold the exclusive lock, so an exclusive open is refused while anybody else has
// the file open, in this process or another, and every open is refused while somebody
// holds it exclusively. The data file itself never gets a descriptor of ours: closing
// one would drop the locks SQLite holds on it.
//
// The lock belongs to the descriptor, not to the process, so a forked child closing its
// inherited copy leaves the parent's lock in place.

#include <memory>
#include <string>

namespace recman {

class OpenLock {
  public:
    enum class Kind { kShared, kExclusive };

    // Takes the lock without waiting. Returns 0, 85 when somebody holds the file
    // exclusively, 88 when an exclusive lock is asked for while others have the file
    // open, or the status of a failing system call. With `optional` (read-only opens),
    // a lock file that cannot be created is no error: `out` is left empty.
    [[nodiscard]] static int Acquire(const std::string& data_path, Kind kind, bool optional,
                                     std::unique_ptr<OpenLock>* out);

    explicit OpenLock(int fd) : fd_(fd) {}
    ~OpenLock();
    OpenLock(const OpenLock&) = delete;
    OpenLock& operator=(const OpenLock&) = delete;

  private:
    int fd_;
};

// The path of the lock file that belongs to a data file.
std::string LockPathFor(const std::string& data_path);

}  // namespace recman
