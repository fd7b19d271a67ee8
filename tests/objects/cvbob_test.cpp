// Business objects in a graph: reference counts and their log lines, change-detecting
// puts, the type reference, finding and making objects by identifier, registration,
// and the notifications.

#include "objects/cvbob.h"

#include <gtest/gtest.h>

#include "objects/cvbobfieldmonitor.h"
#include "objects/cvbobmap.h"
#include "objects/cvbobset.h"
#include "storage/packeddatetime.h"
#include "tests/objects/objectsfixture.h"

namespace {

using namespace objects_testing;

class BobTest : public ObjectsFixture {};

// Records every change it is told, with the values as text.
class ChangeLog : public cvBobFieldMonitor {
  public:
    enum class Kind { kInt, kUInt, kInt64, kDouble, kObjectId, kText };
    explicit ChangeLog(Kind kind) : kind_(kind) {}

    void FieldChanged(std::string_view name, const void* old_value,
                      const void* new_value) override {
        changes.push_back(std::string(name) + ": " + Text(old_value) + " -> " + Text(new_value));
    }

    std::vector<std::string> changes;

  private:
    std::string Text(const void* value) const {
        switch (kind_) {
            case Kind::kInt:
                return std::to_string(*static_cast<const int32_t*>(value));
            case Kind::kUInt:
                return std::to_string(*static_cast<const uint32_t*>(value));
            case Kind::kInt64:
                return std::to_string(*static_cast<const int64_t*>(value));
            case Kind::kDouble:
                return std::to_string(*static_cast<const double*>(value));
            case Kind::kObjectId:
                return static_cast<const cvObjectId*>(value)->Text();
            case Kind::kText:
                return *static_cast<const std::string*>(value);
        }
        return {};
    }
    Kind kind_;
};

TEST_F(BobTest, AChildHoldsItsParentAndGivesItBack) {
    cvBobRef<TestGroup> group = LoadGroup(AddGroupRow("Team"));
    EXPECT_EQ(group->RefCount(), 1);
    EXPECT_TRUE(group->IsRoot());
    EXPECT_TRUE(group->HasFlags(cvBob::kRegistered | cvBob::kOwnsMap));
    EXPECT_EQ(group->ObjectFlag(), 1);
    EXPECT_EQ(LogLinesWith("New object Group 1, unknown initial reference (no parent)\n").size(),
              1u);

    const int number = AddDeviceRow("Pager", 1);
    log_.Clear();
    cvBobRef<TestDevice> device =
        NewBob<TestDevice>(group.get(), ReadRow("DEVICE", "DEVNBR", number));
    EXPECT_EQ(group->RefCount(), 2);
    EXPECT_EQ(device->RefCount(), 1);
    EXPECT_EQ(device->Parent(), group.get());
    EXPECT_FALSE(device->IsRegistered()) << "registered when it joins the graph";
    EXPECT_EQ(LogLinesWith("NewRef[1->2] on Group 1\n").size(), 1u);
    EXPECT_EQ(LogLinesWith("New object Device 1, referenced by Group 1\n").size(), 1u);

    // Another holder, then both let go: destroyed at 0, not before.
    cvBobRef<TestDevice> second = device;
    EXPECT_EQ(device->RefCount(), 2);
    EXPECT_EQ(cvBob::Release(second), 1);
    EXPECT_FALSE(second) << "the holder is emptied";
    EXPECT_EQ(cvBob::Release(second), 0) << "an empty holder releases nothing";
    EXPECT_EQ(Census::Alive(), 2);
    log_.Clear();
    EXPECT_EQ(device.Reset(), 0);
    EXPECT_EQ(Census::Alive(), 1);
    EXPECT_EQ(group->RefCount(), 1);
    EXPECT_EQ(LogLinesWith("DeleteRef[1->0] on Device 1\n").size(), 1u);
    EXPECT_EQ(LogLinesWith("DeleteRef[2->1] on Group 1\n").size(), 1u);
}

TEST_F(BobTest, AGraphIsFreedByDroppingTheLinksOfItsRoot) {
    cvBobRef<TestGroup> group = LoadGroup(AddGroupRow("Team"));
    TestDevice* a = NewDevice(*group, "a");
    TestDevice* b = NewDevice(*group, "b");
    // b refers to a, which is not its child; a has one more, hand-taken holder.
    b->partner.Set(a);
    b->partner->AddRef();  // a hand-taken reference, given back below
    cvBobRef<TestDevice> held = cvBobRef<TestDevice>::Adopted(a);
    EXPECT_EQ(a->RefCount(), 3);
    EXPECT_EQ(group->RefCount(), 3) << "one for the creator, one per child";
    EXPECT_EQ(Census::Alive(), 3);

    // Letting the root go alone leaves the graph: children hold their parent.
    cvBobRef<TestGroup> keep = group;
    static_cast<void>(group.Reset());
    EXPECT_EQ(Census::Alive(), 3);

    // Dropping the links releases the children; `a` stays for its other holder.
    EXPECT_EQ(keep.DropAndReset(), 0);
    EXPECT_EQ(Census::Alive(), 1);
    EXPECT_EQ(held->RefCount(), 1);
    EXPECT_EQ(held->Parent(), nullptr) << "its parent link was given back";
    EXPECT_EQ(held->Map(), nullptr) << "the map went with the root";
    static_cast<void>(held.Reset());
    EXPECT_EQ(Census::Alive(), 0);
}

TEST_F(BobTest, PutsOfTheCurrentValueChangeNothing) {
    cvBobRef<TestGroup> group = LoadGroup(AddGroupRow("Team"));
    cvRec row = ReadRow("DEVICE", "DEVNBR", AddDeviceRow("Pager", 4));
    ASSERT_NE(row.PutDouble("SCORE", 12.5), 0);
    ASSERT_NE(row.PutDate("SEEN", PackDate(2024, 3, 15)), 0);
    ASSERT_NE(row.PutUInt("CODE", 77), 0);
    ASSERT_NE(row.PutInt64("BIG", 5, 1), 0);
    ASSERT_EQ(row.Save(), 0);
    cvBobRef<TestDevice> device = NewBob<TestDevice>(group.get(), row);
    ASSERT_FALSE(device->IsModified());
    ChangeLog monitor(ChangeLog::Kind::kInt);
    monitor.Watch(device.get());
    const cvObjectId id = device->ObjectId();

    struct Case {
        const char* what;
        std::function<int(cvBob&)> put;
    };
    const Case unchanged[] = {
        {"PutInt", [](cvBob& d) { return d.PutInt("GROUPNBR", 4); }},
        {"PutString", [](cvBob& d) { return d.PutString("NAME", "Pager"); }},
        {"PutDouble within 0.00001", [](cvBob& d) { return d.PutDouble("SCORE", 12.500001); }},
        {"PutDate", [](cvBob& d) { return d.PutDate("SEEN", PackDate(2024, 3, 15)); }},
        {"PutTime", [](cvBob& d) { return d.PutTime("TIMEMOD", 0); }},
        {"PutUInt", [](cvBob& d) { return d.PutUInt("CODE", 77); }},
        {"PutInt64", [](cvBob& d) { return d.PutInt64("BIG", 5, 1); }},
        {"PutObjectId",
         [](cvBob& d) { return d.PutObjectId("GROUPNBR", d.GetObjectId("GROUPNBR")); }},
    };
    for (const Case& c : unchanged) {
        const uint32_t crc = device->Buffer().Crc32();
        EXPECT_NE(c.put(*device), 0) << c.what << " succeeds";
        EXPECT_EQ(device->Buffer().Crc32(), crc) << c.what;
        EXPECT_FALSE(device->IsModified()) << c.what;
    }
    EXPECT_TRUE(monitor.changes.empty());
    EXPECT_EQ(device->ObjectId(), id);

    // The same value into a field that does not exist, or that refuses the put, is
    // still a failure.
    log_.Clear();
    EXPECT_EQ(device->PutInt("NOSUCH", 0), 0);
    EXPECT_EQ(LogLinesWith("Table DEVICE does not have an attribute named NOSUCH").size(), 1u);
    EXPECT_EQ(device->PutInt("NAME", 0), 0) << "an Integer put into a String field";
    EXPECT_EQ(device->PutDate("NAME", 0), 0);
    EXPECT_TRUE(monitor.changes.empty());
    monitor.StopWatching();
}

TEST_F(BobTest, ChangesReachFieldMonitorsInTheFieldsOwnRepresentation) {
    cvBobRef<TestGroup> group = LoadGroup(AddGroupRow("Team"));
    cvBobRef<TestDevice> device =
        NewBob<TestDevice>(group.get(), ReadRow("DEVICE", "DEVNBR", AddDeviceRow("Pager", 4)));

    struct Case {
        ChangeLog::Kind kind;
        std::function<int(cvBob&)> put;
        const char* told;
    };
    const Case cases[] = {
        {ChangeLog::Kind::kInt, [](cvBob& d) { return d.PutInt("GROUPNBR", -9); },
         "GROUPNBR: 4 -> -9"},
        {ChangeLog::Kind::kText, [](cvBob& d) { return d.PutString("NAME", "Beeper"); },
         "NAME: Pager -> Beeper"},
        {ChangeLog::Kind::kDouble, [](cvBob& d) { return d.PutDouble("SCORE", 2.25); },
         "SCORE: 0.000000 -> 2.250000"},
        {ChangeLog::Kind::kUInt, [](cvBob& d) { return d.PutUInt("CODE", 4000000000u); },
         "CODE: 0 -> 4000000000"},
        {ChangeLog::Kind::kUInt, [](cvBob& d) { return d.PutDate("SEEN", 0x07E8030F); },
         "SEEN: 0 -> 132645647"},
        {ChangeLog::Kind::kInt64, [](cvBob& d) { return d.PutInt64("BIG", 1, 2); },
         "BIG: 0 -> 8589934593"},
    };
    for (const Case& c : cases) {
        ChangeLog monitor(c.kind);
        monitor.Watch(device.get());
        EXPECT_NE(c.put(*device), 0) << c.told;
        EXPECT_EQ(monitor.changes, std::vector<std::string>{c.told});
    }
    EXPECT_TRUE(device->IsModified());
    EXPECT_EQ(device->FieldMonitors().size(), 0u) << "each monitor stopped when destroyed";
}

TEST_F(BobTest, ChangingTheIdentifierFieldsGivesUpTheTypeReference) {
    const int group_number = AddGroupRow("Team");
    const int captain = AddDeviceRow("Captain", group_number);
    const int other = AddDeviceRow("Other", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    ChangeLog monitor(ChangeLog::Kind::kObjectId);
    monitor.Watch(group.get());
    ASSERT_NE(group->PutObjectId("TYPE", cvObjectId{kDeviceType, captain, 0, 0}), 0);
    EXPECT_EQ(monitor.changes, std::vector<std::string>{"TYPE: 0-0-0-0 -> 2001-1-0-0"});
    monitor.StopWatching();
    // Resolving the stored identifier fills the slot, as derived classes do.
    group->TypeReference() = group->GetObject(group->GetObjectId("TYPE"));
    cvBob* referenced = group->TypeReference().get();
    ASSERT_NE(referenced, nullptr);
    EXPECT_EQ(referenced->GetText("NAME"), "Captain");
    EXPECT_EQ(referenced->RefCount(), 1);

    // The same number changes nothing; another one moves the object to the default
    // child set, where it stays part of the graph.
    EXPECT_NE(group->PutInt("TRANSNBR", captain), 0);
    EXPECT_EQ(group->TypeReference().get(), referenced);
    EXPECT_NE(group->PutInt("TRANSNBR", other), 0);
    EXPECT_TRUE(group->TypeReference().IsEmpty());
    ASSERT_NE(group->ChildSetIfAny(), nullptr);
    EXPECT_EQ(group->ChildSet().GetAt(0), referenced);
    EXPECT_EQ(referenced->RefCount(), 1) << "the set's reference replaced the slot's";
    EXPECT_EQ(group->FindObject(referenced->ObjectId()), referenced);

    // TYPE through PutObjectId does the same.
    group->TypeReference() = group->GetObject(kDeviceType, other);
    ASSERT_TRUE(group->TypeReference());
    EXPECT_NE(group->PutObjectId("TYPE", cvObjectId{kGroupType, 1, 0, 0}), 0);
    EXPECT_TRUE(group->TypeReference().IsEmpty());
    EXPECT_EQ(group->ChildSet().GetCount(), 2);
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobTest, GetObjectFindsLoadedObjectsAndMakesTheOthers) {
    const int group_number = AddGroupRow("Team");
    const int stored = AddDeviceRow("Stored", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    TestDevice* loaded = LoadDevice(*group, stored);
    EXPECT_TRUE(loaded->IsRegistered()) << "added to a registered owner's set";
    EXPECT_EQ(group->Map()->Count(), 1);

    // Already in the graph: the same object with one more reference.
    cvBobRef<> again = group->GetObject(kDeviceType, stored);
    EXPECT_EQ(again.get(), loaded);
    EXPECT_EQ(loaded->RefCount(), 2);
    EXPECT_EQ(group->GetObject(kGroupType, group_number).get(), group.get()) << "the root";
    static_cast<void>(again.Reset());

    // Not in the graph, not stored: nothing, unless asked to create it.
    const int made_before = Census::made;
    EXPECT_FALSE(group->GetObject(kDeviceType, 42));
    EXPECT_FALSE(group->GetObject(0, 42)) << "type 0";
    EXPECT_FALSE(group->GetObject(9999, 1)) << "unregistered type";
    EXPECT_EQ(Census::made, made_before);
    cvBobRef<> created = group->GetObject(kDeviceType, 42, 0, 0, true);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->GetInt("DEVNBR"), 42);
    EXPECT_EQ(created->Position(), 0);
    EXPECT_TRUE(created->IsModified());
    EXPECT_EQ(created->Parent(), group.get());
    EXPECT_TRUE(created->IsRegistered());
    EXPECT_EQ(group->GetObject(kDeviceType, 42).get(), created.get()) << "found in the map now";

    // Stored but not loaded: read from the file by the type's key.
    const int elsewhere = AddDeviceRow("Elsewhere", 99);
    cvBobRef<> read = group->GetObject(kDeviceType, elsewhere);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->GetText("NAME"), "Elsewhere");
    EXPECT_GT(read->Position(), 0);
    EXPECT_FALSE(read->IsModified());

    // Two identifying fields.
    cvRec member(Open("MEMBER"));
    ASSERT_NE(member.PutInt("GROUPNBR", 3), 0);
    ASSERT_NE(member.PutInt("DEVNBR", 12), 0);
    ASSERT_NE(member.PutString("ROLE", "lead"), 0);
    ASSERT_EQ(member.Save(), 0);
    cvBobRef<> found = group->GetObject(kMemberType, 3, 12);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->GetText("ROLE"), "lead");
    EXPECT_FALSE(group->GetObject(kMemberType, 3, 13));

    static_cast<void>(created.Reset());
    static_cast<void>(read.Reset());
    static_cast<void>(found.Reset());
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobTest, AnUnregisteredObjectSearchesItsOwnPartOfTheGraph) {
    const int group_number = AddGroupRow("Team");
    const int first = AddDeviceRow("First", group_number);
    const int second = AddDeviceRow("Second", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    // Not yet in the graph's map: a device with a partner that is its own child, and
    // the partner pointing back.
    cvBobRef<TestDevice> device =
        NewBob<TestDevice>(group.get(), ReadRow("DEVICE", "DEVNBR", first));
    device->partner = NewBob<TestDevice>(device.get(), ReadRow("DEVICE", "DEVNBR", second));
    device->partner->partner.Set(device.get());
    ASSERT_FALSE(device->IsRegistered());

    cvBobRef<TestDevice> partner = device->GetObject(kDeviceType, second).As<TestDevice>();
    EXPECT_EQ(partner.get(), device->partner.get()) << "found, not read again";
    EXPECT_EQ(partner->RefCount(), 2) << "the slot's and this one, moved over uncounted";
    cvBobRef<> itself = device->partner->GetObject(kDeviceType, first);
    EXPECT_EQ(itself.get(), device.get()) << "from the highest unregistered ancestor";
    EXPECT_FALSE(device->GetObject(kDeviceType, 999)) << "the cycle is walked once";
    EXPECT_EQ(group->FindObject(cvObjectId{kDeviceType, second, 0, 0}), nullptr);
    static_cast<void>(partner.Reset());
    static_cast<void>(itself.Reset());

    // Joining the graph registers the device and its child.
    ASSERT_TRUE(group->Devices().Add(device.get()));
    EXPECT_TRUE(device->IsRegistered());
    EXPECT_TRUE(device->partner->IsRegistered());
    EXPECT_EQ(group->FindObject(cvObjectId{kDeviceType, second, 0, 0}), device->partner.get());
    EXPECT_EQ(group->Map()->Count(), 2);

    // The partner's link back is a reference, not a parent link: dropping the graph's
    // links frees both.
    static_cast<void>(device.Reset());
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobTest, AddToSetFromAFileRowOrARecord) {
    const int group_number = AddGroupRow("Team");
    const int first = AddDeviceRow("First", group_number);
    const int second = AddDeviceRow("Second", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    TestDevice* loaded = LoadDevice(*group, first);
    cvBobSet picked(nullptr, true);

    cvFile& file = Open("DEVICE");
    for (int status = file.GetFirst(0); status == 0; status = file.GetNext()) {
        EXPECT_TRUE(group->AddToSet(picked, file));
    }
    ASSERT_EQ(picked.GetCount(), 2);
    EXPECT_EQ(picked.GetAt(0), loaded) << "the loaded object, not a second one";
    EXPECT_EQ(picked.GetAt(1)->GetText("NAME"), "Second");
    EXPECT_EQ(picked.GetAt(1)->Parent(), group.get());

    EXPECT_TRUE(group->AddToSet(picked, ReadRow("DEVICE", "DEVNBR", second)));
    EXPECT_EQ(picked.GetAt(2), picked.GetAt(1)) << "registered when made: found again";
    EXPECT_TRUE(group->AddToSet(picked, cvObjectId{kDeviceType, first, 0, 0}));
    EXPECT_EQ(picked.GetAt(3), loaded);
    EXPECT_FALSE(group->AddToSet(picked, cvObjectId{kDeviceType, 77, 0, 0}));
    EXPECT_EQ(picked.GetCount(), 4);
    picked.RemoveAll();
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobTest, RollCallAndRefresh) {
    const int group_number = AddGroupRow("Team");
    const int number = AddDeviceRow("Pager", group_number);
    cvBobRef<TestGroup> group = LoadGroup(group_number);
    TestDevice* device = LoadDevice(*group, number);
    EventLog().SetCategoryMask(kLogBobErrors);  // the roll call is kept whatever the mask
    log_.Clear();
    EXPECT_EQ(device->Notify(cvBob::kNotifyRollCall), 0);
    EXPECT_EQ(group->Notify(cvBob::kNotifyRollCall), 0);
    EXPECT_EQ(log_.Texts(),
              (std::vector<std::string>{"Roll Call: Device 1 (refcnt=1), child of Group 1\n",
                                        "Roll Call: Group 1 (refcnt=2), child of None\n"}));
    EventLog().SetCategoryMask(kLogAllCategories);

    // Someone else renames the row: an unchanged object follows, a changed one keeps
    // its own text.
    {
        cvFileMgr other(data_.dir(), &dict_);
        cvFile* file = other.OpenTable("DEVICE");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(file->GetFirst(0), 0);
        cvRec row(*file, cvRec::kFromFile);
        ASSERT_NE(row.PutString("NAME", "Renamed"), 0);
        ASSERT_EQ(row.Save(), 0);
    }
    EXPECT_EQ(device->Notify(cvBob::kNotifyRefresh), 0);
    EXPECT_EQ(device->GetText("NAME"), "Renamed");
    ASSERT_NE(device->PutString("NAME", "Mine"), 0);
    EXPECT_EQ(device->Notify(cvBob::kNotifyRefresh), 0);
    EXPECT_EQ(device->GetText("NAME"), "Mine");
    EXPECT_TRUE(device->IsKindOf("cvBob"));
    EXPECT_TRUE(device->IsKindOf("TestDevice"));
    EXPECT_FALSE(group->IsKindOf("TestDevice"));
    static_cast<void>(group.DropAndReset());
}

}  // namespace
