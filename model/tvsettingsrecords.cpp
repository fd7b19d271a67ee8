// The record half of the settings: the cached configuration records, read or created
// through the TOLVANE table of the file manager.
//
// Reads by key report their failures through the file (storage/cvfile.h) and answer 4
// for a missing row; an insert that fails has been reported by the record layer. Every
// operation here turns such a failure into "no record".

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <set>

#include "model/pagingtables.h"
#include "model/tolvanetable.h"
#include "model/tvsettings.h"
#include "platform/core/clock.h"
#include "storage/cvdatadict.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"

namespace {

constexpr int kConfigKey = 0;
// An address field holding four blanks stands for no address.
constexpr uint32_t kBlankAddress = 0x20202020;

// Reads the row (kind, number) into the file's current record: 0 when found, 4 when
// there is none, otherwise the failing status.
int Find(cvFile& file, std::string_view kind, int32_t number) {
    static_cast<void>(PutConfigText(file, "STRKEY", kind));
    static_cast<void>(file.PutInt("NUMKEY", number));
    return file.GetEqual(kConfigKey);
}

// A new, unstored record of the file with its key set.
std::unique_ptr<cvRec> NewRecord(cvFile& file, std::string_view kind, int32_t number) {
    auto record = std::make_unique<cvRec>(file);
    static_cast<void>(PutConfigText(*record, "STRKEY", kind));
    static_cast<void>(record->PutInt("NUMKEY", number));
    return record;
}

// The stored row (kind, number), or a new one filled by `fill` and inserted. Null when
// the read or the insert fails.
std::unique_ptr<cvRec> ReadOrCreate(cvFile& file, std::string_view kind, int32_t number,
                                    const std::function<void(cvRec&)>& fill) {
    const int status = Find(file, kind, number);
    if (status == 0) {
        auto record = std::make_unique<cvRec>(file, cvRec::kFromFile);
        return record->ReadStatus() == 0 ? std::move(record) : nullptr;
    }
    if (status != RECMAN_KEY_NOT_FOUND) {
        return nullptr;
    }
    auto record = NewRecord(file, kind, number);
    fill(*record);
    return record->Save() == 0 ? std::move(record) : nullptr;
}

// Seconds from 1 January 1998 12:00:00 local time to now.
int32_t SecondsSince1998() {
    const auto epoch = platform::MakeLocalTime(1998, 1, 1, 12, 0, 0);
    const auto now = platform::CurrentClock().Now();
    return static_cast<int32_t>(
        std::chrono::duration_cast<std::chrono::seconds>(now - epoch).count());
}

// TOLVANE of the manager's data directory, opened in `mode`, or null. A missing data
// file is created first, so that the open reports only real failures.
cvFile* OpenConfigTable(cvFileMgr& manager, int mode) {
    const cvDataDict* dictionary = manager.Dictionary();
    const cvDDFile* table = dictionary ? dictionary->FindTable(kTolvaneTable) : nullptr;
    std::error_code error;
    if (table && !std::filesystem::exists(manager.DataDirectory() + table->FileName(), error)) {
        std::string path;
        if (manager.CreateFile(kTolvaneTable, &path) != 0) {
            return nullptr;
        }
    }
    return manager.OpenTable(kTolvaneTable, mode);
}

bool IsManagersFile(const cvFileMgr& manager, const cvFile* file) {
    return std::any_of(manager.Files().begin(), manager.Files().end(),
                       [file](const std::unique_ptr<cvFile>& open) { return open.get() == file; });
}

}  // namespace

void tvSettings::SetFileManager(cvFileMgr* manager) {
    if (manager != manager_) {
        DropRecords();
        manager_ = manager;
    }
}

void tvSettings::SetProgramVersions(const tvVersion& file_version,
                                    const tvVersion& product_version) {
    program_file_version_ = file_version;
    program_product_version_ = product_version;
}

void tvSettings::DropVersionRecord() {
    records_[kVersion].reset();
}

void tvSettings::DropRecords() {
    for (std::unique_ptr<cvRec>& record : records_) {
        record.reset();
    }
}

void tvSettings::DropStaleRecords() {
    const std::string directory = manager_ ? manager_->DataDirectory() : std::string();
    if (directory != records_directory_) {
        DropRecords();
        records_directory_ = directory;
        return;
    }
    for (std::unique_ptr<cvRec>& record : records_) {
        if (record && (!manager_ || !IsManagersFile(*manager_, record->File()))) {
            record.reset();
        }
    }
}

cvFile* tvSettings::ConfigFile() {
    return manager_ ? OpenConfigTable(*manager_, RECMAN_MODE_NORMAL) : nullptr;
}

cvRec* tvSettings::OptionsRecord() {
    DropStaleRecords();
    if (records_[kOptions]) {
        return records_[kOptions].get();
    }
    cvFile* file = ConfigFile();
    if (!file) {
        return nullptr;
    }
    bool created = false;
    std::unique_ptr<cvRec> record =
        ReadOrCreate(*file, kOptionsKind, 0, [&created](cvRec& options) {
            created = true;
            static_cast<void>(options.PutInt("SENDINTERVAL", kDefaultSendInterval));
            static_cast<void>(options.PutInt("STATUSINTERVAL", kDefaultStatusInterval));
            static_cast<void>(options.PutInt("PURGEAGE", kDefaultPurgeAge));
        });
    if (!record) {
        return nullptr;
    }
    // Older releases kept the mail user in the shorter OLDUSERID; move it once.
    if (!created && record->Table().FindField("OLDUSERID", false)) {
        const std::string old_user = record->GetText("OLDUSERID");
        if (!old_user.empty()) {
            static_cast<void>(PutConfigText(*record, "USERID", old_user));
            static_cast<void>(PutConfigText(*record, "OLDUSERID", ""));
            // A failed save has been reported; the record keeps the moved id.
            static_cast<void>(record->Save());
        }
    }
    records_[kOptions] = std::move(record);
    return records_[kOptions].get();
}

cvRec* tvSettings::ServerRecord() {
    DropStaleRecords();
    if (records_[kServer]) {
        return records_[kServer].get();
    }
    cvFile* file = ConfigFile();
    if (!file) {
        return nullptr;
    }
    records_[kServer] = ReadOrCreate(*file, kServerKind, 0, [](cvRec& server) {
        static_cast<void>(server.PutInt("MACHINENBR", 0));
    });
    return records_[kServer].get();
}

cvRec* tvSettings::MachineRecord() {
    DropStaleRecords();
    if (records_[kMachine]) {
        return records_[kMachine].get();
    }
    cvFile* file = ConfigFile();
    if (!file) {
        return nullptr;
    }
    // Names longer than COMPUTERNAME holds are stored cut; compare them the same way.
    const std::string name = computer_name_.substr(
        0, static_cast<size_t>(ConfigTextCapacity(file->Table(), "COMPUTERNAME")));

    int32_t highest = 0;  // "MACHINE" records are numbered from 1
    std::set<int32_t> numbers_in_use;
    std::unique_ptr<cvRec> record;
    static_cast<void>(PutConfigText(*file, "STRKEY", kMachineKind));
    static_cast<void>(file->PutInt("NUMKEY", 0));
    int status = file->GetGreaterOrEqual(kConfigKey);
    while (status == 0 && file->GetText("STRKEY") == kMachineKind) {
        highest = std::max(highest, file->GetInt("NUMKEY"));
        if (file->GetText("COMPUTERNAME") == name) {
            record = std::make_unique<cvRec>(*file, cvRec::kFromFile);
            if (record->ReadStatus() != 0) {
                return nullptr;
            }
            break;
        }
        numbers_in_use.insert(file->GetInt("MACHINENBR"));
        status = file->GetNext();
    }
    if (status != 0 && status != RECMAN_KEY_NOT_FOUND && status != RECMAN_END_OF_FILE) {
        return nullptr;
    }

    if (!record) {
        // The number tells the computers apart in the server lock, where 0 means that
        // no engine runs: keep it unique on this database and never 0, even for
        // computers that first start within the same second.
        int32_t number = SecondsSince1998();
        while (number == 0 || numbers_in_use.count(number) != 0) {
            ++number;
        }
        record = NewRecord(*file, kMachineKind, highest + 1);
        static_cast<void>(PutConfigText(*record, "COMPUTERNAME", name));
        static_cast<void>(record->PutInt("MACHINENBR", number));
        static_cast<void>(record->PutInt("PORT", kNoModemPort));
        const int32_t legacy_port = LegacyModemPort();
        if (legacy_port != kNoModemPort) {
            static_cast<void>(record->PutInt("PORT", legacy_port));
        }
        if (record->Save() != 0) {
            return nullptr;
        }
    }
    int32_t unset = 0;
    machine_number_.compare_exchange_strong(unset, record->GetInt("MACHINENBR"));
    records_[kMachine] = std::move(record);
    return records_[kMachine].get();
}

cvRec* tvSettings::VersionRecord() {
    DropStaleRecords();
    if (records_[kVersion]) {
        return records_[kVersion].get();
    }
    cvFile* file = ConfigFile();
    if (!file) {
        return nullptr;
    }
    records_[kVersion] = ReadOrCreate(*file, kVersionKind, 0, [this](cvRec& version) {
        static_cast<void>(PutFileVersion(version, program_file_version_));
        static_cast<void>(PutProductVersion(version, program_product_version_));
    });
    return records_[kVersion].get();
}

int32_t tvSettings::MachineNumber() {
    if (machine_number_.load() == 0) {
        static_cast<void>(MachineRecord());
    }
    return machine_number_.load();
}

bool tvSettings::IsServerRunning() {
    cvRec* server = ServerRecord();
    if (!server) {
        return false;
    }
    if (server->Reread() != 0) {
        records_[kServer].reset();
        return false;
    }
    return server->GetInt("MACHINENBR") != 0;
}

int tvSettings::EnsureServerRecord(cvDataDict& dictionary, const std::string& data_directory) {
    cvFileMgr manager(data_directory, &dictionary);
    cvFile* file = OpenConfigTable(manager, RECMAN_MODE_EXCLUSIVE);
    if (!file) {
        return -1;
    }
    const int status = Find(*file, kServerKind, 0);
    if (status != RECMAN_KEY_NOT_FOUND) {
        return status;
    }
    std::unique_ptr<cvRec> server = NewRecord(*file, kServerKind, 0);
    static_cast<void>(server->PutInt("MACHINENBR", 0));
    return server->Save();
}

uint32_t OptionsDnsAddress(const cvRec& options) {
    const uint32_t address = static_cast<uint32_t>(options.GetInt("DNSADDRESS"));
    return address == kBlankAddress ? 0 : address;
}
