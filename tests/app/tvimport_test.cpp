// The import of an older release's files into a new database, on real files: the older
// files are written with the dictionary's OLDNET, OLDDEV, OLDGROUP and OLDEQUIP
// layouts, the import runs through the application object.

#include "app/tvimport.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>

#include "app/tvapp.h"
#include "platform/profile/profile.h"
#include "tests/app/appfixture.h"

namespace {

using app_testing::AppFixture;

struct OldNetwork {
    const char* description;
    const char* phone;
    int rate;
    const char* password;
    int protocol;
    int max_length;
    const char* server_pin;
    const char* security_code;
};
struct OldDevice {
    const char* description;
    const char* network;
    const char* pin;
    const char* password;
    int max_length;
    int inactive;
};
struct OldMembership {
    const char* group;
    const char* device;
};
struct OldEquipment {
    const char* description;
    const char* phone;
    const char* contact;
    const char* pager;
};

class ImportTest : public AppFixture {
  protected:
    void SetUp() override {
        ASSERT_EQ(Start(tvIncompleteAnswer::kYes), tvStartResult::kStarted);
        presenter_.Clear();
    }

    // Older files in a directory of their own.
    void WriteOlderFiles(const std::string& directory, const std::vector<OldNetwork>& networks,
                         const std::vector<OldDevice>& devices,
                         const std::vector<OldMembership>& memberships,
                         const std::vector<OldEquipment>& equipment, bool with_groups = true) {
        auto dictionary = LoadDictionary(ddf_.dir());
        cvFileMgr manager(directory, dictionary.get());
        const auto table = [&](const char* name) {
            std::string path;
            EXPECT_EQ(manager.CreateFile(name, &path), 0);
            return manager.OpenTable(name);
        };
        cvFile* net = table("OLDNET");
        cvFile* dev = table("OLDDEV");
        cvFile* group = with_groups ? table("OLDGROUP") : nullptr;
        cvFile* equip = table("OLDEQUIP");
        // One commit for all of it.
        ASSERT_EQ(net->BeginTransaction(), 0);
        for (const OldNetwork& n : networks) {
            cvRec row(*net);
            ASSERT_NE(row.PutString("DESCRIPTION", n.description), 0);
            ASSERT_NE(row.PutString("PHONE", n.phone), 0);
            ASSERT_NE(row.PutInt("RATE", n.rate), 0);
            ASSERT_NE(row.PutString("PASSWORD", n.password), 0);
            ASSERT_NE(row.PutInt("PROTOCOL", n.protocol), 0);
            ASSERT_NE(row.PutInt("MAXMSGLEN", n.max_length), 0);
            ASSERT_NE(row.PutString("SERVERPIN", n.server_pin), 0);
            ASSERT_NE(row.PutString("SECURITYCODE", n.security_code), 0);
            ASSERT_EQ(row.Save(), 0);
        }
        for (const OldDevice& d : devices) {
            cvRec row(*dev);
            ASSERT_NE(row.PutString("DESCRIPTION", d.description), 0);
            ASSERT_NE(row.PutString("PAGENETNBR", d.network), 0);
            ASSERT_NE(row.PutString("PIN", d.pin), 0);
            ASSERT_NE(row.PutString("PASSWORD", d.password), 0);
            ASSERT_NE(row.PutString("EMPLOYEENBR", "E1"), 0);
            ASSERT_NE(row.PutInt("MAXMSGLEN", d.max_length), 0);
            ASSERT_NE(row.PutInt("QINACTIVE", d.inactive), 0);
            ASSERT_EQ(row.Save(), 0);
        }
        if (with_groups) {
            for (const OldMembership& m : memberships) {
                cvRec row(*group);
                ASSERT_NE(row.PutString("PAGEGRPNBR", m.group), 0);
                ASSERT_NE(row.PutString("PAGEDEVNBR", m.device), 0);
                ASSERT_EQ(row.Save(), 0);
            }
        }
        for (const OldEquipment& e : equipment) {
            cvRec row(*equip);
            ASSERT_NE(row.PutString("DESCRIPTION", e.description), 0);
            ASSERT_NE(row.PutString("PHONE", e.phone), 0);
            ASSERT_NE(row.PutString("CONTACT", e.contact), 0);
            ASSERT_NE(row.PutString("PAGER", e.pager), 0);
            ASSERT_EQ(row.Save(), 0);
        }
        ASSERT_EQ(net->EndTransaction(), 0);
    }

    void WriteStandardFiles(const std::string& directory, bool with_groups = true) {
        WriteOlderFiles(
            directory,
            {{"Metro", "5551000", 1200, "pw1", 2, 80, "sp1", "sc1"},
             {"Skyline", "5552000", 9600, "pw2", 3, 0, "sp2", "sc2"}},
            {{"Alice", "Metro", "1001", "apw", 40, 0},
             {"Bob", "Nowhere", "1002", "", 0, 0},
             {"Carol", "Skyline", "1003", "", 0, 1},
             {"Dave", "Gone", "1004", "", 0, 0},
             {"Erin", "Nowhere", "1005", "", 0, 0},
             {"*Team", "", "", "", 0, 0},
             {"", "Metro", "9999", "", 0, 0}},
            {{"*Team", "Alice"}, {"*Team", "Bob"}, {"*Team", "Carol"}, {"*Ghost", "Alice"}},
            {{"Pump", "5553000", "Eve", "*Team"},
             {"Boiler", "5554000", "Frank", "Carol"},
             {"Chiller", "5555000", "Gina", "Nobody"}},
            with_groups);
    }

    tvImportResult Import(std::deque<std::optional<std::string>> locations) {
        tvImport import(*app_);
        const tvImportResult result = import.Run([&]() -> std::optional<std::string> {
            if (locations.empty()) {
                return std::nullopt;
            }
            std::optional<std::string> next = locations.front();
            locations.pop_front();
            return next;
        });
        counts_ = import.Imported();
        return result;
    }

    // Every row of a table as FIELD=value texts of the named fields, in key 0 order.
    std::vector<std::string> Rows(std::string_view table, const std::vector<std::string>& fields) {
        std::vector<std::string> rows;
        cvFile* file = app_->OpenTable(table);
        EXPECT_NE(file, nullptr);
        for (int status = file->GetFirst(0); status == 0; status = file->GetNext()) {
            std::string row;
            for (const std::string& field : fields) {
                row += (row.empty() ? "" : " ") + field + "=" + file->GetText(field, 1);
            }
            rows.push_back(row);
        }
        return rows;
    }

    tvImportCounts counts_;
};

TEST_F(ImportTest, NetworksDevicesGroupsAndMembershipsComeOverWithNewNumbers) {
    TempDir older;
    WriteStandardFiles(older.dir());
    EXPECT_EQ(Import({older.path().string()}), tvImportResult::kImported);

    // Each device with an unknown network is reported, a network named twice twice;
    // nothing else is said.
    EXPECT_EQ(presenter_.Texts(),
              (std::vector<std::string>{"Network Nowhere not found\n", "Network Gone not found\n",
                                        "Network Nowhere not found\n"}));
    EXPECT_EQ(Rows("PAGENET", {"PAGENETNBR", "DESCRIPTION", "PHONE", "RATE", "PASSWORD",
                               "MAXMSGLEN", "SERVERPIN", "SECURITYCODE", "PROTOCOL", "DATABITS"}),
              (std::vector<std::string>{
                  "PAGENETNBR=1 DESCRIPTION=Metro PHONE=5551000 RATE=1200 PASSWORD=pw1 "
                  "MAXMSGLEN=80 SERVERPIN=sp1 SECURITYCODE=sc1 PROTOCOL=1 DATABITS=7",
                  "PAGENETNBR=2 DESCRIPTION=Skyline PHONE=5552000 RATE=9600 PASSWORD=pw2 "
                  "MAXMSGLEN=0 SERVERPIN=sp2 SECURITYCODE=sc2 PROTOCOL=1 DATABITS=7"}));
    // In key order of the older file: *Team sorts before the letters.
    EXPECT_EQ(Rows("PAGEDEV", {"PAGEDEVNBR", "DESCRIPTION", "QGROUP", "PAGENETNBR", "PIN",
                               "PASSWORD", "MAXMSGLEN", "QINACTIVE"}),
              (std::vector<std::string>{
                  "PAGEDEVNBR=1 DESCRIPTION=*Team QGROUP=Y PAGENETNBR=0 PIN= PASSWORD= "
                  "MAXMSGLEN=0 QINACTIVE=N",
                  "PAGEDEVNBR=2 DESCRIPTION=Alice QGROUP=N PAGENETNBR=1 PIN=1001 PASSWORD=apw "
                  "MAXMSGLEN=40 QINACTIVE=N",
                  "PAGEDEVNBR=3 DESCRIPTION=Carol QGROUP=N PAGENETNBR=2 PIN=1003 PASSWORD= "
                  "MAXMSGLEN=0 QINACTIVE=N"}));
    // Bob was skipped and *Ghost never existed: their rows are dropped.
    EXPECT_EQ(Rows("PAGEGRP", {"PAGEGRPNBR", "PAGEDEVNBR"}),
              (std::vector<std::string>{"PAGEGRPNBR=1 PAGEDEVNBR=2", "PAGEGRPNBR=1 PAGEDEVNBR=3"}));
    // Alarm Watch is off: the older equipment file is ignored.
    EXPECT_EQ(counts_.equipment, 0);
    EXPECT_EQ(counts_.networks, 2);
    EXPECT_EQ(counts_.devices, 2);
    EXPECT_EQ(counts_.groups, 1);
    EXPECT_EQ(counts_.memberships, 2);
}

TEST_F(ImportTest, WithAlarmWatchTheEquipmentComesOverWithItsPagers) {
    platform::Profile profile;
    ASSERT_EQ(profile.WriteNumber(platform::ProfileScope::kMachine, "Settings", "Alarm Watch", 1),
              platform::ProfileResult::kOk);
    ASSERT_EQ(Start(tvIncompleteAnswer::kYes), tvStartResult::kStarted);
    presenter_.Clear();
    TempDir older;
    WriteStandardFiles(older.dir());
    EXPECT_EQ(Import({older.dir()}), tvImportResult::kImported);
    EXPECT_EQ(presenter_.Texts(),
              (std::vector<std::string>{"Network Nowhere not found\n", "Network Gone not found\n",
                                        "Network Nowhere not found\n",
                                        "Pager Nobody not found for Chiller\n"}));
    EXPECT_EQ(Rows("MONEQUIP", {"EQUIPNBR", "DESCRIPTION", "PHONE", "CONTACT", "PAGEDEVNBR"}),
              (std::vector<std::string>{
                  "EQUIPNBR=1 DESCRIPTION=Boiler PHONE=5554000 CONTACT=Frank PAGEDEVNBR=3",
                  "EQUIPNBR=2 DESCRIPTION=Chiller PHONE=5555000 CONTACT=Gina PAGEDEVNBR=0",
                  "EQUIPNBR=3 DESCRIPTION=Pump PHONE=5553000 CONTACT=Eve PAGEDEVNBR=1"}));
}

TEST_F(ImportTest, ASecondImportIsRefusedAndAWrongLocationIsAskedAgain) {
    TempDir empty;
    TempDir older;
    WriteStandardFiles(older.dir());
    // The first location lacks the files; the dialog's empty entry is refused; then the
    // right one.
    EXPECT_EQ(Import({empty.path().string(), "", older.dir()}), tvImportResult::kImported);
    EXPECT_EQ(presenter_.Texts()[0],
              "Older versions of the network and device files (tvnet.dat, tvuser.dat) were not "
              "found in " +
                  empty.dir());
    EXPECT_EQ(presenter_.Texts()[1], "An entry is required");

    presenter_.Clear();
    EXPECT_EQ(Import({older.dir()}), tvImportResult::kNotEmpty);
    EXPECT_EQ(presenter_.Texts(),
              std::vector<std::string>{
                  "The paging device and network files must be empty in order to import"});
    EXPECT_EQ(Rows("PAGENET", {"DESCRIPTION"}).size(), 2u);
    EXPECT_EQ(Rows("PAGEGRP", {"PAGEGRPNBR"}).size(), 2u);
}

TEST_F(ImportTest, CancellingAfterAWrongLocationImportsNothing) {
    TempDir empty;
    EXPECT_EQ(Import({empty.dir()}), tvImportResult::kCancelled);
    EXPECT_EQ(presenter_.Texts().size(), 1u);
    EXPECT_TRUE(Rows("PAGENET", {"DESCRIPTION"}).empty());
    EXPECT_TRUE(Rows("PAGEDEV", {"DESCRIPTION"}).empty());
}

TEST_F(ImportTest, AnInstallationWithoutAGroupFileStillGetsItsNetworksAndDevices) {
    TempDir older;
    WriteStandardFiles(older.dir(), false);
    EXPECT_EQ(Import({older.dir()}), tvImportResult::kImported);
    EXPECT_EQ(counts_.networks, 2);
    EXPECT_EQ(counts_.devices, 2);
    EXPECT_EQ(counts_.memberships, 0);
    EXPECT_TRUE(Rows("PAGEGRP", {"PAGEGRPNBR"}).empty());
}

}  // namespace
