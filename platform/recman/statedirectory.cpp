#include "platform/recman/statedirectory.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "platform/core/diagnostics.h"
#include "platform/recman/recman.h"
#include "platform/recman/sqlitestatus.h"

namespace recman {
namespace {

constexpr uint32_t kDiagnosticCategory = 0x0080;
namespace fs = std::filesystem;

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool StartsWith(const std::string& text, const std::string& start) {
    return text.compare(0, start.size(), start) == 0;
}

bool LockWholeFile(int fd) {
    struct flock request = {};
    request.l_type = F_WRLCK;
    request.l_whence = SEEK_SET;
    return fcntl(fd, F_OFD_SETLK, &request) == 0;
}

// A super-journal lists the journals of its transaction, each name ended by a NUL.
bool SuperJournalStillNeeded(const fs::path& super_journal) {
    std::ifstream in(super_journal, std::ios::binary);
    const std::string content((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\0', start);
        if (end == std::string::npos) {
            end = content.size();
        }
        const std::string journal = content.substr(start, end - start);
        std::error_code error;
        if (!journal.empty() && fs::exists(journal, error)) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

int MakeDirectories(const std::string& directory) {
    std::error_code error;
    fs::create_directories(directory, error);
    if (error) {
        return error.value();
    }
    return 0;
}

}  // namespace

std::string CurrentStateDirectory() {
    if (const char* dir = std::getenv("TOLVANE_RECMAN_DIR"); dir != nullptr && *dir != '\0') {
        return dir;
    }
    if (const char* state = std::getenv("XDG_STATE_HOME"); state != nullptr && *state == '/') {
        return std::string(state) + "/tolvane/recman";
    }
    const char* home = std::getenv("HOME");
    return std::string(home != nullptr ? home : ".") + "/.local/state/tolvane/recman";
}

void SweepStateDirectory(const std::string& directory, const std::string& own_tag) {
    std::error_code error;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        names.push_back(entry.path().filename().string());
    }
    for (const std::string& name : names) {
        if (!EndsWith(name, ".lock")) {
            continue;
        }
        const std::string tag = name.substr(0, name.size() - 5);
        if (tag == own_tag) {
            continue;
        }
        const fs::path lock_path = fs::path(directory) / name;
        const int fd = open(lock_path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (!LockWholeFile(fd)) {
            close(fd);  // its process is alive
            continue;
        }
        bool everything_gone = true;
        for (const std::string& other : names) {
            if (!StartsWith(other, tag + "-")) {
                continue;
            }
            const fs::path path = fs::path(directory) / other;
            if (other.find(".db-mj") != std::string::npos && SuperJournalStillNeeded(path)) {
                everything_gone = false;
                continue;
            }
            fs::remove(path, error);
        }
        if (everything_gone) {
            fs::remove(lock_path, error);
        }
        close(fd);
    }
}

StateDirectory::StateDirectory() {
    std::random_device random;
    char tag[48];
    std::snprintf(tag, sizeof tag, "p%ld-%08x%08x", static_cast<long>(getpid()), random(),
                  random());
    tag_ = tag;
}

StateDirectory::~StateDirectory() {
    for (const auto& [directory, fd] : lock_files_) {
        close(fd);
    }
}

int StateDirectory::Prepare(const std::string& directory) {
    if (lock_files_.count(directory) != 0) {
        return RECMAN_OK;
    }
    if (const int error = MakeDirectories(directory); error != 0) {
        platform::ReportDiagnostic(
            kDiagnosticCategory,
            "Record manager: cannot create directory " + directory + ": " + std::strerror(error));
        return StatusFromErrno(error);
    }
    const std::string lock_path = directory + "/" + tag_ + ".lock";
    const int fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0 || !LockWholeFile(fd)) {
        const int error = errno;
        if (fd >= 0) {
            close(fd);
        }
        platform::ReportDiagnostic(kDiagnosticCategory, "Record manager: cannot lock " + lock_path +
                                                            ": " + std::strerror(error));
        return StatusFromErrno(error);
    }
    lock_files_[directory] = fd;
    struct statfs info = {};
    if (statfs(directory.c_str(), &info) == 0 && info.f_type == TMPFS_MAGIC) {
        platform::ReportDiagnostic(
            kDiagnosticCategory,
            "Record manager: " + directory +
                " is not on a durable disk; a transaction over several files interrupted by a "
                "restart of the machine may be left half done");
    }
    SweepStateDirectory(directory, tag_);
    return RECMAN_OK;
}

int StateDirectory::NewClientDatabase(std::string* path) {
    const std::string directory = CurrentStateDirectory();
    std::lock_guard lock(mutex_);
    const int status = Prepare(directory);
    if (status != RECMAN_OK) {
        return status;
    }
    *path = directory + "/" + tag_ + "-c" + std::to_string(++counter_) + ".db";
    return RECMAN_OK;
}

void StateDirectory::Abandon() {
    for (const auto& [directory, fd] : lock_files_) {
        close(fd);
    }
    lock_files_.clear();
}

}  // namespace recman
