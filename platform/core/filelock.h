#pragma once
// An advisory lock on a file that the operating system drops with the process: held
// while the object lives, gone the moment its holder exits or is killed, so a lock
// can never be left behind by a crash. Works across processes of one computer (and
// across computers where the file system passes such locks on).

#include <string>

namespace platform {

enum class FileLockResult {
    kLocked,         // this object holds the lock
    kHeldElsewhere,  // another process (or another open of the file) holds it
    kFailed,         // the file could not be opened or locked; LastError says why
};

class FileLock {
  public:
    FileLock() = default;
    ~FileLock() { Unlock(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Takes the lock on `path` without waiting, creating the file when it is missing.
    // A lock already held by this object is given back first.
    [[nodiscard]] FileLockResult TryLock(const std::string& path);
    void Unlock();
    bool Locked() const { return fd_ >= 0; }
    // The errno of the last kFailed.
    int LastError() const { return last_error_; }

    // Whether somebody holds the lock on `path` now; false as well when the file is
    // missing. Looks without disturbing the holder.
    static bool IsHeld(const std::string& path);

  private:
    int fd_ = -1;
    int last_error_ = 0;
};

}  // namespace platform
