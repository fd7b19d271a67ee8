// Networks, devices, groups, memberships and equipment against real tables.

#include "model/tvpagedev.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/tvgroupmember.h"
#include "model/tvmonequip.h"
#include "model/tvpagemsg.h"
#include "model/tvpagenet.h"
#include "tests/model/pagingfixture.h"

namespace {

using model_testing::PagingFixture;

class PagingObjectsTest : public PagingFixture {};

TEST_F(PagingObjectsTest, RegistersTheFiveTypesWithTheirTablesAndFields) {
    struct Expected {
        int32_t type;
        const char* caption;
        const char* table;
        const char* id1;
        const char* id2;
    };
    const Expected expected[] = {
        {1003, "Monitored Equipment", "MONEQUIP", "EQUIPNBR", ""},
        {1000, "Paging Device", "PAGEDEV", "PAGEDEVNBR", ""},
        {1004, "Paging Group Member", "PAGEGRP", "PAGEGRPNBR", "PAGEDEVNBR"},
        {1001, "Message", "PAGEMSG", "PAGEMSGNBR", ""},
        {1002, "Paging Network", "PAGENET", "PAGENETNBR", ""},
    };
    for (const Expected& e : expected) {
        const cvObjectType* entry = FindObjectType(e.type);
        ASSERT_NE(entry, nullptr) << e.type;
        EXPECT_EQ(entry->name, e.caption);
        EXPECT_EQ(entry->table, e.table);
        EXPECT_EQ(entry->id_fields[0], e.id1);
        EXPECT_EQ(entry->id_fields[1], e.id2);
        EXPECT_EQ(entry->key, 0);
        EXPECT_TRUE(entry->discriminator_field.empty());
    }
    EXPECT_EQ(FormatObjectId(1004, 3, 12, 0), "Paging Group Member 3.12");
    // A second registration adds nothing.
    EXPECT_FALSE(RegisterPagingObjectTypes());
}

TEST_F(PagingObjectsTest, FactoriesMakeTheClassOfEachTable) {
    const int net = AddNetwork("Net");
    const int device = AddDevice("Ann", net);
    cvBobRoot<tvPageMsg> message = tvPageMsg::Create(manager());
    ASSERT_TRUE(message);
    ASSERT_NE(message->PutInt("PAGEDEVNBR", device), 0);
    ASSERT_NE(message->Device(), nullptr);
    EXPECT_TRUE(message->Device()->IsKindOf("tvPageDev"));
    ASSERT_NE(message->Network(), nullptr);
    EXPECT_EQ(message->Network()->Number(), net);
}

TEST_F(PagingObjectsTest, IncompleteObjectsAreNotStored) {
    const int net = AddNetwork("Net");
    struct Case {
        const char* name;
        std::function<cvBobRoot<>(cvFileMgr&)> make;
        std::string_view table;
    };
    const Case cases[] = {
        {"device without PIN",
         [&](cvFileMgr& m) -> cvBobRoot<> {
             cvBobRoot<tvPageDev> d = tvPageDev::Create(m);
             EXPECT_NE(d->PutString("DESCRIPTION", "NoPin"), 0);
             EXPECT_NE(d->PutInt("PAGENETNBR", net), 0);
             return d;
         },
         kPageDevTable},
        {"device without network",
         [](cvFileMgr& m) -> cvBobRoot<> {
             cvBobRoot<tvPageDev> d = tvPageDev::Create(m);
             EXPECT_NE(d->PutString("DESCRIPTION", "NoNet"), 0);
             EXPECT_NE(d->PutString("PIN", "123"), 0);
             return d;
         },
         kPageDevTable},
        {"group without description",
         [](cvFileMgr& m) -> cvBobRoot<> { return tvPageDev::Create(m, true); }, kPageDevTable},
        {"equipment without description",
         [](cvFileMgr& m) -> cvBobRoot<> {
             cvBobRoot<tvMonEquip> e = tvMonEquip::Create(m);
             EXPECT_NE(e->PutInt("PAGEDEVNBR", 1), 0);
             return e;
         },
         kMonEquipTable},
        {"equipment without device",
         [](cvFileMgr& m) -> cvBobRoot<> {
             cvBobRoot<tvMonEquip> e = tvMonEquip::Create(m);
             EXPECT_NE(e->PutString("DESCRIPTION", "Boiler"), 0);
             return e;
         },
         kMonEquipTable},
    };
    for (const Case& c : cases) {
        cvBobRoot<> object = c.make(manager());
        ASSERT_TRUE(object) << c.name;
        EXPECT_EQ(object->Save(), 0) << c.name;
        EXPECT_TRUE(StoredRows(c.table).empty()) << c.name;
        EXPECT_TRUE(boxes_.empty()) << c.name;
    }
    EXPECT_TRUE(boxes_.empty()) << (boxes_.empty() ? "" : boxes_.front());

    // The complete ones are stored and numbered.
    cvBobRoot<tvPageDev> device = tvPageDev::Create(manager());
    ASSERT_NE(device->PutString("DESCRIPTION", "Ann"), 0);
    ASSERT_NE(device->PutString("PIN", "123"), 0);
    ASSERT_NE(device->PutInt("PAGENETNBR", net), 0);
    EXPECT_LT(device->Number(), 0);  // provisional until stored
    ASSERT_EQ(device->Save(), 0);
    EXPECT_GT(device->Number(), 0);
    cvBobRoot<tvPageDev> group = tvPageDev::Create(manager(), true);
    ASSERT_NE(group->PutString("DESCRIPTION", "Crew"), 0);
    ASSERT_EQ(group->Save(), 0);
    EXPECT_EQ(StoredRows(kPageDevTable).size(), 2u);
}

TEST_F(PagingObjectsTest, EmptyingAStoredDeviceRemovesItsRowAndMemberships) {
    const int net = AddNetwork("Net");
    const int ann = AddDevice("Ann", net);
    const int bob = AddDevice("Bob", net);
    const int crew = AddGroup("Crew", {ann, bob});
    cvBobRoot<tvPageDev> device = tvPageDev::Load(manager(), ann);
    ASSERT_TRUE(device);
    ASSERT_NE(device->PutString("PIN", ""), 0);
    ASSERT_EQ(device->Save(), 0);
    EXPECT_FALSE(tvPageDev::Load(manager(), ann));
    EXPECT_FALSE(MembershipStored(crew, ann));
    EXPECT_TRUE(MembershipStored(crew, bob));
}

TEST_F(PagingObjectsTest, AnIncompleteDeviceReachedThroughAMessageStays) {
    const int net = AddNetwork("Net");
    const int device = AddDevice("Imported", net, "");  // written without a PIN
    cvBobRoot<tvPageMsg> message = tvPageMsg::Create(manager());
    ASSERT_NE(message->PutInt("PAGEDEVNBR", device), 0);
    ASSERT_NE(message->PutString("TEXT", "hi"), 0);
    ASSERT_NE(message->Device(), nullptr);
    ASSERT_EQ(message->Save(), 0);
    EXPECT_TRUE(tvPageDev::Load(manager(), device));
    EXPECT_EQ(StoredRows(kPageMsgTable).size(), 1u);
}

TEST_F(PagingObjectsTest, MembersPageStoresCheckedAndDeletesUncheckedMemberships) {
    const int net = AddNetwork("Net");
    const int cy = AddDevice("Cy", net);
    const int ann = AddDevice("Ann", net);
    const int bob = AddDevice("Bob", net);
    const int other = AddGroup("Other");
    const int crew = AddGroup("Crew", {ann, bob});
    cvBobRoot<tvPageDev> group = tvPageDev::Load(manager(), crew);
    ASSERT_TRUE(group);

    EXPECT_EQ(group->Members().GetCount(), 2);
    cvBobSet& candidates = group->Candidates();
    // Devices only, in description order, checked where the membership is stored.
    std::vector<std::pair<int, bool>> rows;
    for (int i = 0; i < candidates.GetCount(); ++i) {
        tvGroupMember* member = AsGroupMember(candidates.GetAt(i));
        ASSERT_NE(member, nullptr);
        EXPECT_EQ(member->GroupNumber(), crew);
        rows.emplace_back(member->DeviceNumber(), member->IsChecked());
    }
    EXPECT_EQ(rows, (std::vector<std::pair<int, bool>>{{ann, true}, {bob, true}, {cy, false}}));

    AsGroupMember(candidates.GetAt(0))->SetChecked(false);  // Ann out
    AsGroupMember(candidates.GetAt(2))->SetChecked(true);   // Cy in
    ASSERT_EQ(group->Save(), 0);
    EXPECT_FALSE(MembershipStored(crew, ann));
    EXPECT_TRUE(MembershipStored(crew, bob));
    EXPECT_TRUE(MembershipStored(crew, cy));
    EXPECT_FALSE(MembershipStored(crew, other));

    // Select none empties the group.
    group = tvPageDev::Load(manager(), crew);
    group->CheckAllCandidates(false);
    ASSERT_EQ(group->Save(), 0);
    EXPECT_TRUE(StoredRows(kPageGrpTable).empty());
}

TEST_F(PagingObjectsTest, ANewGroupStoresItsCheckedMembersUnderItsNewNumber) {
    const int net = AddNetwork("Net");
    const int ann = AddDevice("Ann", net);
    const int bob = AddDevice("Bob", net);
    cvBobRoot<tvPageDev> group = tvPageDev::Create(manager(), true);
    ASSERT_NE(group->PutString("DESCRIPTION", "Crew"), 0);
    cvBobSet& candidates = group->Candidates();
    ASSERT_EQ(candidates.GetCount(), 2);
    EXPECT_FALSE(AsGroupMember(candidates.GetAt(0))->IsChecked());
    group->CheckAllCandidates(true);
    ASSERT_EQ(group->Save(), 0);
    const int crew = group->Number();
    ASSERT_GT(crew, 0);
    EXPECT_TRUE(MembershipStored(crew, ann));
    EXPECT_TRUE(MembershipStored(crew, bob));
    EXPECT_EQ(StoredRows(kPageGrpTable).size(), 2u);
}

TEST_F(PagingObjectsTest, GroupsPageOfADeviceListsGroupsAndStoresTheChecked) {
    const int net = AddNetwork("Net");
    const int ann = AddDevice("Ann", net);
    const int crew = AddGroup("Crew", {ann});
    const int admins = AddGroup("Admins");
    cvBobRoot<tvPageDev> device = tvPageDev::Load(manager(), ann);
    ASSERT_EQ(device->Groups().GetCount(), 1);
    EXPECT_EQ(AsGroupMember(device->Groups().GetAt(0))->GroupNumber(), crew);
    cvBobSet& candidates = device->Candidates();
    ASSERT_EQ(candidates.GetCount(), 2);
    tvGroupMember* first = AsGroupMember(candidates.GetAt(0));
    EXPECT_EQ(first->GroupNumber(), admins);  // "Admins" before "Crew"
    EXPECT_FALSE(first->IsChecked());
    EXPECT_TRUE(AsGroupMember(candidates.GetAt(1))->IsChecked());
    // The membership object is the one the Groups set holds.
    EXPECT_EQ(candidates.GetAt(1), device->Groups().GetAt(0));
    first->SetChecked(true);
    ASSERT_EQ(device->Save(), 0);
    EXPECT_TRUE(MembershipStored(admins, ann));
    EXPECT_TRUE(MembershipStored(crew, ann));
}

TEST_F(PagingObjectsTest, DisplayTextAndNetworkLink) {
    const int net = AddNetwork("Metro");
    const int other = AddNetwork("Rural");
    const int ann = AddDevice("Ann", net, "5551234");
    const int crew = AddGroup("Crew");
    cvBobRoot<tvPageDev> device = tvPageDev::Load(manager(), ann);
    EXPECT_EQ(device->DisplayText(), "5551234@Metro");
    ASSERT_NE(device->PutInt("PAGENETNBR", other), 0);
    ASSERT_NE(device->Network(), nullptr);
    EXPECT_EQ(device->Network()->Number(), other);
    EXPECT_EQ(device->DisplayText(), "5551234@Rural");
    cvBobRoot<tvPageDev> group = tvPageDev::Load(manager(), crew);
    EXPECT_EQ(group->DisplayText(), "<Group>");
    EXPECT_EQ(tvPageDev::FindByDescription(manager(), "Crew")->Number(), crew);
    EXPECT_FALSE(tvPageDev::FindByDescription(manager(), "Nobody"));
}

TEST_F(PagingObjectsTest, EquipmentLinksItsDeviceAndIsStoredWhenComplete) {
    const int net = AddNetwork("Net");
    const int ann = AddDevice("Ann", net);
    const int bob = AddDevice("Bob", net);
    cvBobRoot<tvMonEquip> equipment = tvMonEquip::Create(manager());
    ASSERT_NE(equipment->PutString("DESCRIPTION", "Boiler"), 0);
    ASSERT_NE(equipment->PutInt("PAGEDEVNBR", ann), 0);
    ASSERT_EQ(equipment->Device()->Number(), ann);
    ASSERT_NE(equipment->PutInt("PAGEDEVNBR", bob), 0);
    ASSERT_EQ(equipment->Device()->Number(), bob);
    ASSERT_EQ(equipment->Save(), 0);
    const std::vector<cvRec> rows = StoredRows(kMonEquipTable);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].GetInt("PAGEDEVNBR"), bob);
    EXPECT_GT(rows[0].GetInt("EQUIPNBR"), 0);
}

}  // namespace
