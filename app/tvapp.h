#pragma once
// The product's application object without its windows: the product's directories and
// switches, the TOLVANE definition, the cached settings records, the start-up steps
// from the profile to the version check, and the shutdown order. The user interface's
// application and the command-line program both build on it.
//
// Start-up, in this order (each step returns whether the program may go on):
//   LoadProfile            directories, "Log Startup Events", Alarm Watch, File Gateway
//   RegisterObjectTypes    the business-object types (a registrar the paging objects give)
//   RegisterCaches         the table caches
//   OpenRunLog             event log mask 0xA4BA, open, 500 lines
//   LoadDictionary         dictionary files with prefix "TV", then TOLVANE
//   OpenReportEngine
//   LocateDatabase or CheckDatabase, then CheckVersion (app/tvversioncheck.h)
// StartWithoutWindows runs them all for programs without a window, checking the data
// directory once as auto start does. Shutdown (also run by the destructor) saves the
// start-up log when asked to, releases the report engine, closes the tables, then drops
// the settings records and the dictionary.
//
// Every question goes through the event log's message box (log/cveventlog.h); a
// program without a presenter there decides the incomplete-database question itself
// through tvIncompleteAnswer.
//
// Threads: the user-interface thread only.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/cvapp.h"
#include "model/tvsettings.h"
#include "model/tvversion.h"

class cvRec;
class tvDatabaseLocator;
class tvProgress;

// Who answers "would you like Tolvane to create a new database" for an incomplete one.
enum class tvIncompleteAnswer {
    kAsk,  // the message box
    kYes,  // create the missing files without asking
    kNo,   // refuse without asking
};

// How far StartWithoutWindows got.
enum class tvStartResult {
    kStarted,
    kNoDictionary,
    kNoReportEngine,
    kIncompleteDatabase,  // the incomplete-database question was answered No
    kDatabaseRefused,     // "Unable to start Tolvane"
    kVersionRefused,      // the version check failed (VersionResult() says how)
};

class tvApp : public cvApp {
  public:
    static constexpr std::string_view kDictionaryPrefix = "TV";

    // `program_directory`: where the program runs from, the default of the directories.
    // `profile` null: the profile files the environment names. The program's versions
    // are the build's until SetProgramVersions.
    explicit tvApp(std::string program_directory,
                   std::unique_ptr<platform::Profile> profile = nullptr);
    ~tvApp() override;

    tvSettings& Settings() { return settings_; }
    // The versions this program stamps new databases with and compares stored ones to.
    void SetProgramVersions(const tvVersion& file_version, const tvVersion& product_version);
    const tvVersion& ProgramFileVersion() const { return settings_.ProgramFileVersion(); }
    const tvVersion& ProgramProductVersion() const { return settings_.ProgramProductVersion(); }

    // Directories for this run only, in place of the profile's (command-line options);
    // given before LoadProfile. A directory given here is not written to the profile.
    void OverrideDataDirectory(std::string directory);
    void OverrideDictionaryDirectory(std::string directory);

    // Start-up steps.
    void LoadProfile();
    [[nodiscard]] bool LoadDictionary();
    [[nodiscard]] bool OpenReportEngine();
    // Checks the data directory as it stands (see tvdatabasecheck.cpp): the required
    // data files, the incomplete-database question, the "SERVER", version and "MACHINE"
    // records, and on success the data directory into the user's profile.
    [[nodiscard]] bool CheckDatabase(tvIncompleteAnswer answer = tvIncompleteAnswer::kAsk);
    // Finds a database that passes the check: with auto start (or without a locator)
    // the data directory is checked once; otherwise the locator is asked until a
    // directory passes ("An entry is required" for an empty entry) or it cancels.
    [[nodiscard]] bool LocateDatabase(tvDatabaseLocator* locator,
                                      tvIncompleteAnswer answer = tvIncompleteAnswer::kAsk);
    // The version check and upgrade; 0 lets the program go on (app/tvversioncheck.h).
    [[nodiscard]] int CheckVersion(tvProgress* progress);
    int VersionResult() const { return version_result_; }
    // True when the last CheckDatabase failed because the incomplete-database question
    // was answered No.
    bool IncompleteRefused() const { return incomplete_refused_; }
    // Every step above with the data directory checked once. `progress` shows an
    // upgrade (none: the upgrade fails before it starts).
    [[nodiscard]] tvStartResult StartWithoutWindows(tvIncompleteAnswer answer,
                                                    tvProgress* progress);
    void Shutdown();

    // State for the other parts of the program.
    std::string DataDirectory() const override { return settings_.DataDirectory(); }
    // Points the application at another data directory ("/" added when missing).
    void SetDataDirectory(std::string_view directory);
    const std::string& DictionaryDirectory() const { return dictionary_directory_; }
    const std::string& ReportsDirectory() const { return settings_.ReportsDirectory(); }
    bool AlarmWatch() const { return settings_.AlarmWatch(); }
    bool FileGateway() const { return settings_.FileGateway(); }

    // The cached settings records (model/tvsettings.h), each null when it can be
    // neither read nor created.
    cvRec* OptionsRecord();
    cvRec* ServerRecord();
    cvRec* MachineRecord();
    cvRec* VersionRecord();
    int32_t MachineNumber();
    bool IsServerRunning();

  protected:
    std::unique_ptr<cvDataDict> NewDictionary() override;
    void FileManagerChanged(cvFileMgr* manager) override;

  private:
    // Makes sure the database has its "SERVER" record (tvdatabasecheck.cpp).
    void EnsureServerRecord();

    tvSettings settings_;
    std::optional<std::string> data_override_;
    std::optional<std::string> dictionary_override_;
    std::string dictionary_directory_;
    int version_result_ = 0;
    bool incomplete_refused_ = false;  // the last check stopped at the question
    bool shut_down_ = false;
};

// The text of the incomplete-database question.
extern const char* const kIncompleteDatabaseQuestion;
