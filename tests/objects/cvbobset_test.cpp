// Object sets and object maps: the reference each entry holds, duplicates, where an
// object is inserted, registration of what joins a registered owner, removals that
// destroy the last reference, sorting, the "All" puts, and maps outlived by objects.

#include "objects/cvbobset.h"

#include <gtest/gtest.h>

#include "objects/cvbobmap.h"
#include "tests/objects/objectsfixture.h"

namespace {

using namespace objects_testing;

class BobSetTest : public ObjectsFixture {
  protected:
    // A group row and `names.size()` device rows of it, loaded as a graph.
    cvBobRef<TestGroup> GroupWith(const std::vector<std::string>& names) {
        const int group_number = AddGroupRow("Team");
        std::vector<int> numbers;
        for (const std::string& name : names) {
            numbers.push_back(AddDeviceRow(name, group_number));
        }
        cvBobRef<TestGroup> group = LoadGroup(group_number);
        for (int number : numbers) {
            LoadDevice(*group, number);
        }
        return group;
    }

    static std::vector<std::string> Names(const cvBobSet& set) {
        std::vector<std::string> names;
        for (int i = 0; i < set.GetCount(); ++i) {
            names.push_back(set.GetAt(i)->GetText("NAME"));
        }
        return names;
    }
};

TEST_F(BobSetTest, DuplicatesByIdentifier) {
    cvBobRef<TestGroup> group = GroupWith({"a", "b"});
    TestDevice* a = group->Device(0);
    struct Case {
        bool allow_duplicates;
        int entries;
    };
    for (const Case c : {Case{false, 1}, Case{true, 2}}) {
        cvBobSet set(nullptr, c.allow_duplicates);
        const int before = a->RefCount();
        EXPECT_TRUE(set.Add(a));
        EXPECT_TRUE(set.Add(a));
        EXPECT_EQ(set.GetCount(), c.entries);
        EXPECT_EQ(a->RefCount(), before + c.entries) << "one reference per entry";
        // Another object with the same identifier counts as the same without duplicates.
        cvBobRef<TestDevice> twin = NewBob<TestDevice>(group.get(), cvRec(*a));
        EXPECT_TRUE(set.Add(twin.get()));
        EXPECT_EQ(set.GetCount(), c.allow_duplicates ? 3 : 1);
        EXPECT_EQ(set.FindById(kDeviceType, a->GetInt("DEVNBR"), 0, 0), 0);
        EXPECT_EQ(set.FindById(0, 0, 0, 0), -1);
    }  // the set gives every reference back
    EXPECT_EQ(a->RefCount(), 1);
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSetTest, WhereObjectsGoAndWhatStaysOut) {
    cvBobRef<TestGroup> group = GroupWith({"a", "b", "c"});
    cvBobSet set;
    EXPECT_TRUE(set.Add(group->Device(0)));
    EXPECT_TRUE(set.Add(group->Device(1), 0));
    EXPECT_EQ(Names(set), (std::vector<std::string>{"b", "a"}));
    EXPECT_TRUE(set.Add(group->Device(2), 5)) << "beyond the count: nothing, not an error";
    EXPECT_TRUE(set.Add(nullptr));
    EXPECT_EQ(set.GetCount(), 2);
    EXPECT_EQ(group->Device(2)->RefCount(), 1);
    EXPECT_EQ(set.GetAt(2), nullptr);
    EXPECT_EQ(set.RemoveAt(7), -1);

    // SetAt takes business objects only, and swaps the references.
    cvRec plain(Open("DEVICE"));
    EXPECT_FALSE(set.SetAt(0, &plain));
    EXPECT_FALSE(set.SetAt(9, group->Device(2)));
    EXPECT_TRUE(set.SetAt(0, group->Device(2)));
    EXPECT_EQ(Names(set), (std::vector<std::string>{"c", "a"}));
    EXPECT_EQ(group->Device(2)->RefCount(), 2);
    EXPECT_EQ(group->Device(1)->RefCount(), 1);
    set.RemoveAll();
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSetTest, ObjectsMadeFromRecordsByTheirTypesFactory) {
    cvBobRef<TestGroup> group = GroupWith({});
    const int device = AddDeviceRow("Made", 1);
    EXPECT_TRUE(group->Devices().AddByRecord(ReadRow("DEVICE", "DEVNBR", device)));
    ASSERT_EQ(group->Devices().GetCount(), 1);
    cvBob* made = group->Devices().GetAt(0);
    EXPECT_TRUE(made->IsKindOf("TestDevice"));
    EXPECT_EQ(made->Parent(), group.get()) << "the set's owner is the parent";
    EXPECT_EQ(made->RefCount(), 1) << "the creator's reference was given back";
    EXPECT_TRUE(made->IsRegistered());
    EXPECT_FALSE(group->Devices().AddByRecord(cvRec(Open("NOTE")))) << "no object type";
    EXPECT_EQ(Census::Alive(), 2);
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSetTest, NewChildrenOfARegisteredOwnerJoinItsMap) {
    cvBobRef<TestGroup> group = GroupWith({});
    cvBobRef<TestDevice> device = NewBob<TestDevice>(group.get(), cvRec(Open("DEVICE")));
    ASSERT_NE(device->PutInt("DEVNBR", -101), 0);
    device->partner = NewBob<TestDevice>(device.get(), cvRec(Open("DEVICE")));
    ASSERT_NE(device->partner->PutInt("DEVNBR", -102), 0);
    const cvObjectId id{kDeviceType, -101, 0, 0};
    EXPECT_EQ(group->FindObject(id), nullptr);

    // An owner outside any map registers nothing.
    cvBobSet loose(nullptr);
    ASSERT_TRUE(loose.Add(device.get()));
    EXPECT_FALSE(device->IsRegistered());

    ASSERT_TRUE(group->Devices().Add(device.get()));
    EXPECT_TRUE(device->IsRegistered());
    EXPECT_EQ(device->Map(), group->Map());
    EXPECT_EQ(group->FindObject(id), device.get());
    EXPECT_EQ(group->FindObject(cvObjectId{kDeviceType, -102, 0, 0}), device->partner.get())
        << "its children join with it";
    EXPECT_EQ(group->Map()->Count(), 2);
    loose.RemoveAll();
    static_cast<void>(device.Reset());
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSetTest, RemovingTheLastReferenceDestroysTheObject) {
    cvBobRef<TestGroup> group = GroupWith({});
    cvBobSet set(group.get());
    for (int number = -101; number >= -103; --number) {
        cvBobRef<TestDevice> device = NewBob<TestDevice>(group.get(), cvRec(Open("DEVICE")));
        ASSERT_NE(device->PutInt("DEVNBR", number), 0);
        ASSERT_TRUE(set.Add(device.get()));
    }  // the set holds the only reference
    cvBobRef<TestDevice> held = cvBobRef<cvBob>::Shared(set.GetAt(0)).As<TestDevice>();
    EXPECT_EQ(Census::Alive(), 4);
    EXPECT_EQ(group->RefCount(), 4);

    EXPECT_EQ(set.RemoveAt(2), 0) << "destroyed";
    EXPECT_EQ(Census::Alive(), 3);
    set.RemoveAll();
    EXPECT_EQ(set.GetCount(), 0);
    EXPECT_EQ(Census::Alive(), 2) << "the group, and the device still held here";
    EXPECT_EQ(group->RefCount(), 2);
    EXPECT_EQ(held->RefCount(), 1);
    static_cast<void>(held.Reset());
    EXPECT_EQ(group->RefCount(), 1);
    static_cast<void>(group.Reset());
    EXPECT_EQ(Census::Alive(), 0);
}

TEST_F(BobSetTest, SortsByFieldsAndByTheObjectsOwnTexts) {
    cvBobRef<TestGroup> group = GroupWith({"delta", "alpha", "charlie", "bravo"});
    cvBobSet& set = group->Devices();
    const int references = set.GetAt(0)->RefCount();
    set.SortByField("NAME");
    EXPECT_EQ(Names(set), (std::vector<std::string>{"alpha", "bravo", "charlie", "delta"}));
    set.SortByField("DEVNBR", true);
    EXPECT_EQ(Names(set), (std::vector<std::string>{"bravo", "charlie", "alpha", "delta"}));
    // LABEL is no stored field: objects answer it themselves.
    ASSERT_NE(group->Device(0)->PutString("NAME", "zulu"), 0);
    set.SortByField("LABEL");
    EXPECT_EQ(Names(set), (std::vector<std::string>{"alpha", "charlie", "delta", "zulu"}));
    EXPECT_EQ(set.GetAt(0)->RefCount(), references) << "sorting moves, it does not count";
    EXPECT_EQ(set.SwapWithNext(0), 1);
    EXPECT_EQ(Names(set), (std::vector<std::string>{"charlie", "alpha", "delta", "zulu"}));
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSetTest, PutsOnEveryObject) {
    cvBobRef<TestGroup> group = GroupWith({"a", "b"});
    cvBobSet& set = group->Devices();
    // The identifier spans GROUPNBR, SCORE and SEEN: first, so the others stay.
    EXPECT_NE(set.PutObjectIdAll("GROUPNBR", cvObjectId{7, 0, 0, 0}), 0);
    EXPECT_NE(set.PutIntAll("GROUPNBR", 9), 0);
    EXPECT_NE(set.PutStringAll("NAME", "same"), 0);
    EXPECT_NE(set.PutDoubleAll("SCORE", 1.5), 0);
    EXPECT_NE(set.PutDateAll("SEEN", 0x07E8030F), 0);
    EXPECT_NE(set.PutTimeAll("TIMEMOD", 0x0C000000), 0);
    for (int i = 0; i < set.GetCount(); ++i) {
        EXPECT_EQ(set.GetAt(i)->GetInt("GROUPNBR"), 9);
        EXPECT_EQ(set.GetAt(i)->GetText("NAME"), "same");
        EXPECT_EQ(set.GetAt(i)->GetDouble("SCORE"), 1.5);
        EXPECT_EQ(set.GetAt(i)->GetDate("SEEN"), 0x07E8030Fu);
    }
    EXPECT_EQ(set.PutIntAll("NOSUCH", 1), 0) << "the first failure is the result";
    EXPECT_NE(cvBobSet().PutIntAll("GROUPNBR", 1), 0) << "an empty set succeeds";

    // Stored again, the devices hold what the puts gave them.
    ASSERT_EQ(group->Save(), 0);
    EXPECT_EQ(StoredName("DEVICE", "DEVNBR", 2), "same");
    static_cast<void>(group.DropAndReset());
}

TEST_F(BobSetTest, MapsFindTheNewestAndAreForgottenWhenTheyGo) {
    cvBobRef<TestGroup> group = GroupWith({"a"});
    cvBobMap map;
    TestDevice* a = group->Device(0);
    cvBobRef<TestDevice> twin = NewBob<TestDevice>(group.get(), cvRec(*a));
    EXPECT_TRUE(map.Add(a));
    EXPECT_TRUE(map.Add(twin.get()));
    EXPECT_TRUE(map.Add(a)) << "once";
    EXPECT_EQ(map.Count(), 2);
    EXPECT_EQ(map.Find(a->ObjectId()), twin.get()) << "the most recently added";
    EXPECT_EQ(map.Find(kDeviceType, a->GetInt("DEVNBR"), 1, 0), nullptr) << "all four numbers";
    EXPECT_TRUE(map.Remove(twin.get()));
    EXPECT_FALSE(map.Remove(twin.get()));
    EXPECT_EQ(map.Find(a->ObjectId()), a);
    cvBobRef<TestDevice> nothing = NewBob<TestDevice>(nullptr, cvRec(Open("NOTE")));
    EXPECT_FALSE(map.Add(nothing.get())) << "type 0";
    EXPECT_TRUE(map.Remove(a));
    static_cast<void>(nothing.Reset());

    static_cast<void>(twin.Reset());

    // A registered object that outlives its root forgets the root's map.
    cvBobRef<TestDevice> survivor = cvBobRef<TestDevice>::Shared(a);
    ASSERT_EQ(survivor->Map(), group->Map());
    static_cast<void>(group.DropAndReset());
    EXPECT_EQ(Census::Alive(), 1) << "the survivor alone";
    EXPECT_EQ(survivor->Map(), nullptr);
    EXPECT_EQ(survivor->Parent(), nullptr);
    static_cast<void>(survivor.Reset());
}

}  // namespace
