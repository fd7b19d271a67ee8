// Table caches on their own: read on first use, kept in key order as rows are stored,
// emptied of deleted rows, filtered caches, and the application's lookups. The product
// caches no table, so saves go past a registered cache unless its table is listed.

#include "storage/cvreccache.h"

#include <gtest/gtest.h>

#include "storage/cvcachemgr.h"
#include "tests/storage/storagefixture.h"

namespace {

using namespace storage_testing;

class RecCacheTest : public StorageFixture {
  protected:
    RecCacheTest() {
        AddDevice("c", 2);
        AddDevice("a", 1);
        AddDevice("d", 3);
        AddDevice("b", 2);
        manager().CloseFiles();
        log_.Clear();
        StorageApp().SetFileManager(&manager());
    }

    static std::vector<std::string> Names(const cvRecSet& set) {
        std::vector<std::string> names;
        for (int i = 0; i < set.GetCount(); ++i) {
            names.push_back(set.GetAt(i)->GetText("NAME"));
        }
        return names;
    }

    // The names along key 1 as the file has them now.
    std::vector<std::string> StoredOrder() {
        cvFileMgr reader(data_.dir(), &dict_);
        cvFile* file = reader.OpenTable("DEVICE", RECMAN_MODE_READ_ONLY);
        std::vector<std::string> names;
        for (int status = file->GetFirst(1); status == 0; status = file->GetNext()) {
            names.push_back(file->GetText("NAME"));
        }
        return names;
    }

    // A record of the row named `name`, through the application's manager.
    cvRec Row(const std::string& name) {
        cvFile& file = Open("DEVICE");
        for (int status = file.GetFirst(1); status == 0; status = file.GetNext()) {
            if (file.GetText("NAME") == name) {
                return cvRec(file, cvRec::kFromFile);
            }
        }
        ADD_FAILURE() << name;
        return cvRec(file);
    }
};

TEST_F(RecCacheTest, ReadsItsTableOnFirstUseInKeyOrder) {
    cvCacheMgr caches;
    cvRecCache* cache = caches.AddCache("DEVICE", 1);
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(caches.AddCache("DEVICE", 0), nullptr);
    EXPECT_EQ(caches.FindCache("DEVICE"), cache);
    EXPECT_EQ(caches.FindCache("device"), nullptr);
    EXPECT_FALSE(cache->IsLoaded());
    EXPECT_TRUE(manager().Files().empty());  // nothing opened yet

    const cvRecSet& rows = cache->GetRecords();
    EXPECT_TRUE(cache->IsLoaded());
    EXPECT_EQ(Names(rows), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(manager().Files().size(), 1u);
    EXPECT_EQ(LogLinesWith("Caching table DEVICE [4 records]").size(), 1u);

    // Later calls do not read again.
    AddDevice("e", 9);
    EXPECT_EQ(cache->GetRecords().GetCount(), 4);
}

TEST_F(RecCacheTest, LargeTablesAreAlsoLoggedAsErrors) {
    cvFile& file = Open("CODES");
    ASSERT_EQ(file.BeginTransaction(), 0);
    for (int i = 0; i < 301; ++i) {
        cvRec code(file);
        ASSERT_NE(code.PutString("CODE", std::to_string(1000 + i)), 0);
        ASSERT_EQ(code.Save(), 0);
    }
    ASSERT_EQ(file.EndTransaction(), 0);

    cvCacheMgr caches(&manager());
    EventLog().SetCategoryMask(kLogDbErrors);
    log_.Clear();
    static_cast<void>(caches.AddCache("DEVICE", 0)->GetRecords());  // 4 rows: cache only
    static_cast<void>(caches.AddCache("CODES", 0)->GetRecords());   // 301 rows
    EXPECT_EQ(log_.Texts(), std::vector<std::string>{"Caching table CODES [301 records]"});
}

TEST_F(RecCacheTest, StoredRowsKeepTheCacheInKeyOrder) {
    cvCacheMgr caches;
    StorageApp().SetCacheManager(&caches);
    StorageApp().AddCachedTable("DEVICE", 1);
    EXPECT_TRUE(StorageApp().IsCached("DEVICE"));
    cvRecSet* cached = StorageApp().GetCachedSet("DEVICE");
    ASSERT_NE(cached, nullptr);
    ASSERT_EQ(Names(*cached), (std::vector<std::string>{"a", "b", "c", "d"}));

    // a moves behind everything, d to the front, a new row goes to its place.
    cvRec a = Row("a");
    ASSERT_NE(a.PutInt("GROUPNBR", 5), 0);
    ASSERT_EQ(a.Save(), 0);
    cvRec d = Row("d");
    ASSERT_NE(d.PutInt("GROUPNBR", 0), 0);
    ASSERT_EQ(d.Save(), 0);
    cvRec bb(Open("DEVICE"));
    ASSERT_NE(bb.PutString("NAME", "bb"), 0);
    ASSERT_NE(bb.PutInt("GROUPNBR", 2), 0);
    ASSERT_EQ(bb.Save(), 0);
    EXPECT_EQ(Names(*cached), (std::vector<std::string>{"d", "b", "bb", "c", "a"}));
    EXPECT_EQ(Names(*cached), StoredOrder());
    EXPECT_EQ(cached->GetAt(cached->Find(a))->GetInt("GROUPNBR"), 5);

    ASSERT_EQ(bb.Delete(), 0);
    ASSERT_EQ(d.Delete(), 0);
    EXPECT_EQ(Names(*cached), (std::vector<std::string>{"b", "c", "a"}));
    EXPECT_EQ(Names(*cached), StoredOrder());
}

TEST_F(RecCacheTest, UncachedTablesAreLeftAlone) {
    EXPECT_EQ(StorageApp().GetCachedSet("DEVICE"), nullptr);
    EXPECT_FALSE(StorageApp().IsCached("DEVICE"));

    // A cache that exists but whose table the application does not list is not told.
    cvCacheMgr caches;
    StorageApp().SetCacheManager(&caches);
    cvRecCache* cache = caches.AddCache("DEVICE", 1);
    ASSERT_EQ(cache->GetRecords().GetCount(), 4);
    cvRec a = Row("a");
    ASSERT_EQ(a.Delete(), 0);
    EXPECT_EQ(cache->GetRecords().GetCount(), 4);
    EXPECT_EQ(StorageApp().GetCachedSet("DEVICE"), &cache->GetRecords());
}

TEST_F(RecCacheTest, UpdatesBeforeTheFirstReadAreIgnored) {
    cvCacheMgr caches;
    cvRecCache* cache = caches.AddCache("DEVICE", 1);
    cvRec e(Open("DEVICE"));
    ASSERT_NE(e.PutString("NAME", "e"), 0);
    ASSERT_EQ(e.Save(), 0);
    caches.Update(e);
    EXPECT_FALSE(cache->IsLoaded());
    EXPECT_EQ(Names(cache->GetRecords()), (std::vector<std::string>{"e", "a", "b", "c", "d"}));
}

TEST_F(RecCacheTest, FilteredCacheHoldsOnlyTheRowsItAccepts) {
    cvCacheMgr caches;
    cvRecCache* cache = caches.AddCache("DEVICE", 1, "DEVICE");
    ASSERT_NE(cache->Filter(), nullptr);
    cache->Filter()->AddInt("GROUPNBR", 2);
    EXPECT_EQ(Names(cache->GetRecords()), (std::vector<std::string>{"b", "c"}));
    EXPECT_TRUE(LogLinesWith("Caching table").empty());  // filtered reads are not counted

    cvRec a = Row("a");
    ASSERT_NE(a.PutInt("GROUPNBR", 2), 0);
    ASSERT_EQ(a.Save(), 0);
    caches.Update(a);
    cvRec c = Row("c");
    ASSERT_NE(c.PutInt("GROUPNBR", 7), 0);
    ASSERT_EQ(c.Save(), 0);
    caches.Update(c);
    cvRec d = Row("d");
    ASSERT_NE(d.PutString("NAME", "dd"), 0);
    ASSERT_EQ(d.Save(), 0);
    caches.Update(d);  // still rejected
    EXPECT_EQ(Names(cache->GetRecords()), (std::vector<std::string>{"a", "b"}));
    caches.RemoveRecord(a);
    EXPECT_EQ(Names(cache->GetRecords()), (std::vector<std::string>{"b"}));
}

}  // namespace
