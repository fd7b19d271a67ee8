// The version check and the upgrade on real databases: the comparisons and their
// messages, and an upgrade from a database written with an older dictionary of the
// test's own (narrower fields, missing fields, a field the new layout dropped), with
// its backup, conversion, cancelling and refusals.

#include "app/tvversioncheck.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "app/tvapp.h"
#include "model/pagingtables.h"
#include "platform/recman/recman.h"
#include "storage/datatype.h"
#include "storage/packeddatetime.h"
#include "tests/app/appfixture.h"

namespace {

using app_testing::AppFixture;
using app_testing::RecordingProgress;
namespace fs = std::filesystem;

constexpr tvVersion kRelease21 = {2, 1, 0, 5};
constexpr tvVersion kRelease22 = {2, 2, 0, 1};

const std::string kNewerDatabase =
    "This database has been upgraded to a newer version. You must upgrade your software to "
    "the latest version.";
const std::string kRequireQuestion =
    "You are running a new version of Tolvane. Do you want to require all users to upgrade "
    "to this version?";
const std::string kUpgradeQuestion = "Your database needs to be upgraded to the current version.";
const std::string kRestart =
    "The database has been successfully converted. You must restart Tolvane.";
const std::string kRestore =
    "The conversion was cancelled before it was completed. You should restore from the "
    "backup directory before proceeding.";

// The previous release's layout of the three converted tables: narrower texts, no
// port, reply-to, line settings, host reference or device limit, and a note field on
// devices that the current layout dropped.
constexpr uint16_t kDup = kKeyDuplicates | kKeyModifiable;
constexpr cvFieldDef kOldPageMsgFields[] = {
    {"PAGEMSGNBR", kTypeAutoInc, 0, 4, 0}, {"PAGEDEVNBR", kTypeInteger, 4, 4, 0},
    {"TEXT", kTypeZString, 8, 241, 0},     {"STATUS", kTypeInteger, 249, 4, 0},
    {"SCHEDDATE", kTypeDate, 253, 4, 0},   {"SCHEDTIME", kTypeTime, 257, 4, 0},
    {"ATTEMPTS", kTypeInteger, 261, 4, 0}, {"RESPONSE", kTypeZString, 265, 81, 0},
};
constexpr cvKeyDef kOldPageMsgKeys[] = {
    {"PAGEMSGNBR", kKeyUnique},
    {"STATUS", kDup | kKeySegmented},
    {"SCHEDDATE", kDup},
};
constexpr cvFieldDef kOldPageDevFields[] = {
    {"PAGEDEVNBR", kTypeAutoInc, 0, 4, 0},  {"DESCRIPTION", kTypeZString, 4, 31, 0},
    {"QINACTIVE", kTypeString, 35, 1, 0},   {"QGROUP", kTypeString, 36, 1, 0},
    {"PAGENETNBR", kTypeInteger, 37, 4, 0}, {"PIN", kTypeZString, 41, 21, 0},
    {"NOTE", kTypeZString, 62, 21, 0},
};
constexpr cvKeyDef kOldPageDevKeys[] = {{"PAGEDEVNBR", kKeyUnique},
                                        {"DESCRIPTION", kKeyModifiable}};
constexpr cvFieldDef kOldPageNetFields[] = {
    {"PAGENETNBR", kTypeAutoInc, 0, 4, 0}, {"DESCRIPTION", kTypeZString, 4, 31, 0},
    {"QINACTIVE", kTypeString, 35, 1, 0},  {"PROTOCOL", kTypeInteger, 36, 4, 0},
    {"PHONE", kTypeZString, 40, 41, 0},    {"PASSWORD", kTypeZString, 81, 21, 0},
};
constexpr cvKeyDef kOldPageNetKeys[] = {{"PAGENETNBR", kKeyUnique},
                                        {"DESCRIPTION", kKeyModifiable}};

constexpr cvTableDef kOldTables[] = {
    {"PAGEMSG", "PAGEMSG.DAT", 4096, 0, kOldPageMsgFields, kOldPageMsgKeys, 0},
    {"PAGEDEV", "PAGEDEV.DAT", 4096, 0, kOldPageDevFields, kOldPageDevKeys, 0},
    {"PAGENET", "PAGENET.DAT", 4096, 0, kOldPageNetFields, kOldPageNetKeys, 0},
};

constexpr int kOldMessages = 1200;  // more than one commit's worth

class VersionCheckTest : public AppFixture {
  protected:
    // A database as `versions` stamp it, made by that program.
    void MakeDatabase(const tvVersion& file, const tvVersion& product) {
        presenter_.Clear();
        ASSERT_EQ(Start(tvIncompleteAnswer::kYes, file, product), tvStartResult::kStarted);
        EndApp();
        presenter_.Clear();
    }

    // A database of the previous release, stamped 2.1, with the previous dictionary in
    // "PrevDDF": two networks, three devices and kOldMessages messages.
    void MakeOlderDatabase(const tvVersion& stamped = kRelease21) {
        const std::string previous = ddf_.dir() + "PrevDDF/";
        WriteDictionary(previous, kOldTables);
        auto dictionary = std::make_unique<tvDataDict>();
        ASSERT_EQ(dictionary->Load(previous, "TV"), 0);
        ASSERT_EQ(dictionary->AddDefinition(TolvaneTableDef()), 0);
        fs::create_directories(DataDirectory());
        cvFileMgr manager(DataDirectory(), dictionary.get());
        for (const char* table : {"PAGENET", "PAGEDEV", "PAGEMSG", "TOLVANE"}) {
            std::string path;
            ASSERT_EQ(manager.CreateFile(table, &path), 0);
        }

        cvFile* networks = manager.OpenTable("PAGENET");
        ASSERT_NE(networks, nullptr);
        for (const char* name : {"Metro", "Skyline"}) {
            cvRec network(*networks);
            ASSERT_NE(network.PutInt("PAGENETNBR", 0), 0);  // numbered on insert
            ASSERT_NE(network.PutString("DESCRIPTION", name), 0);
            ASSERT_NE(network.PutInt("PROTOCOL", 4), 0);
            ASSERT_NE(network.PutString("PHONE", std::string(name) + ".example"), 0);
            ASSERT_NE(network.PutString("PASSWORD", "secret"), 0);
            ASSERT_EQ(network.Save(), 0);
        }
        cvFile* devices = manager.OpenTable("PAGEDEV");
        for (int i = 1; i <= 3; ++i) {
            cvRec device(*devices);
            ASSERT_NE(device.PutInt("PAGEDEVNBR", 0), 0);
            ASSERT_NE(device.PutString("DESCRIPTION", "Device " + std::to_string(i)), 0);
            ASSERT_NE(device.PutString("QGROUP", i == 3 ? "Y" : "N"), 0);
            ASSERT_NE(device.PutInt("PAGENETNBR", i == 3 ? 0 : i), 0);
            ASSERT_NE(device.PutString("PIN", "55500" + std::to_string(i)), 0);
            ASSERT_NE(device.PutString("NOTE", "dropped"), 0);
            ASSERT_EQ(device.Save(), 0);
        }
        cvFile* messages = manager.OpenTable("PAGEMSG");
        ASSERT_EQ(messages->BeginTransaction(), 0);
        for (int i = 1; i <= kOldMessages; ++i) {
            cvRec message(*messages);
            ASSERT_NE(message.PutInt("PAGEMSGNBR", 0), 0);
            ASSERT_NE(message.PutInt("PAGEDEVNBR", 1 + i % 2), 0);
            ASSERT_NE(message.PutString("TEXT", "message " + std::to_string(i)), 0);
            ASSERT_NE(message.PutInt("STATUS", i % 3), 0);
            ASSERT_NE(message.PutDate("SCHEDDATE", PackDate(2020, 1 + i % 12, 1 + i % 28)), 0);
            ASSERT_NE(message.PutTime("SCHEDTIME", PackTime(i % 24, i % 60, 0)), 0);
            ASSERT_NE(message.PutInt("ATTEMPTS", i % 4), 0);
            ASSERT_NE(message.PutString("RESPONSE", "ok " + std::to_string(i)), 0);
            ASSERT_EQ(message.Save(), 0);
        }
        ASSERT_EQ(messages->EndTransaction(), 0);

        cvFile* config = manager.OpenTable("TOLVANE");
        cvRec version(*config);
        ASSERT_NE(PutConfigText(version, "STRKEY", "VERSION"), 0);
        ASSERT_NE(PutFileVersion(version, stamped), 0);
        ASSERT_NE(PutProductVersion(version, stamped), 0);
        ASSERT_EQ(version.Save(), 0);
    }

    // The stored version record of the database, read with the current dictionary.
    std::pair<tvVersion, tvVersion> StoredVersions() {
        auto dictionary = LoadDictionary(ddf_.dir());
        cvFileMgr manager(DataDirectory(), dictionary.get());
        cvFile* config = manager.OpenTable("TOLVANE", RECMAN_MODE_READ_ONLY);
        EXPECT_NE(config, nullptr);
        EXPECT_NE(PutConfigText(*config, "STRKEY", "VERSION"), 0);
        EXPECT_NE(config->PutInt("NUMKEY", 0), 0);
        EXPECT_EQ(config->GetEqual(0), 0);
        cvRec version(*config, cvRec::kFromFile);
        return {StoredFileVersion(version), StoredProductVersion(version)};
    }

    uint32_t Rows(const std::string& directory, tvDataDict& dictionary, std::string_view table) {
        cvFileMgr manager(directory, &dictionary);
        cvFile* file = manager.OpenTable(table, RECMAN_MODE_READ_ONLY, {}, false, true);
        uint32_t rows = 0;
        EXPECT_NE(file, nullptr);
        if (file) {
            EXPECT_EQ(file->RecordCount(&rows), 0);
        }
        return rows;
    }
};

TEST_F(VersionCheckTest, VersionsCompareOnMajorMinorAndOnlyWhenAskedTheBuild) {
    struct Case {
        tvVersion a, b;
        bool with_build;
        int expected;
    };
    const Case cases[] = {
        {{2, 1, 0, 5}, {2, 1, 0, 5}, true, 0},  {{2, 1, 9, 5}, {2, 1, 0, 5}, true, 0},
        {{2, 1, 0, 5}, {2, 1, 0, 7}, true, -1}, {{2, 1, 0, 5}, {2, 1, 0, 7}, false, 0},
        {{2, 2, 0, 1}, {2, 1, 0, 9}, true, 1},  {{1, 9, 0, 0}, {2, 0, 0, 0}, false, -1},
        {{3, 0, 0, 0}, {2, 9, 0, 9}, true, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CompareVersions(c.a, c.b, c.with_build), c.expected)
            << c.a.major << "." << c.a.minor << "." << c.a.build << " vs " << c.b.major << "."
            << c.b.minor << "." << c.b.build;
    }
}

TEST_F(VersionCheckTest, TheStoredVersionsDecideWhetherTheProgramMayRun) {
    struct Case {
        const char* what;
        tvVersion stored_file, stored_product, program_file, program_product;
        int result;
        std::vector<std::string> boxes;
    };
    const Case cases[] = {
        {"same release", kRelease21, kRelease21, kRelease21, kRelease21, 0, {}},
        {"micro parts differ", {2, 1, 4, 5}, {2, 1, 4, 5}, kRelease21, kRelease21, 0, {}},
        {"database newer",
         kRelease21,
         kRelease21,
         {2, 0, 0, 5},
         {2, 0, 0, 5},
         -99,
         {kNewerDatabase}},
        {"newer build required",
         kRelease21,
         {2, 1, 0, 7},
         kRelease21,
         {2, 1, 0, 5},
         -91,
         {"A newer version of this application is available. You must upgrade to version "
          "2.01.007"}},
        {"newer build of this program",
         kRelease21,
         kRelease21,
         kRelease21,
         {2, 1, 0, 9},
         0,
         {kRequireQuestion}},
        {"upgrade declined",
         kRelease21,
         kRelease21,
         kRelease22,
         kRelease22,
         -99,
         {kUpgradeQuestion}},
        {"below 1.0",
         {0, 9, 0, 3},
         {0, 9, 0, 3},
         kRelease22,
         kRelease22,
         -99,
         {kUpgradeQuestion,
          "You must upgrade to version 1.00 before you can upgrade to version 2.02."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(DataDirectory());
        MakeDatabase(c.stored_file, c.stored_product);
        if (c.boxes.size() == 2) {
            presenter_.Answer(kUpgradeQuestion, kIdOk);
        }
        const tvStartResult started =
            Start(tvIncompleteAnswer::kNo, c.program_file, c.program_product);
        EXPECT_EQ(started,
                  c.result == 0 ? tvStartResult::kStarted : tvStartResult::kVersionRefused);
        EXPECT_EQ(app_->VersionResult(), c.result);
        EXPECT_EQ(presenter_.Texts(), c.boxes);
        EndApp();
        // Nothing was changed or backed up.
        EXPECT_EQ(StoredVersions(), std::make_pair(c.stored_file, c.stored_product));
        EXPECT_FALSE(fs::exists(DataDirectory() + "tvbackup"));
        presenter_ = {};
    }
}

TEST_F(VersionCheckTest, RequiringThisBuildStampsTheDatabase) {
    MakeDatabase(kRelease21, kRelease21);
    presenter_.Answer(kRequireQuestion, kIdYes);
    ASSERT_EQ(Start(tvIncompleteAnswer::kNo, kRelease21, {2, 1, 0, 9}), tvStartResult::kStarted);
    EndApp();
    EXPECT_EQ(StoredVersions(), std::make_pair(kRelease21, tvVersion{2, 1, 0, 9}));
    // The older build may no longer run on it.
    presenter_.Clear();
    EXPECT_EQ(Start(tvIncompleteAnswer::kNo, kRelease21, kRelease21),
              tvStartResult::kVersionRefused);
    EXPECT_EQ(app_->VersionResult(), -91);
}

TEST_F(VersionCheckTest, AnOlderDatabaseIsBackedUpConvertedFieldByFieldAndStamped) {
    MakeOlderDatabase();
    presenter_.Answer(kUpgradeQuestion, kIdOk);
    RecordingProgress progress;
    EXPECT_EQ(Start(tvIncompleteAnswer::kNo, kRelease22, kRelease22, &progress),
              tvStartResult::kVersionRefused);
    EXPECT_EQ(app_->VersionResult(), -96);
    EXPECT_EQ(presenter_.Texts(), (std::vector<std::string>{kUpgradeQuestion, kRestart}));
    EndApp();

    const std::string backup = DataDirectory() + "tvbackup";
    EXPECT_EQ(progress.texts,
              (std::vector<std::string>{"Backing up database to " + backup, "PAGENET.DAT",
                                        "PAGEMSG.DAT", "PAGEDEV.DAT", "Converting Paging Devices",
                                        "Converting Messages", "Converting Paging Networks"}));
    EXPECT_TRUE(progress.ended);
    EXPECT_EQ(progress.percents.back(), 100);

    // The backup holds the old files, readable with the old dictionary.
    auto previous = std::make_unique<tvDataDict>();
    ASSERT_EQ(previous->Load(ddf_.dir() + "PrevDDF/", "TV"), 0);
    EXPECT_EQ(Rows(backup + "/", *previous, "PAGEMSG"), uint32_t{kOldMessages});
    EXPECT_EQ(Rows(backup + "/", *previous, "PAGENET"), 2u);
    EXPECT_EQ(Rows(backup + "/", *previous, "PAGEDEV"), 3u);
    EXPECT_FALSE(fs::exists(backup + "/TOLVANE.DAT"));

    // The rows in the current layout: same numbers, same values, defaults elsewhere.
    EXPECT_EQ(StoredVersions(), std::make_pair(kRelease22, kRelease22));
    auto dictionary = LoadDictionary(ddf_.dir());
    cvFileMgr manager(DataDirectory(), dictionary.get());
    cvFile* networks = manager.OpenTable("PAGENET", RECMAN_MODE_READ_ONLY);
    ASSERT_NE(networks, nullptr);
    EXPECT_EQ(networks->Table().RecordLength(), 420);  // the current layout
    ASSERT_EQ(networks->GetFirst(0), 0);
    EXPECT_EQ(networks->GetInt("PAGENETNBR"), 1);
    EXPECT_EQ(networks->GetText("DESCRIPTION"), "Metro");
    EXPECT_EQ(networks->GetInt("PROTOCOL"), 4);
    EXPECT_EQ(networks->GetText("PHONE"), "Metro.example");
    EXPECT_EQ(networks->GetText("PASSWORD"), "secret");
    EXPECT_EQ(networks->GetInt("RATE"), 2400);
    EXPECT_EQ(networks->GetInt("DATABITS"), 7);
    EXPECT_EQ(networks->GetInt("PARITY"), 69);
    EXPECT_EQ(networks->GetInt("STOPBITS"), 1);
    EXPECT_EQ(networks->GetInt("PORT"), 0);
    EXPECT_EQ(networks->GetText("REPLYTO"), "");
    ASSERT_EQ(networks->GetNext(), 0);
    EXPECT_EQ(networks->GetText("DESCRIPTION"), "Skyline");

    cvFile* devices = manager.OpenTable("PAGEDEV", RECMAN_MODE_READ_ONLY);
    int count = 0;
    for (int status = devices->GetFirst(0); status == 0; status = devices->GetNext()) {
        ++count;
        EXPECT_EQ(devices->GetInt("PAGEDEVNBR"), count);
        EXPECT_EQ(devices->GetText("DESCRIPTION"), "Device " + std::to_string(count));
        EXPECT_EQ(devices->GetText("QGROUP"), count == 3 ? "Y" : "N");
        EXPECT_EQ(devices->GetText("PIN"), "55500" + std::to_string(count));
        EXPECT_EQ(devices->GetInt("MAXMSGLEN"), 0);
        EXPECT_EQ(devices->GetText("PASSWORD"), "");
    }
    EXPECT_EQ(count, 3);

    cvFile* messages = manager.OpenTable("PAGEMSG", RECMAN_MODE_READ_ONLY);
    count = 0;
    for (int status = messages->GetFirst(0); status == 0; status = messages->GetNext()) {
        const int i = ++count;
        ASSERT_EQ(messages->GetInt("PAGEMSGNBR"), i);
        EXPECT_EQ(messages->GetInt("PAGEDEVNBR"), 1 + i % 2);
        EXPECT_EQ(messages->GetText("TEXT"), "message " + std::to_string(i));
        EXPECT_EQ(messages->GetInt("STATUS"), i % 3);
        EXPECT_EQ(messages->GetDate("SCHEDDATE"), PackDate(2020, 1 + i % 12, 1 + i % 28));
        EXPECT_EQ(messages->GetTime("SCHEDTIME"), PackTime(i % 24, i % 60, 0));
        EXPECT_EQ(messages->GetInt("ATTEMPTS"), i % 4);
        EXPECT_EQ(messages->GetText("RESPONSE"), "ok " + std::to_string(i));
        EXPECT_EQ(messages->GetText("QCONFIDENTIAL"), "N");
        EXPECT_EQ(messages->GetInt("HOSTREFNBR"), 0);
        EXPECT_EQ(messages->GetInt("NETMSGNBR"), 0);
    }
    EXPECT_EQ(count, kOldMessages);

    // Restarted, the program runs without questions.
    presenter_.Clear();
    EXPECT_EQ(Start(tvIncompleteAnswer::kNo, kRelease22, kRelease22), tvStartResult::kStarted);
    EXPECT_TRUE(presenter_.Boxes().empty());
}

TEST_F(VersionCheckTest, CancellingTheConversionAsksForARestore) {
    MakeOlderDatabase();
    presenter_.Answer(kUpgradeQuestion, kIdOk);
    RecordingProgress progress;
    progress.cancel_after = 3 + 3 + 100;  // the three copies, two tables, 100 messages
    EXPECT_EQ(Start(tvIncompleteAnswer::kNo, kRelease22, kRelease22, &progress),
              tvStartResult::kVersionRefused);
    EXPECT_EQ(app_->VersionResult(), -93);
    EXPECT_EQ(presenter_.Texts(), (std::vector<std::string>{kUpgradeQuestion, kRestore}));
    EndApp();
    EXPECT_EQ(StoredVersions().first, kRelease21);
    auto previous = std::make_unique<tvDataDict>();
    ASSERT_EQ(previous->Load(ddf_.dir() + "PrevDDF/", "TV"), 0);
    EXPECT_EQ(Rows(DataDirectory() + "tvbackup/", *previous, "PAGEMSG"), uint32_t{kOldMessages});
}

TEST_F(VersionCheckTest, UpgradeRefusalsLeaveTheDataInPlace) {
    struct Case {
        const char* what;
        int result;
        std::string message;
    };
    const Case cases[] = {
        {"a server has the networks open", -94,
         "Unable to gain exclusive access to the database. Logout all other users and try "
         "again."},
        {"a backup exists and may not be replaced", -92, "Unable to create backup directory"},
        {"no previous dictionary", -97, ""},
        {"a previous dictionary without the messages", -97, ""},
    };
    // The old layout on its own, to read the data files as the refusals leave them.
    TempDir old_layout;
    WriteDictionary(old_layout.dir(), kOldTables);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(DataDirectory());
        fs::remove_all(ddf_.dir() + "PrevDDF");
        MakeOlderDatabase();
        std::unique_ptr<tvDataDict> holder_dictionary;
        std::unique_ptr<cvFileMgr> holder;
        if (c.result == -94) {
            holder_dictionary = std::make_unique<tvDataDict>();
            ASSERT_EQ(holder_dictionary->Load(ddf_.dir() + "PrevDDF/", "TV"), 0);
            holder = std::make_unique<cvFileMgr>(DataDirectory(), holder_dictionary.get());
            ASSERT_NE(holder->OpenTable("PAGENET"), nullptr);
        }
        if (c.result == -92) {
            fs::create_directories(DataDirectory() + "tvbackup");
            std::ofstream(DataDirectory() + "tvbackup/keep.txt") << "older backup";
        }
        if (c.result == -97 && c.what == std::string("no previous dictionary")) {
            fs::remove_all(ddf_.dir() + "PrevDDF");
        } else if (c.result == -97) {
            fs::remove_all(ddf_.dir() + "PrevDDF");
            WriteDictionary(ddf_.dir() + "PrevDDF/",
                            std::span<const cvTableDef>(kOldTables).subspan(1));
        }
        presenter_ = {};
        presenter_.Answer(kUpgradeQuestion, kIdOk);
        RecordingProgress progress;
        EXPECT_EQ(Start(tvIncompleteAnswer::kNo, kRelease22, kRelease22, &progress),
                  tvStartResult::kVersionRefused);
        EXPECT_EQ(app_->VersionResult(), c.result);
        const std::vector<std::string> texts = presenter_.Texts();
        ASSERT_FALSE(texts.empty());
        EXPECT_EQ(texts.back(), "Conversion failed with error " + std::to_string(c.result));
        if (!c.message.empty()) {
            EXPECT_NE(std::find(texts.begin(), texts.end(), c.message), texts.end());
        }
        EndApp();
        holder.reset();
        EXPECT_EQ(StoredVersions().first, kRelease21);
        // The data files are the old ones, rows and all.
        auto previous = std::make_unique<tvDataDict>();
        ASSERT_EQ(previous->Load(old_layout.dir(), "TV"), 0);
        EXPECT_EQ(Rows(DataDirectory(), *previous, "PAGEMSG"), uint32_t{kOldMessages});
        EXPECT_EQ(Rows(DataDirectory(), *previous, "PAGENET"), 2u);
        EXPECT_EQ(Rows(DataDirectory(), *previous, "PAGEDEV"), 3u);
        if (c.result == -92) {
            EXPECT_TRUE(fs::exists(DataDirectory() + "tvbackup/keep.txt"));
        }
    }
}

TEST_F(VersionCheckTest, AnOlderBackupIsReplacedWhenTheOperatorAgrees) {
    MakeOlderDatabase();
    fs::create_directories(DataDirectory() + "tvbackup");
    std::ofstream(DataDirectory() + "tvbackup/keep.txt") << "older backup";
    const std::string question = "Directory " + DataDirectory() +
                                 "tvbackup already exists. The contents of this directory will "
                                 "be replaced with a current backup of your database.\nDo you "
                                 "want to proceed?";
    presenter_.Answer(kUpgradeQuestion, kIdOk);
    presenter_.Answer(question, kIdYes);
    RecordingProgress progress;
    EXPECT_EQ(Start(tvIncompleteAnswer::kNo, kRelease22, kRelease22, &progress),
              tvStartResult::kVersionRefused);
    EXPECT_EQ(app_->VersionResult(), -96);
    EXPECT_EQ(presenter_.Texts(), (std::vector<std::string>{kUpgradeQuestion, question, kRestart}));
    EXPECT_FALSE(fs::exists(DataDirectory() + "tvbackup/keep.txt"));
    EXPECT_TRUE(fs::exists(DataDirectory() + "tvbackup/PAGEMSG.DAT"));
}

TEST_F(VersionCheckTest, AnUpgradeWithoutProgressStopsBeforeChangingAnything) {
    MakeOlderDatabase();
    // An older backup is all there is to restore from: it must not be replaced by an
    // upgrade that cannot run.
    fs::create_directories(DataDirectory() + "tvbackup");
    std::ofstream(DataDirectory() + "tvbackup/keep.txt") << "older backup";
    presenter_.Answer(kUpgradeQuestion, kIdOk);
    presenter_.Answer("Directory ", kIdYes);
    EXPECT_EQ(Start(tvIncompleteAnswer::kNo, kRelease22, kRelease22, nullptr),
              tvStartResult::kVersionRefused);
    EXPECT_EQ(app_->VersionResult(), -92);
    EXPECT_EQ(presenter_.Texts(),
              (std::vector<std::string>{kUpgradeQuestion, "Conversion failed with error -92"}));
    EndApp();
    EXPECT_EQ(StoredVersions().first, kRelease21);
    EXPECT_TRUE(DataFileExists("PAGEMSG.DAT"));
    EXPECT_TRUE(fs::exists(DataDirectory() + "tvbackup/keep.txt"));
}

TEST_F(VersionCheckTest, CopyingUsesTheWholeFileAndLeavesNoPartialTarget) {
    std::string contents;
    for (int i = 0; i < 3 * 10240 + 17; ++i) {
        contents += static_cast<char>('a' + i % 26);
    }
    const std::string source = data_.file("source");
    std::ofstream(source, std::ios::binary) << contents;
    ASSERT_TRUE(CopyDataFile(source, data_.file("target")));
    std::ifstream copied(data_.file("target"), std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(copied)), {}), contents);

    EXPECT_FALSE(CopyDataFile(data_.file("missing"), data_.file("target2")));
    EXPECT_FALSE(fs::exists(data_.file("target2")));
    EXPECT_FALSE(CopyDataFile(source, data_.file("no/such/dir/target")));
}

}  // namespace
