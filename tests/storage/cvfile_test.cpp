// Open files against the real record manager: reads by key built from the data
// buffer, positions and percentages, the suppress flag, typed access to the current
// record, and transactions of two file managers (two clients) in one process.

#include "storage/cvfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "storage/cvrec.h"
#include "storage/packeddatetime.h"
#include "tests/storage/storagefixture.h"
#include "tools/ddfwriter/ddfwriter.h"
#include "tools/ddfwriter/dictionaryrows.h"

namespace {

using namespace storage_testing;

class FileTest : public StorageFixture {
  protected:
    // Five devices; key 1 orders them Alpha, bravo, Charlie (group 1), Delta (2),
    // Echo (3). DEVNBR 1 to 5 in that order.
    void AddFive() {
        AddDevice("Alpha", 1);
        AddDevice("bravo", 1);
        AddDevice("Charlie", 1);
        AddDevice("Delta", 2);
        AddDevice("Echo", 3);
        log_.Clear();
        boxes_.clear();
    }

    // The names along a file's reads: `first` is the status of the positioning read,
    // then GetNext until it fails.
    static std::vector<std::string> NamesFrom(cvFile& file, int first) {
        std::vector<std::string> names;
        for (int status = first; status == 0; status = file.GetNext()) {
            names.push_back(file.GetText("NAME"));
        }
        return names;
    }
};

TEST_F(FileTest, ReadsByKeyTakeTheKeyFromTheDataBuffer) {
    AddFive();
    cvFile& file = Open("DEVICE");

    file.ClearKey(1);
    ASSERT_NE(file.PutInt("GROUPNBR", 1), 0);
    ASSERT_NE(file.PutString("NAME", "BRAVO"), 0);  // the NAME segment ignores case
    ASSERT_EQ(file.GetEqual(1), 0);
    EXPECT_EQ(file.GetText("NAME"), "bravo");
    EXPECT_EQ(file.KeyNumber(), 1);

    file.ClearKey(1);
    ASSERT_NE(file.PutInt("GROUPNBR", 2), 0);
    EXPECT_EQ(NamesFrom(file, file.GetGreaterOrEqual(1)),
              (std::vector<std::string>{"Delta", "Echo"}));

    // The last row of group 1: every other byte of the key above any value.
    file.SetKeyHigh(1);
    ASSERT_NE(file.PutInt("GROUPNBR", 1), 0);
    ASSERT_EQ(file.GetLessOrEqual(1), 0);
    EXPECT_EQ(file.GetText("NAME"), "Charlie");
    ASSERT_EQ(file.GetPrevious(), 0);
    EXPECT_EQ(file.GetText("NAME"), "bravo");

    file.ClearKey(1);
    ASSERT_NE(file.PutInt("GROUPNBR", 2), 0);
    ASSERT_EQ(file.GetLessThan(1), 0);
    EXPECT_EQ(file.GetText("NAME"), "Charlie");

    ASSERT_EQ(file.GetFirst(0), 0);
    EXPECT_EQ(file.GetInt("DEVNBR"), 1);
    ASSERT_EQ(file.GetLast(0), 0);
    EXPECT_EQ(file.GetInt("DEVNBR"), 5);
    EXPECT_EQ(file.GetNext(), RECMAN_END_OF_FILE);

    file.ClearKey(0);
    ASSERT_NE(file.PutInt("DEVNBR", 42), 0);
    EXPECT_EQ(file.GetEqual(0), RECMAN_KEY_NOT_FOUND);
    // Key not found and end of file are ordinary outcomes: nothing logged or shown.
    EXPECT_TRUE(log_.Texts().empty());
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(FileTest, GetDirectOnARowOutsideTheKeyReadsTheKeysFirstRow) {
    AddFive();
    const int inactive = AddDevice("Retired", 4, "Y");  // left out of key 2
    cvFile& file = Open("DEVICE");
    file.ClearKey(0);
    ASSERT_NE(file.PutInt("DEVNBR", inactive), 0);
    ASSERT_EQ(file.GetEqual(0), 0);
    int32_t position = 0;
    const std::vector<uint8_t> before(file.DataBuffer().Data(),
                                      file.DataBuffer().Data() + file.DataBuffer().Length());
    ASSERT_EQ(file.GetPosition(&position), 0);
    EXPECT_NE(position, 0);
    EXPECT_EQ(std::vector<uint8_t>(file.DataBuffer().Data(),
                                   file.DataBuffer().Data() + file.DataBuffer().Length()),
              before);  // the position did not go through the current record

    ASSERT_EQ(file.GetFirst(0), 0);
    EXPECT_EQ(file.GetDirect(position), 0);
    EXPECT_EQ(file.GetText("NAME"), "Retired");

    EXPECT_EQ(file.GetDirect(position, 2), 0);
    EXPECT_EQ(file.GetText("NAME"), "Alpha");  // the first row along key 2
    EXPECT_EQ(file.KeyNumber(), 2);
    EXPECT_TRUE(boxes_.empty());

    // A position that holds no row: reported, and the current record stays.
    EXPECT_EQ(file.GetDirect(position + 1000), RECMAN_INVALID_RECORD_ADDRESS);
    EXPECT_EQ(file.GetText("NAME"), "Alpha");
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text.rfind("Get Direct Failed on file DEVICE.DAT\n\n", 0), 0u);
}

TEST_F(FileTest, PercentagesAlongAKey) {
    AddFive();
    cvFile& file = Open("DEVICE");
    ASSERT_EQ(file.GetPercentage(0, 1), 0);
    EXPECT_EQ(file.GetText("NAME"), "Alpha");
    int percent = -1;
    ASSERT_EQ(file.FindPercentage(1, &percent), 0);
    EXPECT_EQ(percent, 0);
    EXPECT_EQ(file.GetText("NAME"), "Alpha");  // the answer did not go into the record

    ASSERT_EQ(file.GetPercentage(10000, 1), 0);
    EXPECT_EQ(file.GetText("NAME"), "Echo");
    ASSERT_EQ(file.FindPercentage(1, &percent), 0);
    EXPECT_EQ(percent, 10000);
    ASSERT_EQ(file.FindPercentage(cvFile::kNoKey, &percent), 0);
    EXPECT_EQ(percent, 10000);                      // Echo is also the last row stored
    ASSERT_EQ(file.GetNext(), RECMAN_END_OF_FILE);  // positioned along key 1
}

TEST_F(FileTest, SuppressedReportIsLoggedNotShownAndClears) {
    AddDevice("Alpha", 1);
    cvFile& file = Open("DEVICE");
    log_.Clear();
    boxes_.clear();
    file.SuppressNextReport(true);
    EXPECT_EQ(file.GetDirect(999999), RECMAN_INVALID_RECORD_ADDRESS);
    EXPECT_FALSE(file.ReportSuppressed());
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(LogLinesWith("Get Direct Failed on file DEVICE.DAT").size(), 1u);

    EXPECT_EQ(file.GetDirect(999999), RECMAN_INVALID_RECORD_ADDRESS);
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(FileTest, TypedAccessToTheCurrentRecord) {
    cvFile& file = Open("DEVICE");
    file.DataBuffer().Fill(0);
    ASSERT_NE(file.PutString("NAME", "Typed"), 0);
    ASSERT_NE(file.PutInt("GROUPNBR", -7), 0);
    ASSERT_NE(file.PutString("QINACTIVE", "Y"), 0);
    ASSERT_NE(file.PutDate("DATEENTER", PackDate(2024, 2, 29)), 0);
    ASSERT_NE(file.PutTime("TIMEENTER", PackTime(13, 5, 0)), 0);
    ASSERT_NE(file.FillField("SPARE", 'z'), 0);
    ASSERT_EQ(file.Insert(), 0);

    file.ClearKey(1);
    ASSERT_NE(file.PutInt("GROUPNBR", -7), 0);
    ASSERT_EQ(file.GetGreaterOrEqual(1), 0);
    EXPECT_EQ(file.GetInt("DEVNBR"), 1);  // numbered on insert
    EXPECT_EQ(file.GetUInt("DEVNBR"), 1u);
    EXPECT_EQ(file.GetText("NAME"), "Typed");
    EXPECT_EQ(file.GetInt("GROUPNBR"), -7);
    EXPECT_EQ(file.GetDate("DATEENTER"), PackDate(2024, 2, 29));
    EXPECT_EQ(file.GetTime("TIMEENTER"), PackTime(13, 5, 0));
    EXPECT_EQ(file.GetText("TIMEENTER"), "1:05 pm");
    EXPECT_FALSE(file.IsActive());
    ASSERT_NE(file.FieldData("SPARE"), nullptr);
    EXPECT_EQ(std::memcmp(file.FieldData("SPARE"), "zzzzzzz", 7), 0);

    // Unknown names fail the record way: logged, nothing changed.
    log_.Clear();
    EXPECT_EQ(file.PutInt("NOPE", 1), 0);
    EXPECT_EQ(file.GetText("NOPE"), "");
    EXPECT_EQ(LogLinesWith("Table DEVICE does not have an attribute named NOPE").size(), 2u);
}

TEST_F(FileTest, SetRecordTakesRecordsOfItsOwnTableOnly) {
    cvFile& devices = Open("DEVICE");
    cvFile& codes = Open("CODES");
    cvRec code(codes);
    ASSERT_NE(code.PutString("CODE", "X1"), 0);
    EXPECT_EQ(devices.SetRecord(code), -1);
    EXPECT_EQ(codes.SetRecord(code), 0);
    EXPECT_EQ(codes.GetText("CODE"), "X1");
}

TEST_F(FileTest, RecordCountFromTheStatistics) {
    AddFive();
    uint32_t count = 0;
    ASSERT_EQ(Open("DEVICE").RecordCount(&count), 0);
    EXPECT_EQ(count, 5u);
}

TEST_F(FileTest, TransactionOfOneManagerIsInvisibleToAnotherUntilEnd) {
    cvFile& mine = Open("DEVICE");
    auto other_manager = NewManager();
    cvFile* theirs = other_manager->OpenTable("DEVICE");
    ASSERT_NE(theirs, nullptr);
    EXPECT_NE(other_manager->ClientId(), manager().ClientId());
    boxes_.clear();

    ASSERT_EQ(mine.BeginTransaction(), 0);
    cvRec record(mine);
    ASSERT_NE(record.PutString("NAME", "Pending"), 0);
    ASSERT_EQ(record.Save(), 0);
    ASSERT_EQ(mine.GetFirst(0), 0);  // the transaction sees its own row
    EXPECT_EQ(mine.GetText("NAME"), "Pending");
    EXPECT_EQ(theirs->GetFirst(0), RECMAN_END_OF_FILE);

    ASSERT_EQ(mine.EndTransaction(), 0);
    ASSERT_EQ(theirs->GetFirst(0), 0);
    EXPECT_EQ(theirs->GetText("NAME"), "Pending");
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(FileTest, AbortUndoesRowsOnTwoTablesAndPlaysTheAbortSound) {
    // A dictionary read from its files, so that it has a directory of its own.
    TempDir ddf;
    const cvTableDef tables[] = {
        {"DEVICE", "DEVICE.DAT", 4096, 0, kDeviceFields, kDeviceKeys, 0},
        {"NOTE", "NOTE.DAT", 4096, 0, kNoteFields, kNoteKeys, 0},
    };
    ASSERT_EQ(WriteDictionaryFiles(ddf.dir(), "TV", BuildDictionaryRows(tables)), 0);
    cvDataDict loaded;
    ASSERT_EQ(loaded.Load(ddf.dir(), "TV"), 0);
    std::vector<std::string> sounds;
    EventLog().SetSoundHook([&sounds](const std::string& path) { sounds.push_back(path); });

    cvFileMgr files(data_.dir(), &loaded);
    cvFileMgr watcher(data_.dir(), &loaded);
    cvFile* devices = files.OpenTable("DEVICE");
    cvFile* notes = files.OpenTable("NOTE");
    ASSERT_NE(devices, nullptr);
    ASSERT_NE(notes, nullptr);
    cvRec kept(*devices);
    ASSERT_NE(kept.PutString("NAME", "Kept"), 0);
    ASSERT_EQ(kept.Save(), 0);

    ASSERT_EQ(devices->BeginTransaction(), 0);
    cvRec device(*devices);
    ASSERT_NE(device.PutString("NAME", "Undone"), 0);
    ASSERT_EQ(device.Save(), 0);
    cvRec note(*notes);
    ASSERT_NE(note.PutString("TEXT", "Undone too"), 0);
    ASSERT_EQ(note.Save(), 0);
    ASSERT_NE(kept.PutString("NAME", "Changed"), 0);
    ASSERT_EQ(kept.Save(), 0);
    EXPECT_TRUE(sounds.empty());
    ASSERT_EQ(notes->AbortTransaction(), 0);
    EXPECT_EQ(sounds, std::vector<std::string>{ddf.dir() + "bomb.wav"});

    for (cvFileMgr* reader : {&files, &watcher}) {
        cvFile* device_file = reader->OpenTable("DEVICE");
        ASSERT_EQ(device_file->GetFirst(0), 0);
        EXPECT_EQ(device_file->GetText("NAME"), "Kept");
        EXPECT_EQ(device_file->GetNext(), RECMAN_END_OF_FILE);
        EXPECT_EQ(reader->OpenTable("NOTE")->GetFirst(0), RECMAN_END_OF_FILE);
    }

    // Without a transaction there is nothing to abort: reported, no sound.
    EXPECT_EQ(devices->AbortTransaction(), RECMAN_NO_TRANSACTION);
    EXPECT_EQ(sounds.size(), 1u);
    ASSERT_FALSE(boxes_.empty());
    EXPECT_EQ(boxes_.back().text.rfind("Abort Transaction Failed on file DEVICE.DAT", 0), 0u);
}

TEST_F(FileTest, OpenFailuresAreReported) {
    cvFile file(*dict_.FindTable("CODES"), manager());
    EXPECT_EQ(file.Open(std::string(300, 'x'), 0), RECMAN_INVALID_FILE_NAME);
    EXPECT_EQ(file.Open(data_.file("MISSING.DAT"), 0, true), RECMAN_FILE_NOT_FOUND);
    EXPECT_EQ(file.OpenMode(), cvFile::kNotOpen);
    EXPECT_EQ(boxes_.size(), 1u);  // the quiet one only logged
    EXPECT_EQ(LogLinesWith("Open Failed on file CODES.DAT").size(), 2u);
}

}  // namespace
