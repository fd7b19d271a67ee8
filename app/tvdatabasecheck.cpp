// The database check of start-up: is the data directory a complete database, and may
// the program run on it.
//
// 1. The file manager is pointed at the data directory; the cached version record is
//    dropped, so that the version check reads this database's.
// 2. Each required table (model/pagingtables.h) needs a definition ("Table definition
//    for %s not found" otherwise) and its data file in the data directory; a missing
//    definition or file makes the database incomplete.
// 3. An incomplete database needs a Yes to the incomplete-database question; the data
//    files are then created as the tables are opened (the directory too when it does
//    not exist yet).
// 4. The "SERVER" record must exist.
// 5. The version record and this computer's "MACHINE" record are read or created.
// 6. With both, the data directory goes into the user's profile (unless it was given
//    for this run only) and the check passes; otherwise "Unable to start Tolvane".

#include <filesystem>

#include "app/formattext.h"
#include "app/tvapp.h"
#include "log/cveventlog.h"
#include "log/logcategory.h"
#include "model/pagingtables.h"
#include "model/tolvanetable.h"
#include "platform/recman/recman.h"
#include "storage/cvdatadict.h"
#include "storage/cvfile.h"
#include "storage/cvfilemgr.h"

const char* const kIncompleteDatabaseQuestion =
    "The directory you selected does not have a complete Tolvane database.  If you have an "
    "existing Tolvane database you should select the directory where it exists.\n\nWould you "
    "like Tolvane to create a new database or replace missing files in this directory?";

namespace {

constexpr const char* kUnableToStart = "Unable to start Tolvane";

bool FileExists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace

bool tvApp::CheckDatabase(tvIncompleteAnswer answer) {
    incomplete_refused_ = false;
    cvFileMgr* manager = FileManager();
    if (!manager) {
        static_cast<void>(MessageBox(kUnableToStart, kMbOk | kMbIconError));
        return false;
    }
    ApplyDataDirectory();
    settings_.DropVersionRecord();

    bool incomplete = false;
    for (std::string_view table : RequiredTables(AlarmWatch())) {
        const cvDDFile* definition = Dictionary().FindTable(table);
        if (!definition) {
            static_cast<void>(MessageBox(
                FormatText("Table definition for %s not found", std::string(table).c_str()),
                kMbOk | kMbIconError));
            incomplete = true;
            continue;
        }
        if (!FileExists(DataDirectory() + definition->FileName())) {
            incomplete = true;
        }
    }

    if (incomplete) {
        int reply = kIdNo;
        switch (answer) {
            case tvIncompleteAnswer::kAsk:
                reply = MessageBox(kIncompleteDatabaseQuestion, kMbYesNo | kMbIconQuestion);
                break;
            case tvIncompleteAnswer::kYes:
                reply = kIdYes;
                break;
            case tvIncompleteAnswer::kNo:
                // Answered by the caller; the log keeps what was decided.
                EventLog().AddEvent(kLogUiErrors, kIncompleteDatabaseQuestion);
                break;
        }
        if (reply != kIdYes) {
            incomplete_refused_ = true;
            return false;
        }
        std::error_code error;
        std::filesystem::create_directories(DataDirectory(), error);
    }

    EnsureServerRecord();
    const bool version = settings_.VersionRecord() != nullptr;
    const bool machine = settings_.MachineRecord() != nullptr;
    if (!version || !machine) {
        static_cast<void>(MessageBox(kUnableToStart, kMbOk | kMbIconError));
        return false;
    }
    if (!data_override_) {
        // A profile that cannot be written has reported it; the database still serves.
        static_cast<void>(settings_.SaveDataDirectory());
    }
    return true;
}

void tvApp::EnsureServerRecord() {
    // The record is created under an exclusive open so that two computers starting on
    // a new database cannot both insert it. A database that has it needs no exclusive
    // open, which would fail (with a message) while a server runs on it; so look first,
    // quietly and without creating anything.
    {
        cvFileMgr probe(DataDirectory(), &Dictionary());
        cvFile* file = probe.OpenTable(kTolvaneTable, RECMAN_MODE_READ_ONLY, {}, true, true);
        if (file) {
            static_cast<void>(PutConfigText(*file, "STRKEY", kServerKind));
            static_cast<void>(file->PutInt("NUMKEY", 0));
            if (file->GetEqual(0) == 0) {
                return;
            }
        }
    }
    // Our own open of TOLVANE would refuse the exclusive one.
    if (cvFileMgr* manager = FileManager()) {
        manager->CloseFiles(kTolvaneTable);
    }
    // The outcome shows in the records read next: the "SERVER" record is also created
    // on first use when this fails.
    static_cast<void>(tvSettings::EnsureServerRecord(Dictionary(), DataDirectory()));
}
