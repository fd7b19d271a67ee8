#include "platform/recman/createfile.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <memory>

#include "platform/recman/datafile.h"
#include "platform/recman/filespec.h"
#include "platform/recman/openlock.h"
#include "platform/recman/recman.h"
#include "platform/recman/sqlitestatus.h"
#include "platform/recman/statement.h"

namespace recman {
namespace {

void RemoveTemporary(const std::string& path) {
    unlink(path.c_str());
    unlink((path + "-journal").c_str());
}

int WriteNewFile(const std::string& path, const FileSpec& spec) {
    sqlite3* db = nullptr;
    int result =
        sqlite3_open_v2(path.c_str(), &db,
                        SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    int status = RECMAN_OK;
    if (result != SQLITE_OK) {
        status = StatusOf(db, result);
    } else {
        sqlite3_extended_result_codes(db, 1);
        result = Execute(db, "PRAGMA journal_mode = DELETE; PRAGMA synchronous = FULL;");
        status = result == SQLITE_OK ? DataFile::WriteSchema(db, spec) : StatusOf(db, result);
    }
    if (sqlite3_close(db) != SQLITE_OK && status == RECMAN_OK) {
        status = RECMAN_IO_ERROR;
    }
    return status;
}

int SyncDirectory(const std::string& directory) {
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return StatusFromErrno(errno);
    }
    const int result = fsync(fd);
    const int error = errno;
    close(fd);
    return result == 0 ? RECMAN_OK : StatusFromErrno(error);
}

}  // namespace

int CreateDataFile(const std::string& path, const uint8_t* layout, size_t length, bool replace) {
    FileSpec spec;
    int status = ParseFileSpec(layout, length, &spec);
    if (status != RECMAN_OK) {
        return status;
    }
    namespace fs = std::filesystem;
    const fs::path target(path);
    const std::string directory =
        target.has_parent_path() ? target.parent_path().string() : std::string(".");
    struct stat info = {};
    if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return RECMAN_CANNOT_CREATE;
    }
    if (!replace && lstat(path.c_str(), &info) == 0) {
        return RECMAN_FILE_EXISTS;
    }

    static std::atomic<unsigned> counter{0};
    const std::string temporary = directory + "/." + target.filename().string() + ".new-" +
                                  std::to_string(getpid()) + "-" + std::to_string(++counter);
    status = WriteNewFile(temporary, spec);
    if (status != RECMAN_OK) {
        RemoveTemporary(temporary);
        return status;
    }

    // Nobody may have the file open while it is replaced, nor open it meanwhile.
    std::unique_ptr<OpenLock> lock;
    status = OpenLock::Acquire(path, OpenLock::Kind::kExclusive, false, &lock);
    if (status == RECMAN_INCOMPATIBLE_MODE) {
        status = RECMAN_FILE_LOCKED;
    }
    if (status != RECMAN_OK) {
        RemoveTemporary(temporary);
        return status;
    }
    if (replace) {
        // A journal left by a writer of the old file would be played into the new one.
        unlink((path + "-journal").c_str());
        if (rename(temporary.c_str(), path.c_str()) != 0) {
            status = StatusFromErrno(errno);
        }
    } else if (link(temporary.c_str(), path.c_str()) != 0) {
        status = errno == EEXIST ? RECMAN_FILE_EXISTS : StatusFromErrno(errno);
    }
    RemoveTemporary(temporary);
    if (status == RECMAN_OK) {
        status = SyncDirectory(directory);
    }
    return status;
}

}  // namespace recman
