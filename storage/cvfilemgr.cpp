#include "storage/cvfilemgr.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "log/cveventlog.h"
#include "platform/core/clock.h"
#include "storage/cvdatadict.h"
#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"
#include "storage/dberror.h"
#include "storage/filespecification.h"

namespace {

constexpr int kTemporaryAttempts = 5;
constexpr int64_t kTemporaryDigits = 10000000;  // seven decimal digits

std::string WithSlash(std::string directory) {
    if (!directory.empty() && directory.back() != '/') {
        directory += '/';
    }
    return directory;
}

// Seconds from 1 January 1998 12:00:00 local time to now: the number temporary
// tables are named by.
int64_t TemporaryNumber() {
    const auto epoch = platform::MakeLocalTime(1998, 1, 1, 12, 0, 0);
    const auto now = platform::CurrentClock().Now();
    return std::chrono::duration_cast<std::chrono::seconds>(now - epoch).count();
}

std::string TemporaryFileName(int64_t number) {
    const int64_t digits = ((number % kTemporaryDigits) + kTemporaryDigits) % kTemporaryDigits;
    char name[32];
    std::snprintf(name, sizeof name, "~%07lld.tmp", static_cast<long long>(digits));
    return name;
}

// Issues Create for `path` with a file specification and a create mode. The key
// buffer carries the path; the position block is not used.
int CreateCall(const std::string& path, std::vector<uint8_t> layout, int mode,
               const RecordManagerClientId& client) {
    uint8_t key[RECMAN_KEY_BUFFER_SIZE] = {};
    if (path.size() >= sizeof key) {
        return RECMAN_INVALID_FILE_NAME;
    }
    std::memcpy(key, path.data(), path.size());
    uint8_t position[RECMAN_POSITION_BLOCK_SIZE] = {};
    uint32_t length = static_cast<uint32_t>(layout.size());
    return RecordManagerCall(RECMAN_CREATE, position, layout.data(), &length, key,
                             static_cast<int8_t>(mode), &client);
}

}  // namespace

bool IsTemporaryFileName(std::string_view file_name) {
    if (file_name.size() < 4) {
        return false;
    }
    std::string tail(file_name.substr(file_name.size() - 4));
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return tail == ".tmp";
}

cvFileMgr::cvFileMgr(std::string data_directory, cvDataDict* dictionary)
    : data_directory_(WithSlash(data_directory.empty() ? StorageApp().DataDirectory()
                                                       : std::move(data_directory))),
      dictionary_(dictionary ? dictionary : StorageApp().Dictionary()),
      client_(NewRecordManagerClientId()) {}

cvFileMgr::~cvFileMgr() {
    CloseFiles();
    // The record manager forgets the client: a program that makes and drops managers
    // (the engine at each start and stop) holds no more than the managers alive.
    uint32_t length = 0;
    static_cast<void>(
        RecordManagerCall(RECMAN_RESET, nullptr, nullptr, &length, nullptr, 0, &client_));
}

cvFile* cvFileMgr::OpenTable(std::string_view table_name, int mode, std::string_view file_name,
                             bool quiet, bool no_create) {
    cvEventLog& log = EventLog();
    const cvDDFile* table = dictionary_ ? dictionary_->FindTable(table_name) : nullptr;
    if (!table) {
        const std::string name(table_name);
        log.LogEvent(kLogDbStructure, "No definition found for table %s\n", name.c_str());
        return nullptr;
    }
    for (const auto& file : files_) {
        if (&file->Table() == table &&
            (file->OpenMode() == mode || file->OpenMode() == RECMAN_MODE_EXCLUSIVE)) {
            return file.get();
        }
    }

    const std::string name = file_name.empty() ? table->FileName() : std::string(file_name);
    const bool temporary = IsTemporaryFileName(name);
    auto file = std::make_unique<cvFile>(*table, *this);
    file->SetPath(data_directory_ + name);

    if (mode != cvFile::kNotOpen) {
        int status = RECMAN_FILE_NOT_FOUND;
        if (!temporary || no_create || mode == RECMAN_MODE_READ_ONLY) {
            status = file->Open(file->Path(), mode, quiet);
            if (status != 0 && !temporary) {
                log.LogEvent(kLogDbErrors, "Error %d opening file %s.\n", status,
                             file->Path().c_str());
            }
        }
        if (status == RECMAN_FILE_NOT_FOUND && !no_create) {
            std::string created;
            status = temporary ? CreateTemporaryFile(*table, &created)
                               : CreateNamedFile(*table, name, &created);
            if (status == 0) {
                status = file->Open(created, mode, false);
            }
        }
        if (status != 0) {
            return nullptr;
        }
    }

    cvFile* opened = file.get();
    files_.push_back(std::move(file));
    log.LogEvent(kLogDbStatus, "File %s opened successfully!\n", opened->Path().c_str());

    if (mode != cvFile::kNotOpen && !opened->CheckConsistency()) {
        static_cast<void>(
            log.MessageBox("Consistency check failed on " + opened->Path() + ".", kMbOk));
    }
    return opened;
}

int cvFileMgr::CreateFile(std::string_view table_name, std::string* path) {
    const cvDDFile* table = dictionary_ ? dictionary_->FindTable(table_name) : nullptr;
    if (!table) {
        const std::string name(table_name);
        EventLog().LogEvent(kLogDbStructure, "No definition found for table %s\n", name.c_str());
        return -1;
    }
    const std::string name = table->FileName();
    return IsTemporaryFileName(name) ? CreateTemporaryFile(*table, path)
                                     : CreateNamedFile(*table, name, path);
}

int cvFileMgr::CreateNamedFile(const cvDDFile& table, const std::string& file_name,
                               std::string* path) {
    const int mode = table.IsSystemTable() ? RECMAN_CREATE_REPLACE : RECMAN_CREATE_NEW;
    const std::string target = data_directory_ + file_name;
    const int status = CreateCall(target, SpecificationOf(table).Layout(), mode, client_);
    if (status != 0) {
        return ReportDbError(status, RECMAN_CREATE, file_name, false, true);
    }
    if (path) {
        *path = target;
    }
    return 0;
}

int cvFileMgr::CreateTemporaryFile(const cvDDFile& table, std::string* path) {
    const std::vector<uint8_t> layout = SpecificationOf(table).Layout();
    int64_t number = TemporaryNumber();
    int status = 0;
    std::string name;
    for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt, ++number) {
        name = TemporaryFileName(number);
        status = CreateCall(data_directory_ + name, layout, RECMAN_CREATE_NEW, client_);
        if (status == 0) {
            if (path) {
                *path = data_directory_ + name;
            }
            return 0;
        }
    }
    return ReportDbError(status, RECMAN_CREATE, name, false, true);
}

void cvFileMgr::CloseFiles(std::string_view table, int mode) {
    for (size_t i = files_.size(); i-- > 0;) {
        cvFile& file = *files_[i];
        if ((!table.empty() && file.TableName() != table) ||
            (mode != 0 && file.OpenMode() != mode)) {
            continue;
        }
        static_cast<void>(file.Close());
        files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

void cvFileMgr::SetDataDirectory(std::string directory) {
    CloseFiles();
    data_directory_ =
        WithSlash(directory.empty() ? StorageApp().DataDirectory() : std::move(directory));
}

std::unique_ptr<cvRec> cvFileMgr::OpenCopy(const cvRec& record) {
    const int mode = record.File() ? record.File()->OpenMode() : 0;
    cvFile* file = OpenTable(record.Table().TableName(), mode);
    if (!file) {
        return nullptr;
    }
    auto copy = std::make_unique<cvRec>(*file, cvRec::kNewRecord);
    static_cast<void>(copy->Assign(record));
    return copy;
}
