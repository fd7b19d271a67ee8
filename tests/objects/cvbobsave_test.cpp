// Saving graphs of business objects: one transaction per root, only changed objects
// stored, aborts on the user-interface thread and elsewhere leaving every row as it
// was, the graph put back so that it can be saved again, refused saves, pending
// deletes, and the pass marks that let a graph be saved again.

#include "objects/cvbob.h"

#include <gtest/gtest.h>

#include <thread>

#include "objects/cvbobmonitor.h"
#include "objects/cvbobset.h"
#include "tests/objects/objectsfixture.h"

namespace {

using namespace objects_testing;

const char* const kConflictBox =
    "Update Failed on file DEVICE.DAT\n\nBtrieve Encountered a Record-Level Conflict. [80]\n\n";

// Every announcement as text: "saved Device 2", "deleted DEVICE 3".
class Announcements : public cvBobMonitor {
  public:
    void ObjectSaved(cvBob& object) override { seen.push_back("saved " + object.ObjectText()); }
    void ObjectDeleted(const cvRec& record) override {
        seen.push_back("deleted " + record.Table().TableName() + " " +
                       std::to_string(record.GetInt("DEVNBR")));
    }
    std::vector<std::string> seen;
};

class BobSaveTest : public ObjectsFixture {
  protected:
    // Another user changes a stored device row.
    void RenameElsewhere(int device, const std::string& name) {
        cvFileMgr other(data_.dir(), &dict_);
        cvFile* file = other.OpenTable("DEVICE");
        ASSERT_NE(file, nullptr);
        file->ClearKey(0);
        ASSERT_NE(file->PutInt("DEVNBR", device), 0);
        ASSERT_EQ(file->GetEqual(0), 0);
        cvRec row(*file, cvRec::kFromFile);
        ASSERT_NE(row.PutString("NAME", name), 0);
        ASSERT_EQ(row.Save(), 0);
    }
};

TEST_F(BobSaveTest, OnlyChangedObjectsAreStoredAllInOneTransaction) {
    const int group_number = AddGroupRow("Team");
    const int same = AddDeviceRow("Same", group_number);
    const int changed = AddDeviceRow("Before", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    TestDevice* unchanged_device = LoadDevice(*group, same);
    TestDevice* changed_device = LoadDevice(*group, changed);
    TestDevice* new_device = NewDevice(*group, "New");
    ASSERT_NE(changed_device->PutString("NAME", "After"), 0);
    const uint32_t group_crc = ReadRow("GROUPS", "GROUPNBR", group_number).SavedCrc();
    const uint32_t same_crc = ReadRow("DEVICE", "DEVNBR", same).SavedCrc();

    // Saved after the changed device: another user does not see its change yet.
    std::string seen_meanwhile;
    bool flag_meanwhile = false;
    new_device->pre_save = [&](TestDevice&) {
        seen_meanwhile = StoredName("DEVICE", "DEVNBR", changed);
        flag_meanwhile = EventLog().TransactionOpen();
        return 0;
    };
    Announcements announcements;
    log_.Clear();

    ASSERT_EQ(group->Save(), 0);
    EXPECT_EQ(seen_meanwhile, "Before") << "the transaction was still open";
    EXPECT_TRUE(flag_meanwhile);
    EXPECT_FALSE(EventLog().TransactionOpen());
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", changed), "After");
    EXPECT_EQ(new_device->GetInt("DEVNBR"), 3) << "the inserted row's number";
    EXPECT_EQ(new_device->ObjectText(), "Device 3");
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", 3), "New");
    EXPECT_EQ(ReadRow("GROUPS", "GROUPNBR", group_number).SavedCrc(), group_crc) << "untouched";
    EXPECT_EQ(ReadRow("DEVICE", "DEVNBR", same).SavedCrc(), same_crc) << "untouched";
    EXPECT_FALSE(unchanged_device->IsModified());
    EXPECT_FALSE(changed_device->IsModified());

    std::vector<std::string> saving;
    for (const std::string& text : log_.Texts()) {
        if (text.rfind("Saving: ", 0) == 0) {
            saving.push_back(text);
        }
    }
    EXPECT_EQ(saving, (std::vector<std::string>{"Saving: Group 1\n", "Saving: Device 1\n",
                                                "Saving: Device 2\n", "Saving: Device -101\n"}));
    EXPECT_EQ(LogLinesWith("End of Saving: Group 1\n").size(), 1u);
    EXPECT_EQ(announcements.seen,
              (std::vector<std::string>{"saved Device 2", "saved Device 3", "saved Group 1"}));
    EXPECT_TRUE(boxes_.empty());
    for (int i = 0; i < group->Devices().GetCount(); ++i) {
        EXPECT_EQ(group->Device(i)->Flags() & 0x00FF, 0u) << "no flag outlives the save";
    }
    EXPECT_EQ(group->Flags() & 0x00FF, 0u);
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSaveTest, AConflictOnTheUserInterfaceThreadAbortsThroughItsMessageBox) {
    const int group_number = AddGroupRow("Team");
    const int first = AddDeviceRow("First", group_number);
    const int second = AddDeviceRow("Second", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    TestDevice* first_device = LoadDevice(*group, first);
    TestDevice* second_device = LoadDevice(*group, second);
    TestDevice* new_device = NewDevice(*group, "New");
    ASSERT_NE(group->PutString("NAME", "Renamed team"), 0);
    ASSERT_NE(first_device->PutString("NAME", "First changed"), 0);
    ASSERT_NE(second_device->PutString("NAME", "Second changed"), 0);
    RenameElsewhere(second, "Theirs");
    // The last device saved would be the new one: it must not get that far.
    bool reached_last = false;
    new_device->pre_save = [&](TestDevice&) {
        reached_last = true;
        return 0;
    };
    int sounds = 0;
    EventLog().SetSoundHook([&](const std::string& path) {
        EXPECT_NE(path.find("bomb.wav"), std::string::npos);
        ++sounds;
    });
    const int rows_before = StoredRowCount("DEVICE");
    boxes_.clear();
    log_.Clear();

    EXPECT_EQ(group->Save(), RECMAN_RECORD_CONFLICT);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, std::string("<Transaction Aborted>\n\n") + kConflictBox);
    EXPECT_EQ(sounds, 1);
    EXPECT_FALSE(reached_last);
    EXPECT_FALSE(EventLog().TransactionOpen());
    EXPECT_TRUE(LogLinesWith("The transaction was aborted due to errors").empty());

    // No row of the graph changed.
    EXPECT_EQ(StoredName("GROUPS", "GROUPNBR", group_number), "Team");
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", first), "First");
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", second), "Theirs");
    EXPECT_EQ(StoredRowCount("DEVICE"), rows_before);

    // The objects read as before the save: changed, and the first device's store
    // undone with its row. Once the conflict is settled, the whole graph is saved.
    EXPECT_TRUE(group->IsModified());
    EXPECT_TRUE(first_device->IsModified());
    EXPECT_EQ(new_device->Position(), 0);
    ASSERT_EQ(second_device->Reread(), 0);
    ASSERT_NE(second_device->PutString("NAME", "Second changed"), 0);
    boxes_.clear();
    ASSERT_EQ(group->Save(), 0);
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(reached_last);
    EXPECT_EQ(StoredName("GROUPS", "GROUPNBR", group_number), "Renamed team");
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", first), "First changed");
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", second), "Second changed");
    EXPECT_EQ(StoredRowCount("DEVICE"), rows_before + 1);
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSaveTest, AConflictOnAnotherThreadAbortsAtTheEndOfTheSaveAndOnlyLogs) {
    const int group_number = AddGroupRow("Team");
    const int first = AddDeviceRow("First", group_number);
    const int second = AddDeviceRow("Second", group_number);
    boxes_.clear();
    log_.Clear();

    int status = 0;
    int census = -1;
    std::thread engine([&] {
        // The engine's own manager; message boxes there become log lines.
        cvFileMgr files(data_.dir(), &dict_);
        cvFile* groups = files.OpenTable("GROUPS");
        cvFile* devices = files.OpenTable("DEVICE");
        ASSERT_TRUE(groups && devices);
        auto read = [](cvFile& file, const char* field, int number) {
            file.ClearKey(0);
            EXPECT_NE(file.PutInt(field, number), 0);
            EXPECT_EQ(file.GetEqual(0), 0);
            return cvRec(file, cvRec::kFromFile);
        };
        cvBobRef<TestGroup> group = NewBob<TestGroup>(nullptr, read(*groups, "GROUPNBR", 1));
        for (int number : {first, second}) {
            cvBobRef<TestDevice> device =
                NewBob<TestDevice>(group.get(), read(*devices, "DEVNBR", number));
            ASSERT_TRUE(group->Devices().Add(device.get()));
            ASSERT_NE(device->PutString("NAME", "Engine " + std::to_string(number)), 0);
        }
        ASSERT_NE(group->PutString("NAME", "Engine team"), 0);
        RenameElsewhere(second, "Theirs");
        status = group->Save();
        EXPECT_TRUE(group->IsModified());
        static_cast<void>(group.DropAndReset());
        census = Census::Alive();
    });
    engine.join();

    EXPECT_EQ(status, RECMAN_RECORD_CONFLICT);
    EXPECT_EQ(census, 0);
    EXPECT_TRUE(boxes_.empty());
    // The record manager's report, and the two message texts as lines.
    EXPECT_EQ(LogLinesWith(kConflictBox).size(), 1u);
    EXPECT_TRUE(LogLinesWith("<Transaction Aborted>").empty());
    EXPECT_EQ(LogLinesWith("The transaction was aborted due to errors").size(), 1u);
    EXPECT_FALSE(EventLog().TransactionOpen());
    EXPECT_EQ(StoredName("GROUPS", "GROUPNBR", group_number), "Team");
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", first), "First");
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", second), "Theirs");
}

TEST_F(BobSaveTest, AManagerOtherThanTheApplicationsAbortsAtTheEndOfItsSave) {
    // On the user-interface thread, but through a manager of its own: a message box
    // cannot abort this transaction, so the save does it itself.
    const int group_number = AddGroupRow("Team");
    const int device_number = AddDeviceRow("Device", group_number);
    cvFileMgr files(data_.dir(), &dict_);
    cvFile* groups = files.OpenTable("GROUPS");
    cvFile* devices = files.OpenTable("DEVICE");
    ASSERT_TRUE(groups && devices);
    ASSERT_EQ(groups->GetFirst(0), 0);
    cvBobRef<TestGroup> group = NewBob<TestGroup>(nullptr, *groups, cvRec::kFromFile);
    ASSERT_EQ(devices->GetFirst(0), 0);
    cvBobRef<TestDevice> device =
        NewBob<TestDevice>(group.get(), cvRec(*devices, cvRec::kFromFile));
    ASSERT_TRUE(group->Devices().Add(device.get()));
    ASSERT_NE(group->PutString("NAME", "Renamed"), 0);
    ASSERT_NE(device->PutString("NAME", "Mine"), 0);
    RenameElsewhere(device_number, "Theirs");
    boxes_.clear();

    EXPECT_EQ(group->Save(), RECMAN_RECORD_CONFLICT);
    ASSERT_EQ(boxes_.size(), 2u);
    EXPECT_EQ(boxes_[0].text, kConflictBox) << "no claim to have aborted anything";
    EXPECT_EQ(boxes_[1].text, "The transaction was aborted due to errors");
    EXPECT_FALSE(EventLog().TransactionOpen());
    EXPECT_EQ(StoredName("GROUPS", "GROUPNBR", group_number), "Team");

    // The transaction is over: the next save begins one of its own.
    ASSERT_EQ(device->Reread(), 0);
    ASSERT_EQ(group->Save(), 0);
    EXPECT_EQ(StoredName("GROUPS", "GROUPNBR", group_number), "Renamed");
    static_cast<void>(device.Reset());
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSaveTest, RemovingAnObjectHandsItsChildrenToItsParent) {
    const int group_number = AddGroupRow("Team");
    const int middle_number = AddDeviceRow("Middle", group_number);
    const int lower_number = AddDeviceRow("Lower", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    TestDevice* middle = LoadDevice(*group, middle_number);
    middle->partner = NewBob<TestDevice>(middle, ReadRow("DEVICE", "DEVNBR", lower_number));
    cvBobRef<TestDevice> lower = middle->partner;
    ASSERT_TRUE(middle->IsRegistered());
    log_.Clear();

    middle->Remove();  // the graph held the only reference: it is gone now
    EXPECT_EQ(Census::Alive(), 2);
    EXPECT_EQ(lower->Parent(), group.get());
    EXPECT_EQ(lower->RefCount(), 2) << "this test and the group's default set";
    ASSERT_NE(group->ChildSetIfAny(), nullptr);
    EXPECT_EQ(group->ChildSet().GetAt(0), lower.get());
    EXPECT_EQ(group->Devices().GetCount(), 0);
    EXPECT_EQ(group->RefCount(), 2) << "the creator and the new child";
    EXPECT_EQ(LogLinesWith("Device 2 replacing parent link to Device 1 with Group 1\n").size(), 1u);
    EXPECT_EQ(LogLinesWith("Device 2 dropping link to former parent Device 1\n").size(), 1u);
    EXPECT_EQ(LogLinesWith("Group 1 End of dropping link to Device 1 [1]\n").size(), 1u);

    // The row of the removed one goes; the handed-down one is saved with the graph.
    ASSERT_NE(lower->PutString("NAME", "Lower changed"), 0);
    ASSERT_EQ(group->Save(), 0);
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", middle_number), "<4>");
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", lower_number), "Lower changed");
    static_cast<void>(lower.Reset());
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSaveTest, RefusedSaves) {
    const int group_number = AddGroupRow("Team");
    const int device_number = AddDeviceRow("Device", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    TestDevice* device = LoadDevice(*group, device_number);
    ASSERT_NE(group->PutString("NAME", "Changed"), 0);

    // BeginSave says no: nothing begins.
    group->begin_save = [] { return 5; };
    boxes_.clear();
    EXPECT_EQ(group->Save(), 5);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "Unable to begin transaction");
    EXPECT_EQ(group->Flags() & cvBob::kSaving, 0u);
    group->begin_save = nullptr;

    // A child's validation fails after the group was stored: no box aborted it, so the
    // save aborts and says so.
    device->pre_save = [](TestDevice&) { return 7; };
    boxes_.clear();
    EXPECT_EQ(group->Save(), 7);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, "The transaction was aborted due to errors");
    EXPECT_EQ(StoredName("GROUPS", "GROUPNBR", group_number), "Team");
    EXPECT_TRUE(group->IsModified());
    device->pre_save = nullptr;
    ASSERT_EQ(group->Save(), 0);
    EXPECT_EQ(StoredName("GROUPS", "GROUPNBR", group_number), "Changed");

    // An object outside any map is not saved.
    cvBobRef<TestDevice> loose =
        NewBob<TestDevice>(group.get(), ReadRow("DEVICE", "DEVNBR", device_number));
    log_.Clear();
    EXPECT_EQ(loose->Save(), -1);
    EXPECT_EQ(LogLinesWith("Illegal attempt to save unlinked object 2001-1-0-0\n").size(), 1u);
    static_cast<void>(loose.Reset());
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSaveTest, RemovedObjectsAreDeletedAtTheRootsNextSave) {
    const int group_number = AddGroupRow("Team");
    const int stored = AddDeviceRow("Stored", group_number);
    const int kept = AddDeviceRow("Kept", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    cvBobRef<TestDevice> removed = cvBobRef<TestDevice>::Shared(LoadDevice(*group, stored));
    LoadDevice(*group, kept);
    TestDevice* never_stored = NewDevice(*group, "Never");
    const int rows = StoredRowCount("DEVICE");

    // A never-stored object leaves nothing to delete.
    never_stored->Remove();
    EXPECT_EQ(group->PendingDeletes().GetCount(), 0);
    EXPECT_EQ(group->Devices().GetCount(), 2);

    // A stored one is queued; the row stays until the root is saved.
    removed->Remove();
    EXPECT_EQ(group->PendingDeletes().GetCount(), 1);
    EXPECT_EQ(group->Devices().GetCount(), 1);
    EXPECT_FALSE(removed->IsRegistered());
    EXPECT_EQ(removed->Parent(), nullptr);
    EXPECT_EQ(removed->RefCount(), 1) << "only this test holds it now";
    EXPECT_EQ(group->FindObject(cvObjectId{kDeviceType, stored, 0, 0}), nullptr);
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", stored), "Stored");

    Announcements announcements;
    ASSERT_EQ(group->Save(), 0);
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", stored), "<4>");
    EXPECT_EQ(StoredRowCount("DEVICE"), rows - 1);
    EXPECT_EQ(group->PendingDeletes().GetCount(), 0);
    EXPECT_EQ(
        announcements.seen,
        (std::vector<std::string>{"deleted DEVICE " + std::to_string(stored), "saved Group 1"}));
    static_cast<void>(removed.Reset());
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSaveTest, ARowThatComesBackIsNotDeleted) {
    const int group_number = AddGroupRow("Team");
    const int number = AddDeviceRow("Back", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    LoadDevice(*group, number)->Remove();
    ASSERT_EQ(group->PendingDeletes().GetCount(), 1);
    // Loaded into the graph again: its row leaves the pending deletes.
    LoadDevice(*group, number);
    EXPECT_EQ(group->PendingDeletes().GetCount(), 0);
    ASSERT_EQ(group->Save(), 0);
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", number), "Back");
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSaveTest, AnAbortedSaveKeepsItsPendingDeletes) {
    const int group_number = AddGroupRow("Team");
    const int doomed = AddDeviceRow("Doomed", group_number);
    const int conflict = AddDeviceRow("Conflict", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    LoadDevice(*group, doomed)->Remove();
    TestDevice* device = LoadDevice(*group, conflict);
    ASSERT_NE(device->PutString("NAME", "Mine"), 0);
    RenameElsewhere(conflict, "Theirs");

    EXPECT_EQ(group->Save(), RECMAN_RECORD_CONFLICT);
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", doomed), "Doomed") << "the delete was undone";
    ASSERT_EQ(group->PendingDeletes().GetCount(), 1) << "and is still to do";
    EXPECT_GT(group->PendingDeletes().GetAt(0)->Position(), 0);

    ASSERT_EQ(device->Reread(), 0);
    ASSERT_EQ(group->Save(), 0);
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", doomed), "<4>");
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSaveTest, AnObjectCanAskForItsRowToBeDeleted) {
    const int group_number = AddGroupRow("Team");
    const int number = AddDeviceRow("Gone", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    TestDevice* device = LoadDevice(*group, number);
    device->delete_on_save = true;
    Announcements announcements;
    ASSERT_EQ(group->Save(), 0);
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", number), "<4>");
    EXPECT_EQ(device->Position(), 0);
    EXPECT_EQ(announcements.seen, (std::vector<std::string>{"saved Device 1", "saved Group 1"}));
    EXPECT_EQ(device->Flags() & cvBob::kDeleteOnSave, 0u) << "cleared after the save";
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSaveTest, EverySaveVisitsTheGraphAgain) {
    const int group_number = AddGroupRow("Team");
    const int number = AddDeviceRow("One", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    TestDevice* device = LoadDevice(*group, number);
    for (const char* name : {"Two", "Three"}) {
        ASSERT_NE(device->PutString("NAME", name), 0);
        ASSERT_EQ(group->Save(), 0);
        EXPECT_EQ(StoredName("DEVICE", "DEVNBR", number), name);
    }
    // A child saved on its own, twice, is stored twice (without a transaction).
    for (const char* name : {"Four", "Five"}) {
        ASSERT_NE(device->PutString("NAME", name), 0);
        ASSERT_EQ(device->Save(), 0);
        EXPECT_EQ(StoredName("DEVICE", "DEVNBR", number), name);
        EXPECT_EQ(device->Flags() & cvBob::kSavedThisPass, 0u);
    }
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSaveTest, FormerReferencesThatWereNeverStoredAreLetGo) {
    const int group_number = AddGroupRow("Team");
    const int stored = AddDeviceRow("Stored", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    // Two objects referred to in turn through the type reference: a stored one, then a
    // new one; each change of the identifier moves the old one to the default set.
    group->TypeReference() = group->GetObject(kDeviceType, stored);
    ASSERT_NE(group->PutInt("TRANSNBR", 55), 0);
    group->TypeReference() = group->GetObject(kDeviceType, 55, 0, 0, true);
    ASSERT_NE(group->PutInt("TRANSNBR", 56), 0);
    ASSERT_EQ(group->ChildSet().GetCount(), 2);
    cvBob* kept = group->ChildSet().GetAt(0);
    ASSERT_NE(kept->PutString("NAME", "Still saved"), 0);
    const int alive = Census::Alive();

    ASSERT_EQ(group->Save(), 0);
    EXPECT_EQ(group->ChildSet().GetCount(), 1);
    EXPECT_EQ(group->ChildSet().GetAt(0), kept);
    EXPECT_EQ(Census::Alive(), alive - 1) << "the never-stored one was destroyed";
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", stored), "Still saved");
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", 55), "<4>");
    EXPECT_EQ(ReadRow("GROUPS", "GROUPNBR", group_number).GetInt("TRANSNBR"), 56);
    static_cast<void>(group.DropAndReset());
}

}  // namespace
