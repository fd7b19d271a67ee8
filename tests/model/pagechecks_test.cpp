// The rules of the network, device, group and equipment pages.

#include "model/pagechecks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/networkpagerules.h"
#include "model/pagesheets.h"
#include "model/tvmonequip.h"
#include "model/tvpagedev.h"
#include "model/tvpagenet.h"
#include "tests/model/pagingfixture.h"

namespace {

using model_testing::PagingFixture;

TEST(NetworkPageRules, EachProtocolEnablesHidesAndLabelsItsFields) {
    struct Case {
        int protocol;
        tvNetworkPageRules rules;
    };
    // label, port, reply to, comm port, password, server PIN, security code
    const Case cases[] = {
        {1, {"Modem Access Number", false, false, true, true, false, false}},
        {2, {"Modem Access Number", false, false, true, true, false, false}},
        {3, {"Modem Access Number", false, false, true, false, true, true}},
        {4, {"Server URL", true, false, false, true, false, true}},
        {5, {"Server URL", true, true, false, true, false, true}},
        {6, {"Email Domain", false, true, false, false, false, false}},
        {0, {"Modem Access Number", false, false, false, false, false, false}},
        {7, {"Modem Access Number", false, false, false, false, false, false}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NetworkPageRules(c.protocol), c.rules) << "protocol " << c.protocol;
    }
}

TEST(PinCheck, AsksOnlyAboutNonDigitsOnNetworksThatAreNotEmail) {
    struct Case {
        const char* pin;
        int protocol;
        bool asks;
    };
    const Case cases[] = {
        {"5551234", 1, false},  {"555-1234", 1, true},  {"12a", 4, true}, {"x", 3, true},
        {"john.doe", 6, false}, {"555-1234", 0, false}, {"", 1, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PinNeedsQuestion(c.pin, c.protocol), c.asks) << c.pin << " " << c.protocol;
    }
    EXPECT_EQ(PinQuestion(),
              "This PIN contains non-numeric characters which are generally not allowed.\n"
              "Do you want to continue?");
}

TEST(RequiredEntry, StopsOnlyAnEnabledWritableEmptyControl) {
    EXPECT_TRUE(MissingRequiredEntry(""));
    EXPECT_FALSE(MissingRequiredEntry("x"));
    EXPECT_FALSE(MissingRequiredEntry("", false, true));  // Reply to on a modem network
    EXPECT_FALSE(MissingRequiredEntry("", true, false));
}

class PageChecksTest : public PagingFixture {
  protected:
    // Answers every question with `yes` and keeps what was asked.
    tvYesNoQuestion Answer(bool yes) {
        return [this, yes](const std::string& question) {
            asked_.push_back(question);
            return yes;
        };
    }

    cvBobRoot<tvPageDev> NewDevice(const std::string& description, int network,
                                   const std::string& pin) {
        cvBobRoot<tvPageDev> device = tvPageDev::Create(manager());
        EXPECT_NE(device->PutString("DESCRIPTION", description), 0);
        EXPECT_NE(device->PutInt("PAGENETNBR", network), 0);
        EXPECT_NE(device->PutString("PIN", pin), 0);
        return device;
    }

    std::vector<std::string> asked_;
};

TEST_F(PageChecksTest, DeviceChecksInPageOrderWithTheirTexts) {
    const int tap = AddNetwork("Tap", 1);
    AddDevice("Ann", tap);
    struct Case {
        const char* description;
        int network;
        const char* pin;
        const char* field;
        const char* text;
    };
    const Case cases[] = {
        {"", tap, "1", "DESCRIPTION", "An entry is required"},
        {"Ann", tap, "1", "DESCRIPTION", "This entry requires a unique value."},
        {"Bob", 0, "1", "PAGENETNBR", "Selection required"},
        {"Bob", tap, "", "PIN", "An entry is required"},
        {"Bob", tap, "555-1234", "PIN",
         "This PIN contains non-numeric characters which are generally not allowed."},
        {"Bob", tap, "5551234", "", ""},
    };
    for (const Case& c : cases) {
        asked_.clear();
        cvBobRoot<tvPageDev> device = NewDevice(c.description, c.network, c.pin);
        const tvPageRefusal refusal = CheckPageRules(*device, Answer(false));
        EXPECT_EQ(refusal.field, c.field) << c.description << "/" << c.pin;
        EXPECT_EQ(refusal.text, c.text) << c.description << "/" << c.pin;
    }
}

TEST_F(PageChecksTest, PinQuestionIsAskedOnceAndYesAcceptsOnlyOnModemNetworks) {
    const int tap = AddNetwork("Tap", 1);
    const int mail = AddNetwork("Mail", 6);
    cvBobRoot<tvPageDev> device = NewDevice("Bob", tap, "555-1234");
    EXPECT_TRUE(CheckPageRules(*device, Answer(true)).Accepted());
    EXPECT_EQ(asked_, std::vector<std::string>{PinQuestion()});
    asked_.clear();
    cvBobRoot<tvPageDev> mailbox = NewDevice("Carol", mail, "carol.smith");
    EXPECT_TRUE(CheckPageRules(*mailbox, Answer(false)).Accepted());
    EXPECT_TRUE(asked_.empty());
}

TEST_F(PageChecksTest, AStoredRowKeepsItsOwnDescription) {
    const int tap = AddNetwork("Tap", 1);
    const int ann = AddDevice("Ann", tap);
    cvBobRoot<tvPageDev> device = tvPageDev::Load(manager(), ann);
    EXPECT_TRUE(CheckPageRules(*device, Answer(false)).Accepted());
    cvBobRoot<tvPageNet> network = tvPageNet::Create(manager());
    ASSERT_NE(network->PutString("DESCRIPTION", "Tap"), 0);
    EXPECT_EQ(CheckPageRules(*network, Answer(false)).text, "This entry requires a unique value.");
    ASSERT_NE(network->PutString("DESCRIPTION", "Snpp"), 0);
    EXPECT_TRUE(CheckPageRules(*network, Answer(false)).Accepted());
}

TEST_F(PageChecksTest, GroupsNeedADescriptionAndEquipmentAStoredDevice) {
    cvBobRoot<tvPageDev> group = tvPageDev::Create(manager(), true);
    EXPECT_EQ(CheckPageRules(*group, Answer(false)).text, "An entry is required");
    ASSERT_NE(group->PutString("DESCRIPTION", "Crew"), 0);
    EXPECT_TRUE(CheckPageRules(*group, Answer(false)).Accepted());  // no network, no PIN

    cvBobRoot<tvMonEquip> equipment = tvMonEquip::Create(manager());
    ASSERT_NE(equipment->PutString("DESCRIPTION", "Boiler"), 0);
    ASSERT_NE(equipment->PutInt("PAGEDEVNBR", 99), 0);  // no such row
    const tvPageRefusal refusal = CheckPageRules(*equipment, Answer(false));
    EXPECT_EQ(refusal.field, "PAGEDEVNBR");
    EXPECT_EQ(refusal.text, "Selection required");
    ASSERT_NE(equipment->PutInt("PAGEDEVNBR", AddDevice("Ann", AddNetwork("Tap"))), 0);
    EXPECT_TRUE(CheckPageRules(*equipment, Answer(false)).Accepted());
}

}  // namespace

namespace {

class PageSheetsTest : public model_testing::PagingFixture {};

TEST_F(PageSheetsTest, CaptionsPagesAndTheInactiveBox) {
    const int net = AddNetwork("Metro");
    const int ann = AddDevice("Ann", net);
    cvBobRoot<tvPageNet> new_network = tvPageNet::Create(manager());
    cvBobRoot<tvPageDev> new_device = tvPageDev::Create(manager());
    cvBobRoot<tvPageDev> new_group = tvPageDev::Create(manager(), true);
    cvBobRoot<tvMonEquip> new_equipment = tvMonEquip::Create(manager());
    cvBobRoot<tvPageDev> stored = tvPageDev::Load(manager(), ann);
    EXPECT_EQ(SheetCaption(*new_network), "New Paging Network");
    EXPECT_EQ(SheetCaption(*new_device), "New Paging Device");
    EXPECT_EQ(SheetCaption(*new_group), "New Paging Group");
    EXPECT_EQ(SheetCaption(*new_equipment), "New Monitored Equipment");
    EXPECT_EQ(SheetCaption(*stored), "Ann");
    using Pages = std::vector<std::string_view>;
    EXPECT_EQ(SheetPages(*new_network, false), (Pages{"General", "Comm Port", "Access Codes"}));
    EXPECT_EQ(SheetPages(*new_group, true), (Pages{"Group", "Members"}));
    EXPECT_EQ(SheetPages(*stored, false), (Pages{"General"}));
    EXPECT_EQ(SheetPages(*stored, true), (Pages{"General", "Groups"}));
    EXPECT_EQ(SheetPages(*new_equipment, true), (Pages{"General"}));
    EXPECT_FALSE(InactiveCheckBoxEnabled(*new_device));
    EXPECT_TRUE(InactiveCheckBoxEnabled(*stored));
}

TEST_F(PageSheetsTest, NetworkChoicesLeaveOutInactiveNetworks) {
    const int rural = AddNetwork("Rural");
    const int metro = AddNetwork("Metro");
    const int old = AddNetwork("Old");
    cvBobRoot<tvPageNet> network = tvPageNet::Load(manager(), old);
    ASSERT_NE(network->PutString("QINACTIVE", "Y"), 0);
    ASSERT_EQ(network->Save(), 0);
    network = nullptr;
    EXPECT_EQ(ActiveNetworkChoices(manager()),
              (std::vector<tvNetworkChoice>{{"Metro", metro}, {"Rural", rural}}));
}

}  // namespace
