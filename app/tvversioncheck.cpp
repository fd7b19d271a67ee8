#include "app/tvversioncheck.h"

#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/formattext.h"
#include "app/tvapp.h"
#include "app/tvprogress.h"
#include "log/logcategory.h"
#include "model/pagingtables.h"
#include "model/tolvanetable.h"
#include "model/tvdatadict.h"
#include "platform/recman/recman.h"
#include "storage/cvdatadict.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"

namespace {

constexpr std::string_view kConverted[] = {kPageNetTable, kPageMsgTable, kPageDevTable};
// The oldest database an upgrade can start from.
constexpr tvVersion kOldestUpgradable = {1, 0, 0, 0};
// Rows converted per transaction: one commit per row would make a large message
// table take minutes.
constexpr int kRowsPerCommit = 500;

namespace fs = std::filesystem;

bool FileExists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

bool IsConverted(std::string_view table) {
    for (std::string_view converted : kConverted) {
        if (converted == table) {
            return true;
        }
    }
    return false;
}

// The name the progress shows for a converted table.
const char* DisplayName(std::string_view table) {
    if (table == kPageNetTable) {
        return "Paging Networks";
    }
    if (table == kPageMsgTable) {
        return "Messages";
    }
    if (table == kPageDevTable) {
        return "Paging Devices";
    }
    return "";
}

int Sign(int32_t a, int32_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace

int CompareVersions(const tvVersion& a, const tvVersion& b, bool with_build) {
    if (a.major != b.major) {
        return Sign(a.major, b.major);
    }
    if (a.minor != b.minor) {
        return Sign(a.minor, b.minor);
    }
    return with_build ? Sign(a.build, b.build) : 0;
}

std::span<const std::string_view> ConvertedTables() {
    return kConverted;
}

bool CopyDataFile(const std::string& source, const std::string& target) {
    std::FILE* in = std::fopen(source.c_str(), "rb");
    if (!in) {
        return false;
    }
    std::FILE* out = std::fopen(target.c_str(), "wb");
    if (!out) {
        std::fclose(in);
        return false;
    }
    std::vector<char> buffer(tvVersionCheck::kCopyBufferSize);
    bool ok = true;
    for (;;) {
        const size_t read = std::fread(buffer.data(), 1, buffer.size(), in);
        if (read > 0 && std::fwrite(buffer.data(), 1, read, out) != read) {
            ok = false;
            break;
        }
        if (read < buffer.size()) {
            ok = std::ferror(in) == 0;
            break;
        }
    }
    std::fclose(in);
    if (std::fclose(out) != 0) {
        ok = false;
    }
    if (!ok) {
        std::error_code error;
        fs::remove(target, error);
    }
    return ok;
}

tvVersionCheck::tvVersionCheck(tvApp& app, tvProgress* progress) : app_(app), progress_(progress) {}

tvVersionCheck::~tvVersionCheck() {
    Release();
}

int tvVersionCheck::Run() {
    cvRec* version = app_.VersionRecord();
    if (!version) {
        return kVersionIncomplete;
    }
    const tvVersion stored_file = StoredFileVersion(*version);
    const int file_order = CompareVersions(app_.ProgramFileVersion(), stored_file, false);
    if (file_order < 0) {
        static_cast<void>(
            app_.MessageBox("This database has been upgraded to a newer version. You must "
                            "upgrade your software to the latest version.",
                            kMbOk | kMbIconError));
        return kVersionIncomplete;
    }
    if (file_order > 0) {
        return Upgrade();
    }

    const tvVersion stored_product = StoredProductVersion(*version);
    const int product_order = CompareVersions(app_.ProgramProductVersion(), stored_product, true);
    if (product_order < 0) {
        static_cast<void>(app_.MessageBox(
            FormatText("A newer version of this application is available. You must upgrade to "
                       "version %d.%2.2d.%3.3d",
                       stored_product.major, stored_product.minor, stored_product.build),
            kMbOk | kMbIconError));
        return kVersionNeedsNewerProgram;
    }
    int result = kVersionOk;
    if (product_order > 0 &&
        app_.MessageBox("You are running a new version of Tolvane. Do you want to require all "
                        "users to upgrade to this version?",
                        kMbYesNo | kMbIconQuestion) == kIdYes) {
        static_cast<void>(PutProductVersion(*version, app_.ProgramProductVersion()));
        result = version->Save();
    }
    if (result == kVersionOk) {
        result = EnsureRequiredFiles(false);
    }
    return result;
}

int tvVersionCheck::Upgrade() {
    if (app_.MessageBox("Your database needs to be upgraded to the current version.",
                        kMbOkCancel | kMbIconQuestion) != kIdOk) {
        return kVersionIncomplete;
    }
    const tvVersion stored_file = StoredFileVersion(*app_.VersionRecord());
    if (CompareVersions(stored_file, kOldestUpgradable, false) < 0) {
        static_cast<void>(app_.MessageBox(
            FormatText("You must upgrade to version %d.%02d before you can upgrade to version "
                       "%d.%02d.",
                       kOldestUpgradable.major, kOldestUpgradable.minor,
                       app_.ProgramFileVersion().major, app_.ProgramFileVersion().minor),
            kMbOk | kMbIconError));
        return kVersionIncomplete;
    }
    int result = PrepareUpgrade();
    if (result == kVersionOk) {
        result = EnsureRequiredFiles(true);
    }
    return FinishUpgrade(result);
}

int tvVersionCheck::PrepareUpgrade() {
    int result = TakeExclusiveAccess();
    // Without a progress to show the upgrade cannot run; finding that out only after an
    // older backup has been deleted would lose that backup for nothing.
    if (result == kVersionOk && !progress_) {
        result = kVersionBackupFailed;
    }
    if (result == kVersionOk) {
        result = MakeBackupDirectory();
    }
    if (result == kVersionOk) {
        result = CopyToBackup();
    }
    if (result == kVersionOk) {
        result = LoadPreviousDictionary();
    }
    if (result == kVersionOk) {
        result = DeleteConvertedFiles();
    }
    return result;
}

int tvVersionCheck::TakeExclusiveAccess() {
    cvFileMgr* manager = app_.FileManager();
    bool refused = manager == nullptr;
    if (manager) {
        for (const std::unique_ptr<cvFile>& file : manager->Files()) {
            if (!file->IsOpen()) {
                continue;
            }
            // A refusal is answered by the message below; a reopen that succeeds must
            // not leave the file's next real failure unreported.
            file->SuppressNextReport(true);
            const int status = file->Reopen(RECMAN_MODE_EXCLUSIVE);
            file->SuppressNextReport(false);
            if (status != 0) {
                refused = true;
                break;
            }
        }
    }
    // The converted tables are deleted below: nobody else may have them open either,
    // which only an exclusive open of our own can tell. Their files still have the old
    // layout, which the current definitions do not match: these opens skip that check.
    StorageApp().SetConsistencyHook(
        [](const cvFile& file) { return IsConverted(file.TableName()); });
    for (size_t i = 0; !refused && i < std::size(kConverted); ++i) {
        const cvDDFile* table = app_.Dictionary().FindTable(kConverted[i]);
        if (!table || !FileExists(app_.DataDirectory() + table->FileName())) {
            continue;
        }
        refused =
            manager->OpenTable(kConverted[i], RECMAN_MODE_EXCLUSIVE, {}, true, true) == nullptr;
    }
    StorageApp().SetConsistencyHook({});
    if (refused) {
        static_cast<void>(app_.MessageBox(
            "Unable to gain exclusive access to the database. Logout all other users and try "
            "again.",
            kMbOk | kMbIconError));
        return kVersionNoExclusiveAccess;
    }
    return kVersionOk;
}

int tvVersionCheck::MakeBackupDirectory() {
    backup_directory_ = app_.DataDirectory() + std::string(kBackupDirectoryName);
    std::error_code error;
    if (fs::exists(backup_directory_, error)) {
        const std::string question =
            FormatText(
                "Directory %s already exists. The contents of this directory will be "
                "replaced with a current backup of your database.\n",
                backup_directory_.c_str()) +
            "Do you want to proceed?";
        if (app_.MessageBox(question, kMbYesNo | kMbIconQuestion) == kIdYes) {
            fs::remove_all(backup_directory_, error);
            if (error) {
                static_cast<void>(
                    app_.MessageBox("Unable to delete backup directory", kMbOk | kMbIconError));
                return kVersionBackupFailed;
            }
        }
    }
    // Fails as well when the directory is still there after a No above.
    if (!fs::create_directory(backup_directory_, error) || error) {
        static_cast<void>(
            app_.MessageBox("Unable to create backup directory", kMbOk | kMbIconError));
        return kVersionBackupFailed;
    }
    return kVersionOk;
}

int tvVersionCheck::CopyToBackup() {
    // TOLVANE is not copied, but nobody may change it meanwhile; the application's own
    // exclusive file serves the version stamp at the end.
    if (!app_.OpenTable(kTolvaneTable, RECMAN_MODE_EXCLUSIVE)) {
        return kVersionBackupFailed;
    }
    progress_->Begin(FormatText("Backing up database to %s", backup_directory_.c_str()));
    progress_shown_ = true;
    const int count = static_cast<int>(std::size(kConverted));
    int copied = 0;
    for (std::string_view name : kConverted) {
        const cvDDFile* table = app_.Dictionary().FindTable(name);
        if (!table) {
            continue;
        }
        const std::string file_name = table->FileName();
        const std::string source = app_.DataDirectory() + file_name;
        const std::string target = backup_directory_ + "/" + file_name;
        progress_->SetText(file_name);
        progress_->SetPercent(100 * copied / count);
        if (progress_->Cancelled()) {
            return kVersionCancelled;
        }
        if (FileExists(source) && !CopyDataFile(source, target)) {
            static_cast<void>(app_.MessageBox(
                FormatText("Unable to copy %s to %s\n", source.c_str(), target.c_str()),
                kMbOk | kMbIconError));
            return kVersionCopyFailed;
        }
        ++copied;
    }
    progress_->SetPercent(100);
    return kVersionOk;
}

int tvVersionCheck::LoadPreviousDictionary() {
    const std::string directory = app_.DictionaryDirectory() + std::string(kPreviousDictionaryName);
    const std::string prefix(tvApp::kDictionaryPrefix);
    previous_dictionary_ = std::make_unique<tvDataDict>();
    const int status = previous_dictionary_->Load(directory, prefix);
    if (status != 0) {
        app_.Log(kLogDbErrors, "Error %d opening dictionary at %s, prefix=%s\n", status,
                 directory.c_str(), prefix.c_str());
        previous_dictionary_.reset();
        return kVersionNoPreviousDictionary;
    }
    backup_manager_ =
        std::make_unique<cvFileMgr>(backup_directory_ + "/", previous_dictionary_.get());
    // Every backed-up table must be readable through the previous dictionary before the
    // data files are deleted; otherwise the conversion would stop with the database
    // half rebuilt. The files opened here serve the conversion later.
    for (std::string_view name : kConverted) {
        const cvDDFile* table = app_.Dictionary().FindTable(name);
        if (!table || !FileExists(backup_directory_ + "/" + table->FileName())) {
            continue;
        }
        if (!backup_manager_->OpenTable(name, RECMAN_MODE_READ_ONLY, {}, false, true)) {
            return kVersionNoPreviousDictionary;
        }
    }
    return kVersionOk;
}

int tvVersionCheck::DeleteConvertedFiles() {
    cvFileMgr* manager = app_.FileManager();
    for (std::string_view name : kConverted) {
        const cvDDFile* table = app_.Dictionary().FindTable(name);
        if (!table) {
            continue;
        }
        manager->CloseFiles(name);
        const std::string path = app_.DataDirectory() + table->FileName();
        std::error_code error;
        fs::remove(path, error);
        if (error) {
            static_cast<void>(app_.MessageBox(FormatText("Unable to delete %s", path.c_str()),
                                              kMbOk | kMbIconError));
            return kVersionIncomplete;
        }
    }
    return kVersionOk;
}

int tvVersionCheck::EnsureRequiredFiles(bool upgrading) {
    cvFileMgr* manager = app_.FileManager();
    if (!manager) {
        return kVersionIncomplete;
    }
    for (std::string_view name : RequiredTables(app_.AlarmWatch())) {
        const cvDDFile* table = app_.Dictionary().FindTable(name);
        if (!table) {
            static_cast<void>(app_.MessageBox(
                FormatText("Table definition for %s not found", std::string(name).c_str()),
                kMbOk | kMbIconError));
            return kVersionNoDefinition;
        }
        if (FileExists(app_.DataDirectory() + table->FileName())) {
            continue;
        }
        std::string path;
        const int status = manager->CreateFile(name, &path);
        if (status != 0) {
            return status;
        }
        if (upgrading && IsConverted(name)) {
            const int converted = ConvertTable(name);
            if (converted != 0) {
                return converted;
            }
        }
    }
    return kVersionOk;
}

int tvVersionCheck::ConvertTable(std::string_view name) {
    const cvDDFile* table = app_.Dictionary().FindTable(name);
    if (!FileExists(backup_directory_ + "/" + table->FileName())) {
        return kVersionOk;  // the database had no such file: nothing to convert
    }
    cvFile* target = app_.OpenTable(name, RECMAN_MODE_NORMAL);
    if (!target) {
        return kVersionIncomplete;
    }
    cvFile* source = backup_manager_->OpenTable(name, RECMAN_MODE_READ_ONLY, {}, false, true);
    if (!source) {
        return kVersionNoPreviousDictionary;
    }
    progress_->SetText(FormatText("Converting %s", DisplayName(name)));
    progress_->SetPercent(0);
    uint32_t rows = 0;
    static_cast<void>(source->RecordCount(&rows));

    int result = 0;
    int64_t running = 0;
    int in_transaction = 0;
    int status = source->GetFirst(0);
    while (status == 0) {
        progress_->Pump();
        running += 100;
        progress_->SetPercent(rows > 0 ? static_cast<int>(running / rows) : 100);
        if (progress_->Cancelled()) {
            result = kVersionCancelled;
            break;
        }
        if (in_transaction == 0) {
            result = target->BeginTransaction();
            if (result != 0) {
                break;
            }
        }
        cvRec row(*target);
        row.CopyFieldsFrom(*source);
        result = row.Save();
        if (result != 0) {
            break;
        }
        if (++in_transaction == kRowsPerCommit) {
            in_transaction = 0;
            result = target->EndTransaction();
            if (result != 0) {
                break;
            }
        }
        status = source->GetNext();
    }
    // What was inserted before a cancel or a failing row is kept, as it would be
    // without transactions.
    if (in_transaction > 0) {
        const int committed = target->EndTransaction();
        if (result == 0) {
            result = committed;
        }
    }
    if (result == 0 && status != RECMAN_END_OF_FILE) {
        result = status;
    }
    return result;
}

int tvVersionCheck::FinishUpgrade(int result) {
    if (result == kVersionOk) {
        cvFileMgr* manager = app_.FileManager();
        for (std::string_view name : kConverted) {
            manager->CloseFiles(name);
        }
        cvRec* version = app_.VersionRecord();
        result = kVersionIncomplete;
        if (version && PutFileVersion(*version, app_.ProgramFileVersion()) != 0 &&
            PutProductVersion(*version, app_.ProgramProductVersion()) != 0) {
            result = version->Save();
        }
        if (result == kVersionOk) {
            static_cast<void>(app_.MessageBox(
                "The database has been successfully converted. You must restart Tolvane.",
                kMbOk | kMbIconInformation));
            result = kVersionRestartNeeded;
        }
    }
    if (result == kVersionCancelled) {
        static_cast<void>(app_.MessageBox(
            "The conversion was cancelled before it was completed. You should restore from the "
            "backup directory before proceeding.",
            kMbOk | kMbIconWarning));
    } else if (result != kVersionRestartNeeded) {
        static_cast<void>(app_.MessageBox(FormatText("Conversion failed with error %d", result),
                                          kMbOk | kMbIconError));
    }
    Release();
    return result;
}

void tvVersionCheck::Release() {
    if (progress_shown_) {
        progress_->End();
        progress_shown_ = false;
    }
    backup_manager_.reset();
    previous_dictionary_.reset();
}
