#include "platform/profile/profilefile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <set>
#include <system_error>

#include "platform/core/diagnostics.h"

namespace platform {
namespace {

constexpr uint32_t kProfileDiagnosticCategory = 0x0002;
// A profile holds a few dozen lines; anything far larger is not one.
constexpr off_t kMaxProfileSize = 1 << 20;

// The one place where the operating system's error numbers become results.
ProfileResult ResultFromErrno(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            return ProfileResult::kNotWritable;
        default:
            return ProfileResult::kIoError;
    }
}

std::string ErrnoText(int error) {
    return std::error_code(error, std::generic_category()).message();
}

// Reports `text` the first time `key` is seen in this process.
void ReportOnce(const std::string& key, const std::string& text) {
    static std::mutex mutex;
    static std::set<std::string> reported;  // guarded by mutex
    {
        std::lock_guard lock(mutex);
        if (!reported.insert(key).second) {
            return;
        }
    }
    ReportDiagnostic(kProfileDiagnosticCategory, text);
}

class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    // Closes now; returns the close error (0 when none).
    int Reset() {
        int error = 0;
        if (fd_ >= 0 && ::close(fd_) != 0) {
            error = errno;
        }
        fd_ = -1;
        return error;
    }

  private:
    int fd_;
};

struct FileRead {
    enum class Status { kOk, kMissing, kError };
    Status status = Status::kOk;
    std::string content;
    int error = 0;        // errno when kError
    std::string problem;  // description when kError
};

FileRead ReadWholeFile(const std::string& path) {
    FileRead result;
    auto fail = [&](int error, std::string problem) {
        result.status = FileRead::Status::kError;
        result.error = error;
        result.problem = std::move(problem);
        return result;
    };
    // Non-blocking, so that a FIFO at the path cannot hang the reader.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!fd.valid()) {
        if (errno == ENOENT) {
            result.status = FileRead::Status::kMissing;
            return result;
        }
        const int error = errno;
        return fail(error, ErrnoText(error));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) {
        const int error = errno;
        return fail(error, ErrnoText(error));
    }
    if (!S_ISREG(info.st_mode)) {
        return fail(EINVAL, "not a regular file");
    }
    if (info.st_size > kMaxProfileSize) {
        return fail(EFBIG, "larger than 1 MiB");
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd.get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const int error = errno;
            return fail(error, ErrnoText(error));
        }
        if (got == 0) {
            break;
        }
        result.content.append(buffer, static_cast<size_t>(got));
        if (result.content.size() > static_cast<size_t>(kMaxProfileSize)) {
            return fail(EFBIG, "larger than 1 MiB");
        }
    }
    return result;
}

bool WriteAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
        if (wrote < 0 && errno == EINTR) {
            continue;
        }
        if (wrote < 0) {
            return false;
        }
        done += static_cast<size_t>(wrote);
    }
    return true;
}

std::filesystem::path DirectoryOf(const std::string& path) {
    std::filesystem::path directory = std::filesystem::path(path).parent_path();
    return directory.empty() ? std::filesystem::path(".") : directory;
}

}  // namespace

ProfileFile::ProfileFile(std::string path) : path_(std::move(path)) {}

void ProfileFile::RefreshLocked() const {
    if (path_.empty()) {
        state_ = State::kMissing;
        document_ = ProfileDocument();
        return;
    }
    FileRead read = ReadWholeFile(path_);
    if (read.status == FileRead::Status::kMissing) {
        state_ = State::kMissing;
        content_.clear();
        document_ = ProfileDocument();
        return;
    }
    if (read.status == FileRead::Status::kError) {
        state_ = State::kUnreadable;
        read_error_ = read.error;
        content_.clear();
        document_ = ProfileDocument();
        ReportOnce(path_ + '\0' + "read" + '\0' + read.problem,
                   "Profile file \"" + path_ + "\" cannot be read (" + read.problem +
                       "); its values are ignored");
        return;
    }
    const bool parsed_before = state_ == State::kParsed || state_ == State::kUnparsable;
    if (parsed_before && read.content == content_) {
        return;
    }
    content_ = std::move(read.content);
    ProfileDocument::ParseError error;
    std::optional<ProfileDocument> document = ProfileDocument::Parse(content_, &error);
    if (document) {
        state_ = State::kParsed;
        document_ = std::move(*document);
        return;
    }
    state_ = State::kUnparsable;
    document_ = ProfileDocument();
    ReportOnce(path_ + '\0' + "parse" + '\0' + std::to_string(std::hash<std::string>{}(content_)),
               "Profile file \"" + path_ + "\" cannot be parsed (line " +
                   std::to_string(error.line) + ": " + error.reason +
                   "); its values are ignored and it is not rewritten until repaired");
}

std::optional<ProfileValue> ProfileFile::Read(std::string_view section,
                                              std::string_view name) const {
    std::lock_guard lock(mutex_);
    RefreshLocked();
    if (state_ != State::kParsed) {
        return std::nullopt;
    }
    const ProfileValue* value = document_.Find(section, name);
    if (!value) {
        return std::nullopt;
    }
    return *value;
}

ProfileResult ProfileFile::Update(const Edit& edit, const std::string& what) {
    auto fail = [&](ProfileResult result, const std::string& why) {
        ReportDiagnostic(kProfileDiagnosticCategory,
                         "Profile file \"" + path_ + "\": " + what + " not written (" + why + ")");
        return result;
    };
    if (path_.empty()) {
        return fail(ProfileResult::kIoError, "no location for the profile");
    }

    std::lock_guard lock(mutex_);
    // A change that means nothing to a missing file (deleting from it) touches no disk.
    RefreshLocked();
    if (state_ == State::kMissing) {
        ProfileDocument empty;
        if (!edit(empty)) {
            return ProfileResult::kOk;
        }
    }
    std::error_code created;
    std::filesystem::create_directories(DirectoryOf(path_), created);
    if (created) {
        return fail(ResultFromErrno(created.value()), created.message());
    }
    const std::string lock_path = path_ + ".lock";
    // flock needs no write access, so a lock file left by another user still serves.
    UniqueFd lock_fd(::open(lock_path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666));
    if (!lock_fd.valid()) {
        const int error = errno;
        return fail(ResultFromErrno(error), "lock file: " + ErrnoText(error));
    }
    while (::flock(lock_fd.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int error = errno;
            return fail(ResultFromErrno(error), "lock file: " + ErrnoText(error));
        }
    }

    RefreshLocked();
    if (state_ == State::kUnreadable) {
        return fail(ResultFromErrno(read_error_), "the file cannot be read");
    }
    if (state_ == State::kUnparsable) {
        return fail(ProfileResult::kUnparsable, "the file cannot be parsed and is left as it is");
    }
    if (state_ == State::kParsed && ::access(path_.c_str(), W_OK) != 0) {
        const int error = errno;
        return fail(ResultFromErrno(error), ErrnoText(error));
    }

    ProfileDocument edited = document_;
    if (!edit(edited)) {
        return ProfileResult::kOk;
    }
    std::string content = edited.Serialize();
    std::string problem;
    const ProfileResult result = ReplaceLocked(content, &problem);
    if (result != ProfileResult::kOk) {
        return fail(result, problem);
    }
    state_ = State::kParsed;
    content_ = std::move(content);
    document_ = std::move(edited);
    return ProfileResult::kOk;
}

ProfileResult ProfileFile::ReplaceLocked(const std::string& content, std::string* problem) const {
    const auto failed = [problem](int error) {
        *problem = ErrnoText(error);
        return ResultFromErrno(error);
    };
    static std::atomic<unsigned> counter{0};
    std::string temporary;
    int opened = -1;
    for (int attempt = 0; attempt < 100 && opened < 0; ++attempt) {
        temporary = path_ + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(++counter);
        opened =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (opened < 0 && errno != EEXIST) {
            return failed(errno);
        }
    }
    if (opened < 0) {
        return failed(EEXIST);
    }
    UniqueFd fd(opened);
    // Until the rename succeeds the temporary file is ours to remove.
    struct RemoveUnlessKept {
        const std::string& path;
        bool keep = false;
        ~RemoveUnlessKept() {
            if (!keep) {
                static_cast<void>(::unlink(path.c_str()));
            }
        }
    } temporary_guard{temporary};

    // A replaced file keeps its permissions; a new one gets the umask's.
    struct stat existing {};
    if (::stat(path_.c_str(), &existing) == 0) {
        static_cast<void>(::fchmod(fd.get(), existing.st_mode & 07777));
    }
    if (!WriteAll(fd.get(), content) || ::fsync(fd.get()) != 0) {
        return failed(errno);
    }
    if (const int error = fd.Reset(); error != 0) {
        return failed(error);
    }
    if (::rename(temporary.c_str(), path_.c_str()) != 0) {
        return failed(errno);
    }
    temporary_guard.keep = true;

    // Make the rename itself durable; a file system that cannot sync a directory has
    // still replaced the file, so a failure here is not one of the write.
    UniqueFd directory(
        ::open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOCTTY));
    if (directory.valid()) {
        static_cast<void>(::fsync(directory.get()));
    }
    return ProfileResult::kOk;
}

}  // namespace platform
