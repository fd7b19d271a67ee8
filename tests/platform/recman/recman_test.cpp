// The record manager's operations and statuses, through its C entry points, on files in
// a temporary directory.

#include "platform/recman/recman.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/recman/datafile.h"
#include "platform/recman/filespec.h"
#include "platform/recman/sqlitestatus.h"
#include "tests/platform/recman/faultvfs.h"
#include "tests/platform/recman/recmantesting.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace {

using namespace recman_testing;

// A file of people: number (key 0: unique, not modifiable), name (key 1: duplicates,
// modifiable, case-insensitive), birthday descending then number (key 2: segmented,
// modifiable), note (key 3: null key on blanks, duplicates, modifiable).
constexpr uint16_t kPersonLength = 40;
constexpr size_t kNumber = 0;
constexpr size_t kName = 4;
constexpr size_t kBirthday = 24;
constexpr size_t kNote = 28;

Bytes PeopleLayout() {
    const uint16_t dup_mod = RECMAN_KEY_DUPLICATES | RECMAN_KEY_MODIFIABLE;
    return SpecLayout(kPersonLength,
                      {{{1, 4, 0, RECMAN_TYPE_INTEGER}},
                       {{5, 20, dup_mod | RECMAN_KEY_NO_CASE, RECMAN_TYPE_STRING}},
                       {{25, 4, RECMAN_KEY_MODIFIABLE | RECMAN_KEY_DESCENDING, RECMAN_TYPE_DATE},
                        {1, 4, RECMAN_KEY_MODIFIABLE, RECMAN_TYPE_INTEGER}},
                       {{29, 12, dup_mod | RECMAN_KEY_NULL, RECMAN_TYPE_STRING, ' '}}});
}

Bytes Person(int32_t number, const std::string& name, int year = 2000,
             const std::string& note = "") {
    Bytes record(kPersonLength, 0);
    Put32(record, kNumber, number);
    PutText(record, kName, 20, name);
    record[kBirthday] = 1;
    record[kBirthday + 1] = 1;
    Put16(record, kBirthday + 2, year);
    PutText(record, kNote, 12, note);
    return record;
}

Bytes NumberKey(int32_t number) {
    Bytes key(4);
    Put32(key, 0, number);
    return key;
}

Bytes NameKey(const std::string& name) {
    Bytes key(20);
    PutText(key, 0, 20, name);
    return key;
}

class RecmanTest : public ::testing::Test {
  protected:
    std::string Path(const std::string& name) const { return data_.file(name); }

    // Creates the people file and opens `file` on it.
    void OpenPeople(RecmanFile& file, const std::string& name = "PEOPLE.DAT") {
        ASSERT_EQ(CreateFile(Path(name), PeopleLayout()), 0);
        ASSERT_EQ(file.Open(Path(name)), 0);
    }

    void InsertPeople(RecmanFile& file, const std::vector<Bytes>& people) {
        for (Bytes person : people) {
            ASSERT_EQ(file.Insert(person), 0);
        }
    }

    // The numbers of every record along `key`, first to last (or last to first).
    std::vector<int32_t> Numbers(RecmanFile& file, int8_t key, bool backwards = false) {
        std::vector<int32_t> numbers;
        Bytes record(kPersonLength);
        int status = file.Step(backwards ? RECMAN_GET_LAST : RECMAN_GET_FIRST, key, record);
        while (status == 0) {
            numbers.push_back(static_cast<int32_t>(Get32(record, kNumber)));
            status = file.Step(backwards ? RECMAN_GET_PREVIOUS : RECMAN_GET_NEXT, key, record);
        }
        EXPECT_EQ(status, RECMAN_END_OF_FILE);
        return numbers;
    }

    int32_t NumberOf(const Bytes& record) const {
        return static_cast<int32_t>(Get32(record, kNumber));
    }

    TempDir data_;
    TempDir state_;
    ScopedEnv state_env_{"TOLVANE_RECMAN_DIR", state_.path().string()};
    ScopedEnv wait_env_{"TOLVANE_RECMAN_LOCK_WAIT_MS", "300"};
};

TEST_F(RecmanTest, CreateStoresTheSpecificationThatStatReturnsWithTheRecordCount) {
    RecmanFile file;
    OpenPeople(file);
    InsertPeople(file, {Person(1, "Ann"), Person(2, "Bob")});

    Bytes layout;
    ASSERT_EQ(file.Stat(layout), 0);
    Bytes expected = PeopleLayout();
    Put32(expected, 6, 2);  // the record count
    EXPECT_EQ(layout, expected);

    // Too short a buffer for the layout.
    Bytes small(20);
    uint32_t length = static_cast<uint32_t>(small.size());
    EXPECT_EQ(file.Call(RECMAN_STAT, small.data(), &length, file.key_buffer(), 0),
              RECMAN_DATA_BUFFER_TOO_SHORT);
}

TEST_F(RecmanTest, CreateModesReplaceOrRefuseAnExistingFile) {
    const std::string path = Path("MODES.DAT");
    ASSERT_EQ(CreateFile(path, PeopleLayout(), RECMAN_CREATE_NEW), 0);
    {
        RecmanFile file;
        ASSERT_EQ(file.Open(path), 0);
        Bytes person = Person(1, "Ann");
        ASSERT_EQ(file.Insert(person), 0);
        EXPECT_EQ(CreateFile(path, PeopleLayout(), RECMAN_CREATE_REPLACE), RECMAN_FILE_LOCKED);
        EXPECT_EQ(CreateFile(path, PeopleLayout(), RECMAN_CREATE_NEW), RECMAN_FILE_EXISTS);
    }
    // Closed: replacing gives an empty file.
    ASSERT_EQ(CreateFile(path, PeopleLayout(), RECMAN_CREATE_REPLACE), 0);
    RecmanFile file;
    ASSERT_EQ(file.Open(path), 0);
    Bytes layout;
    ASSERT_EQ(file.Stat(layout), 0);
    EXPECT_EQ(Get32(layout, 6), 0);
    EXPECT_EQ(CreateFile(Path("no/such/dir/X.DAT"), PeopleLayout()), RECMAN_CANNOT_CREATE);
    EXPECT_EQ(CreateFile("", PeopleLayout()), RECMAN_INVALID_FILE_NAME);
}

TEST_F(RecmanTest, CreateRefusesLayoutsItCannotKeep) {
    struct Case {
        const char* what;
        Bytes layout;
        int status;
    };
    Bytes truncated = PeopleLayout();
    truncated.resize(16 + 16 * 2);  // says four keys, holds two segments
    Bytes too_many_keys = SpecLayout(10, {});
    too_many_keys[4] = 120;
    const Case cases[] = {
        {"record length 0", SpecLayout(0, {{{1, 4, 0, RECMAN_TYPE_INTEGER}}}),
         RECMAN_INVALID_RECORD_LENGTH},
        {"page size", SpecLayout(10, {{{1, 4, 0, RECMAN_TYPE_INTEGER}}}, 1000),
         RECMAN_INVALID_PAGE_SIZE},
        {"truncated", truncated, RECMAN_INVALID_PAGE_SIZE},
        {"key count", too_many_keys, RECMAN_INVALID_KEY_COUNT},
        {"segment past the record", SpecLayout(10, {{{8, 4, 0, RECMAN_TYPE_INTEGER}}}),
         RECMAN_INVALID_KEY_POSITION},
        {"position 0", SpecLayout(10, {{{0, 4, 0, RECMAN_TYPE_INTEGER}}}),
         RECMAN_INVALID_KEY_POSITION},
        {"integer of 3 bytes", SpecLayout(10, {{{1, 3, 0, RECMAN_TYPE_INTEGER}}}),
         RECMAN_INVALID_KEY_LENGTH},
        {"key longer than a key buffer",
         SpecLayout(600, {{{1, 200, 0, RECMAN_TYPE_STRING}, {201, 200, 0, RECMAN_TYPE_STRING}}}),
         RECMAN_INVALID_KEY_LENGTH},
        {"unknown type", SpecLayout(10, {{{1, 4, 0, 9}}}), RECMAN_INVALID_EXTENDED_TYPE},
        {"autoinc not first",
         SpecLayout(10, {{{5, 4, 0, RECMAN_TYPE_STRING}, {1, 4, 0, RECMAN_TYPE_AUTOINC}}}),
         RECMAN_INVALID_AUTOINC},
    };
    int n = 0;
    for (const Case& test : cases) {
        const std::string path = Path("BAD" + std::to_string(n++) + ".DAT");
        EXPECT_EQ(CreateFile(path, test.layout), test.status) << test.what;
        EXPECT_FALSE(std::ifstream(path).good()) << test.what;
    }
    // A file without keys is fine: it is reached by position.
    EXPECT_EQ(CreateFile(Path("NOKEYS.DAT"), SpecLayout(10, {})), 0);
}

TEST_F(RecmanTest, OpenAnswersForMissingForeignAndUnopenedFiles) {
    RecmanFile file;
    EXPECT_EQ(file.Open(Path("MISSING.DAT")), RECMAN_FILE_NOT_FOUND);
    EXPECT_FALSE(std::ifstream(Path("MISSING.DAT-lock")).good());

    std::ofstream(Path("TEXT.DAT")) << "not a data file at all, just some words\n";
    EXPECT_EQ(file.Open(Path("TEXT.DAT")), RECMAN_NOT_A_RECORD_FILE);

    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(Path("OTHER.DAT").c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE t(x)", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    EXPECT_EQ(file.Open(Path("OTHER.DAT")), RECMAN_NOT_A_RECORD_FILE);
    EXPECT_EQ(file.Open(Path("")), RECMAN_NOT_A_RECORD_FILE);  // the directory itself

    // Nothing is open behind the block.
    Bytes record(kPersonLength);
    EXPECT_EQ(file.Step(RECMAN_GET_FIRST, 0, record), RECMAN_FILE_NOT_OPEN);
    EXPECT_EQ(file.Close(), RECMAN_FILE_NOT_OPEN);
    EXPECT_EQ(file.Open(Path("MISSING.DAT"), 5), RECMAN_INVALID_OPERATION);  // no such mode
}

TEST_F(RecmanTest, OperationsAnswerTheirParameterStatuses) {
    RecmanFile file;
    OpenPeople(file);
    Bytes record(kPersonLength);
    uint32_t length = 0;
    EXPECT_EQ(file.Call(16, record.data(), &length, file.key_buffer(), 0),
              RECMAN_INVALID_OPERATION);  // Extend
    EXPECT_EQ(file.Call(999, record.data(), &length, file.key_buffer(), 0),
              RECMAN_INVALID_OPERATION);
    EXPECT_EQ(file.Step(RECMAN_GET_FIRST, 4, record), RECMAN_INVALID_KEY_NUMBER);
    EXPECT_EQ(file.Step(RECMAN_GET_FIRST, -1, record), RECMAN_INVALID_KEY_NUMBER);
    Bytes person = Person(1, "Ann");
    EXPECT_EQ(file.Insert(person, 9), RECMAN_INVALID_KEY_NUMBER);
    EXPECT_EQ(file.Step(RECMAN_GET_NEXT, 0, record), RECMAN_INVALID_POSITIONING);
    EXPECT_EQ(file.Open(Path("PEOPLE.DAT")), RECMAN_NOT_ALLOWED);  // the block is in use

    // A key buffer shorter than the key, a data buffer shorter than the record.
    ASSERT_EQ(file.Insert(person), 0);
    length = kPersonLength;
    EXPECT_EQ(recman_call(RECMAN_GET_FIRST, file.block(), record.data(), &length, file.key_buffer(),
                          10, 1),
              RECMAN_KEY_BUFFER_TOO_SHORT);
    Bytes short_record(10);
    EXPECT_EQ(file.Step(RECMAN_GET_FIRST, 0, short_record), RECMAN_DATA_BUFFER_TOO_SHORT);
    EXPECT_EQ(NumberOf(short_record), 1);  // as much as fits is there
    Bytes short_insert = Person(2, "Bob");
    short_insert.resize(30);
    EXPECT_EQ(file.Insert(short_insert), RECMAN_DATA_BUFFER_TOO_SHORT);
    Bytes layout;
    ASSERT_EQ(file.Stat(layout), 0);
    EXPECT_EQ(Get32(layout, 6), 1);

    // Version needs no open file.
    uint8_t version[5] = {};
    length = sizeof version;
    uint8_t block[RECMAN_POSITION_BLOCK_SIZE] = {};
    EXPECT_EQ(recman_call(RECMAN_VERSION, block, version, &length, nullptr, 0, 0), 0);
    EXPECT_EQ(length, 5u);
    EXPECT_EQ(version[0] | (version[1] << 8), 1);
    EXPECT_EQ(version[4], 'T');
    length = 4;
    EXPECT_EQ(recman_call(RECMAN_VERSION, block, version, &length, nullptr, 0, 0),
              RECMAN_DATA_BUFFER_TOO_SHORT);
}

TEST_F(RecmanTest, GetsByKeyFindTheirRecordAndReturnItsKeyValue) {
    RecmanFile file;
    OpenPeople(file);
    InsertPeople(file,
                 {Person(30, "Carol"), Person(10, "ann"), Person(20, "Bob"), Person(-5, "Dave")});
    Bytes record(kPersonLength);
    struct Case {
        uint16_t operation;
        int32_t value;
        int status;
        int32_t found;
    };
    const Case cases[] = {
        {RECMAN_GET_EQUAL, 20, 0, 20},
        {RECMAN_GET_EQUAL, 21, RECMAN_KEY_NOT_FOUND, 0},
        {RECMAN_GET_GREATER_OR_EQUAL, 20, 0, 20},
        {RECMAN_GET_GREATER_OR_EQUAL, 21, 0, 30},
        {RECMAN_GET_GREATER, 20, 0, 30},
        {RECMAN_GET_GREATER, 30, RECMAN_END_OF_FILE, 0},
        {RECMAN_GET_LESS_OR_EQUAL, 20, 0, 20},
        {RECMAN_GET_LESS_OR_EQUAL, 19, 0, 10},
        {RECMAN_GET_LESS, 10, 0, -5},
        {RECMAN_GET_LESS, -5, RECMAN_END_OF_FILE, 0},
        {RECMAN_GET_GREATER_OR_EQUAL, -100, 0, -5},
    };
    for (const Case& test : cases) {
        Bytes key = NumberKey(test.value);
        EXPECT_EQ(file.Get(test.operation, 0, key, record), test.status)
            << "operation " << test.operation << " value " << test.value;
        if (test.status == 0) {
            EXPECT_EQ(NumberOf(record), test.found);
            EXPECT_EQ(Get32(key, 0), test.found);  // the key value came back
        }
    }

    // Case-insensitive name key: "BOB" finds "Bob", and the stored spelling comes back.
    Bytes name = NameKey("BOB");
    ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 1, name, record), 0);
    EXPECT_EQ(NumberOf(record), 20);
    EXPECT_EQ(GetText(name, 0, 20), "Bob");

    EXPECT_EQ(Numbers(file, 0), (std::vector<int32_t>{-5, 10, 20, 30}));
    EXPECT_EQ(Numbers(file, 0, true), (std::vector<int32_t>{30, 20, 10, -5}));
    EXPECT_EQ(Numbers(file, 1), (std::vector<int32_t>{10, 20, 30, -5}));  // ann Bob Carol Dave

    // Get Next continues along the key of the positioning call only.
    ASSERT_EQ(file.Step(RECMAN_GET_FIRST, 0, record), 0);
    EXPECT_EQ(file.Step(RECMAN_GET_NEXT, 1, record), RECMAN_DIFFERENT_KEY_NUMBER);
    ASSERT_EQ(file.Step(RECMAN_GET_NEXT, 0, record), 0);
    EXPECT_EQ(NumberOf(record), 10);
}

TEST_F(RecmanTest, RunningOffAnEndComesBackWithTheOppositeCall) {
    RecmanFile file;
    OpenPeople(file);
    InsertPeople(file, {Person(1, "A"), Person(2, "B"), Person(3, "C")});
    Bytes record(kPersonLength);
    ASSERT_EQ(file.Step(RECMAN_GET_LAST, 0, record), 0);
    EXPECT_EQ(file.Step(RECMAN_GET_NEXT, 0, record), RECMAN_END_OF_FILE);
    EXPECT_EQ(file.Step(RECMAN_GET_NEXT, 0, record), RECMAN_END_OF_FILE);
    ASSERT_EQ(file.Step(RECMAN_GET_PREVIOUS, 0, record), 0);
    EXPECT_EQ(NumberOf(record), 3);
    ASSERT_EQ(file.Step(RECMAN_GET_FIRST, 0, record), 0);
    EXPECT_EQ(file.Step(RECMAN_GET_PREVIOUS, 0, record), RECMAN_END_OF_FILE);
    ASSERT_EQ(file.Step(RECMAN_GET_NEXT, 0, record), 0);
    EXPECT_EQ(NumberOf(record), 1);
}

TEST_F(RecmanTest, SegmentedDescendingKeyOrdersByItsFirstSegmentThenTheNext) {
    RecmanFile file;
    OpenPeople(file);
    InsertPeople(file, {Person(1, "A", 1999), Person(2, "B", 2001), Person(3, "C", 2000),
                        Person(4, "D", 2001), Person(5, "E", 1999)});
    // Birthdays newest first, then number ascending among equal birthdays.
    EXPECT_EQ(Numbers(file, 2), (std::vector<int32_t>{2, 4, 3, 1, 5}));
    // Get Greater Or Equal along a descending key moves towards older dates.
    Bytes key(8);
    key[0] = 1;
    key[1] = 6;
    Put16(key, 2, 2000);
    Put32(key, 4, 0);
    Bytes record(kPersonLength);
    ASSERT_EQ(file.Get(RECMAN_GET_GREATER_OR_EQUAL, 2, key, record), 0);
    EXPECT_EQ(NumberOf(record), 3);
}

TEST_F(RecmanTest, DuplicatesStayInInsertionOrderAndAMovedRecordGoesToTheEnd) {
    RecmanFile file;
    OpenPeople(file);
    InsertPeople(file, {Person(5, "smith"), Person(1, "Jones"), Person(3, "SMITH"),
                        Person(2, "Smith"), Person(4, "jones")});
    EXPECT_EQ(Numbers(file, 1), (std::vector<int32_t>{1, 4, 5, 3, 2}));
    EXPECT_EQ(Numbers(file, 1, true), (std::vector<int32_t>{2, 3, 5, 4, 1}));

    // Greater (or equal) finds the earliest of a group, Less (or equal) the latest.
    Bytes record(kPersonLength);
    Bytes name = NameKey("smith");
    ASSERT_EQ(file.Get(RECMAN_GET_GREATER_OR_EQUAL, 1, name, record), 0);
    EXPECT_EQ(NumberOf(record), 5);
    name = NameKey("Smith");
    ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 1, name, record), 0);
    EXPECT_EQ(NumberOf(record), 5);
    name = NameKey("Smith");
    ASSERT_EQ(file.Get(RECMAN_GET_LESS_OR_EQUAL, 1, name, record), 0);
    EXPECT_EQ(NumberOf(record), 2);
    name = NameKey("Jones");
    ASSERT_EQ(file.Get(RECMAN_GET_GREATER, 1, name, record), 0);
    EXPECT_EQ(NumberOf(record), 5);
    name = NameKey("Smith");
    ASSERT_EQ(file.Get(RECMAN_GET_LESS, 1, name, record), 0);
    EXPECT_EQ(NumberOf(record), 4);

    // Jones 1 becomes a Smith: it joins the end of the Smiths, although it is the
    // oldest record of the file.
    name = NameKey("Jones");
    ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 1, name, record), 0);
    ASSERT_EQ(NumberOf(record), 1);
    PutText(record, kName, 20, "Smith");
    ASSERT_EQ(file.Update(record, 1), 0);
    // The positioning followed it: Get Next runs off the end, Get Previous finds Smith 2.
    Bytes next(kPersonLength);
    EXPECT_EQ(file.Step(RECMAN_GET_NEXT, 1, next), RECMAN_END_OF_FILE);
    ASSERT_EQ(file.Step(RECMAN_GET_PREVIOUS, 1, next), 0);
    EXPECT_EQ(NumberOf(next), 1);
    ASSERT_EQ(file.Step(RECMAN_GET_PREVIOUS, 1, next), 0);
    EXPECT_EQ(NumberOf(next), 2);
    EXPECT_EQ(Numbers(file, 1), (std::vector<int32_t>{4, 5, 3, 2, 1}));

    // An update that leaves the name alone keeps the record's place in its group.
    name = NameKey("smith");
    ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 1, name, record), 0);
    ASSERT_EQ(NumberOf(record), 5);
    PutText(record, kNote, 12, "changed");
    ASSERT_EQ(file.Update(record, 1), 0);
    EXPECT_EQ(Numbers(file, 1), (std::vector<int32_t>{4, 5, 3, 2, 1}));
}

TEST_F(RecmanTest, GetNextContinuesAfterTheCurrentRecordWasDeleted) {
    const ClientId other_client = NewClientId();
    RecmanFile file;
    OpenPeople(file);
    RecmanFile other(&other_client);
    ASSERT_EQ(other.Open(Path("PEOPLE.DAT")), 0);
    InsertPeople(file, {Person(1, "Ann"), Person(2, "Bob"), Person(3, "Bob"), Person(4, "Bob"),
                        Person(5, "Eve")});
    Bytes record(kPersonLength);

    // Deleted by the same position block: next and previous are its neighbours.
    Bytes key = NumberKey(3);
    ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 0, key, record), 0);
    ASSERT_EQ(file.Delete(), 0);
    uint32_t position = 0;
    EXPECT_EQ(file.GetPosition(&position), RECMAN_INVALID_POSITIONING);
    EXPECT_EQ(file.Update(record), RECMAN_INVALID_POSITIONING);
    ASSERT_EQ(file.Step(RECMAN_GET_NEXT, 0, record), 0);
    EXPECT_EQ(NumberOf(record), 4);

    // Deleted by another client while this block stands on it, along a key with
    // duplicates: the next duplicate follows.
    Bytes name = NameKey("Bob");
    ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 1, name, record), 0);
    ASSERT_EQ(NumberOf(record), 2);
    key = NumberKey(2);
    Bytes theirs(kPersonLength);
    ASSERT_EQ(other.Get(RECMAN_GET_EQUAL, 0, key, theirs), 0);
    ASSERT_EQ(other.Delete(), 0);
    ASSERT_EQ(file.Step(RECMAN_GET_NEXT, 1, record), 0);
    EXPECT_EQ(NumberOf(record), 4);
    // And the other way.
    key = NumberKey(4);
    ASSERT_EQ(other.Get(RECMAN_GET_EQUAL, 0, key, theirs), 0);
    ASSERT_EQ(other.Delete(), 0);
    ASSERT_EQ(file.Step(RECMAN_GET_PREVIOUS, 1, record), 0);
    EXPECT_EQ(NumberOf(record), 1);
    // The current record gone under an Update: a conflict, nothing written.
    key = NumberKey(5);
    ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 0, key, record), 0);
    ASSERT_EQ(other.Get(RECMAN_GET_EQUAL, 0, key, theirs), 0);
    ASSERT_EQ(other.Delete(), 0);
    EXPECT_EQ(file.Update(record), RECMAN_RECORD_CONFLICT);
    EXPECT_EQ(file.Delete(), RECMAN_RECORD_CONFLICT);
    EXPECT_EQ(Numbers(file, 0), (std::vector<int32_t>{1}));
}

TEST_F(RecmanTest, InsertAndUpdateRefuseDuplicatesAndUnmodifiableKeys) {
    // Key 0: a modifiable unique number; key 1: a unique number that may not change.
    const Bytes layout = SpecLayout(12, {{{1, 4, RECMAN_KEY_MODIFIABLE, RECMAN_TYPE_INTEGER}},
                                         {{5, 4, 0, RECMAN_TYPE_INTEGER}}});
    ASSERT_EQ(CreateFile(Path("PAIRS.DAT"), layout), 0);
    RecmanFile file;
    ASSERT_EQ(file.Open(Path("PAIRS.DAT")), 0);
    auto pair = [](int32_t first, int32_t second) {
        Bytes record(12, 0);
        Put32(record, 0, first);
        Put32(record, 4, second);
        return record;
    };
    for (Bytes record : {pair(1, 100), pair(2, 200)}) {
        ASSERT_EQ(file.Insert(record), 0);
    }
    Bytes duplicate = pair(3, 200);
    EXPECT_EQ(file.Insert(duplicate), RECMAN_DUPLICATE_KEY);
    Bytes stat;
    ASSERT_EQ(file.Stat(stat), 0);
    EXPECT_EQ(Get32(stat, 6), 2);

    auto stored = [&](int32_t first) {
        Bytes key(4);
        Put32(key, 0, first);
        Bytes record(12);
        const int status = file.Get(RECMAN_GET_EQUAL, 0, key, record);
        return status == 0 ? record : Bytes{};
    };
    Bytes record = stored(1);
    ASSERT_FALSE(record.empty());
    Bytes changed = pair(7, 101);  // key 1 would change
    EXPECT_EQ(file.Update(changed), RECMAN_KEY_NOT_MODIFIABLE);
    changed = pair(2, 100);  // key 0 would clash with the other record
    EXPECT_EQ(file.Update(changed), RECMAN_DUPLICATE_KEY);
    EXPECT_EQ(stored(1), pair(1, 100));  // nothing was written
    EXPECT_EQ(stored(2), pair(2, 200));
    ASSERT_FALSE(stored(1).empty());
    changed = pair(5, 100);
    ASSERT_EQ(file.Update(changed), 0);
    EXPECT_TRUE(stored(1).empty());
    EXPECT_EQ(stored(5), pair(5, 100));

    // Key number -1 leaves the positioning where it was.
    uint32_t before = 0;
    ASSERT_EQ(file.GetPosition(&before), 0);
    Bytes third = pair(9, 900);
    ASSERT_EQ(file.Insert(third, -1), 0);
    uint32_t after = 0;
    ASSERT_EQ(file.GetPosition(&after), 0);
    EXPECT_EQ(before, after);
    Bytes next(12);
    ASSERT_EQ(file.Step(RECMAN_GET_NEXT, 0, next), 0);
    EXPECT_EQ(next, pair(9, 900));
    changed = pair(6, 100);
    ASSERT_EQ(file.GetDirect(before, 0, next), 0);
    ASSERT_EQ(file.Update(changed, -1), 0);
    ASSERT_EQ(file.Step(RECMAN_GET_NEXT, 0, next), 0);  // still from the old value 5
    EXPECT_EQ(next, pair(6, 100));
}

TEST_F(RecmanTest, UpdatesSeeChangesMadeThroughAnotherBlockOfTheSameClient) {
    // Key 0: a number; key 1: a modifiable name with duplicates; then 4 bytes of payload.
    const Bytes layout = SpecLayout(
        12, {{{1, 4, 0, RECMAN_TYPE_INTEGER}},
             {{5, 4, RECMAN_KEY_DUPLICATES | RECMAN_KEY_MODIFIABLE, RECMAN_TYPE_STRING}}});
    ASSERT_EQ(CreateFile(Path("NAMES.DAT"), layout), 0);
    RecmanFile first;
    RecmanFile second;
    ASSERT_EQ(first.Open(Path("NAMES.DAT")), 0);
    ASSERT_EQ(second.Open(Path("NAMES.DAT")), 0);
    auto row = [](int32_t number, const std::string& name, const std::string& payload) {
        Bytes record(12, ' ');
        Put32(record, 0, number);
        PutText(record, 4, 4, name);
        PutText(record, 8, 4, payload);
        return record;
    };
    Bytes ann = row(1, "Ann", "");
    Bytes bob = row(2, "Bob", "");
    ASSERT_EQ(first.Insert(ann), 0);
    ASSERT_EQ(first.Insert(bob), 0);

    ASSERT_EQ(first.Begin(), 0);
    Bytes mine(12);
    Bytes theirs(12);
    Bytes key = NumberKey(1);
    ASSERT_EQ(first.Get(RECMAN_GET_EQUAL, 0, key, mine), 0);
    key = NumberKey(1);
    ASSERT_EQ(second.Get(RECMAN_GET_EQUAL, 0, key, theirs), 0);
    PutText(theirs, 4, 4, "Zed");
    ASSERT_EQ(second.Update(theirs, 1), 0);
    // The first block's copy still says Ann: its update puts the name back, and the key
    // follows the record's data.
    PutText(mine, 8, 4, "one");
    ASSERT_EQ(first.Update(mine), 0);
    PutText(mine, 8, 4, "two");
    ASSERT_EQ(first.Update(mine), 0);  // its own update it knows about
    ASSERT_EQ(first.End(), 0);

    Bytes record(12);
    Bytes name(4);
    PutText(name, 0, 4, "Zed");
    EXPECT_EQ(first.Get(RECMAN_GET_EQUAL, 1, name, record), RECMAN_KEY_NOT_FOUND);
    PutText(name, 0, 4, "Ann");
    ASSERT_EQ(first.Get(RECMAN_GET_EQUAL, 1, name, record), 0);
    EXPECT_EQ(record, row(1, "Ann", "two"));
}

// What the people file should hold, and in which order each key lists it. Along a key
// with duplicates a person's place among equals comes from one counter, taken when the
// person is inserted and again only when that key's value changes.
class PeopleModel {
  public:
    struct Entry {
        int32_t number;
        std::string name;
        int year;
        std::string note;
        int64_t name_sequence;
        int64_t note_sequence;
    };

    void Put(int32_t number, const std::string& name, int year, const std::string& note) {
        const auto found = std::find_if(entries_.begin(), entries_.end(),
                                        [&](const Entry& e) { return e.number == number; });
        if (found == entries_.end()) {
            entries_.push_back({number, name, year, note, ++counter_, ++counter_});
            return;
        }
        if (Upper(found->name) != Upper(name)) {
            found->name_sequence = ++counter_;
        }
        if (found->note != note) {
            found->note_sequence = ++counter_;
        }
        found->name = name;
        found->year = year;
        found->note = note;
    }

    const Entry& Of(int32_t number) const {
        return *std::find_if(entries_.begin(), entries_.end(),
                             [&](const Entry& e) { return e.number == number; });
    }

    std::vector<int32_t> Order(int key) const {
        std::vector<Entry> entries;
        for (const Entry& entry : entries_) {
            if (key != 3 || !entry.note.empty()) {  // key 3 leaves blank notes out
                entries.push_back(entry);
            }
        }
        std::sort(entries.begin(), entries.end(), [key](const Entry& a, const Entry& b) {
            switch (key) {
                case 1:
                    return std::make_pair(Upper(a.name), a.name_sequence) <
                           std::make_pair(Upper(b.name), b.name_sequence);
                case 2:  // birthday descending, then number
                    return a.year != b.year ? a.year > b.year : a.number < b.number;
                case 3:
                    return std::make_pair(a.note, a.note_sequence) <
                           std::make_pair(b.note, b.note_sequence);
                default:
                    return a.number < b.number;
            }
        });
        std::vector<int32_t> numbers;
        for (const Entry& entry : entries) {
            numbers.push_back(entry.number);
        }
        return numbers;
    }

  private:
    static std::string Upper(std::string text) {
        for (char& c : text) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        return text;
    }

    std::vector<Entry> entries_;
    int64_t counter_ = 0;
};

// The value of the people file's key 2: the birthday (1 January of `year`), then the
// number.
Bytes BirthdayKey(int year, int32_t number) {
    Bytes key(8);
    key[0] = 1;
    key[1] = 1;
    Put16(key, 2, year);
    Put32(key, 4, number);
    return key;
}

TEST_F(RecmanTest, AnUpdateMovesTheRecordAlongTheKeysItChangesAndKeepsItsPlaceOnTheOthers) {
    struct Change {
        int32_t number;
        const char* name;
        int year;
        const char* note;
        const char* what;
    };
    const Change changes[] = {
        {1, "Smith", 1995, "x", "birthday only: still the first Smith and the first x"},
        {5, "SMITH", 1985, "x", "the name's case only: no key changes"},
        {3, "Jones", 1970, "", "name only: to the end of the Joneses"},
        {2, "Jones", 1990, "x", "a note where there was none: into key 3, at the end of x"},
        {6, "Jones", 1975, "", "the note blanked: out of key 3"},
        {4, "Smith", 1960, "y", "name, birthday and note at once"},
        {2, "Jones", 1990, "x", "nothing at all"},
        {1, "Smith", 1995, "y", "note only: to the end of y"},
    };
    for (const bool in_transactions : {false, true}) {
        SCOPED_TRACE(in_transactions ? "each update in a transaction" : "outside transactions");
        RecmanFile file;
        OpenPeople(file, in_transactions ? "INSIDE.DAT" : "OUTSIDE.DAT");
        PeopleModel model;
        const Change people[] = {{1, "Smith", 1980, "x", ""}, {2, "Jones", 1990, "", ""},
                                 {3, "Smith", 1970, "", ""},  {4, "Brown", 1990, "", ""},
                                 {5, "smith", 1985, "x", ""}, {6, "Jones", 1975, "x", ""}};
        for (const Change& person : people) {
            Bytes record = Person(person.number, person.name, person.year, person.note);
            ASSERT_EQ(file.Insert(record), 0);
            model.Put(person.number, person.name, person.year, person.note);
        }
        for (const Change& change : changes) {
            SCOPED_TRACE(change.what);
            const int old_year = model.Of(change.number).year;
            if (in_transactions) {
                ASSERT_EQ(file.Begin(), 0);
            }
            Bytes record(kPersonLength);
            Bytes key = NumberKey(change.number);
            ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 0, key, record), 0);
            const Bytes changed = Person(change.number, change.name, change.year, change.note);
            record = changed;
            ASSERT_EQ(file.Update(record), 0);
            if (in_transactions) {
                ASSERT_EQ(file.End(), 0);
            }
            model.Put(change.number, change.name, change.year, change.note);

            for (int8_t k = 0; k < 4; ++k) {
                EXPECT_EQ(Numbers(file, k), model.Order(k)) << "key " << int{k};
            }
            // Found by its new value of a unique key, not by its old one.
            Bytes birthday = BirthdayKey(change.year, change.number);
            ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 2, birthday, record), 0);
            EXPECT_EQ(record, changed);
            if (old_year != change.year) {
                birthday = BirthdayKey(old_year, change.number);
                EXPECT_EQ(file.Get(RECMAN_GET_EQUAL, 2, birthday, record), RECMAN_KEY_NOT_FOUND);
            }
            // And along a key with duplicates, within its group.
            Bytes name = NameKey(change.name);
            ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 1, name, record), 0);
            bool found = false;
            for (int status = 0; status == 0 && !found;
                 status = file.Step(RECMAN_GET_NEXT, 1, record)) {
                found = NumberOf(record) == change.number;
            }
            EXPECT_TRUE(found);
        }
    }
}

TEST_F(RecmanTest, AnUpdateRefusedAsADuplicateLeavesTheRecordAndEveryKeyAsTheyWere) {
    // Key 0: the number; key 1: a name with duplicates; key 2: a unique modifiable code;
    // key 3: a tag with duplicates.
    const uint16_t dup_mod = RECMAN_KEY_DUPLICATES | RECMAN_KEY_MODIFIABLE;
    const Bytes layout = SpecLayout(20, {{{1, 4, 0, RECMAN_TYPE_INTEGER}},
                                         {{5, 8, dup_mod, RECMAN_TYPE_STRING}},
                                         {{13, 4, RECMAN_KEY_MODIFIABLE, RECMAN_TYPE_INTEGER}},
                                         {{17, 4, dup_mod, RECMAN_TYPE_STRING}}});
    ASSERT_EQ(CreateFile(Path("CODES.DAT"), layout), 0);
    RecmanFile file;
    ASSERT_EQ(file.Open(Path("CODES.DAT")), 0);
    auto row = [](int32_t number, const std::string& name, int32_t code, const std::string& tag) {
        Bytes record(20, ' ');
        Put32(record, 0, number);
        PutText(record, 4, 8, name);
        Put32(record, 12, code);
        PutText(record, 16, 4, tag);
        return record;
    };
    for (Bytes record : {row(1, "Ann", 10, "A"), row(2, "Ann", 20, "A"), row(3, "Ann", 30, "B"),
                         row(4, "Bob", 40, "A")}) {
        ASSERT_EQ(file.Insert(record), 0);
    }
    auto numbers = [&](int8_t key) {
        std::vector<int32_t> found;
        Bytes record(20);
        for (int status = file.Step(RECMAN_GET_FIRST, key, record); status == 0;
             status = file.Step(RECMAN_GET_NEXT, key, record)) {
            found.push_back(static_cast<int32_t>(Get32(record, 0)));
        }
        return found;
    };
    auto by_code = [&](int32_t code) {
        Bytes key(4);
        Put32(key, 0, code);
        Bytes record(20);
        return file.Get(RECMAN_GET_EQUAL, 2, key, record) == 0 ? record : Bytes{};
    };
    auto update = [&](const Bytes& changed) {
        Bytes key = NumberKey(static_cast<int32_t>(Get32(changed, 0)));
        Bytes record(20);
        const int status = file.Get(RECMAN_GET_EQUAL, 0, key, record);
        if (status != 0) {
            return status;
        }
        record = changed;
        return file.Update(record);
    };
    auto expect_unchanged = [&](const std::vector<int32_t>& tags) {
        EXPECT_EQ(numbers(1), (std::vector<int32_t>{1, 2, 3, 4}));
        EXPECT_EQ(numbers(2), (std::vector<int32_t>{1, 2, 3, 4}));
        EXPECT_EQ(numbers(3), tags);
        EXPECT_EQ(by_code(10), row(1, "Ann", 10, "A"));
    };

    // The name and the tag would change, the code clashes with record 2.
    EXPECT_EQ(update(row(1, "Bob", 20, "B")), RECMAN_DUPLICATE_KEY);
    expect_unchanged({1, 2, 4, 3});
    // Inside a transaction: the refused update leaves the rest of it to commit.
    ASSERT_EQ(file.Begin(), 0);
    ASSERT_EQ(update(row(2, "Ann", 20, "B")), 0);
    EXPECT_EQ(update(row(1, "Bob", 20, "B")), RECMAN_DUPLICATE_KEY);
    ASSERT_EQ(file.End(), 0);
    expect_unchanged({1, 4, 3, 2});
    // Record 1 changes its name and code after all: its tag keeps its place.
    ASSERT_EQ(update(row(1, "Bob", 15, "A")), 0);
    EXPECT_EQ(numbers(1), (std::vector<int32_t>{2, 3, 4, 1}));
    EXPECT_EQ(numbers(2), (std::vector<int32_t>{1, 2, 3, 4}));
    EXPECT_EQ(numbers(3), (std::vector<int32_t>{1, 4, 3, 2}));
    EXPECT_TRUE(by_code(10).empty());
    EXPECT_EQ(by_code(15), row(1, "Bob", 15, "A"));
}

TEST_F(RecmanTest, AScanOfAnotherClientSeesUpdatesOfSomeKeysOrOfTheDataOnly) {
    RecmanFile scanner;
    const ClientId other_client = NewClientId();
    RecmanFile other(&other_client);
    OpenPeople(scanner);
    ASSERT_EQ(other.Open(Path("PEOPLE.DAT")), 0);
    // Along the name: Ann 1, 3, 5, 7, then Bob 2, 4, 6, 8.
    for (int32_t n = 1; n <= 8; ++n) {
        Bytes record = Person(n, n % 2 == 1 ? "Ann" : "Bob", 1980 + n);
        ASSERT_EQ(scanner.Insert(record), 0);
    }
    std::vector<Bytes> seen;
    Bytes record(kPersonLength);
    ASSERT_EQ(scanner.Step(RECMAN_GET_FIRST, 1, record), 0);
    seen.push_back(record);
    for (int i = 0; i < 2; ++i) {  // a scan: the rows after 5 are read ahead now
        ASSERT_EQ(scanner.Step(RECMAN_GET_NEXT, 1, record), 0);
        seen.push_back(record);
    }
    auto update = [&](const Bytes& changed) {
        Bytes key = NumberKey(static_cast<int32_t>(Get32(changed, kNumber)));
        Bytes current(kPersonLength);
        ASSERT_EQ(other.Get(RECMAN_GET_EQUAL, 0, key, current), 0);
        current = changed;
        ASSERT_EQ(other.Update(current), 0);
    };
    update(Person(7, "ANN", 1987));  // the data only: the name's encoding is the same
    update(Person(2, "Bob", 1999));  // the birthday only
    update(Person(4, "Ann", 1984));  // the name: to the end of the Anns
    for (int status = scanner.Step(RECMAN_GET_NEXT, 1, record); status == 0;
         status = scanner.Step(RECMAN_GET_NEXT, 1, record)) {
        seen.push_back(record);
    }
    const std::vector<Bytes> expected = {Person(1, "Ann", 1981), Person(3, "Ann", 1983),
                                         Person(5, "Ann", 1985), Person(7, "ANN", 1987),
                                         Person(4, "Ann", 1984), Person(2, "Bob", 1999),
                                         Person(6, "Bob", 1986), Person(8, "Bob", 1988)};
    EXPECT_EQ(seen, expected);
}

TEST_F(RecmanTest, AnUpdateJournalsOnlyTheIndexPagesOfTheKeysItChanges) {
    fault_vfs::Install();  // counts journal pages of the connections made from now on
    const ClientId client = NewClientId();
    // Key 0: the number; keys 1 to 5: modifiable integers with duplicates.
    const uint16_t dup_mod = RECMAN_KEY_DUPLICATES | RECMAN_KEY_MODIFIABLE;
    std::vector<std::vector<SegmentLayout>> keys = {{{1, 4, 0, RECMAN_TYPE_INTEGER}}};
    for (uint16_t k = 1; k <= 5; ++k) {
        keys.push_back({{static_cast<uint16_t>(1 + 4 * k), 4, dup_mod, RECMAN_TYPE_INTEGER}});
    }
    ASSERT_EQ(CreateFile(Path("WIDE.DAT"), SpecLayout(64, keys)), 0);
    RecmanFile file(&client);
    ASSERT_EQ(file.Open(Path("WIDE.DAT")), 0);
    constexpr int32_t kRecords = 3000;
    const int32_t moduli[] = {7, 11, 13, 17, 19};
    auto row = [&](int32_t number, int32_t shift, int changed_keys) {
        Bytes record(64, 'p');
        Put32(record, 0, number);
        for (int k = 0; k < 5; ++k) {
            Put32(record, 4 + 4 * static_cast<size_t>(k),
                  number % moduli[k] + (k < changed_keys ? shift : 0));
        }
        return record;
    };
    ASSERT_EQ(file.Begin(), 0);
    for (int32_t n = 1; n <= kRecords; ++n) {
        Bytes record = row(n, 0, 0);
        ASSERT_EQ(file.Insert(record), 0);
    }
    ASSERT_EQ(file.End(), 0);

    // Journaled pages of one update of record 1500 (a commit of its own).
    auto pages = [&](int changed_keys, uint8_t payload) {
        Bytes key = NumberKey(1500);
        Bytes record(64);
        EXPECT_EQ(file.Get(RECMAN_GET_EQUAL, 0, key, record), 0);
        const uint64_t before = fault_vfs::JournalPagesWritten();
        record = row(1500, 3, changed_keys);
        record[63] = payload;
        EXPECT_EQ(file.Update(record), 0);
        return fault_vfs::JournalPagesWritten() - before;
    };
    const uint64_t data_only = pages(0, 'a');
    // The database header and the record's own page.
    EXPECT_LE(data_only, 2u);
    EXPECT_GE(data_only, 1u);
    // Key 1's entry moves: its old and new leaf, the sequence counter's page, and room
    // for a split of the leaf it moves into; the four other indexes stay clean.
    const uint64_t one_key = pages(1, 'b');
    EXPECT_GT(one_key, data_only);
    EXPECT_LE(one_key, data_only + 5);
    // Every changed key journals pages of its own index.
    const uint64_t five_keys = pages(5, 'c');
    EXPECT_GE(five_keys, data_only + 6);
    // The record kept its place along key 0 and moved along the others.
    Bytes record(64);
    Bytes key(4);
    Put32(key, 0, 1500 % 19 + 3);
    ASSERT_EQ(file.Get(RECMAN_GET_LESS_OR_EQUAL, 5, key, record), 0);
    EXPECT_EQ(Get32(record, 0), 1500);
}

TEST_F(RecmanTest, UpdatesChangingEveryCombinationOfKeysWriteEachOfThem) {
    // Key 0: the number; keys 1 to 7: unique modifiable integers. Each update changes
    // another combination of keys 1 to 7 (127 of them, more than are kept prepared).
    std::vector<std::vector<SegmentLayout>> keys = {{{1, 4, 0, RECMAN_TYPE_INTEGER}}};
    for (uint16_t k = 1; k <= 7; ++k) {
        keys.push_back(
            {{static_cast<uint16_t>(1 + 4 * k), 4, RECMAN_KEY_MODIFIABLE, RECMAN_TYPE_INTEGER}});
    }
    ASSERT_EQ(CreateFile(Path("COMBOS.DAT"), SpecLayout(32, keys)), 0);
    RecmanFile file;
    ASSERT_EQ(file.Open(Path("COMBOS.DAT")), 0);
    // Record 1 holds the values 1000 * k + its version of key k, record 2 the negatives.
    std::vector<int32_t> versions(8, 0);
    auto record_of = [&](int32_t number) {
        Bytes record(32, 0);
        Put32(record, 0, number);
        for (size_t k = 1; k <= 7; ++k) {
            const int32_t value = static_cast<int32_t>(1000 * k) + versions[k];
            Put32(record, 4 * k, number == 1 ? value : -value);
        }
        return record;
    };
    for (const int32_t number : {1, 2}) {
        Bytes record = record_of(number);
        ASSERT_EQ(file.Insert(record), 0);
    }
    auto number_by = [&](int8_t key, int32_t value) {
        Bytes key_value(4);
        Put32(key_value, 0, value);
        Bytes record(32);
        const int status = file.Get(RECMAN_GET_EQUAL, key, key_value, record);
        return status == 0 ? static_cast<int32_t>(Get32(record, 0)) : -status;
    };
    for (int combination = 1; combination < 128; ++combination) {
        SCOPED_TRACE("combination " + std::to_string(combination));
        const std::vector<int32_t> old_versions = versions;
        for (size_t k = 1; k <= 7; ++k) {
            if ((combination >> (k - 1)) & 1) {
                ++versions[k];
            }
        }
        Bytes key = NumberKey(1);
        Bytes record(32);
        ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 0, key, record), 0);
        record = record_of(1);
        ASSERT_EQ(file.Update(record), 0);
        for (int8_t k = 1; k <= 7; ++k) {
            const int32_t base = 1000 * k;
            EXPECT_EQ(number_by(k, base + versions[static_cast<size_t>(k)]), 1) << "key " << int{k};
            if (old_versions[static_cast<size_t>(k)] != versions[static_cast<size_t>(k)]) {
                EXPECT_EQ(number_by(k, base + old_versions[static_cast<size_t>(k)]),
                          -RECMAN_KEY_NOT_FOUND)
                    << "key " << int{k};
            }
        }
    }
    // The other record never moved.
    for (int8_t k = 1; k <= 7; ++k) {
        EXPECT_EQ(number_by(k, -1000 * k), 2);
    }
}

TEST_F(RecmanTest, AutoIncGivesTheHighestValuePlusOneAndKeepsGivenValues) {
    RecmanFile file;
    const Bytes layout = SpecLayout(12, {{{1, 4, 0, RECMAN_TYPE_AUTOINC}},
                                         {{5, 8, RECMAN_KEY_DUPLICATES, RECMAN_TYPE_STRING}}});
    ASSERT_EQ(CreateFile(Path("AUTO.DAT"), layout), 0);
    ASSERT_EQ(file.Open(Path("AUTO.DAT")), 0);
    auto insert = [&](int32_t value, int expected_status) {
        Bytes record(12, 0);
        Put32(record, 0, value);
        PutText(record, 4, 8, "row");
        EXPECT_EQ(file.Insert(record), expected_status) << "value " << value;
        return static_cast<int32_t>(Get32(record, 0));
    };
    EXPECT_EQ(insert(0, 0), 1);
    EXPECT_EQ(insert(0, 0), 2);
    EXPECT_EQ(insert(10, 0), 10);
    EXPECT_EQ(insert(0, 0), 11);
    EXPECT_EQ(insert(5, 0), 5);
    EXPECT_EQ(insert(0, 0), 12);
    insert(10, RECMAN_DUPLICATE_KEY);
    // The number reached the key buffer too, for key 0.
    EXPECT_EQ(Get32(Bytes(file.key_buffer(), file.key_buffer() + 4), 0), 12);

    // Descending AutoInc: the highest value is the first entry of the key.
    const Bytes down = SpecLayout(4, {{{1, 4, RECMAN_KEY_DESCENDING, RECMAN_TYPE_AUTOINC}}});
    ASSERT_EQ(CreateFile(Path("DOWN.DAT"), down), 0);
    RecmanFile down_file;
    ASSERT_EQ(down_file.Open(Path("DOWN.DAT")), 0);
    for (int32_t expected : {1, 2, 3}) {
        Bytes record(4, 0);
        ASSERT_EQ(down_file.Insert(record), 0);
        EXPECT_EQ(Get32(record, 0), expected);
    }
}

TEST_F(RecmanTest, NullKeysLeaveRecordsOutAndGetDirectSays44ForThem) {
    RecmanFile file;
    OpenPeople(file);
    InsertPeople(file, {Person(1, "Ann", 2000, "urgent"), Person(2, "Bob", 2000, ""),
                        Person(3, "Cy", 2000, "later")});
    // Key 3 skips the blank note.
    EXPECT_EQ(Numbers(file, 3), (std::vector<int32_t>{3, 1}));  // "later" < "urgent"
    Bytes record(kPersonLength);
    Bytes key = NumberKey(2);
    ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 0, key, record), 0);
    uint32_t bob = 0;
    ASSERT_EQ(file.GetPosition(&bob), 0);
    EXPECT_NE(bob, 0u);

    Bytes direct(kPersonLength, 0xEE);
    EXPECT_EQ(file.GetDirect(bob, 3, direct), RECMAN_INVALID_KEY_PATH);
    EXPECT_EQ(direct[8], 0xEE);  // the buffer keeps what it held
    ASSERT_EQ(file.GetDirect(bob, -1, direct), 0);
    EXPECT_EQ(NumberOf(direct), 2);
    // Without a key the record is current but there is no positioning to continue.
    EXPECT_EQ(file.Step(RECMAN_GET_NEXT, 0, direct), RECMAN_INVALID_POSITIONING);
    ASSERT_EQ(file.GetDirect(bob, 0, direct), 0);
    ASSERT_EQ(file.Step(RECMAN_GET_NEXT, 0, direct), 0);
    EXPECT_EQ(NumberOf(direct), 3);
    EXPECT_EQ(file.GetDirect(0, 0, direct), RECMAN_INVALID_RECORD_ADDRESS);
    EXPECT_EQ(file.GetDirect(bob + 1000, 0, direct), RECMAN_INVALID_RECORD_ADDRESS);

    // Giving Bob a note puts him into key 3; blanking Ann's takes her out.
    ASSERT_EQ(file.GetDirect(bob, 0, record), 0);
    PutText(record, kNote, 12, "soon");
    ASSERT_EQ(file.Update(record), 0);
    key = NumberKey(1);
    ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 0, key, record), 0);
    PutText(record, kNote, 12, "");
    ASSERT_EQ(file.Update(record), 0);
    EXPECT_EQ(Numbers(file, 3), (std::vector<int32_t>{3, 2}));
}

TEST_F(RecmanTest, PositionsAreStableAndNeverGivenTwice) {
    RecmanFile file;
    OpenPeople(file);
    std::vector<uint32_t> positions;
    for (int32_t n = 1; n <= 3; ++n) {
        Bytes person = Person(n, "P");
        ASSERT_EQ(file.Insert(person), 0);
        uint32_t position = 0;
        ASSERT_EQ(file.GetPosition(&position), 0);
        positions.push_back(position);
    }
    Bytes record(kPersonLength);
    ASSERT_EQ(file.GetDirect(positions[2], 0, record), 0);
    ASSERT_EQ(file.Delete(), 0);
    Bytes person = Person(9, "Q");
    ASSERT_EQ(file.Insert(person), 0);
    uint32_t position = 0;
    ASSERT_EQ(file.GetPosition(&position), 0);
    EXPECT_GT(position, positions[2]);
    ASSERT_EQ(file.GetDirect(positions[1], 0, record), 0);
    EXPECT_EQ(NumberOf(record), 2);
}

TEST_F(RecmanTest, PercentagesRoundTripAlongAKeyAndPhysically) {
    RecmanFile file;
    OpenPeople(file);
    Bytes record(kPersonLength);
    uint8_t percent[4] = {};
    uint32_t length = sizeof percent;
    EXPECT_EQ(file.Call(RECMAN_GET_BY_PERCENTAGE, percent, &length, file.key_buffer(), 0),
              RECMAN_END_OF_FILE);

    constexpr int kCount = 1000;
    ASSERT_EQ(file.Begin(), 0);
    for (int32_t n = 0; n < kCount; ++n) {
        Bytes person = Person(n * 3, "P" + std::to_string(n), 2000, "same note");
        ASSERT_EQ(file.Insert(person), 0);
    }
    ASSERT_EQ(file.End(), 0);

    auto get_by_percentage = [&](int8_t key, uint32_t value) {
        Bytes data(kPersonLength, 0);
        Put32(data, 0, value);
        uint32_t size = kPersonLength;
        EXPECT_EQ(file.Call(RECMAN_GET_BY_PERCENTAGE, data.data(), &size, file.key_buffer(), key),
                  0);
        return NumberOf(data);
    };
    auto find_percentage = [&](int8_t key, int32_t number) {
        Bytes data(kPersonLength, 0);
        uint32_t size = kPersonLength;
        if (key == 0) {
            std::memcpy(file.key_buffer(), NumberKey(number).data(), 4);
        } else {
            Bytes found(kPersonLength);
            Bytes value = NumberKey(number);
            EXPECT_EQ(file.Get(RECMAN_GET_EQUAL, 0, value, found), 0);
            uint32_t position = 0;
            EXPECT_EQ(file.GetPosition(&position), 0);
            Put32(data, 0, position);
        }
        EXPECT_EQ(file.Call(RECMAN_FIND_PERCENTAGE, data.data(), &size, file.key_buffer(), key), 0);
        EXPECT_EQ(size, 4u);
        return static_cast<uint32_t>(Get32(data, 0));
    };
    for (const int8_t key : {int8_t{0}, int8_t{-1}}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(get_by_percentage(key, 0), 0);
        EXPECT_EQ(get_by_percentage(key, 10000), (kCount - 1) * 3);
        EXPECT_EQ(find_percentage(key, 0), 0u);
        EXPECT_EQ(find_percentage(key, (kCount - 1) * 3), 10000u);
        EXPECT_NEAR(find_percentage(key, 1500), 5000, 20);
        EXPECT_EQ(get_by_percentage(key, 9999), (kCount - 1) * 3);
        EXPECT_EQ(get_by_percentage(key, 10), 3);
        for (const int32_t number : {3, 300, 1497, 2400, 2994}) {
            const uint32_t at = find_percentage(key, number);
            EXPECT_NEAR(get_by_percentage(key, at), number, 6) << "at " << at;
        }
    }
    // The record found is current along the key: Get Next goes on from it.
    const int32_t middle = get_by_percentage(0, 5000);
    ASSERT_EQ(file.Step(RECMAN_GET_NEXT, 0, record), 0);
    EXPECT_EQ(NumberOf(record), middle + 3);

    // Along a key whose values are all the same, any percentage finds a record.
    Bytes data(kPersonLength, 0);
    Put32(data, 0, 5000);
    length = kPersonLength;
    ASSERT_EQ(file.Call(RECMAN_GET_BY_PERCENTAGE, data.data(), &length, file.key_buffer(), 3), 0);
    EXPECT_EQ(NumberOf(data), 0);  // the first of the duplicates

    Put32(data, 0, 10001);
    length = kPersonLength;
    EXPECT_EQ(file.Call(RECMAN_GET_BY_PERCENTAGE, data.data(), &length, file.key_buffer(), 0),
              RECMAN_INVALID_OPERATION);
}

TEST_F(RecmanTest, LongScansReturnEveryRecordInOrderBothWays) {
    RecmanFile file;
    OpenPeople(file);
    constexpr int kCount = 700;
    ASSERT_EQ(file.Begin(), 0);
    std::vector<int32_t> by_number;
    std::vector<std::vector<int32_t>> groups(7);  // names N0..N6, duplicates in insertion order
    for (int i = 0; i < kCount; ++i) {
        const int32_t number = (i * 389) % kCount;  // every number once, out of order
        Bytes person = Person(number, "N" + std::to_string(number % 7));
        ASSERT_EQ(file.Insert(person), 0);
        groups[static_cast<size_t>(number % 7)].push_back(number);
        by_number.push_back(number);
    }
    ASSERT_EQ(file.End(), 0);
    std::sort(by_number.begin(), by_number.end());
    std::vector<int32_t> by_name;
    for (const auto& group : groups) {
        by_name.insert(by_name.end(), group.begin(), group.end());
    }
    EXPECT_EQ(Numbers(file, 0), by_number);
    EXPECT_EQ(Numbers(file, 1), by_name);
    std::reverse(by_number.begin(), by_number.end());
    std::reverse(by_name.begin(), by_name.end());
    EXPECT_EQ(Numbers(file, 0, true), by_number);
    EXPECT_EQ(Numbers(file, 1, true), by_name);
}

TEST_F(RecmanTest, ReadOnlyOpensReadButRefuseWrites) {
    RecmanFile writer;
    OpenPeople(writer);
    InsertPeople(writer, {Person(1, "Ann")});
    RecmanFile reader;
    ASSERT_EQ(reader.Open(Path("PEOPLE.DAT"), RECMAN_MODE_READ_ONLY), 0);
    Bytes record(kPersonLength);
    ASSERT_EQ(reader.Step(RECMAN_GET_FIRST, 0, record), 0);
    EXPECT_EQ(NumberOf(record), 1);
    EXPECT_EQ(reader.Update(record), RECMAN_ACCESS_DENIED);
    EXPECT_EQ(reader.Delete(), RECMAN_ACCESS_DENIED);
    Bytes person = Person(2, "Bob");
    EXPECT_EQ(reader.Insert(person), RECMAN_ACCESS_DENIED);
    // It sees what the writer commits later.
    ASSERT_EQ(writer.Insert(person), 0);
    EXPECT_EQ(Numbers(reader, 0), (std::vector<int32_t>{1, 2}));
}

TEST_F(RecmanTest, WritesThatFailLeaveTheFileAsItWasAndSaySo) {
    fault_vfs::Install();  // connections made from now on write through it
    RecmanFile file;
    OpenPeople(file, "FAULT.DAT");
    InsertPeople(file, {Person(1, "Ann"), Person(2, "Bob")});
    Bytes record(kPersonLength);
    Bytes key = NumberKey(1);

    // The disk fills up while a transaction commits: nothing of it is there.
    ASSERT_EQ(file.Begin(), 0);
    InsertPeople(file, {Person(3, "Cy"), Person(4, "Di")});
    ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 0, key, record), 0);
    ASSERT_EQ(file.Delete(), 0);
    fault_vfs::FailWrites(fault_vfs::Fault::kDiskFull);
    EXPECT_EQ(file.End(), RECMAN_DISK_FULL);
    // SQLite may have rolled it back already, or left it for Abort to end.
    const int aborted = file.Abort();
    EXPECT_TRUE(aborted == 0 || aborted == RECMAN_NO_TRANSACTION) << aborted;
    EXPECT_EQ(file.Abort(), RECMAN_NO_TRANSACTION);
    // Outside a transaction: the write says so and is not there.
    Bytes eve = Person(5, "Eve");
    EXPECT_EQ(file.Insert(eve), RECMAN_DISK_FULL);
    // An I/O error: the same for updates and deletes.
    fault_vfs::FailWrites(fault_vfs::Fault::kIoError);
    key = NumberKey(2);
    ASSERT_EQ(file.Get(RECMAN_GET_EQUAL, 0, key, record), 0);  // reads still work
    PutText(record, kName, 20, "Robert");
    EXPECT_EQ(file.Update(record, 1), RECMAN_IO_ERROR);
    EXPECT_EQ(file.Delete(), RECMAN_IO_ERROR);
    // Inside a transaction an I/O error ends it: SQLite rolled it back, so every call
    // says so until the caller ends it.
    ASSERT_EQ(file.Begin(), 0);
    EXPECT_EQ(file.Insert(eve), RECMAN_IO_ERROR);
    Bytes fay = Person(6, "Fay");
    EXPECT_EQ(file.Insert(fay), RECMAN_TRANSACTION_ERROR);
    EXPECT_EQ(file.Step(RECMAN_GET_FIRST, 0, record), RECMAN_TRANSACTION_ERROR);
    EXPECT_EQ(file.End(), RECMAN_TRANSACTION_ERROR);
    EXPECT_EQ(file.End(), RECMAN_NO_TRANSACTION);

    fault_vfs::FailWrites(fault_vfs::Fault::kNone);
    EXPECT_EQ(Numbers(file, 0), (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(Numbers(file, 1), (std::vector<int32_t>{1, 2}));  // Bob kept his name
    Bytes layout;
    ASSERT_EQ(file.Stat(layout), 0);
    EXPECT_EQ(Get32(layout, 6), 2);
    ASSERT_EQ(file.Insert(eve), 0);
    EXPECT_EQ(Numbers(file, 0), (std::vector<int32_t>{1, 2, 5}));
}

TEST_F(RecmanTest, EverySeekIsOneIndexSearchWithoutSorting) {
    const Bytes layout = PeopleLayout();
    ASSERT_EQ(CreateFile(Path("PLAN.DAT"), layout), 0);
    recman::FileSpec spec;
    ASSERT_EQ(recman::ParseFileSpec(layout.data(), layout.size(), &spec), 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(Path("PLAN.DAT").c_str(), &db, SQLITE_OPEN_READONLY, nullptr),
              SQLITE_OK);
    using recman::Seek;
    const Seek by_key[] = {Seek::kEqual,       Seek::kGreaterOrEqual, Seek::kGreater,
                           Seek::kLessOrEqual, Seek::kLess,           Seek::kFirst,
                           Seek::kLast,        Seek::kNext,           Seek::kPrevious};
    auto plan = [&](const std::string& sql) {
        sqlite3_stmt* statement = nullptr;
        std::string details;
        EXPECT_EQ(
            sqlite3_prepare_v2(db, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &statement, nullptr),
            SQLITE_OK)
            << sql;
        while (statement != nullptr && sqlite3_step(statement) == SQLITE_ROW) {
            details += reinterpret_cast<const char*>(sqlite3_column_text(statement, 3));
            details += "; ";
        }
        sqlite3_finalize(statement);
        return details;
    };
    for (int key = 0; key < 4; ++key) {
        for (const Seek seek : by_key) {
            for (const bool run : {false, true}) {
                const std::string sql = recman::DataFile::SeekSql(spec, "main", seek, key, run);
                const std::string details = plan(sql);
                EXPECT_NE(details.find("USING INDEX rec_k" + std::to_string(key) + " ("),
                          std::string::npos)
                    << sql << " -> " << details;
                EXPECT_EQ(details.find("TEMP B-TREE"), std::string::npos) << sql;
                EXPECT_EQ(details.find("SCAN"), std::string::npos) << sql;
            }
        }
        const std::string direct =
            plan(recman::DataFile::SeekSql(spec, "main", Seek::kPosition, key, false));
        EXPECT_NE(direct.find("USING INTEGER PRIMARY KEY"), std::string::npos) << direct;
    }
    EXPECT_NE(plan(recman::DataFile::SeekSql(spec, "main", Seek::kPhysicalFrom, -1, false))
                  .find("USING INTEGER PRIMARY KEY"),
              std::string::npos);
    sqlite3_close(db);
}

TEST(StatusMappingTest, SqliteResultsAndSystemErrorsBecomeStatuses) {
    struct Case {
        int result;
        int system_errno;
        int status;
    };
    const Case cases[] = {
        {SQLITE_OK, 0, 0},
        {SQLITE_DONE, 0, 0},
        {SQLITE_BUSY, 0, RECMAN_RECORD_LOCKED},
        {SQLITE_LOCKED, 0, RECMAN_RECORD_LOCKED},
        {SQLITE_FULL, ENOSPC, RECMAN_DISK_FULL},
        {SQLITE_IOERR_WRITE, ENOSPC, RECMAN_DISK_FULL},
        {SQLITE_IOERR_WRITE, EFBIG, RECMAN_IO_ERROR},
        {SQLITE_IOERR_FSYNC, EIO, RECMAN_IO_ERROR},
        {SQLITE_IOERR_READ, 0, RECMAN_IO_ERROR},
        {SQLITE_CORRUPT, 0, RECMAN_IO_ERROR},
        {SQLITE_NOTADB, 0, RECMAN_NOT_A_RECORD_FILE},
        {SQLITE_CANTOPEN, ENOENT, RECMAN_FILE_NOT_FOUND},
        {SQLITE_CANTOPEN, EACCES, RECMAN_ACCESS_DENIED},
        {SQLITE_READONLY, 0, RECMAN_ACCESS_DENIED},
        {SQLITE_CONSTRAINT_UNIQUE, 0, RECMAN_DUPLICATE_KEY},
        {SQLITE_CONSTRAINT_NOTNULL, 0, RECMAN_IO_ERROR},
        {SQLITE_NOMEM, 0, RECMAN_IO_ERROR},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(recman::StatusFromSqlite(test.result, test.system_errno), test.status)
            << "result " << test.result << " errno " << test.system_errno;
    }
    EXPECT_EQ(recman::StatusFromErrno(ENOTDIR), RECMAN_FILE_NOT_FOUND);
    EXPECT_EQ(recman::StatusFromErrno(EROFS), RECMAN_ACCESS_DENIED);
    EXPECT_EQ(recman::StatusFromErrno(EIO), RECMAN_IO_ERROR);
}

}  // namespace
