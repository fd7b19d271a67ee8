// The configuration records of the settings against a real TOLVANE table in a
// temporary database: creation with defaults, the move of an older user id, this
// computer's record among several computers, the server lock record, the version
// record, and what happens to cached records when the database changes or the table
// cannot be used.

#include "model/tvsettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "model/tolvanetable.h"
#include "platform/core/clock.h"
#include "storage/cvfile.h"
#include "storage/cvrec.h"
#include "tests/model/modelfixture.h"

namespace {

using model_testing::ModelFixture;
using platform::ProfileResult;
using platform::ProfileScope;
namespace fs = std::filesystem;

// Seconds from 1 January 1998 12:00:00 local time to `when`.
int32_t MachineSeconds(std::chrono::system_clock::time_point when) {
    return static_cast<int32_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                    when - platform::MakeLocalTime(1998, 1, 1, 12, 0, 0))
                                    .count());
}

class SettingsRecordsTest : public ModelFixture {
  protected:
    ~SettingsRecordsTest() override { platform::SetClock(nullptr); }

    // One computer of the shared database: its settings and file manager.
    struct Computer {
        std::unique_ptr<cvFileMgr> manager;
        std::unique_ptr<tvSettings> settings;
    };
    Computer StartComputer(const std::string& name) {
        Computer computer{NewManager(), std::make_unique<tvSettings>(profile_, "/opt/tolvane")};
        computer.settings->SetComputerName(name);
        computer.settings->SetFileManager(computer.manager.get());
        return computer;
    }

    // The stored row (kind, number) read through a client of its own, or null.
    std::unique_ptr<cvRec> StoredRow(std::string_view kind, int32_t number) {
        auto manager = NewManager();
        cvFile* file = manager->OpenTable("TOLVANE");
        if (!file) {
            return nullptr;
        }
        static_cast<void>(PutConfigText(*file, "STRKEY", kind));
        static_cast<void>(file->PutInt("NUMKEY", number));
        if (file->GetEqual(0) != 0) {
            return nullptr;
        }
        const cvBuffer& row = file->DataBuffer();
        return std::make_unique<cvRec>(file->Table(), row.Data(), row.Length());
    }

    // Stores a row the way another program run would have.
    void StoreRow(std::string_view kind, int32_t number, const std::function<void(cvRec&)>& fill) {
        auto manager = NewManager();
        std::string path;
        if (!fs::exists(data_.file("TOLVANE.DAT"))) {
            ASSERT_EQ(manager->CreateFile("TOLVANE", &path), 0);
        }
        cvFile* file = manager->OpenTable("TOLVANE");
        ASSERT_NE(file, nullptr);
        cvRec row(*file);
        ASSERT_NE(PutConfigText(row, "STRKEY", kind), 0);
        ASSERT_NE(row.PutInt("NUMKEY", number), 0);
        fill(row);
        ASSERT_EQ(row.Save(), 0);
    }

    uint32_t RowCount() {
        auto manager = NewManager();
        cvFile* file = manager->OpenTable("TOLVANE");
        uint32_t count = 0;
        EXPECT_NE(file, nullptr);
        EXPECT_EQ(file ? file->RecordCount(&count) : -1, 0);
        return count;
    }

    platform::Profile profile_;
};

TEST_F(SettingsRecordsTest, MissingOptionsAreCreatedWithTheirDefaults) {
    Computer computer = StartComputer("ALPHA");
    cvRec* options = computer.settings->OptionsRecord();
    ASSERT_NE(options, nullptr);
    EXPECT_TRUE(fs::exists(data_.file("TOLVANE.DAT")));
    EXPECT_EQ(computer.settings->OptionsRecord(), options) << "the record is kept";

    const std::unique_ptr<cvRec> stored = StoredRow("OPTIONS", 0);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->GetInt("SENDINTERVAL"), 30);
    EXPECT_EQ(stored->GetInt("STATUSINTERVAL"), 300);
    EXPECT_EQ(stored->GetInt("PURGEAGE"), 7);
    EXPECT_EQ(stored->GetInt("RECVINTERVAL"), 0);
    EXPECT_EQ(stored->GetText("QENABLERECV"), "");
    EXPECT_EQ(stored->GetText("MAILSERVER"), "");
    EXPECT_EQ(OptionsDnsAddress(*stored), 0u);
    // The key and the texts are zero-padded, as the table's layout stores them.
    EXPECT_EQ(std::memcmp(stored->FieldData("STRKEY"), "OPTIONS\0", 8), 0);
    const uint8_t* user = stored->FieldData("USERID");
    EXPECT_TRUE(std::all_of(user, user + 50, [](uint8_t byte) { return byte == 0; }));
    EXPECT_EQ(RowCount(), 1u);
    EXPECT_EQ(boxes_, std::vector<std::string>{});
}

TEST_F(SettingsRecordsTest, AnOlderUserIdMovesOnce) {
    StoreRow("OPTIONS", 0, [](cvRec& row) {
        EXPECT_NE(row.PutInt("SENDINTERVAL", 45), 0);
        EXPECT_NE(PutConfigText(row, "OLDUSERID", "jsmith"), 0);
    });
    {
        Computer computer = StartComputer("ALPHA");
        cvRec* options = computer.settings->OptionsRecord();
        ASSERT_NE(options, nullptr);
        EXPECT_EQ(options->GetText("USERID"), "jsmith");
        EXPECT_EQ(options->GetText("OLDUSERID"), "");
        EXPECT_FALSE(options->IsModified()) << "saved";
    }
    std::unique_ptr<cvRec> stored = StoredRow("OPTIONS", 0);
    ASSERT_NE(stored, nullptr);
    EXPECT_EQ(stored->GetText("USERID"), "jsmith");
    EXPECT_EQ(stored->GetText("OLDUSERID"), "");
    EXPECT_EQ(stored->GetInt("SENDINTERVAL"), 45) << "nothing else changes";

    // Once moved, a user id changed later stays as it is.
    {
        Computer computer = StartComputer("ALPHA");
        cvRec* options = computer.settings->OptionsRecord();
        ASSERT_NE(options, nullptr);
        ASSERT_NE(PutConfigText(*options, "USERID", "jsmith2"), 0);
        ASSERT_EQ(options->Save(), 0);
    }
    Computer later = StartComputer("ALPHA");
    ASSERT_NE(later.settings->OptionsRecord(), nullptr);
    EXPECT_EQ(StoredRow("OPTIONS", 0)->GetText("USERID"), "jsmith2");
    EXPECT_EQ(RowCount(), 1u);
}

TEST_F(SettingsRecordsTest, EachComputerGetsARecordAndANumberOfItsOwn) {
    const auto start = platform::MakeLocalTime(2024, 3, 5, 9, 30, 0);
    platform::ManualClock clock(start);
    platform::SetClock(&clock);

    Computer alpha = StartComputer("ALPHA");
    cvRec* alpha_record = alpha.settings->MachineRecord();
    ASSERT_NE(alpha_record, nullptr);
    clock.Advance(std::chrono::seconds(5));
    Computer bravo = StartComputer("BRAVO");
    cvRec* bravo_record = bravo.settings->MachineRecord();
    ASSERT_NE(bravo_record, nullptr);

    EXPECT_EQ(alpha_record->GetInt("NUMKEY"), 1);
    EXPECT_EQ(bravo_record->GetInt("NUMKEY"), 2);
    EXPECT_EQ(alpha_record->GetText("COMPUTERNAME"), "ALPHA");
    EXPECT_EQ(bravo_record->GetText("COMPUTERNAME"), "BRAVO");
    EXPECT_EQ(alpha.settings->MachineNumber(), MachineSeconds(start));
    EXPECT_EQ(bravo.settings->MachineNumber(), MachineSeconds(start) + 5);
    for (const cvRec* record : {alpha_record, bravo_record}) {
        EXPECT_EQ(record->GetInt("PORT"), -1);
        EXPECT_EQ(record->GetText("MODEMINIT"), "");
        EXPECT_EQ(record->GetText("DIALPREFIX"), "");
    }

    // Started again later, a computer finds its record and keeps its number.
    clock.Advance(std::chrono::hours(24));
    Computer alpha_again = StartComputer("ALPHA");
    EXPECT_EQ(alpha_again.settings->MachineNumber(), MachineSeconds(start));
    ASSERT_NE(alpha_again.settings->MachineRecord(), nullptr);
    EXPECT_EQ(alpha_again.settings->MachineRecord()->GetInt("NUMKEY"), 1);
    EXPECT_EQ(RowCount(), 2u);
    EXPECT_EQ(boxes_, std::vector<std::string>{});
}

TEST_F(SettingsRecordsTest, MachineNumbersStayDistinctAndNeverZero) {
    // At the epoch itself the count is 0, which would read as "no engine" in the lock.
    platform::ManualClock clock(platform::MakeLocalTime(1998, 1, 1, 12, 0, 0));
    platform::SetClock(&clock);
    Computer alpha = StartComputer("ALPHA");
    Computer bravo = StartComputer("BRAVO");
    Computer charlie = StartComputer("CHARLIE");
    EXPECT_EQ(alpha.settings->MachineNumber(), 1);
    EXPECT_EQ(bravo.settings->MachineNumber(), 2) << "first started in the same second";
    EXPECT_EQ(charlie.settings->MachineNumber(), 3);
}

TEST_F(SettingsRecordsTest, TheLegacyPortIsTakenOnlyWhenTheRecordIsCreated) {
    ASSERT_EQ(profile_.WriteNumber(ProfileScope::kMachine, "COMM", "PORT", 3), ProfileResult::kOk);
    {
        Computer alpha = StartComputer("ALPHA");
        ASSERT_NE(alpha.settings->MachineRecord(), nullptr);
        EXPECT_EQ(alpha.settings->MachineRecord()->GetInt("PORT"), 3);
    }
    ASSERT_EQ(profile_.WriteNumber(ProfileScope::kMachine, "COMM", "PORT", 5), ProfileResult::kOk);
    Computer alpha = StartComputer("ALPHA");
    ASSERT_NE(alpha.settings->MachineRecord(), nullptr);
    EXPECT_EQ(alpha.settings->MachineRecord()->GetInt("PORT"), 3);
    EXPECT_EQ(StoredRow("MACHINE", 1)->GetInt("PORT"), 3);

    ASSERT_EQ(profile_.WriteNumber(ProfileScope::kMachine, "COMM", "PORT", -1), ProfileResult::kOk);
    Computer bravo = StartComputer("BRAVO");
    ASSERT_NE(bravo.settings->MachineRecord(), nullptr);
    EXPECT_EQ(bravo.settings->MachineRecord()->GetInt("PORT"), -1);
}

TEST_F(SettingsRecordsTest, ALongHostNameFindsItsRecordAgain) {
    const std::string name = "build-agent-07.lab.example.internal";  // 35 characters
    {
        Computer computer = StartComputer(name);
        ASSERT_NE(computer.settings->MachineRecord(), nullptr);
    }
    EXPECT_EQ(StoredRow("MACHINE", 1)->GetText("COMPUTERNAME"), name.substr(0, 31));
    Computer again = StartComputer(name);
    ASSERT_NE(again.settings->MachineRecord(), nullptr);
    EXPECT_EQ(again.settings->MachineRecord()->GetInt("NUMKEY"), 1);
    EXPECT_EQ(RowCount(), 1u);
}

TEST_F(SettingsRecordsTest, NamesAreComparedExactly) {
    Computer lower = StartComputer("alpha");
    Computer upper = StartComputer("ALPHA");
    ASSERT_NE(lower.settings->MachineRecord(), nullptr);
    ASSERT_NE(upper.settings->MachineRecord(), nullptr);
    EXPECT_EQ(upper.settings->MachineRecord()->GetInt("NUMKEY"), 2);
}

TEST_F(SettingsRecordsTest, TheServerRecordTellsWhetherAnEngineRuns) {
    Computer alpha = StartComputer("ALPHA");
    cvRec* server = alpha.settings->ServerRecord();
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->GetInt("MACHINENBR"), 0);
    EXPECT_FALSE(alpha.settings->IsServerRunning());

    // Another computer's engine takes the lock; the next question rereads the row.
    Computer bravo = StartComputer("BRAVO");
    cvRec* lock = bravo.settings->ServerRecord();
    ASSERT_NE(lock, nullptr);
    ASSERT_NE(lock->PutInt("MACHINENBR", bravo.settings->MachineNumber()), 0);
    ASSERT_EQ(lock->Save(), 0);
    EXPECT_TRUE(alpha.settings->IsServerRunning());
    EXPECT_EQ(server->GetInt("MACHINENBR"), bravo.settings->MachineNumber());

    ASSERT_NE(lock->PutInt("MACHINENBR", 0), 0);
    ASSERT_EQ(lock->Save(), 0);
    EXPECT_FALSE(alpha.settings->IsServerRunning());
    EXPECT_EQ(boxes_, std::vector<std::string>{});
}

TEST_F(SettingsRecordsTest, ANewDatabaseGetsItsServerRecord) {
    ASSERT_EQ(tvSettings::EnsureServerRecord(dict_, data_.dir()), 0);
    ASSERT_NE(StoredRow("SERVER", 0), nullptr);
    EXPECT_EQ(StoredRow("SERVER", 0)->GetInt("MACHINENBR"), 0);

    // An existing lock is left as it is.
    {
        Computer alpha = StartComputer("ALPHA");
        cvRec* server = alpha.settings->ServerRecord();
        ASSERT_NE(server, nullptr);
        ASSERT_NE(server->PutInt("MACHINENBR", 4711), 0);
        ASSERT_EQ(server->Save(), 0);
    }
    ASSERT_EQ(tvSettings::EnsureServerRecord(dict_, data_.dir()), 0);
    EXPECT_EQ(StoredRow("SERVER", 0)->GetInt("MACHINENBR"), 4711);
    EXPECT_EQ(RowCount(), 1u);

    // The check needs the table to itself.
    Computer alpha = StartComputer("ALPHA");
    ASSERT_NE(alpha.settings->ServerRecord(), nullptr);
    EXPECT_NE(tvSettings::EnsureServerRecord(dict_, data_.dir()), 0);
}

TEST_F(SettingsRecordsTest, TheVersionRecordIsStampedWithTheProgramsVersions) {
    Computer alpha = StartComputer("ALPHA");
    alpha.settings->SetProgramVersions({2, 1, 0, 0}, {2, 1, 3, 7});
    cvRec* version = alpha.settings->VersionRecord();
    ASSERT_NE(version, nullptr);
    EXPECT_EQ(version->GetText("STRKEY"), "VERSION");
    EXPECT_EQ(version->GetInt("NUMKEY"), 0);
    EXPECT_EQ(StoredFileVersion(*StoredRow("VERSION", 0)), (tvVersion{2, 1, 0, 0}));
    EXPECT_EQ(StoredProductVersion(*StoredRow("VERSION", 0)), (tvVersion{2, 1, 3, 7}));

    // A stored record is read as it is, and read again once dropped.
    Computer bravo = StartComputer("BRAVO");
    bravo.settings->SetProgramVersions({3, 0, 0, 0}, {3, 0, 0, 0});
    ASSERT_NE(bravo.settings->VersionRecord(), nullptr);
    EXPECT_EQ(StoredFileVersion(*bravo.settings->VersionRecord()), (tvVersion{2, 1, 0, 0}));
    ASSERT_NE(PutProductVersion(*bravo.settings->VersionRecord(), {2, 1, 4, 9}), 0);
    ASSERT_EQ(bravo.settings->VersionRecord()->Save(), 0);
    EXPECT_EQ(StoredProductVersion(*alpha.settings->VersionRecord()), (tvVersion{2, 1, 3, 7}));
    alpha.settings->DropVersionRecord();
    EXPECT_EQ(StoredProductVersion(*alpha.settings->VersionRecord()), (tvVersion{2, 1, 4, 9}));
    EXPECT_EQ(RowCount(), 1u);
}

TEST_F(SettingsRecordsTest, RecordsFollowTheDatabase) {
    Computer alpha = StartComputer("ALPHA");
    cvRec* first = alpha.settings->OptionsRecord();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->PutInt("SENDINTERVAL", 60), 0);
    ASSERT_EQ(first->Save(), 0);
    ASSERT_NE(alpha.settings->MachineRecord(), nullptr);

    // Another database: its own records, read through files that are open now.
    TempDir other;
    alpha.manager->SetDataDirectory(other.dir());
    cvRec* options = alpha.settings->OptionsRecord();
    ASSERT_NE(options, nullptr);
    EXPECT_EQ(options->GetInt("SENDINTERVAL"), 30);
    EXPECT_TRUE(fs::exists(other.file("TOLVANE.DAT")));
    ASSERT_NE(options->PutInt("PURGEAGE", 9), 0);
    EXPECT_EQ(options->Save(), 0);

    // Closing the table drops the records that were read through it.
    alpha.manager->CloseFiles("TOLVANE");
    ASSERT_NE(alpha.settings->OptionsRecord(), nullptr);
    EXPECT_EQ(alpha.settings->OptionsRecord()->GetInt("PURGEAGE"), 9);

    // Back on the first database through another file manager.
    auto manager = NewManager();
    alpha.settings->SetFileManager(manager.get());
    ASSERT_NE(alpha.settings->OptionsRecord(), nullptr);
    EXPECT_EQ(alpha.settings->OptionsRecord()->GetInt("SENDINTERVAL"), 60);
    alpha.settings->SetFileManager(nullptr);
    EXPECT_EQ(alpha.settings->OptionsRecord(), nullptr);
    EXPECT_EQ(boxes_, std::vector<std::string>{});
}

TEST_F(SettingsRecordsTest, WithoutAUsableTableThereAreNoRecords) {
    tvSettings unattached(profile_, "/opt/tolvane");
    EXPECT_EQ(unattached.OptionsRecord(), nullptr);
    EXPECT_EQ(unattached.ServerRecord(), nullptr);
    EXPECT_EQ(unattached.MachineRecord(), nullptr);
    EXPECT_EQ(unattached.VersionRecord(), nullptr);
    EXPECT_EQ(unattached.MachineNumber(), 0);
    EXPECT_FALSE(unattached.IsServerRunning());

    // Another client holds the table for itself.
    auto holder = NewManager();
    ASSERT_NE(holder->OpenTable("TOLVANE", RECMAN_MODE_EXCLUSIVE), nullptr);
    Computer alpha = StartComputer("ALPHA");
    EXPECT_EQ(alpha.settings->OptionsRecord(), nullptr);
    EXPECT_EQ(alpha.settings->MachineRecord(), nullptr);
    EXPECT_EQ(alpha.settings->MachineNumber(), 0);
    holder.reset();
    EXPECT_NE(alpha.settings->OptionsRecord(), nullptr);
    EXPECT_NE(alpha.settings->MachineNumber(), 0);
}

TEST_F(SettingsRecordsTest, AFailedInsertGivesNoRecord) {
    // Another client's open transaction keeps the table locked until it ends.
    auto holder = NewManager();
    std::string path;
    ASSERT_EQ(holder->CreateFile("TOLVANE", &path), 0);
    cvFile* file = holder->OpenTable("TOLVANE");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(file->BeginTransaction(), 0);
    cvRec row(*file);
    ASSERT_NE(PutConfigText(row, "STRKEY", "OTHER"), 0);
    ASSERT_EQ(row.Save(), 0);

    Computer alpha = StartComputer("ALPHA");
    EXPECT_EQ(alpha.settings->ServerRecord(), nullptr);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].rfind("Insert Failed on file TOLVANE.DAT", 0), 0u) << boxes_[0];
    ASSERT_EQ(file->AbortTransaction(), 0);
    EXPECT_NE(alpha.settings->ServerRecord(), nullptr);
}

TEST_F(SettingsRecordsTest, BlankNameServerAddressCountsAsNone) {
    cvRec options(*dict_.FindTable("TOLVANE"));
    ASSERT_NE(options.PutInt("DNSADDRESS", 0x20202020), 0);
    EXPECT_EQ(OptionsDnsAddress(options), 0u);
    ASSERT_NE(options.PutInt("DNSADDRESS", 0x0A000001), 0);  // 10.0.0.1
    EXPECT_EQ(OptionsDnsAddress(options), 0x0A000001u);
}

}  // namespace
