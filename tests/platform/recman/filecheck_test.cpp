// Finding damage in a data file and mending the indexes from the rows.

#include "platform/recman/filecheck.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <fstream>
#include <string>
#include <vector>

#include "tests/platform/recman/recmantesting.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace {

using namespace recman_testing;

// Where a page of the file starts, by the name of the table or index it roots.
int64_t RootPageOffset(const std::string& path, const std::string& name) {
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    int64_t offset = -1;
    sqlite3_stmt* query = nullptr;
    const std::string sql =
        "SELECT rootpage, (SELECT page_size FROM pragma_page_size) "
        "FROM sqlite_master WHERE name = '" +
        name + "'";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &query, nullptr) == SQLITE_OK &&
        sqlite3_step(query) == SQLITE_ROW) {
        offset = (sqlite3_column_int64(query, 0) - 1) * sqlite3_column_int64(query, 1);
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return offset;
}

void Overwrite(const std::string& path, int64_t offset, const std::string& bytes) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(offset);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

class FileCheckTest : public ::testing::Test {
  protected:
    // A file of 60 records keyed by number (key 0) and by a name (key 1, duplicates).
    void SetUp() override {
        ASSERT_EQ(CreateFile(path_,
                             SpecLayout(32, {{{1, 4, 0, RECMAN_TYPE_INTEGER}},
                                             {{5, 20, RECMAN_KEY_DUPLICATES | RECMAN_KEY_MODIFIABLE,
                                               RECMAN_TYPE_STRING}}})),
                  0);
        RecmanFile file;
        ASSERT_EQ(file.Open(path_), 0);
        ASSERT_EQ(file.Begin(), 0);
        for (int n = 1; n <= 60; ++n) {
            Bytes record(32, 0);
            Put32(record, 0, n);
            PutText(record, 4, 20, "name " + std::to_string(n % 7));
            ASSERT_EQ(file.Insert(record), 0);
        }
        ASSERT_EQ(file.End(), 0);
    }

    TempDir data_;
    TempDir state_;
    ScopedEnv state_env_{"TOLVANE_RECMAN_DIR", state_.path().string()};
    const std::string path_ = data_.file("NUMBERS.DAT");
};

TEST_F(FileCheckTest, ASoundFileHasNoProblemsAndCountsItsRows) {
    const recman::FileCheck check = recman::CheckDataFile(path_);
    EXPECT_TRUE(check.Sound());
    EXPECT_EQ(check.rows, 60);
}

TEST_F(FileCheckTest, ADamagedIndexIsFoundAndRebuiltWithEveryRowKept) {
    const int64_t index = RootPageOffset(path_, "rec_k1");
    ASSERT_GT(index, 0);
    Overwrite(path_, index + 4096 - 40, "\x7f\x01\x02\x03garbage!");

    const recman::FileCheck damaged = recman::CheckDataFile(path_);
    EXPECT_EQ(damaged.status, 0);
    EXPECT_FALSE(damaged.problems.empty());
    EXPECT_EQ(damaged.rows, 60) << "the rows themselves are whole";

    const recman::FileCheck mended = recman::RepairDataFile(path_);
    EXPECT_TRUE(mended.Sound()) << (mended.problems.empty() ? "" : mended.problems[0]);
    EXPECT_EQ(mended.rows, 60);
    // Every row is found again through the rebuilt index.
    RecmanFile file;
    ASSERT_EQ(file.Open(path_), 0);
    Bytes record(32);
    int found = 0;
    for (int status = file.Step(RECMAN_GET_FIRST, 1, record); status == 0;
         status = file.Step(RECMAN_GET_NEXT, 1, record)) {
        ++found;
    }
    EXPECT_EQ(found, 60);
}

TEST_F(FileCheckTest, FilesThatCannotBeExaminedSayWhy) {
    EXPECT_EQ(recman::CheckDataFile(data_.file("MISSING.DAT")).status, RECMAN_FILE_NOT_FOUND);
    {
        std::ofstream text(data_.file("TEXT.DAT"));
        text << "not a data file, only words, long enough to fill a header of a database....";
    }
    EXPECT_EQ(recman::CheckDataFile(data_.file("TEXT.DAT")).status, RECMAN_NOT_A_RECORD_FILE);
    // Damage to the table's own rows cannot be mended and is said so.
    const int64_t table = RootPageOffset(path_, "rec");
    ASSERT_GT(table, 0);
    Overwrite(path_, table, std::string(16, '\xff'));
    const recman::FileCheck repaired = recman::RepairDataFile(path_);
    EXPECT_FALSE(repaired.Sound());
}

}  // namespace
