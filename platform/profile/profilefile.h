#pragma once
// One profile file on disk, shared safely by the threads of this process and by other
// processes.
//
// Invariants:
// - Readers never see a half-written file: a write builds the whole new text in a
//   temporary file beside the profile ("profile.ini.tmp<pid>-<n>"), flushes it to disk
//   and renames it over the profile, then flushes the directory. A crash leaves the old
//   file or the new one, at worst plus a stale temporary file, which reads ignore.
// - Writers never lose each other's changes: each write takes an exclusive flock on
//   "<profile>.lock" (created beside it, and left there), reads the file afresh, applies
//   its one change and writes the result before releasing the lock. Reads take no lock.
// - Every read looks at the file again, so it sees what another process wrote; the
//   parse is reused while the bytes are unchanged.
// - A file that cannot be read or parsed reads as empty and is reported once per file
//   and content through ReportDiagnostic (category 0x0002). It is never rewritten:
//   writes to it fail with kUnparsable (or the read error) and are reported, so nothing
//   it held is lost. Once it is repaired or removed, reads and writes work again.
// - A write fails with kNotWritable when the user may not write the file (even where
//   the directory would allow replacing it) or create it or its lock file. Missing
//   parent directories are created.
//
// Thread safety: every member may be called from any thread; `mutex_` guards the cached
// text and parse and serialises this object's writes.

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/profile/profiledocument.h"
#include "platform/profile/profileresult.h"

namespace platform {

class ProfileFile {
  public:
    // Changes a document; returns true when it changed anything (false writes nothing).
    // It may be called more than once for one Update (a trial on an empty document when
    // the file is missing), so it must not count on being called once.
    using Edit = std::function<bool(ProfileDocument& document)>;

    // Reads and writes `path`; an empty path is a store with no location (reads are
    // empty, writes fail with kIoError). Touches nothing on disk until first used.
    explicit ProfileFile(std::string path);
    ProfileFile(const ProfileFile&) = delete;
    ProfileFile& operator=(const ProfileFile&) = delete;

    const std::string& Path() const { return path_; }

    // The value as the file holds it now; nothing when the value is missing or the file
    // is missing, unreadable or unparsable.
    std::optional<ProfileValue> Read(std::string_view section, std::string_view name) const;

    // Read-modify-write of the whole file under the lock (see the file comment).
    // `what` names the change in failure reports, e.g. "\"Settings\" / \"SmtpPort\"".
    // Returns kOk also when the edit changed nothing.
    [[nodiscard]] ProfileResult Update(const Edit& edit, const std::string& what);

  private:
    enum class State { kNotRead, kMissing, kParsed, kUnparsable, kUnreadable };

    // Re-reads the file into the cache and reports a new parse or read failure.
    // REQUIRES: mutex_ held.
    void RefreshLocked() const;
    // Writes `content` to a temporary file and renames it over the profile; on failure
    // removes the temporary file and describes the error in `problem`.
    // REQUIRES: mutex_ and the file lock held.
    ProfileResult ReplaceLocked(const std::string& content, std::string* problem) const;

    const std::string path_;

    mutable std::mutex mutex_;
    mutable State state_ = State::kNotRead;  // guarded by mutex_
    mutable std::string content_;            // guarded by mutex_: the bytes last read
    mutable int read_error_ = 0;             // guarded by mutex_: errno when kUnreadable
    mutable ProfileDocument document_;       // guarded by mutex_: parse when kParsed
};

}  // namespace platform
