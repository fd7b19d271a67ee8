#pragma once
// A small database of business objects for the object-layer tests: a dictionary of
// three tables built in code and an empty data directory in the shared test environment
// (tests/support/testenvironment.h), the application's file manager (so that a message
// box on this, the user-interface thread, aborts its transactions), the event log open
// on every category, and the environment's presenter, which records every message box
// and answers No to the offer to exit.
//
// Tables and object types:
//   GROUPS  GROUPS.DAT  GROUPNBR AutoInc, NAME String 20, TYPE TRANSNBR TRANSNBR2
//                       TRANSNBR3 (an identifier), the stamped audit fields. Key 0
//                       GROUPNBR. Type 2000 "Group", id GROUPNBR.
//   DEVICE  DEVICE.DAT  DEVNBR AutoInc, NAME String 20, GROUPNBR Integer (the link to
//                       a group), SCORE Float 8 (2 decimals), SEEN Date, CODE Unsigned
//                       Int 4, BIG Integer 8, the stamped audit fields. Key 0 DEVNBR, key
//                       1 GROUPNBR (duplicates). Type 2001 "Device", id DEVNBR.
//   MEMBER  MEMBER.DAT  GROUPNBR Integer, DEVNBR Integer, ROLE String 10. Key 0 GROUPNBR
//                       + DEVNBR. Type 1004 "Paging Group Member", ids GROUPNBR, DEVNBR.
//   NOTE    NOTE.DAT    NOTENBR AutoInc, TEXT String 30. Key 0 NOTENBR. No object type.
//
// Test objects count their constructions and destructions (Census), so every test can
// show that nothing leaked and nothing went early; TearDown checks that none is left.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "log/cveventlog.h"
#include "objects/cvbob.h"
#include "objects/cvbobset.h"
#include "objects/cvobjecttype.h"
#include "storage/cvdatadict.h"
#include "storage/cvfilemgr.h"
#include "storage/cvrec.h"
#include "storage/cvstorageapp.h"
#include "storage/datatype.h"
#include "storage/dberror.h"
#include "tests/support/eventlogcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/testenvironment.h"

namespace objects_testing {

inline constexpr cvFieldDef kGroupFields[] = {
    {"GROUPNBR", kTypeAutoInc, 0, 4, 0},   {"NAME", kTypeString, 4, 20, 0},
    {"TYPE", kTypeInteger, 24, 4, 0},      {"TRANSNBR", kTypeInteger, 28, 4, 0},
    {"TRANSNBR2", kTypeInteger, 32, 4, 0}, {"TRANSNBR3", kTypeInteger, 36, 4, 0},
    {"DATEMOD", kTypeDate, 40, 4, 0},      {"TIMEMOD", kTypeTime, 44, 4, 0},
    {"MODBY", kTypeInteger, 48, 4, 0},     {"CTFLAG", kTypeInteger, 52, 4, 0},
};
inline constexpr cvKeyDef kGroupKeys[] = {{"GROUPNBR", 0x0000}};

inline constexpr cvFieldDef kDeviceFields[] = {
    {"DEVNBR", kTypeAutoInc, 0, 4, 0},    {"NAME", kTypeString, 4, 20, 0},
    {"GROUPNBR", kTypeInteger, 24, 4, 0}, {"SCORE", kTypeFloat, 28, 8, 2},
    {"SEEN", kTypeDate, 36, 4, 0},        {"CODE", kTypeUnsigned, 40, 4, 0},
    {"BIG", kTypeInteger, 44, 8, 0},      {"DATEMOD", kTypeDate, 52, 4, 0},
    {"TIMEMOD", kTypeTime, 56, 4, 0},     {"MODBY", kTypeInteger, 60, 4, 0},
    {"CTFLAG", kTypeInteger, 64, 4, 0},
};
inline constexpr cvKeyDef kDeviceKeys[] = {{"DEVNBR", 0x0000}, {"GROUPNBR", 0x0003}};

inline constexpr cvFieldDef kMemberFields[] = {
    {"GROUPNBR", kTypeInteger, 0, 4, 0},
    {"DEVNBR", kTypeInteger, 4, 4, 0},
    {"ROLE", kTypeString, 8, 10, 0},
};
inline constexpr cvKeyDef kMemberKeys[] = {{"GROUPNBR", 0x0010}, {"DEVNBR", 0x0000}};

inline constexpr cvFieldDef kNoteFields[] = {
    {"NOTENBR", kTypeAutoInc, 0, 4, 0},
    {"TEXT", kTypeString, 4, 30, 0},
};
inline constexpr cvKeyDef kNoteKeys[] = {{"NOTENBR", 0x0000}};

inline constexpr int32_t kGroupType = 2000;
inline constexpr int32_t kDeviceType = 2001;
inline constexpr int32_t kMemberType = 1004;

// Constructions and destructions of the test objects.
struct Census {
    static inline int made = 0;
    static inline int destroyed = 0;
    static int Alive() { return made - destroyed; }
    static void Reset() { made = destroyed = 0; }
};

// A device: a child of its group, with one reference slot of its own (a partner
// device) and a text name LABEL that is no stored field.
class TestDevice : public cvBob {
  public:
    TestDevice(cvBob* parent, const cvRec& record) : cvBob(parent, record) {
        ++Census::made;
        LogNew();
    }

    std::string GetText(std::string_view name, int format = 0) const override {
        if (name == "LABEL") {
            return "#" + cvBob::GetText("NAME", 1);
        }
        return cvBob::GetText(name, format);
    }
    bool IsKindOf(std::string_view name) const override {
        return name == "TestDevice" || cvBob::IsKindOf(name);
    }
    void GetReferenceSlots(std::vector<cvBobSlot*>& slots) override {
        cvBob::GetReferenceSlots(slots);
        slots.push_back(&partner);
    }
    int PreSave() override {
        if (delete_on_save) {
            SetFlags(kDeleteOnSave);
        }
        // A provisional number becomes 0, so that the insert numbers the row.
        if (GetInt("DEVNBR") < 0 && !PutInt("DEVNBR", 0)) {
            return -1;
        }
        return pre_save ? pre_save(*this) : 0;
    }

    cvBobRef<TestDevice> partner;
    std::function<int(TestDevice&)> pre_save;
    bool delete_on_save = false;

  protected:
    ~TestDevice() override { ++Census::destroyed; }
};

// A group: a root with a set of devices as its children.
class TestGroup : public cvBob {
  public:
    TestGroup(cvBob* parent, const cvRec& record) : cvBob(parent, record) {
        ++Census::made;
        LogNew();
    }
    TestGroup(cvBob* parent, cvFile& file, int mode) : cvBob(parent, file, mode) {
        ++Census::made;
        LogNew();
    }

    void GetChildSets(std::vector<cvBobSetSlot*>& sets) override {
        cvBob::GetChildSets(sets);
        sets.push_back(&devices_);
    }
    int BeginSave() override { return begin_save ? begin_save() : 0; }
    int PreSave() override { return pre_save ? pre_save(*this) : 0; }

    cvBobSet& Devices() {
        if (!devices_) {
            devices_ = std::make_unique<cvBobSet>(this);
        }
        return *devices_;
    }
    TestDevice* Device(int index) { return static_cast<TestDevice*>(Devices().GetAt(index)); }

    std::function<int()> begin_save;
    std::function<int(TestGroup&)> pre_save;

  protected:
    ~TestGroup() override { ++Census::destroyed; }

  private:
    cvBobSetSlot devices_;
};

class TestMember : public cvBob {
  public:
    TestMember(cvBob* parent, const cvRec& record) : cvBob(parent, record) {
        ++Census::made;
        LogNew();
    }

  protected:
    ~TestMember() override { ++Census::destroyed; }
};

template <typename T>
cvObjectType::Factory FactoryOf() {
    return
        [](cvBob* parent, const cvRec& record) -> cvBobRef<> { return NewBob<T>(parent, record); };
}

using testing_support::ShownBox;

class ObjectsFixture : public ::testing::Test {
  protected:
    ObjectsFixture() {
        EXPECT_EQ(
            dict_.AddDefinition({"GROUPS", "GROUPS.DAT", 1024, 0, kGroupFields, kGroupKeys, 0}), 0);
        EXPECT_EQ(
            dict_.AddDefinition({"DEVICE", "DEVICE.DAT", 1024, 0, kDeviceFields, kDeviceKeys, 0}),
            0);
        EXPECT_EQ(
            dict_.AddDefinition({"MEMBER", "MEMBER.DAT", 1024, 0, kMemberFields, kMemberKeys, 0}),
            0);
        EXPECT_EQ(dict_.AddDefinition({"NOTE", "NOTE.DAT", 1024, 0, kNoteFields, kNoteKeys, 0}), 0);
        StorageApp().SetDictionary(&dict_);
        StorageApp().SetDataDirectory(data_.dir());
        manager_ = std::make_unique<cvFileMgr>(data_.dir(), &dict_);
        StorageApp().SetFileManager(manager_.get());
        EXPECT_TRUE(RegisterObjectType({.type = kGroupType,
                                        .name = "Group",
                                        .table = "GROUPS",
                                        .id_fields = {"GROUPNBR", "", ""},
                                        .factory = FactoryOf<TestGroup>()}));
        EXPECT_TRUE(RegisterObjectType({.type = kDeviceType,
                                        .name = "Device",
                                        .table = "DEVICE",
                                        .id_fields = {"DEVNBR", "", ""},
                                        .factory = FactoryOf<TestDevice>()}));
        EXPECT_TRUE(RegisterObjectType({.type = kMemberType,
                                        .name = "Paging Group Member",
                                        .table = "MEMBER",
                                        .id_fields = {"GROUPNBR", "DEVNBR", ""},
                                        .factory = FactoryOf<TestMember>()}));
        Census::Reset();
    }

    void SetUp() override {
        // Open the tables before any transaction: a file first opened inside one that
        // has written cannot be written until it ends.
        Open("GROUPS");
        Open("DEVICE");
        Open("MEMBER");
        Open("NOTE");
        log_.Clear();
        boxes_.clear();
    }

    void TearDown() override {
        EXPECT_EQ(Census::Alive(), 0) << "objects left alive: " << Census::made << " made, "
                                      << Census::destroyed << " destroyed";
    }

    ~ObjectsFixture() override {
        EventLog().SetTransactionOpen(false);
        ClearObjectTypes();
        StorageApp().Reset();
        manager_.reset();
        ResetDbExitRequested();
    }

    cvFileMgr& manager() { return *manager_; }

    cvFile& Open(const char* table) {
        cvFile* file = manager().OpenTable(table);
        EXPECT_NE(file, nullptr) << table;
        return *file;
    }

    // Rows stored through plain records (no objects involved).
    int AddGroupRow(const std::string& name) {
        cvRec record(Open("GROUPS"));
        EXPECT_NE(record.PutString("NAME", name), 0);
        EXPECT_EQ(record.Save(), 0);
        return record.GetInt("GROUPNBR");
    }
    int AddDeviceRow(const std::string& name, int group) {
        cvRec record(Open("DEVICE"));
        EXPECT_NE(record.PutString("NAME", name), 0);
        EXPECT_NE(record.PutInt("GROUPNBR", group), 0);
        EXPECT_EQ(record.Save(), 0);
        return record.GetInt("DEVNBR");
    }

    // The stored row of a table by its number (key 0), read through the file.
    cvRec ReadRow(const char* table, const char* key_field, int number) {
        cvFile& file = Open(table);
        file.ClearKey(0);
        EXPECT_NE(file.PutInt(key_field, number), 0);
        EXPECT_EQ(file.GetEqual(0), 0) << table << " " << number;
        return cvRec(file, cvRec::kFromFile);
    }

    // A group object loaded from its row, as a root.
    cvBobRef<TestGroup> LoadGroup(int number) {
        return NewBob<TestGroup>(nullptr, ReadRow("GROUPS", "GROUPNBR", number));
    }
    // A device of a group loaded from its row and added to the group's devices.
    TestDevice* LoadDevice(TestGroup& group, int number) {
        cvBobRef<TestDevice> device =
            NewBob<TestDevice>(&group, ReadRow("DEVICE", "DEVNBR", number));
        EXPECT_TRUE(group.Devices().Add(device.get()));
        return device.get();  // the set holds it
    }
    // A new device of a group, in the group's devices, with a provisional number
    // (-101, -102 ...) so that new devices differ by identifier until they are stored.
    TestDevice* NewDevice(TestGroup& group, const std::string& name) {
        cvBobRef<TestDevice> device = NewBob<TestDevice>(&group, cvRec(Open("DEVICE")));
        EXPECT_NE(device->PutInt("DEVNBR", --provisional_), 0);
        EXPECT_NE(device->PutString("NAME", name), 0);
        const int count = group.Devices().GetCount();
        EXPECT_TRUE(group.Devices().Add(device.get()));
        EXPECT_EQ(group.Devices().GetCount(), count + 1) << name << " joined the set";
        return device.get();
    }

    // What another user sees: the NAME stored in a row, "<status>" when the row cannot
    // be read, through a file manager of its own.
    std::string StoredName(const char* table, const char* key_field, int number) {
        cvFileMgr other(data_.dir(), &dict_);
        cvFile* file = other.OpenTable(table, RECMAN_MODE_READ_ONLY);
        if (!file) {
            return "<no file>";
        }
        file->ClearKey(0);
        static_cast<void>(file->PutInt(key_field, number));
        const int status = file->GetEqual(0);
        if (status != 0) {
            return "<" + std::to_string(status) + ">";
        }
        return file->GetText("NAME");
    }
    // The number of rows of a table, as another user sees them.
    int StoredRowCount(const char* table) {
        cvFileMgr other(data_.dir(), &dict_);
        cvFile* file = other.OpenTable(table, RECMAN_MODE_READ_ONLY);
        int count = 0;
        for (int status = file ? file->GetFirst(0) : -1; status == 0; status = file->GetNext()) {
            ++count;
        }
        return count;
    }

    // Log texts containing `part`.
    std::vector<std::string> LogLinesWith(const std::string& part) const {
        std::vector<std::string> found;
        for (const std::string& text : log_.Texts()) {
            if (text.find(part) != std::string::npos) {
                found.push_back(text);
            }
        }
        return found;
    }

    testing_support::TestEnvironment env_;
    TempDir& data_ = env_.Directory("data");
    cvDataDict dict_;
    EventLogCapture& log_ = env_.CaptureEventLog();
    std::vector<ShownBox>& boxes_ = env_.Presenter().Boxes();
    std::unique_ptr<cvFileMgr> manager_;
    int provisional_ = -100;
};

}  // namespace objects_testing
