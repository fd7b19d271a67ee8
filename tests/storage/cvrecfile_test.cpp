// Records stored, reread and deleted through their file against the real record
// manager: construction from the file, saves that write nothing, audit stamps, the
// check that refuses a row changed by someone else, numbering on insert, deletes,
// refreshes, failures off the user-interface thread and the change announcements.

#include <gtest/gtest.h>

#include <thread>

#include "platform/core/clock.h"
#include "storage/apphooks.h"
#include "storage/cvdatamonitor.h"
#include "storage/cvrec.h"
#include "storage/packeddatetime.h"
#include "tests/storage/storagefixture.h"

namespace {

using namespace storage_testing;

class RecFileTest : public StorageFixture {
  protected:
    // The stored row of a device, read through a manager of its own.
    std::string StoredName(int devnbr) {
        cvFileMgr reader(data_.dir(), &dict_);
        cvFile* file = reader.OpenTable("DEVICE", RECMAN_MODE_READ_ONLY);
        file->ClearKey(0);
        EXPECT_NE(file->PutInt("DEVNBR", devnbr), 0);
        const int status = file->GetEqual(0);
        return status == 0 ? file->GetText("NAME") : "<" + std::to_string(status) + ">";
    }

    // A record of the device read through `file`.
    static cvRec Read(cvFile& file, int devnbr) {
        file.ClearKey(0);
        EXPECT_NE(file.PutInt("DEVNBR", devnbr), 0);
        EXPECT_EQ(file.GetEqual(0), 0);
        return cvRec(file, cvRec::kFromFile);
    }
};

TEST_F(RecFileTest, ConstructionFromTheFile) {
    const int devnbr = AddDevice("Alpha", 1);
    cvFile& file = Open("DEVICE");
    const cvRec read = Read(file, devnbr);
    EXPECT_GT(read.Position(), 0);
    EXPECT_EQ(read.ReadStatus(), 0);
    EXPECT_FALSE(read.IsModified());
    EXPECT_EQ(read.File(), &file);
    EXPECT_EQ(read.GetText("NAME"), "Alpha");

    const cvRec copy(file, cvRec::kCopyOfFile);
    EXPECT_EQ(copy.Position(), 0);
    EXPECT_EQ(copy.GetText("NAME"), "Alpha");
    EXPECT_TRUE(copy.IsModified());

    const cvRec fresh(file);
    EXPECT_EQ(fresh.Position(), 0);
    EXPECT_EQ(fresh.GetText("QINACTIVE"), "N");
    EXPECT_EQ(fresh.GetText("NAME"), "");
    const cvRec scratch(file, cvRec::kScratch);
    EXPECT_EQ(scratch.Position(), -1);

    // No current row: the position cannot be read, and the record is a new one.
    cvFileMgr other(data_.dir(), &dict_);
    cvFile* unpositioned = other.OpenTable("DEVICE");
    boxes_.clear();
    const cvRec lost(*unpositioned, cvRec::kFromFile);
    EXPECT_EQ(lost.ReadStatus(), RECMAN_INVALID_POSITIONING);
    EXPECT_EQ(lost.Position(), 0);
    EXPECT_EQ(lost.GetText("QINACTIVE"), "N");
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(RecFileTest, SavingAnUnchangedRecordCallsNothing) {
    const int devnbr = AddDevice("Alpha", 1);
    cvFile& file = Open("DEVICE");
    cvRec record = Read(file, devnbr);
    cvRec scratch(file, cvRec::kScratch);
    ASSERT_NE(scratch.PutString("NAME", "never stored"), 0);

    const uint64_t calls = manager().CallCount();
    EXPECT_EQ(record.Save(), 0);
    EXPECT_EQ(record.Save(true), 0);
    EXPECT_EQ(scratch.Save(), 0);
    EXPECT_EQ(manager().CallCount(), calls);

    ASSERT_NE(record.PutString("NAME", "Changed"), 0);
    EXPECT_EQ(record.Save(), 0);
    EXPECT_GT(manager().CallCount(), calls);  // the counter sees the update
    EXPECT_EQ(StoredName(devnbr), "Changed");
}

TEST_F(RecFileTest, StampedSaveSetsTheAuditFields) {
    ScopedEnv tz("TZ", "UTC");
    platform::ManualClock clock(platform::MakeLocalTime(2024, 3, 15, 13, 5, 30));
    platform::SetClock(&clock);
    const int devnbr = AddDevice("Alpha", 1);
    cvFile& file = Open("DEVICE");
    cvRec plain = Read(file, devnbr);
    EXPECT_EQ(plain.GetDate("DATEMOD"), 0u);  // an unstamped save left them alone

    clock.Advance(std::chrono::hours(24 * 3));
    SetCurrentUserNumber(9);
    ASSERT_NE(plain.PutInt("CTFLAG", 5), 0);
    EXPECT_EQ(plain.Save(true), 0);
    EXPECT_EQ(plain.GetDate("DATEMOD"), PackDate(2024, 3, 18));
    EXPECT_EQ(plain.GetTime("TIMEMOD"), PackTime(13, 5, 30));
    EXPECT_EQ(plain.GetInt("MODBY"), 9);
    EXPECT_EQ(plain.GetInt("CTFLAG"), 0);
    const cvRec stored = Read(file, devnbr);
    EXPECT_EQ(stored.Buffer().Crc32(), plain.Buffer().Crc32());
    EXPECT_EQ(stored.GetDate("DATEENTER"), PackDate(2024, 3, 15));

    SetCurrentUserNumber(0);
    platform::SetClock(nullptr);
}

TEST_F(RecFileTest, RowChangedBySomeoneElseIsNotOverwritten) {
    const int devnbr = AddDevice("Original", 1);
    auto second_user = NewManager();
    cvFile& mine = Open("DEVICE");
    cvFile* theirs = second_user->OpenTable("DEVICE");
    ASSERT_NE(theirs, nullptr);
    cvRec first = Read(mine, devnbr);
    cvRec second = Read(*theirs, devnbr);
    boxes_.clear();
    log_.Clear();

    ASSERT_NE(first.PutString("NAME", "First"), 0);
    ASSERT_EQ(first.Save(), 0);
    ASSERT_NE(second.PutString("NAME", "Second"), 0);
    const int32_t position = second.Position();
    EXPECT_EQ(second.Save(), RECMAN_RECORD_CONFLICT);

    const std::string heading = "Update Failed on file DEVICE.DAT";
    const std::string text = "Btrieve Encountered a Record-Level Conflict. [80]";
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, heading + "\n\n" + text + "\n\n");
    EXPECT_EQ(boxes_[0].style & kMbButtonMask, kMbOk);
    EXPECT_EQ(LogLinesWith(heading + text).size(), 1u);
    EXPECT_EQ(StoredName(devnbr), "First");
    // The refused record keeps its contents and position: reread and retry.
    EXPECT_EQ(second.GetText("NAME"), "Second");
    EXPECT_EQ(second.Position(), position);
    ASSERT_EQ(second.Reread(), 0);
    EXPECT_EQ(second.GetText("NAME"), "First");
    ASSERT_NE(second.PutString("NAME", "Second"), 0);
    EXPECT_EQ(second.Save(), 0);
    EXPECT_EQ(StoredName(devnbr), "Second");
}

TEST_F(RecFileTest, InsertFillsInTheAssignedNumber) {
    cvFile& file = Open("DEVICE");
    for (int expected = 1; expected <= 3; ++expected) {
        cvRec record(file);
        ASSERT_NE(record.PutString("NAME", "Device " + std::to_string(expected)), 0);
        EXPECT_EQ(record.GetInt("DEVNBR"), 0);
        ASSERT_EQ(record.Save(), 0);
        EXPECT_EQ(record.GetInt("DEVNBR"), expected);
        EXPECT_GT(record.Position(), 0);
        EXPECT_FALSE(record.IsModified());
        EXPECT_EQ(StoredName(expected), "Device " + std::to_string(expected));
    }

    // A table without an AutoInc key keeps what it was given.
    cvRec code(Open("CODES"));
    ASSERT_NE(code.PutString("CODE", "C1"), 0);
    ASSERT_EQ(code.Save(), 0);
    EXPECT_GT(code.Position(), 0);
    EXPECT_FALSE(code.IsModified());
}

TEST_F(RecFileTest, DeleteLeavesANewRecordThatSaveInsertsAgain) {
    cvFile& file = Open("DEVICE");
    cvRec never(file);
    const uint64_t calls = manager().CallCount();
    EXPECT_EQ(never.Delete(), 0);
    EXPECT_EQ(manager().CallCount(), calls);

    const int devnbr = AddDevice("Doomed", 1);
    cvRec record = Read(file, devnbr);
    ASSERT_EQ(record.Delete(), 0);
    EXPECT_EQ(record.Position(), 0);
    EXPECT_EQ(record.SavedCrc(), 0u);
    EXPECT_EQ(record.GetText("NAME"), "Doomed");
    EXPECT_EQ(StoredName(devnbr), "<4>");

    ASSERT_EQ(record.Save(), 0);
    EXPECT_GT(record.Position(), 0);
    EXPECT_EQ(StoredName(devnbr), "Doomed");
}

TEST_F(RecFileTest, WritingThroughAReadOnlyFileIsRefused) {
    const int devnbr = AddDevice("Alpha", 1);
    cvFile& file = Open("DEVICE", RECMAN_MODE_READ_ONLY);
    cvRec record = Read(file, devnbr);
    log_.Clear();
    const uint64_t calls = manager().CallCount();
    ASSERT_NE(record.PutString("NAME", "Nope"), 0);
    EXPECT_EQ(record.Save(), -1);
    EXPECT_EQ(LogLinesWith("File DEVICE is not opened for update.\n").size(), 1u);
    log_.Clear();
    EXPECT_EQ(record.Delete(), -1);
    EXPECT_TRUE(log_.Texts().empty());
    EXPECT_EQ(manager().CallCount(), calls);

    cvRec orphan(*dict_.FindTable("DEVICE"));
    ASSERT_NE(orphan.PutString("NAME", "No file"), 0);
    EXPECT_EQ(orphan.Save(), -1);
}

TEST_F(RecFileTest, FailingSaveOffTheUserInterfaceThreadOnlyLogs) {
    cvRec existing(Open("CODES"));
    ASSERT_NE(existing.PutString("CODE", "DUP"), 0);
    ASSERT_EQ(existing.Save(), 0);
    boxes_.clear();
    log_.Clear();

    int status = 0;
    std::thread engine([&] {
        cvFileMgr engine_files(data_.dir(), &dict_);
        cvRec duplicate(*engine_files.OpenTable("CODES"));
        static_cast<void>(duplicate.PutString("CODE", "DUP"));
        status = duplicate.Save();
    });
    engine.join();
    EXPECT_EQ(status, RECMAN_DUPLICATE_KEY);
    EXPECT_TRUE(boxes_.empty());
    const std::string heading = "Insert Failed on file CODES.DAT";
    const std::string text = "The Record has a Key Field Containing a Duplicate Key Value. [5]";
    // The report's line, and the message box turned into a line.
    EXPECT_EQ(LogLinesWith(heading + text).size(), 1u);
    EXPECT_EQ(LogLinesWith(heading + "\n\n" + text + "\n\nA database error").size(), 1u);

    // The same failure here is shown.
    cvRec duplicate(Open("CODES"));
    ASSERT_NE(duplicate.PutString("CODE", "DUP"), 0);
    EXPECT_EQ(duplicate.Save(), RECMAN_DUPLICATE_KEY);
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(RecFileTest, RefreshIfUnchangedFollowsTheStoredRow) {
    const int devnbr = AddDevice("Alpha", 1);
    auto elsewhere = NewManager();
    cvFile* their_file = elsewhere->OpenTable("DEVICE");
    cvFile& file = Open("DEVICE");
    cvRec mine = Read(file, devnbr);
    cvRec theirs = Read(*their_file, devnbr);
    boxes_.clear();

    ASSERT_NE(theirs.PutString("NAME", "Renamed"), 0);
    ASSERT_EQ(theirs.Save(), 0);
    EXPECT_EQ(mine.RefreshIfUnchanged(false), 0);
    EXPECT_EQ(mine.GetText("NAME"), "Renamed");

    // Local changes are kept.
    ASSERT_NE(mine.PutString("NAME", "Local"), 0);
    EXPECT_EQ(mine.RefreshIfUnchanged(false), 0);
    EXPECT_EQ(mine.GetText("NAME"), "Local");
    ASSERT_EQ(mine.Reread(), 0);
    EXPECT_FALSE(mine.IsModified());

    // Deleted elsewhere: quietly the record becomes new; otherwise reported.
    ASSERT_EQ(theirs.Reread(), 0);
    ASSERT_EQ(theirs.Delete(), 0);
    cvRec loud = mine;
    EXPECT_EQ(mine.RefreshIfUnchanged(true), 0);
    EXPECT_EQ(mine.Position(), 0);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(LogLinesWith("Get Direct Failed on file DEVICE.DAT").size(), 1u);
    EXPECT_FALSE(file.ReportSuppressed());
    EXPECT_EQ(loud.RefreshIfUnchanged(false), RECMAN_INVALID_RECORD_ADDRESS);
    EXPECT_GT(loud.Position(), 0);
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(RecFileTest, CopyFieldsFromTheFilesCurrentRow) {
    constexpr cvFieldDef kOldFields[] = {
        {"NAME", kTypeString, 0, 10, 0},
        {"GROUPNBR", kTypeInteger, 10, 4, 0},
        {"SPARE", kTypeString, 14, 4, 0},
    };
    ASSERT_EQ(dict_.AddDefinition({"OLDDEVICE", "OLDDEV.DAT", 512, 0, kOldFields, {}, 0}), 0);
    const int devnbr = AddDevice("A rather long name", 6);
    cvFile& file = Open("DEVICE");
    static_cast<void>(Read(file, devnbr));
    cvRec old(*dict_.FindTable("OLDDEVICE"));
    ASSERT_NE(old.PutBytes("SPARE", "abcd", 4), 0);
    old.CopyFieldsFrom(file);
    EXPECT_EQ(old.GetText("NAME"), "A rather l");
    EXPECT_EQ(old.GetInt("GROUPNBR"), 6);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(old.FieldData("SPARE")), 4),
              std::string(4, '\0'));
}

// Records every announcement with the names before and after.
class RecordingMonitor : public cvDataMonitor {
  public:
    RecordingMonitor(std::vector<std::string>& calls, std::string name)
        : calls_(calls), name_(std::move(name)) {}
    void DataChanged(const std::string& directory, const cvRec* before,
                     const cvRec* after) override {
        calls_.push_back(name_ + " " + directory + " " + (before ? before->GetText("NAME") : "-") +
                         " " + (after ? after->GetText("NAME") : "-"));
    }

  private:
    std::vector<std::string>& calls_;
    std::string name_;
};

TEST_F(RecFileTest, ChangesAreAnnouncedToTheHookThenTheMonitors) {
    std::vector<std::string> calls;
    StorageApp().SetDataChangeHook(
        [&calls](const std::string& directory, const cvRec* before, const cvRec* after) {
            calls.push_back("hook " + directory + " " + (before ? before->GetText("NAME") : "-") +
                            " " + (after ? after->GetText("NAME") : "-"));
        });
    RecordingMonitor first(calls, "first");
    auto second = std::make_unique<RecordingMonitor>(calls, "second");
    const std::string dir = data_.dir();

    cvRec record(Open("DEVICE"));
    ASSERT_NE(record.PutString("NAME", "Old"), 0);
    ASSERT_EQ(record.Save(), 0);
    EXPECT_EQ(calls, (std::vector<std::string>{"hook " + dir + " - Old", "first " + dir + " - Old",
                                               "second " + dir + " - Old"}));
    calls.clear();
    second.reset();
    ASSERT_NE(record.PutString("NAME", "New"), 0);
    ASSERT_EQ(record.Save(), 0);
    ASSERT_EQ(record.Delete(), 0);
    EXPECT_EQ(calls,
              (std::vector<std::string>{"hook " + dir + " Old New", "first " + dir + " Old New",
                                        "hook " + dir + " New -", "first " + dir + " New -"}));

    // Nothing written, nothing announced.
    calls.clear();
    cvRec unchanged(record);
    ASSERT_EQ(unchanged.Save(), 0);  // inserts again (announced)...
    calls.clear();
    EXPECT_EQ(unchanged.Save(), 0);  // ...then has nothing to store
    EXPECT_TRUE(calls.empty());
}

}  // namespace
