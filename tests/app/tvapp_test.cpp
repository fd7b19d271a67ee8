// Start-up of the application object on real databases in temporary directories: the
// required data files with and without Alarm Watch, the incomplete-database question
// and the database dialog, the directory written back to the profile, data files
// deleted by hand, dictionaries that fail, the start-up log, and a database a server
// has open.

#include "app/tvapp.h"

#include <gtest/gtest.h>

#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>

#include "app/tvdatabaselocator.h"
#include "log/logcategory.h"
#include "model/pagingtables.h"
#include "platform/core/clock.h"
#include "platform/profile/profile.h"
#include "tests/app/appfixture.h"

namespace {

using app_testing::AppFixture;
using platform::ProfileScope;
namespace fs = std::filesystem;

const std::string kQuestion = kIncompleteDatabaseQuestion;

// Answers the database dialog from a list; nothing once the list is used up (Cancel).
class ScriptedLocator : public tvDatabaseLocator {
  public:
    explicit ScriptedLocator(std::deque<std::string> entries) : entries_(std::move(entries)) {}
    std::optional<std::string> AskDirectory(const std::string& current) override {
        offered.push_back(current);
        if (entries_.empty()) {
            return std::nullopt;
        }
        std::string entry = entries_.front();
        entries_.pop_front();
        return entry;
    }
    std::vector<std::string> offered;

  private:
    std::deque<std::string> entries_;
};

class StartupTest : public AppFixture {
  protected:
    platform::Profile profile_;  // the files the environment names

    void SetMachineNumber(std::string_view name, int32_t value) {
        ASSERT_EQ(profile_.WriteNumber(ProfileScope::kMachine, "Settings", name, value),
                  platform::ProfileResult::kOk);
    }
    // The start-up up to the database, as the user interface runs it.
    tvApp& UpToDatabase() {
        tvApp& app = NewApp();
        app.LoadProfile();
        EXPECT_TRUE(app.LoadDictionary());
        return app;
    }
    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (const std::string& line : EventLog().Lines()) {
            // Drop the "Tue 9:05 PM " prefix.
            size_t at = 0;
            for (int word = 0; word < 3; ++word) {
                at = line.find(' ', at) + 1;
            }
            texts.push_back(line.substr(at));
        }
        return texts;
    }
};

TEST_F(StartupTest, AnEmptyDirectoryNeedsFourDataFilesAndSixWithAlarmWatch) {
    // No: nothing is created and the start ends.
    EXPECT_EQ(Start(tvIncompleteAnswer::kAsk), tvStartResult::kIncompleteDatabase);
    EXPECT_EQ(presenter_.Texts(), std::vector<std::string>{kQuestion});
    EXPECT_EQ(presenter_.Boxes()[0].style, unsigned{kMbYesNo | kMbIconQuestion});
    EXPECT_FALSE(fs::exists(DataDirectory()));

    presenter_.Answer(kQuestion, kIdYes);
    presenter_.Clear();
    EXPECT_EQ(Start(tvIncompleteAnswer::kAsk), tvStartResult::kStarted);
    EXPECT_EQ(presenter_.Texts(), std::vector<std::string>{kQuestion});
    EXPECT_EQ(DataFiles(), (std::vector<std::string>{"PAGEDEV.DAT", "PAGEMSG.DAT", "PAGENET.DAT",
                                                     "TOLVANE.DAT"}));
    EndApp();

    // The same directory is complete without Alarm Watch and incomplete with it.
    presenter_.Clear();
    EXPECT_EQ(Start(tvIncompleteAnswer::kNo), tvStartResult::kStarted);
    EXPECT_TRUE(presenter_.Boxes().empty());
    EndApp();
    SetMachineNumber("Alarm Watch", 1);
    EXPECT_EQ(Start(tvIncompleteAnswer::kNo), tvStartResult::kIncompleteDatabase);
    EXPECT_EQ(Start(tvIncompleteAnswer::kYes), tvStartResult::kStarted);
    EXPECT_EQ(DataFiles(), (std::vector<std::string>{"MONEQUIP.DAT", "PAGEDEV.DAT", "PAGEGRP.DAT",
                                                     "PAGEMSG.DAT", "PAGENET.DAT", "TOLVANE.DAT"}));
}

TEST_F(StartupTest, ANewDatabaseGetsItsServerVersionAndMachineRecords) {
    ASSERT_EQ(Start(tvIncompleteAnswer::kYes, {2, 1, 3, 5}, {2, 4, 6, 8}), tvStartResult::kStarted);
    EndApp();
    auto dictionary = LoadDictionary(ddf_.dir());
    cvFileMgr manager(DataDirectory(), dictionary.get());
    cvFile* file = manager.OpenTable("TOLVANE", RECMAN_MODE_READ_ONLY);
    ASSERT_NE(file, nullptr);
    std::vector<std::string> kinds;
    for (int status = file->GetFirst(0); status == 0; status = file->GetNext()) {
        kinds.push_back(file->GetText("STRKEY") + "/" + std::to_string(file->GetInt("NUMKEY")));
        if (file->GetText("STRKEY") == "SERVER") {
            EXPECT_EQ(file->GetInt("MACHINENBR"), 0);
        }
        if (file->GetText("STRKEY") == "VERSION") {
            cvRec version(*file, cvRec::kFromFile);
            EXPECT_EQ(StoredFileVersion(version), (tvVersion{2, 1, 3, 5}));
            EXPECT_EQ(StoredProductVersion(version), (tvVersion{2, 4, 6, 8}));
        }
    }
    EXPECT_EQ(kinds, (std::vector<std::string>{"MACHINE/1", "SERVER/0", "VERSION/0"}));
}

TEST_F(StartupTest, AnsweringNoEndsWithAutoStartAndAsksForAnotherDirectoryWithout) {
    ASSERT_EQ(Start(tvIncompleteAnswer::kYes), tvStartResult::kStarted);
    EndApp();
    const std::string incomplete = data_.dir() + "other/";
    fs::create_directories(incomplete);

    // Auto start: the profile's directory once, without the dialog; No ends.
    ASSERT_EQ(profile_.WriteNumber(ProfileScope::kUser, "COMM", "AUTOSTART", 1),
              platform::ProfileResult::kOk);
    ASSERT_EQ(profile_.WriteText(ProfileScope::kUser, "Settings", "Data Directory", incomplete),
              platform::ProfileResult::kOk);
    {
        ScriptedLocator locator({DataDirectory()});
        tvApp& app = UpToDatabase();
        EXPECT_FALSE(app.LocateDatabase(&locator));
        EXPECT_TRUE(locator.offered.empty());
        EXPECT_TRUE(app.IncompleteRefused());
        EXPECT_EQ(presenter_.Texts(), std::vector<std::string>{kQuestion});
    }

    // Without: No brings the dialog back, an empty entry is refused, then a complete
    // database passes.
    ASSERT_EQ(profile_.WriteNumber(ProfileScope::kUser, "COMM", "AUTOSTART", 0),
              platform::ProfileResult::kOk);
    presenter_.Clear();
    {
        ScriptedLocator locator({incomplete, "", DataDirectory()});
        tvApp& app = UpToDatabase();
        EXPECT_TRUE(app.LocateDatabase(&locator));
        EXPECT_EQ(locator.offered, (std::vector<std::string>{incomplete, incomplete, incomplete}));
        EXPECT_EQ(presenter_.Texts(),
                  (std::vector<std::string>{kQuestion, "An entry is required"}));
        EXPECT_EQ(presenter_.Boxes()[1].style, unsigned{kMbOk | kMbIconWarning});
        EXPECT_EQ(app.DataDirectory(), DataDirectory());
    }

    // Cancel ends the search.
    {
        ScriptedLocator locator({});
        tvApp& app = UpToDatabase();
        EXPECT_FALSE(app.LocateDatabase(&locator));
        EXPECT_EQ(locator.offered.size(), 1u);
    }
}

TEST_F(StartupTest, AChosenDirectoryIsStoredWithATrailingSeparatorButNotOneGivenForARun) {
    ASSERT_EQ(Start(tvIncompleteAnswer::kYes), tvStartResult::kStarted);
    EndApp();
    // Given for this run only: the profile is left alone.
    EXPECT_EQ(profile_.ReadText(ProfileScope::kUser, "Settings", "Data Directory", "none"), "none");

    std::string typed = DataDirectory();
    typed.pop_back();
    ScriptedLocator locator({typed});
    tvApp& app = UpToDatabase();
    ASSERT_TRUE(app.LocateDatabase(&locator));
    EXPECT_EQ(profile_.ReadText(ProfileScope::kUser, "Settings", "Data Directory", "none"),
              typed + "/");
    EXPECT_EQ(app.DataDirectory(), typed + "/");
}

TEST_F(StartupTest, ADirectoryWhereNoRecordsCanBeMadeIsRefusedAndTheDialogComesBack) {
    ASSERT_EQ(Start(tvIncompleteAnswer::kYes), tvStartResult::kStarted);
    EndApp();
    // Below a plain file nothing can be created.
    std::ofstream(data_.file("plain")) << "not a directory";
    const std::string unusable = data_.file("plain") + "/db/";
    presenter_.Clear();
    presenter_.Answer(kQuestion, kIdYes);
    ScriptedLocator locator({unusable, DataDirectory()});
    tvApp& app = UpToDatabase();
    ASSERT_TRUE(app.LocateDatabase(&locator));
    EXPECT_EQ(locator.offered.size(), 2u);
    const std::vector<std::string> texts = presenter_.Texts();
    ASSERT_GE(texts.size(), 2u);
    EXPECT_EQ(texts.front(), kQuestion);
    EXPECT_EQ(texts.back(), "Unable to start Tolvane");
    EXPECT_EQ(app.DataDirectory(), DataDirectory());
    // Only the directory that passed is remembered.
    EXPECT_EQ(profile_.ReadText(ProfileScope::kUser, "Settings", "Data Directory", "none"),
              DataDirectory());
}

TEST_F(StartupTest, ARequiredDataFileDeletedByHandIsRecreatedEmpty) {
    ASSERT_EQ(Start(tvIncompleteAnswer::kYes), tvStartResult::kStarted);
    {
        cvFile* networks = app_->OpenTable("PAGENET");
        ASSERT_NE(networks, nullptr);
        cvRec network(*networks);
        ASSERT_NE(network.PutString("DESCRIPTION", "Carrier"), 0);
        ASSERT_EQ(network.Save(), 0);
        cvFile* messages = app_->OpenTable("PAGEMSG");
        cvRec message(*messages);
        ASSERT_NE(message.PutString("TEXT", "gone"), 0);
        ASSERT_EQ(message.Save(), 0);
    }
    EndApp();
    ASSERT_TRUE(fs::remove(DataDirectory() + "PAGEMSG.DAT"));

    presenter_.Clear();
    presenter_.Answer(kQuestion, kIdYes);
    ASSERT_EQ(Start(tvIncompleteAnswer::kAsk), tvStartResult::kStarted);
    EXPECT_EQ(presenter_.Texts(), std::vector<std::string>{kQuestion});
    uint32_t rows = 99;
    ASSERT_EQ(app_->OpenTable("PAGEMSG")->RecordCount(&rows), 0);
    EXPECT_EQ(rows, 0u);
    ASSERT_EQ(app_->OpenTable("PAGENET")->RecordCount(&rows), 0);
    EXPECT_EQ(rows, 1u);
}

TEST_F(StartupTest, ADictionaryThatCannotBeLoadedOrLacksATableStopsTheStart) {
    // No dictionary files at all.
    TempDir empty;
    {
        tvApp& app = NewApp();
        app.OverrideDictionaryDirectory(empty.dir());
        app.OverrideDataDirectory(DataDirectory());
        EXPECT_EQ(app.StartWithoutWindows(tvIncompleteAnswer::kYes, nullptr),
                  tvStartResult::kNoDictionary);
        EXPECT_EQ(presenter_.Texts(),
                  std::vector<std::string>{"Unable to initialize data dictionary!"});
        const std::vector<std::string> log = LogTexts();
        EXPECT_NE(std::find(log.begin(), log.end(),
                            "Error 12 opening dictionary at " + empty.dir() + ", prefix=TV\n"),
                  log.end());
    }

    // A dictionary without PAGENET: the database counts as incomplete, and creating
    // the missing files stops at the table without a definition.
    std::vector<cvTableDef> tables;
    for (const cvTableDef& table : TolvaneSchema()) {
        if (table.table != "PAGENET") {
            tables.push_back(table);
        }
    }
    TempDir partial;
    WriteDictionary(partial.dir(), tables);
    presenter_.Clear();
    tvApp& app = NewApp();
    app.OverrideDictionaryDirectory(partial.dir());
    app.OverrideDataDirectory(DataDirectory());
    EXPECT_EQ(app.StartWithoutWindows(tvIncompleteAnswer::kYes, nullptr),
              tvStartResult::kVersionRefused);
    EXPECT_EQ(app.VersionResult(), -98);
    EXPECT_EQ(presenter_.Texts(),
              (std::vector<std::string>{"Table definition for PAGENET not found",
                                        "Table definition for PAGENET not found"}));
}

TEST_F(StartupTest, LogStartupEventsKeepsEveryCategoryUntilTheRunLogAndSavesAtExit) {
    // Off (the value is written as 0): the run's categories only, nothing saved.
    {
        tvApp& app = NewApp();
        app.LoadProfile();
        EXPECT_EQ(profile_.ReadNumber(ProfileScope::kUser, "Settings", "Log Startup Events", 9), 0);
        EXPECT_FALSE(EventLog().SaveAtExit());
        app.OpenRunLog();
        EXPECT_TRUE(EventLog().IsOpen());
        EXPECT_EQ(EventLog().CategoryMask(), 0xA4BAu);
        EXPECT_EQ(EventLog().MaxLines(), 500u);
        EndApp();
        EXPECT_TRUE(viewed_.empty());
    }

    ASSERT_EQ(profile_.WriteNumber(ProfileScope::kUser, "Settings", "Log Startup Events", 1),
              platform::ProfileResult::kOk);
    EventLog().SetCategoryMask(0);
    EventLog().Clear();
    tvApp& app = NewApp();
    app.LoadProfile();
    EXPECT_EQ(EventLog().CategoryMask(), 0xFFFFu);
    EXPECT_TRUE(EventLog().SaveAtExit());
    EventLog().AddEvent(kLogDbStatus, "early status line\n");  // kept: every category
    app.OpenRunLog();
    EventLog().AddEvent(kLogDbStatus, "late status line\n");  // not kept
    EXPECT_EQ(EventLog().CategoryMask(), 0xA4BAu);
    app.Shutdown();

    char name[16];
    const std::tm today = platform::LocalNow();
    std::strftime(name, sizeof name, "%Y%m%d.log", &today);
    ASSERT_EQ(viewed_, std::vector<std::string>{ddf_.dir() + name});
    std::ifstream saved(viewed_[0]);
    const std::string contents((std::istreambuf_iterator<char>(saved)),
                               std::istreambuf_iterator<char>());
    EXPECT_NE(contents.find("early status line"), std::string::npos);
    EXPECT_EQ(contents.find("late status line"), std::string::npos);
}

TEST_F(StartupTest, StartsWithoutQuestionsWhileAServerHasTheDatabaseOpen) {
    ASSERT_EQ(Start(tvIncompleteAnswer::kYes), tvStartResult::kStarted);
    EndApp();
    // Another process's engine holds every table open.
    auto dictionary = LoadDictionary(ddf_.dir());
    cvFileMgr server(DataDirectory(), dictionary.get());
    for (std::string_view table : RequiredTables(false)) {
        ASSERT_NE(server.OpenTable(table), nullptr);
    }
    presenter_.Clear();
    EXPECT_EQ(Start(tvIncompleteAnswer::kNo), tvStartResult::kStarted);
    EXPECT_TRUE(presenter_.Boxes().empty()) << presenter_.Texts()[0];
}

}  // namespace
