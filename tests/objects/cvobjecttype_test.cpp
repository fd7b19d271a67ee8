// The object type registry: identifier texts, which entry a row belongs to, the
// identifier read from a row, record sets searching by identifier through the
// registry, and lookups in the application's table cache.

#include "objects/cvobjecttype.h"

#include <gtest/gtest.h>

#include "storage/cvcachemgr.h"
#include "storage/cvrecset.h"
#include "tests/objects/objectsfixture.h"

namespace {

using namespace objects_testing;

class ObjectTypeTest : public ObjectsFixture {};

TEST_F(ObjectTypeTest, IdentifierTexts) {
    struct Case {
        cvObjectId id;
        const char* text;
    };
    const Case cases[] = {
        {{kMemberType, 3, 12, 0}, "Paging Group Member 3.12"},
        {{kMemberType, 3, 0, 0}, "Paging Group Member 3"},
        {{kMemberType, 3, 0, 7}, "Paging Group Member 3.0.7"},
        {{kMemberType, -101, 0, 0}, "Paging Group Member -101"},
        {{kDeviceType, 57, 0, 0}, "Device 57"},
        {{4711, 5, 1, 0}, "4711 5.1"},  // not registered: the number
        {{0, 5, 1, 2}, ""},             // no object
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatObjectId(c.id), c.text) << c.id.Text();
    }

    // The same from a stored row of the type's table.
    cvRec member(Open("MEMBER"));
    ASSERT_NE(member.PutInt("GROUPNBR", 3), 0);
    ASSERT_NE(member.PutInt("DEVNBR", 12), 0);
    EXPECT_EQ(ObjectIdOf(member), (cvObjectId{kMemberType, 3, 12, 0}));
    ASSERT_EQ(member.Save(), 0);
    cvBobRef<> object = NewBob<TestMember>(nullptr, member);
    EXPECT_EQ(object->ObjectText(), "Paging Group Member 3.12");
}

TEST_F(ObjectTypeTest, RegistrationAndTheEntryOfARow) {
    EXPECT_FALSE(RegisterObjectType({.type = 0, .name = "Nothing", .table = "GROUPS"}))
        << "type 0 is no object";
    EXPECT_FALSE(RegisterObjectType({.type = kGroupType, .name = "Again", .table = "DEVICE"}))
        << "numbers are unique";
    ASSERT_NE(FindObjectType(kGroupType), nullptr);
    EXPECT_EQ(FindObjectType(kGroupType)->name, "Group");
    EXPECT_EQ(FindObjectType(9999), nullptr);

    // Two types share DEVICE rows through a discriminator on NAME; the first entry that
    // matches wins, and the plain entry registered first takes every row.
    ClearObjectTypes();
    ASSERT_TRUE(RegisterObjectType({.type = 3001,
                                    .name = "Pager",
                                    .table = "DEVICE",
                                    .id_fields = {"DEVNBR", "", ""},
                                    .discriminator_field = "NAME",
                                    .discriminator_value = "pager"}));
    ASSERT_TRUE(RegisterObjectType({.type = 3002,
                                    .name = "Other device",
                                    .table = "DEVICE",
                                    .id_fields = {"DEVNBR", "", ""}}));
    cvFile& file = Open("DEVICE");
    cvRec pager(file);
    ASSERT_NE(pager.PutString("NAME", "pager"), 0);
    ASSERT_NE(pager.PutInt("DEVNBR", 8), 0);
    cvRec phone(file);
    ASSERT_NE(phone.PutString("NAME", "phone"), 0);
    ASSERT_NE(phone.PutInt("DEVNBR", 9), 0);
    EXPECT_EQ(ObjectTypeOf(pager)->type, 3001);
    EXPECT_EQ(ObjectTypeOf(phone)->type, 3002);
    EXPECT_EQ(ObjectIdOf(phone), (cvObjectId{3002, 9, 0, 0}));
    EXPECT_EQ(ObjectTypeOf(cvRec(Open("GROUPS"))), nullptr);
    EXPECT_EQ(ObjectIdOf(cvRec(Open("GROUPS"))), cvObjectId{});

    // The file's current row answers the same way.
    ASSERT_EQ(pager.Save(), 0);
    ASSERT_EQ(file.GetFirst(0), 0);
    EXPECT_EQ(ObjectTypeOfFile(file)->type, 3001);
    EXPECT_EQ(ObjectIdOfFile(file), (cvObjectId{3001, 8, 0, 0}));
}

TEST_F(ObjectTypeTest, IdentifyingFieldsOfEveryIntegerKindReadAlike) {
    ClearObjectTypes();
    // CODE is Unsigned Int, SEEN a Date, GROUPNBR Integer; negative values stay signed.
    ASSERT_TRUE(RegisterObjectType({.type = 3003,
                                    .name = "Odd",
                                    .table = "DEVICE",
                                    .id_fields = {"CODE", "SEEN", "GROUPNBR"}}));
    cvRec record(Open("DEVICE"));
    ASSERT_NE(record.PutUInt("CODE", 0xFFFFFFFFu), 0);
    ASSERT_NE(record.PutDate("SEEN", 0x07E8030F), 0);
    ASSERT_NE(record.PutInt("GROUPNBR", -5), 0);
    EXPECT_EQ(ObjectIdOf(record), (cvObjectId{3003, -1, 0x07E8030F, -5}));

    // Writing identifying values gives them back; other field types are refused.
    cvRec blank(Open("DEVICE"));
    EXPECT_TRUE(PutIdentifyingValue(blank.Table(), "GROUPNBR", -7, blank.Buffer()));
    EXPECT_TRUE(PutIdentifyingValue(blank.Table(), "BIG", -7, blank.Buffer()));
    EXPECT_EQ(blank.GetInt("GROUPNBR"), -7);
    EXPECT_EQ(blank.GetInt64("BIG"), -7) << "sign-extended over 8 bytes";
    EXPECT_FALSE(PutIdentifyingValue(blank.Table(), "NAME", 1, blank.Buffer()));
    EXPECT_FALSE(PutIdentifyingValue(blank.Table(), "SCORE", 1, blank.Buffer()));
}

TEST_F(ObjectTypeTest, RecordSetsFindRecordsByIdentifier) {
    const int first = AddDeviceRow("first", 1);
    const int second = AddDeviceRow("second", 1);
    cvRecSet set;
    ASSERT_TRUE(set.Add(ReadRow("DEVICE", "DEVNBR", first)));
    ASSERT_TRUE(set.Add(ReadRow("DEVICE", "DEVNBR", second)));
    EXPECT_EQ(set.FindById(kDeviceType, second, 0, 0), 1);
    EXPECT_EQ(set.FindById(kDeviceType, 99, 0, 0), -1);
    EXPECT_EQ(set.FindById(kGroupType, first, 0, 0), -1);
    ClearObjectTypes();
    EXPECT_EQ(set.FindById(kDeviceType, second, 0, 0), -1) << "no types, no identifiers";
}

TEST_F(ObjectTypeTest, LookupsInTheTableCache) {
    const int device = AddDeviceRow("cached", 1);
    // No cached table: nothing, silently.
    EXPECT_EQ(LookupCached(kDeviceType, device, 0, 0), nullptr);
    EXPECT_TRUE(LogLinesWith("Lookup on").empty());

    cvCacheMgr caches(&manager());
    StorageApp().SetCacheManager(&caches);
    StorageApp().AddCachedTable("DEVICE", 0);
    const cvRec* found = LookupCached(kDeviceType, device, 0, 0);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetText("NAME"), "cached");
    EXPECT_EQ(LookupCached(kDeviceType, 99, 0, 0), nullptr);
    EXPECT_EQ(LogLinesWith("Lookup on Device 99 failed.\n").size(), 1u);
    EXPECT_EQ(LookupCached(9999, 1, 0, 0), nullptr) << "unregistered type";

    // GetObject takes the cached row before reading the file.
    cvBobRef<TestGroup> group = LoadGroup(AddGroupRow("g"));
    const uint64_t calls = manager().CallCount();
    cvBobRef<> object = group->GetObject(kDeviceType, device);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->GetText("NAME"), "cached");
    EXPECT_EQ(manager().CallCount(), calls) << "no record-manager call";
    static_cast<void>(object.Reset());
    static_cast<void>(group.DropAndReset());
    StorageApp().SetCacheManager(nullptr);
}

}  // namespace
