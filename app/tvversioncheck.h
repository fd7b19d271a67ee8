#pragma once
// The version check that follows the database check, and the upgrade of a database an
// older release wrote.
//
// The program's file version (major and minor) is compared with the database's:
// - database newer: "This database has been upgraded to a newer version. ..." and the
//   program may not run;
// - the same: the product versions are compared (major, minor, build). A newer stored
//   one refuses with "A newer version of this application is available. You must
//   upgrade to version 2.01.007"; an older one asks whether every user must now run this
//   release (Yes stamps the database with this program's product version). Then every
//   required data file that is missing is created empty;
// - program newer: the database is upgraded. After a question, and only from 1.0 on,
//   every table of the application's file manager and the three converted tables
//   (PAGENET, PAGEMSG, PAGEDEV) are taken exclusively; their data files are copied to
//   the data directory's "tvbackup" (replacing an older backup after a question);
//   the previous release's dictionary ("PrevDDF" in the dictionary directory) is
//   loaded over the backup; the data files are deleted, created anew from the current
//   dictionary, and every backed-up row is copied in field by field by name (fields
//   the old layout lacks keep the defaults of a new record). The database is then
//   stamped with this program's versions and the program must be restarted (-96).
//
// Progress and cancelling go through tvProgress; without one the upgrade stops before
// it changes anything (-92), an older backup included.
//
// Unlike a plain reading of the steps, the previous dictionary is loaded, and must read
// every backed-up file, before the data files are deleted (a missing or unfitting one
// stops the upgrade with the data in place, -97), and a version record that cannot be
// stamped after the conversion is a failure, not a success: the next start would
// otherwise upgrade the converted files again.

#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "model/tvversion.h"

class cvFileMgr;
class tvApp;
class tvDataDict;
class tvProgress;

// Outcomes of the version check; every one but kVersionOk ends the start-up.
enum tvVersionResult : int {
    kVersionOk = 0,
    kVersionNeedsNewerProgram = -91,
    kVersionBackupFailed = -92,  // the backup directory, or no progress to show
    kVersionCancelled = -93,
    kVersionNoExclusiveAccess = -94,
    kVersionCopyFailed = -95,
    kVersionRestartNeeded = -96,  // converted: the program must be started again
    kVersionNoPreviousDictionary = -97,
    kVersionNoDefinition = -98,
    kVersionIncomplete = -99,  // the check did not complete
};

// -1, 0 or 1 comparing major, then minor, then with `with_build` the build; the micro
// part is never compared.
int CompareVersions(const tvVersion& a, const tvVersion& b, bool with_build);

// The tables an upgrade converts, in the order it converts them.
std::span<const std::string_view> ConvertedTables();

// Copies a file through a buffer of kCopyBufferSize bytes, replacing the target. False
// on any failure, with no partial target left behind.
bool CopyDataFile(const std::string& source, const std::string& target);

class tvVersionCheck {
  public:
    static constexpr size_t kCopyBufferSize = 10240;
    static constexpr std::string_view kBackupDirectoryName = "tvbackup";
    static constexpr std::string_view kPreviousDictionaryName = "PrevDDF";

    // `progress` shows the backup and the conversion (null: none, see above).
    tvVersionCheck(tvApp& app, tvProgress* progress);
    ~tvVersionCheck();
    tvVersionCheck(const tvVersionCheck&) = delete;
    tvVersionCheck& operator=(const tvVersionCheck&) = delete;

    // Runs the check (and the upgrade when due) on the application's database; returns
    // a tvVersionResult or the status of a failing record-manager step.
    [[nodiscard]] int Run();

  private:
    [[nodiscard]] int Upgrade();
    // Exclusive access, backup and previous dictionary, then the deletion.
    [[nodiscard]] int PrepareUpgrade();
    [[nodiscard]] int TakeExclusiveAccess();
    [[nodiscard]] int MakeBackupDirectory();
    [[nodiscard]] int CopyToBackup();
    [[nodiscard]] int LoadPreviousDictionary();
    [[nodiscard]] int DeleteConvertedFiles();
    // Creates each missing required data file; during an upgrade converts it as well.
    [[nodiscard]] int EnsureRequiredFiles(bool upgrading);
    [[nodiscard]] int ConvertTable(std::string_view table);
    // The messages and the stamp after an upgrade; returns the final result.
    int FinishUpgrade(int result);
    void Release();

    tvApp& app_;
    tvProgress* progress_;
    bool progress_shown_ = false;
    std::string backup_directory_;  // the data directory + "tvbackup", no "/" at the end
    std::unique_ptr<tvDataDict> previous_dictionary_;
    std::unique_ptr<cvFileMgr> backup_manager_;
};
