// Record sets and filters: owned copies, index rules, search by position and by
// identifier, the stable sorts, filter conditions on records and on a file's current
// row, stamping values, and the filtered scan along a key.

#include "storage/cvrecset.h"

#include <gtest/gtest.h>

#include "storage/cvrecfilter.h"
#include "tests/storage/storagefixture.h"

namespace {

using namespace storage_testing;

class RecSetTest : public StorageFixture {
  protected:
    RecSetTest() : devices_(*dict_.FindTable("DEVICE")) {}

    cvRec Device(const std::string& name, int group) const {
        cvRec record(devices_);
        EXPECT_NE(record.PutString("NAME", name), 0);
        EXPECT_NE(record.PutInt("GROUPNBR", group), 0);
        return record;
    }

    static std::vector<std::string> Names(const cvVSet& set) {
        std::vector<std::string> names;
        for (int i = 0; i < set.GetCount(); ++i) {
            names.push_back(set.GetAt(i)->GetText("NAME"));
        }
        return names;
    }

    // Appends new devices (name, group) to a set.
    void Fill(cvRecSet& set, const std::vector<std::pair<std::string, int>>& devices) const {
        for (const auto& [name, group] : devices) {
            EXPECT_TRUE(set.Add(Device(name, group)));
        }
    }

    const cvDDFile& devices_;
};

TEST_F(RecSetTest, AddKeepsIndependentCopies) {
    cvRecSet set;
    Fill(set, {{"b", 2}, {"c", 3}, {"d", 4}});
    cvRec first = Device("a", 1);
    ASSERT_TRUE(set.Add(first, 0));
    ASSERT_NE(first.PutString("NAME", "changed"), 0);
    EXPECT_EQ(Names(set), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_NE(set.GetAt(0), &first);

    EXPECT_FALSE(set.Add(first, 5));
    EXPECT_TRUE(set.Add(first, 4));
    EXPECT_EQ(set.GetCount(), 5);
    EXPECT_EQ(set.GetAt(5), nullptr);
    EXPECT_EQ(set.GetAt(-1), nullptr);
}

TEST_F(RecSetTest, RemoveAtTakesARangeThatFits) {
    cvRecSet set;
    Fill(set, {{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}, {"e", 5}});
    set.RemoveAt(3, 3);  // does not fit: nothing
    EXPECT_EQ(set.GetCount(), 5);
    set.RemoveAt(1, 2);
    EXPECT_EQ(Names(set), (std::vector<std::string>{"a", "d", "e"}));
    set.RemoveAt(1, -1);
    EXPECT_EQ(Names(set), (std::vector<std::string>{"a"}));
    set.RemoveAll();
    EXPECT_EQ(set.GetCount(), 0);
}

TEST_F(RecSetTest, SetAtHandsTheReplacedRecordBack) {
    cvRecSet set;
    Fill(set, {{"a", 1}, {"b", 2}});
    std::unique_ptr<cvRec> replaced(set.GetAt(1));
    ASSERT_TRUE(set.SetAt(1, std::make_unique<cvRec>(Device("x", 9)).release()));
    EXPECT_EQ(replaced->GetText("NAME"), "b");
    EXPECT_EQ(Names(set), (std::vector<std::string>{"a", "x"}));
    EXPECT_FALSE(set.SetAt(2, replaced.get()));
    EXPECT_FALSE(set.SetAt(0, nullptr));
}

TEST_F(RecSetTest, PutAllStopsAtTheFirstFailure) {
    cvRecSet set;
    Fill(set, {{"a", 1}, {"b", 2}});
    EXPECT_NE(set.PutIntAll("GROUPNBR", 7), 0);
    EXPECT_EQ(set.GetAt(1)->GetInt("GROUPNBR"), 7);
    EXPECT_NE(set.PutStringAll("NAME", "same"), 0);
    EXPECT_EQ(Names(set), (std::vector<std::string>{"same", "same"}));
    EXPECT_EQ(set.PutIntAll("NAME", 1), 0);  // not an integer field
    EXPECT_EQ(set.PutObjectIdAll("NAME", {1, 2, 3, 4}), 0);
    EXPECT_NE(cvRecSet().PutIntAll("GROUPNBR", 1), 0);
}

TEST_F(RecSetTest, FindByPositionAndByIdentifier) {
    AddDevice("a", 1);
    AddDevice("b", 2);
    cvFile& file = Open("DEVICE");
    cvRecSet set;
    for (int status = file.GetFirst(0); status == 0; status = file.GetNext()) {
        ASSERT_TRUE(set.AddFromFile(file));
    }
    ASSERT_EQ(set.GetCount(), 2);
    EXPECT_GT(set.GetAt(1)->Position(), 0);

    cvRec stored(*set.GetAt(1));
    ASSERT_NE(stored.PutString("NAME", "different contents"), 0);
    EXPECT_EQ(set.Find(stored), 1);
    EXPECT_EQ(set.FindByPosition("DEVICE", stored.Position()), 1);
    EXPECT_EQ(set.FindByPosition("CODES", stored.Position()), -1);

    // New records are found by identifier, which the object layer computes.
    const cvRec fresh = Device("new", 3);
    EXPECT_EQ(set.Find(fresh), -1);
    EXPECT_EQ(set.FindById(0, 0, 0, 0), -1);
    StorageApp().SetRecordIdHook([](const cvRec& record) {
        return cvObjectId{1000, record.GetInt("GROUPNBR"), 0, 0};
    });
    EXPECT_EQ(set.FindById(1000, 2, 0, 0), 1);
    EXPECT_EQ(set.FindById(1000, 3, 0, 0), -1);
    ASSERT_TRUE(set.Add(fresh));
    EXPECT_EQ(set.Find(fresh), 2);
}

TEST_F(RecSetTest, AllSameTable) {
    cvRecSet set;
    EXPECT_TRUE(set.AllSameTable());
    ASSERT_TRUE(set.Add(Device("a", 1)));
    EXPECT_TRUE(set.AllSameTable());
    ASSERT_TRUE(set.Add(Device("b", 2)));
    EXPECT_TRUE(set.AllSameTable());
    ASSERT_TRUE(set.Add(cvRec(*dict_.FindTable("CODES"))));
    EXPECT_FALSE(set.AllSameTable());
    set.SortByField("NAME", true);  // mixed tables: not sorted
    EXPECT_EQ(set.GetAt(0)->GetText("NAME"), "a");
}

struct SortCase {
    const char* name;
    std::vector<std::string> fields;
    bool descending;
    std::vector<std::string> expected;
};

class SortTest : public RecSetTest, public ::testing::WithParamInterface<SortCase> {};

// Groups 3, 1, 2, 1, 3 under the names c1, a1, b1, a2, c2.
TEST_P(SortTest, ByFields) {
    const SortCase& c = GetParam();
    cvRecSet set;
    Fill(set, {{"c1", 3}, {"a1", 1}, {"b1", 2}, {"a2", 1}, {"c2", 3}});
    set.SortByFields(c.fields, c.descending);
    EXPECT_EQ(Names(set), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SortTest,
    ::testing::Values(
        // Equal groups keep their order, ascending and descending.
        SortCase{"GroupAscending", {"GROUPNBR"}, false, {"a1", "a2", "b1", "c1", "c2"}},
        SortCase{"GroupDescending", {"GROUPNBR"}, true, {"c1", "c2", "b1", "a1", "a2"}},
        SortCase{
            "GroupThenNameDescending", {"GROUPNBR", "NAME"}, true, {"c2", "c1", "b1", "a2", "a1"}},
        SortCase{"ByName", {"NAME"}, false, {"a1", "a2", "b1", "c1", "c2"}}),
    [](const ::testing::TestParamInfo<SortCase>& info) { return std::string(info.param.name); });

// A set that offers only the interface's operations (as object sets do): sorting
// reaches its order by neighbour swaps.
class SwapOnlySet : public cvVSet {
  public:
    explicit SwapOnlySet(std::vector<cvRec*> records) : records_(std::move(records)) {}
    cvRec* GetAt(int index) const override { return records_.at(static_cast<size_t>(index)); }
    bool SetAt(int, cvRec*) override { return false; }
    int GetCount() const override { return static_cast<int>(records_.size()); }
    int SwapWithNext(int index) override {
        std::swap(records_.at(static_cast<size_t>(index)),
                  records_.at(static_cast<size_t>(index) + 1));
        ++swaps;
        return index + 1;
    }
    int FindById(int32_t, int32_t, int32_t, int32_t) const override { return -1; }
    int swaps = 0;

  private:
    std::vector<cvRec*> records_;
};

TEST_F(RecSetTest, SetsWithoutDirectAccessSortTheSameWay) {
    cvRecSet owned;
    Fill(owned, {{"c1", 3}, {"a1", 1}, {"b1", 2}, {"a2", 1}, {"c2", 3}, {"b2", 2}});
    std::vector<cvRec*> records;
    for (int i = 0; i < owned.GetCount(); ++i) {
        records.push_back(owned.GetAt(i));
    }
    for (const bool descending : {false, true}) {
        SwapOnlySet view(records);
        view.SortByField("GROUPNBR", descending);
        owned.SortByField("GROUPNBR", descending);
        EXPECT_EQ(Names(view), Names(owned)) << descending;
        EXPECT_GT(view.swaps, 0);
    }
    SwapOnlySet sorted({owned.GetAt(0), owned.GetAt(1)});
    sorted.SortByField("GROUPNBR", true);  // already in order
    EXPECT_EQ(sorted.swaps, 0);
}

TEST_F(RecSetTest, SortByOneFieldAndByComparison) {
    cvRecSet set;
    Fill(set, {{"x", 3}, {"y", 1}, {"z", 2}});
    set.SortByField("GROUPNBR");
    EXPECT_EQ(Names(set), (std::vector<std::string>{"y", "z", "x"}));
    set.SortByField("GROUPNBR", true);
    EXPECT_EQ(Names(set), (std::vector<std::string>{"x", "z", "y"}));

    // Plain records and a name that is not a field: logged, not sorted.
    log_.Clear();
    set.SortByField("NOPE");
    EXPECT_EQ(Names(set), (std::vector<std::string>{"x", "z", "y"}));
    EXPECT_EQ(LogLinesWith("Table DEVICE does not have an attribute named NOPE").size(), 1u);

    set.Sort([](const cvRec& a, const cvRec& b) {
        return b.GetText("NAME").compare(a.GetText("NAME"));  // reverse names
    });
    EXPECT_EQ(Names(set), (std::vector<std::string>{"z", "y", "x"}));
    set.Sort(nullptr);
    EXPECT_EQ(Names(set), (std::vector<std::string>{"z", "y", "x"}));
}

// A record that answers a computed name, the way business objects do.
class LabelledRec : public cvRec {
  public:
    LabelledRec(const cvRec& record, std::string label) : cvRec(record), label_(std::move(label)) {
        SetObjectFlag(1);
    }
    std::string GetText(std::string_view name, int format) const override {
        return name == "LABEL" ? label_ : cvRec::GetText(name, format);
    }

  private:
    std::string label_;
};

TEST_F(RecSetTest, ObjectsSortByNamesThatAreNotFields) {
    cvRecSet set;
    ASSERT_TRUE(set.Add(Device("first", 1)));
    ASSERT_TRUE(set.Add(Device("second", 2)));
    ASSERT_TRUE(set.Add(Device("third", 3)));
    // The set keeps plain copies; put objects in their place.
    const char* labels[] = {"m", "z", "a"};
    std::vector<std::unique_ptr<cvRec>> replaced;
    for (int i = 0; i < 3; ++i) {
        replaced.emplace_back(set.GetAt(i));
        ASSERT_TRUE(
            set.SetAt(i, std::make_unique<LabelledRec>(*replaced.back(), labels[i]).release()));
    }
    set.SortByField("LABEL");
    EXPECT_EQ(Names(set), (std::vector<std::string>{"third", "first", "second"}));
}

TEST_F(RecSetTest, FilterConditionsOnRecords) {
    cvRecFilter filter("DEVICE");
    filter.AddText("QINACTIVE", "N");
    cvRec active = Device("a", 1);
    cvRec inactive = Device("b", 1);
    ASSERT_NE(inactive.PutString("QINACTIVE", "Y"), 0);
    EXPECT_EQ(filter.MatchesRecord(active), 0);
    EXPECT_EQ(filter.MatchesRecord(inactive), -1);
    EXPECT_EQ(filter.MatchesRecord(cvRec(*dict_.FindTable("CODES"))), -1);

    filter.AddInt("GROUPNBR", 1);
    filter.AddDate("DATEMOD", 0);
    filter.AddObjectId("GROUPNBR", {0, 0, 0, 0});  // GROUPNBR and the next 12 bytes
    EXPECT_EQ(filter.MatchesRecord(Device("c", 2)), -1);
    EXPECT_EQ(filter.MatchesRecord(active), -1);  // ids: GROUPNBR is 1, not 0
    filter.AddObjectId("GROUPNBR", active.GetObjectId("GROUPNBR"));
    EXPECT_EQ(filter.MatchesRecord(active), 0);

    const int limit = 5;
    filter.AddTest(
        [](const cvRec& record, const void* argument) {
            return record.GetText("NAME") == "a" ? 7 * *static_cast<const int*>(argument) : 0;
        },
        &limit);
    EXPECT_EQ(filter.MatchesRecord(active), 35);  // the failing test's own result
    cvRec other = active;
    ASSERT_NE(other.PutString("NAME", "z"), 0);
    EXPECT_EQ(filter.MatchesRecord(other), 0);
}

TEST_F(RecSetTest, ApplyStampsValuesAndSetters) {
    cvRecFilter filter("DEVICE");
    filter.AddText("NAME", "Stamped");
    filter.AddInt("GROUPNBR", 12);
    filter.AddText("NAME", "Replaced");  // a second condition on a field replaces the first
    filter.AddSetter(
        [](cvRec& record, const void*) { static_cast<void>(record.PutInt("MODBY", 3)); });
    cvRecSet set;
    Fill(set, {{"a", 1}, {"b", 2}});
    EXPECT_TRUE(filter.ApplyToSet(set));
    for (int i = 0; i < set.GetCount(); ++i) {
        EXPECT_EQ(set.GetAt(i)->GetText("NAME"), "Replaced");
        EXPECT_EQ(set.GetAt(i)->GetInt("GROUPNBR"), 12);
        EXPECT_EQ(set.GetAt(i)->GetInt("MODBY"), 3);
        EXPECT_EQ(filter.MatchesRecord(*set.GetAt(i)), 0);
    }
    cvRec code(*dict_.FindTable("CODES"));
    const uint32_t crc = code.Buffer().Crc32();
    EXPECT_FALSE(filter.Apply(code));
    EXPECT_EQ(code.Buffer().Crc32(), crc);

    cvRecFilter bad("DEVICE");
    bad.AddInt("NAME", 1);  // cannot go into a String field
    EXPECT_FALSE(bad.ApplyToSet(set));
}

class FilteredScanTest : public RecSetTest {
  protected:
    // Key 1 order: (1 a) (2 b) (2 c) (2 d) (3 e); c is inactive.
    void AddRows() {
        AddDevice("d", 2);
        AddDevice("a", 1);
        AddDevice("c", 2, "Y");
        AddDevice("e", 3);
        AddDevice("b", 2);
    }
};

TEST_F(FilteredScanTest, ScanOnTheFirstSegmentReturnsExactlyTheMatchingRows) {
    AddRows();
    boxes_.clear();  // the report of the missing file created on first use
    cvRecFilter filter("DEVICE");
    filter.AddInt("GROUPNBR", 2);
    cvRecSet found;
    EXPECT_EQ(filter.Scan(manager(), 1, found), 0);
    EXPECT_EQ(Names(found), (std::vector<std::string>{"b", "c", "d"}));
    for (int i = 0; i < found.GetCount(); ++i) {
        EXPECT_GT(found.GetAt(i)->Position(), 0);
    }

    // The scan ends at the first row that misses a condition.
    cvRecFilter active("DEVICE");
    active.AddInt("GROUPNBR", 2);
    active.AddText("QINACTIVE", "N");
    cvRecSet first_run;
    EXPECT_EQ(active.Scan(manager(), 1, first_run), 0);
    EXPECT_EQ(Names(first_run), (std::vector<std::string>{"b"}));

    cvRecFilter none("DEVICE");
    none.AddInt("GROUPNBR", 9);
    cvRecSet empty;
    EXPECT_EQ(none.Scan(manager(), 1, empty), 0);
    EXPECT_EQ(empty.GetCount(), 0);
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(FilteredScanTest, StopsAtAndSeedKeyOnTheFile) {
    AddRows();
    cvFile& file = Open("DEVICE");
    cvRecFilter filter("DEVICE");
    filter.AddInt("GROUPNBR", 2);
    file.ClearKey(1);
    ASSERT_NE(file.PutString("NAME", "zzz"), 0);
    ASSERT_EQ(filter.SeedKey(file), 0);
    EXPECT_EQ(file.GetInt("GROUPNBR"), 2);
    EXPECT_EQ(file.GetText("NAME"), "zzz");  // fields the filter leaves alone stay
    file.ClearKey(1);
    ASSERT_EQ(filter.SeedKey(file), 0);
    ASSERT_EQ(file.GetGreaterOrEqual(1), 0);
    EXPECT_EQ(filter.StopsAt(file), 0);
    EXPECT_EQ(file.GetText("NAME"), "b");

    filter.AddTest([](const cvRec& record, const void*) { return record.IsActive() ? 0 : 1; });
    ASSERT_EQ(file.GetNext(), 0);  // c, inactive
    EXPECT_EQ(filter.StopsAt(file), 1);
    ASSERT_EQ(file.GetLast(1), 0);  // e, group 3
    EXPECT_EQ(filter.StopsAt(file), 1);

    cvFile& codes = Open("CODES");
    EXPECT_EQ(filter.StopsAt(codes), -1);
    EXPECT_EQ(filter.SeedKey(codes), -1);
}

}  // namespace
