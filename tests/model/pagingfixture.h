#pragma once
// A paging database for the object tests: the model fixture's dictionary and
// directories, the paging object types registered, the application's file manager on
// the data directory (this is the user-interface thread), every paging table open, and
// the clock held at 10 March 2026, 12:00 local time. Rows are written through plain
// records so that the objects under test read what another writer stored.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/pagingobjecttypes.h"
#include "model/pagingtables.h"
#include "objects/cvobjecttype.h"
#include "platform/core/clock.h"
#include "storage/cvfile.h"
#include "storage/cvrec.h"
#include "storage/packeddatetime.h"
#include "tests/model/modelfixture.h"

namespace model_testing {

class PagingFixture : public ModelFixture {
  protected:
    PagingFixture() { platform::SetClock(&clock_); }
    ~PagingFixture() override {
        ClearObjectTypes();
        StorageApp().SetFileManager(nullptr);
        manager_.reset();
        platform::SetClock(nullptr);
    }

    void SetUp() override {
        ModelFixture::SetUp();
        ASSERT_TRUE(RegisterPagingObjectTypes());
        StorageApp().SetDictionary(&dict_);
        StorageApp().SetDataDirectory(data_.dir());
        manager_ = NewManager();
        StorageApp().SetFileManager(manager_.get());
        // Files first opened inside a transaction that has written cannot be written
        // until it ends, so every table is opened now.
        for (std::string_view table :
             {kPageNetTable, kPageDevTable, kPageGrpTable, kMonEquipTable, kPageMsgTable}) {
            ASSERT_NE(manager_->OpenTable(table), nullptr) << table;
        }
        boxes_.clear();  // the reports of the files that were missing and got created
    }

    cvFileMgr& manager() { return *manager_; }
    cvFile& Table(std::string_view table) { return *manager_->OpenTable(table); }

    int AddNetwork(const std::string& description, int protocol = 1, int max_length = 0) {
        cvRec row(Table(kPageNetTable));
        EXPECT_NE(row.PutInt("PAGENETNBR", 0), 0);
        EXPECT_NE(row.PutString("DESCRIPTION", description), 0);
        EXPECT_NE(row.PutInt("PROTOCOL", protocol), 0);
        EXPECT_NE(row.PutInt("MAXMSGLEN", max_length), 0);
        EXPECT_EQ(row.Save(), 0);
        return row.GetInt("PAGENETNBR");
    }
    int AddDevice(const std::string& description, int network, const std::string& pin = "5551234",
                  int max_length = 0) {
        cvRec row(Table(kPageDevTable));
        EXPECT_NE(row.PutInt("PAGEDEVNBR", 0), 0);
        EXPECT_NE(row.PutString("DESCRIPTION", description), 0);
        EXPECT_NE(row.PutInt("PAGENETNBR", network), 0);
        EXPECT_NE(row.PutString("PIN", pin), 0);
        EXPECT_NE(row.PutInt("MAXMSGLEN", max_length), 0);
        EXPECT_EQ(row.Save(), 0);
        return row.GetInt("PAGEDEVNBR");
    }
    int AddGroup(const std::string& description, const std::vector<int>& members = {}) {
        cvRec row(Table(kPageDevTable));
        EXPECT_NE(row.PutInt("PAGEDEVNBR", 0), 0);
        EXPECT_NE(row.PutString("DESCRIPTION", description), 0);
        EXPECT_NE(row.PutString("QGROUP", "Y"), 0);
        EXPECT_EQ(row.Save(), 0);
        const int group = row.GetInt("PAGEDEVNBR");
        for (int device : members) {
            AddMembership(group, device);
        }
        return group;
    }
    void AddMembership(int group, int device) {
        cvRec row(Table(kPageGrpTable));
        EXPECT_NE(row.PutInt("PAGEGRPNBR", group), 0);
        EXPECT_NE(row.PutInt("PAGEDEVNBR", device), 0);
        EXPECT_EQ(row.Save(), 0);
    }
    // A stored message row: status and schedule as given, the text as typed.
    int AddMessage(int device, int status, uint32_t date, uint32_t time,
                   const std::string& text = "hello") {
        cvRec row(Table(kPageMsgTable));
        EXPECT_NE(row.PutInt("PAGEMSGNBR", 0), 0);
        EXPECT_NE(row.PutInt("PAGEDEVNBR", device), 0);
        EXPECT_NE(row.PutInt("STATUS", status), 0);
        EXPECT_NE(row.PutDate("SCHEDDATE", date), 0);
        EXPECT_NE(row.PutTime("SCHEDTIME", time), 0);
        EXPECT_NE(row.PutString("TEXT", text), 0);
        EXPECT_EQ(row.Save(), 0);
        return row.GetInt("PAGEMSGNBR");
    }

    // Every row of a table on key 0, as stored.
    std::vector<cvRec> StoredRows(std::string_view table) {
        cvFile& file = Table(table);
        std::vector<cvRec> rows;
        for (int status = file.GetFirst(0); status == 0; status = file.GetNext()) {
            rows.emplace_back(file, cvRec::kFromFile);
        }
        return rows;
    }
    bool MembershipStored(int group, int device) {
        cvFile& file = Table(kPageGrpTable);
        file.ClearKey(0);
        EXPECT_NE(file.PutInt("PAGEGRPNBR", group), 0);
        EXPECT_NE(file.PutInt("PAGEDEVNBR", device), 0);
        return file.GetEqual(0) == 0;
    }

    static uint32_t Today() { return PackDate(2026, 3, 10); }

    platform::ManualClock clock_{platform::MakeLocalTime(2026, 3, 10, 12, 0, 0)};
    std::unique_ptr<cvFileMgr> manager_;
};

}  // namespace model_testing
