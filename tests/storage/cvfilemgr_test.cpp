// The file manager against the real record manager: sharing of open files, creating
// missing data files from their definitions, temporary tables, the consistency check,
// closing, changing directory and copies of records.

#include "storage/cvfilemgr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>

#include "platform/core/clock.h"
#include "storage/cvstorageapp.h"
#include "storage/filespecification.h"
#include "tests/storage/storagefixture.h"
#include "tools/ddfwriter/ddfwriter.h"
#include "tools/ddfwriter/dictionaryrows.h"
#include "tools/ddfwriter/tolvaneschema.h"

namespace {

using namespace storage_testing;
namespace fs = std::filesystem;

FileSpecification StatOf(cvFile& file) {
    EXPECT_EQ(file.Stat(), 0);
    FileSpecification spec;
    EXPECT_TRUE(
        FileSpecification::Parse(file.Statistics().data(), file.Statistics().size(), &spec));
    return spec;
}

std::vector<std::string> FileNamesIn(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        const std::string name = entry.path().filename().string();
        if (!name.ends_with("-lock")) {  // the record manager's open-mode lock files
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

class FileMgrTest : public StorageFixture {};

TEST_F(FileMgrTest, SharesOpenFilesByTableAndMode) {
    cvFile* normal = manager().OpenTable("DEVICE");
    ASSERT_NE(normal, nullptr);
    EXPECT_EQ(manager().OpenTable("DEVICE", 0), normal);
    cvFile* read_only = manager().OpenTable("DEVICE", RECMAN_MODE_READ_ONLY);
    ASSERT_NE(read_only, nullptr);
    EXPECT_NE(read_only, normal);
    EXPECT_EQ(read_only->OpenMode(), RECMAN_MODE_READ_ONLY);
    EXPECT_EQ(manager().OpenTable("DEVICE", RECMAN_MODE_READ_ONLY), read_only);
    EXPECT_EQ(manager().Files().size(), 2u);
    EXPECT_EQ(LogLinesWith("opened successfully").size(), 2u);
}

TEST_F(FileMgrTest, AnExclusiveFileServesEveryMode) {
    cvFile* exclusive = manager().OpenTable("DEVICE", RECMAN_MODE_EXCLUSIVE);
    ASSERT_NE(exclusive, nullptr);
    EXPECT_EQ(manager().OpenTable("DEVICE", 0), exclusive);
    EXPECT_EQ(manager().OpenTable("DEVICE", RECMAN_MODE_READ_ONLY), exclusive);
    EXPECT_EQ(manager().Files().size(), 1u);

    // Another client is kept out while it is open.
    auto other = NewManager();
    EXPECT_EQ(other->OpenTable("DEVICE", 0, {}, true), nullptr);
}

TEST_F(FileMgrTest, MissingDataFileIsCreatedFromTheDefinition) {
    const std::string path = data_.file("DEVICE.DAT");
    cvFile* file = manager().OpenTable("DEVICE");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Path(), path);
    EXPECT_TRUE(fs::exists(path));

    const std::vector<std::string> texts = log_.Texts();
    const auto error =
        std::find(texts.begin(), texts.end(), "Error 12 opening file " + path + ".\n");
    const auto opened =
        std::find(texts.begin(), texts.end(), "File " + path + " opened successfully!\n");
    ASSERT_NE(error, texts.end());
    ASSERT_NE(opened, texts.end());
    EXPECT_LT(error, opened);
    // The failed open is reported like any other failure (a question, answered No).
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text.rfind("Open Failed on file DEVICE.DAT\n\n"
                                   "Btrieve Cannot Find the Specified File. [12]\n\n",
                                   0),
              0u);

    const FileSpecification spec = StatOf(*file);
    EXPECT_EQ(spec.record_length, kDeviceLength);
    EXPECT_EQ(spec.page_size, 1024);
    EXPECT_EQ(spec.key_count, 3);
    EXPECT_EQ(spec.file_flags, kDeviceFileFlags);
    struct Expected {
        uint16_t position, length, flags;
        uint8_t type, null_value;
    };
    const Expected expected[] = {
        {1, 4, 0x0000, kTypeAutoInc, 0},    // DEVNBR
        {25, 4, 0x0013, kTypeInteger, 0},   // GROUPNBR, segmented
        {5, 20, 0x0403, kTypeString, 0},    // NAME: the dictionary's 0x0020 as 0x0400
        {29, 1, 0x000B, kTypeString, 'Y'},  // QINACTIVE: null key, fill byte "Y"
    };
    ASSERT_EQ(spec.segments.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(spec.segments[i].position, expected[i].position);
        EXPECT_EQ(spec.segments[i].length, expected[i].length);
        EXPECT_EQ(spec.segments[i].flags, expected[i].flags);
        EXPECT_EQ(spec.segments[i].type, expected[i].type);
        EXPECT_EQ(spec.segments[i].null_value, expected[i].null_value);
    }
    EXPECT_TRUE(LogLinesWith("Consistency check").empty());
}

TEST_F(FileMgrTest, NoCreateLeavesNothingBehind) {
    EXPECT_EQ(manager().OpenTable("DEVICE", 0, {}, true, true), nullptr);
    EXPECT_TRUE(FileNamesIn(data_.path()).empty());
    EXPECT_TRUE(manager().Files().empty());
    EXPECT_EQ(LogLinesWith("Error 12 opening file").size(), 1u);
    // Quiet: the failed open is logged, not shown.
    EXPECT_EQ(LogLinesWith("Open Failed on file DEVICE.DAT").size(), 1u);
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(FileMgrTest, UnknownTableOpensNothing) {
    EXPECT_EQ(manager().OpenTable("NOPE"), nullptr);
    EXPECT_EQ(LogLinesWith("No definition found for table NOPE\n").size(), 1u);
    std::string path;
    EXPECT_EQ(manager().CreateFile("NOPE", &path), -1);
    EXPECT_TRUE(path.empty());
    EXPECT_TRUE(FileNamesIn(data_.path()).empty());
}

TEST_F(FileMgrTest, GivenFileNameIsOpenedAndCreated) {
    cvFile* file = manager().OpenTable("CODES", 0, "OTHER.DAT");
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Path(), data_.file("OTHER.DAT"));
    EXPECT_EQ(FileNamesIn(data_.path()), std::vector<std::string>{"OTHER.DAT"});
}

class TemporaryTableTest : public FileMgrTest {
  protected:
    // 820000042 seconds after the naming epoch: the last seven digits are 0000042.
    TemporaryTableTest()
        : tz_("TZ", "UTC"),
          clock_(platform::MakeLocalTime(1998, 1, 1, 12, 0, 0) + std::chrono::seconds(820000042)) {
        platform::SetClock(&clock_);
    }
    ~TemporaryTableTest() override { platform::SetClock(nullptr); }

    // Puts an existing data file under a temporary name.
    void Occupy(const std::string& name) {
        cvFile* file = manager().OpenTable("CODES", 0, name);
        ASSERT_NE(file, nullptr);
        manager().CloseFiles("CODES");
    }

    ScopedEnv tz_;
    platform::ManualClock clock_;
};

TEST_F(TemporaryTableTest, EachOpenCreatesAFreshFileRetryingCollisions) {
    Occupy("~0000042.tmp");
    cvFile* first = manager().OpenTable("SCRATCH");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Path(), data_.file("~0000043.tmp"));
    EXPECT_TRUE(LogLinesWith("Error 12 opening file").empty());  // never tried to open

    manager().CloseFiles("SCRATCH");
    cvFile* second = manager().OpenTable("SCRATCH");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->Path(), data_.file("~0000044.tmp"));
    EXPECT_EQ(FileNamesIn(data_.path()),
              (std::vector<std::string>{"~0000042.tmp", "~0000043.tmp", "~0000044.tmp"}));
    EXPECT_TRUE(boxes_.empty());

    // Five names taken in a row: the last create failure is reported, nothing opens.
    Occupy("~0000045.tmp");
    Occupy("~0000046.tmp");
    manager().CloseFiles("SCRATCH");
    EXPECT_EQ(manager().OpenTable("SCRATCH"), nullptr);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text.rfind("Create Failed on file ~0000046.tmp\n\n"
                                   "The Specified File Already Exists. [59]",
                                   0),
              0u);
}

TEST_F(TemporaryTableTest, TemporaryFileNameTest) {
    EXPECT_TRUE(IsTemporaryFileName("SCRATCH.TMP"));
    EXPECT_TRUE(IsTemporaryFileName("x.Tmp"));
    EXPECT_FALSE(IsTemporaryFileName("SCRATCH.DAT"));
    EXPECT_FALSE(IsTemporaryFileName("tmp"));
}

// A variant of DEVICE that the physical file is created with before the fixture's
// definition opens it.
struct Variant {
    const char* name;
    std::span<const cvFieldDef> fields;
    std::span<const cvKeyDef> keys;
    int page_size;
    uint8_t file_flags;
    std::vector<std::string> lines;  // consistency lines expected, in order
    bool passes;
};

constexpr cvFieldDef kLongerFields[] = {
    {"DEVNBR", kTypeAutoInc, 0, 4, 0},    {"NAME", kTypeString, 4, 20, 0},
    {"GROUPNBR", kTypeInteger, 24, 4, 0}, {"QINACTIVE", kTypeString, 28, 1, 0},
    {"EXTRA", kTypeString, 64, 6, 0},
};
constexpr cvKeyDef kOneKey[] = {{"DEVNBR", 0x0000}};
constexpr cvKeyDef kExtraKey[] = {
    {"DEVNBR", 0x0000},    {"GROUPNBR", 0x0013}, {"NAME", 0x0023},
    {"QINACTIVE", 0x000B}, {"NAME", 0x0001},
};
constexpr cvKeyDef kOtherSegment[] = {
    {"DEVNBR", 0x0000},
    {"GROUPNBR", 0x0013},
    {"QINACTIVE", 0x0023},
    {"QINACTIVE", 0x000B},
};
constexpr cvKeyDef kCaseSensitiveName[] = {
    {"DEVNBR", 0x0000},
    {"GROUPNBR", 0x0013},
    {"NAME", 0x0003},
    {"QINACTIVE", 0x000B},
};

class ConsistencyTest : public FileMgrTest, public ::testing::WithParamInterface<Variant> {};

TEST_P(ConsistencyTest, PhysicalFileAgainstDefinition) {
    const Variant& variant = GetParam();
    {
        cvDataDict other;
        ASSERT_EQ(other.AddDefinition({"DEVICE", "DEVICE.DAT", variant.page_size, 0, variant.fields,
                                       variant.keys, variant.file_flags}),
                  0);
        cvFileMgr creator(data_.dir(), &other);
        ASSERT_NE(creator.OpenTable("DEVICE"), nullptr);
    }
    log_.Clear();
    boxes_.clear();

    cvFile* file = manager().OpenTable("DEVICE");
    ASSERT_NE(file, nullptr);  // opened whatever the check says
    EXPECT_TRUE(file->IsOpen());
    std::vector<std::string> lines;
    for (const std::string& text : log_.Texts()) {
        if (text.find("onsistency check") != std::string::npos || text.find("Warning:") == 0 ||
            text.find("does not match definition.") != std::string::npos) {
            lines.push_back(text);
        }
    }
    EXPECT_EQ(lines, variant.lines);
    if (variant.passes) {
        EXPECT_TRUE(boxes_.empty());
    } else {
        ASSERT_EQ(boxes_.size(), 1u);
        EXPECT_EQ(boxes_[0].text, "Consistency check failed on " + data_.file("DEVICE.DAT") + ".");
        EXPECT_EQ(boxes_[0].style & kMbButtonMask, kMbOk);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Variants, ConsistencyTest,
    ::testing::Values(
        Variant{"Same", kDeviceFields, kDeviceKeys, 1024, kDeviceFileFlags, {}, true},
        Variant{"RecordLength",
                kLongerFields,
                kDeviceKeys,
                1024,
                kDeviceFileFlags,
                {"Consistency check failed: Record length is 70, should be 64 on DEVICE\n"},
                false},
        Variant{"PageSize",
                kDeviceFields,
                kDeviceKeys,
                2048,
                kDeviceFileFlags,
                {"Consistency check warning: Page size is 2048, should be 1024 on DEVICE\n"},
                true},
        Variant{"FileFlags",
                kDeviceFields,
                kDeviceKeys,
                1024,
                0x08,
                {"Consistency check failed: DEVICE has flags=8, should be 4.\n"},
                false},
        Variant{"IgnoredFileFlags",
                kDeviceFields,
                kDeviceKeys,
                1024,
                kDeviceFileFlags | 0x40,
                {},
                true},
        Variant{"FewerKeys",
                kDeviceFields,
                kOneKey,
                1024,
                kDeviceFileFlags,
                {"Consistency check failed: DEVICE has 1 indexes, should have 3.\n"},
                false},
        Variant{"MoreKeys",
                kDeviceFields,
                kExtraKey,
                1024,
                kDeviceFileFlags,
                {"Warning: DEVICE has more actual indexes (4) than are defined in ddf (3).\n"},
                true},
        Variant{"KeySegment",
                kDeviceFields,
                kOtherSegment,
                1024,
                kDeviceFileFlags,
                {"Flags 1027, Position 29, Length 1 and Type 0 does not match definition.\n",
                 "Consistency check failed: Index 1, segment 1 does not match definition on "
                 "DEVICE.\n"},
                false},
        Variant{"CaseFlagIgnored",
                kDeviceFields,
                kCaseSensitiveName,
                1024,
                kDeviceFileFlags,
                {},
                true}),
    [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

// A dictionary that exempts key 1 from the check.
class LenientDict : public cvDataDict {
  public:
    bool ExcludeKeyFromCheck(const std::string& table, int key) const override {
        return table == "DEVICE" && key == 1;
    }
};

TEST_F(FileMgrTest, ExemptKeysAndSkippedFilesPassTheCheck) {
    {
        cvDataDict other;
        ASSERT_EQ(other.AddDefinition({"DEVICE", "DEVICE.DAT", 1024, 0, kDeviceFields,
                                       kOtherSegment, kDeviceFileFlags}),
                  0);
        cvFileMgr creator(data_.dir(), &other);
        ASSERT_NE(creator.OpenTable("DEVICE"), nullptr);
    }
    LenientDict lenient;
    ASSERT_EQ(lenient.AddDefinition(
                  {"DEVICE", "DEVICE.DAT", 1024, 0, kDeviceFields, kDeviceKeys, kDeviceFileFlags}),
              0);
    {
        cvFileMgr exempting(data_.dir(), &lenient);
        cvFile* file = exempting.OpenTable("DEVICE");
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->CheckConsistency());
    }
    EXPECT_FALSE(manager().OpenTable("DEVICE")->CheckConsistency());

    StorageApp().SetConsistencyHook(
        [](const cvFile& file) { return file.TableName() == "DEVICE"; });
    EXPECT_TRUE(manager().OpenTable("DEVICE")->CheckConsistency());
}

TEST_F(FileMgrTest, CreateModesFollowTheSystemTableRule) {
    std::string path;
    ASSERT_EQ(manager().CreateFile("CODES", &path), 0);
    EXPECT_EQ(path, data_.file("CODES.DAT"));
    // An ordinary table's file is never replaced.
    EXPECT_EQ(manager().CreateFile("CODES", &path), RECMAN_FILE_EXISTS);
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text.rfind("Create Failed on file CODES.DAT\n\n", 0), 0u);

    // A built-in table's is.
    ASSERT_EQ(dict_.AddDefinition({"CONFIG", "CONFIG.DAT", 512, 1, kCodeFields, kCodeKeys, 0}), 0);
    {
        cvRec row(Open("CONFIG"));
        ASSERT_NE(row.PutString("CODE", "A"), 0);
        ASSERT_EQ(row.Save(), 0);
        manager().CloseFiles();
    }
    EXPECT_EQ(manager().CreateFile("CONFIG", &path), 0);
    uint32_t count = 99;
    EXPECT_EQ(Open("CONFIG").RecordCount(&count), 0);
    EXPECT_EQ(count, 0u);
}

TEST_F(FileMgrTest, CloseFilesByTableAndMode) {
    cvFile& device = Open("DEVICE");
    static_cast<void>(device);
    Open("DEVICE", RECMAN_MODE_READ_ONLY);
    Open("NOTE");
    manager().CloseFiles("DEVICE", RECMAN_MODE_READ_ONLY);
    ASSERT_EQ(manager().Files().size(), 2u);
    EXPECT_EQ(manager().Files()[0]->OpenMode(), 0);
    EXPECT_EQ(manager().Files()[0]->TableName(), "DEVICE");
    manager().CloseFiles("DEVICE");
    ASSERT_EQ(manager().Files().size(), 1u);
    EXPECT_EQ(manager().Files()[0]->TableName(), "NOTE");
    manager().CloseFiles();
    EXPECT_TRUE(manager().Files().empty());

    // Closed files let an exclusive open through.
    auto other = NewManager();
    EXPECT_NE(other->OpenTable("DEVICE", RECMAN_MODE_EXCLUSIVE), nullptr);
}

TEST_F(FileMgrTest, SetDataDirectoryClosesEverythingFirst) {
    Open("DEVICE");
    TempDir elsewhere;
    manager().SetDataDirectory(elsewhere.path().string());
    EXPECT_EQ(manager().DataDirectory(), elsewhere.dir());
    EXPECT_TRUE(manager().Files().empty());
    cvFile& file = Open("DEVICE");
    EXPECT_EQ(file.Path(), elsewhere.file("DEVICE.DAT"));

    // Without a directory the application's is taken.
    StorageApp().SetDataDirectory(data_.path().string());
    manager().SetDataDirectory();
    EXPECT_EQ(manager().DataDirectory(), data_.dir());
    manager().CloseFiles();
}

TEST_F(FileMgrTest, ManagerTakesTheApplicationsDefaults) {
    StorageApp().SetDataDirectory(data_.path().string());
    StorageApp().SetDictionary(&dict_);
    cvFileMgr defaults;
    EXPECT_EQ(defaults.DataDirectory(), data_.dir());
    EXPECT_EQ(defaults.Dictionary(), &dict_);
    EXPECT_NE(defaults.OpenTable("CODES"), nullptr);
}

TEST_F(FileMgrTest, DefinitionOnlyFileNeedsAReopen) {
    Open("CODES");
    manager().CloseFiles();
    cvFile* file = manager().OpenTable("CODES", cvFile::kNotOpen);
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(file->IsOpen());
    EXPECT_EQ(file->Close(), 0);
    EXPECT_EQ(file->GetFirst(0), RECMAN_FILE_NOT_OPEN);
    boxes_.clear();
    EXPECT_EQ(file->Reopen(0), 0);
    EXPECT_EQ(file->OpenMode(), 0);
    EXPECT_EQ(file->Reopen(0), 0);
    EXPECT_EQ(file->Reopen(RECMAN_MODE_EXCLUSIVE), 0);
    EXPECT_EQ(file->OpenMode(), RECMAN_MODE_EXCLUSIVE);
    EXPECT_TRUE(boxes_.empty());
}

TEST_F(FileMgrTest, OpenCopyOpensTheTableInTheRecordsMode) {
    AddDevice("Pager one", 7);
    cvFile& read_only = Open("DEVICE", RECMAN_MODE_READ_ONLY);
    ASSERT_EQ(read_only.GetFirst(0), 0);
    const cvRec original(read_only, cvRec::kFromFile);

    auto other = NewManager();
    std::unique_ptr<cvRec> copy = other->OpenCopy(original);
    ASSERT_NE(copy, nullptr);
    ASSERT_NE(copy->File(), nullptr);
    EXPECT_EQ(&copy->File()->Manager(), other.get());
    EXPECT_EQ(copy->File()->OpenMode(), RECMAN_MODE_READ_ONLY);
    EXPECT_EQ(copy->Position(), original.Position());
    EXPECT_EQ(copy->GetText("NAME"), "Pager one");
    EXPECT_FALSE(copy->IsModified());
}

// The product's dictionary as the build's tool writes it: every table is created on
// first open and passes the check when opened again by another manager.
TEST_F(FileMgrTest, ProductTablesFromTheWrittenDictionary) {
    TempDir ddf;
    std::string failure;
    ASSERT_EQ(WriteDictionaryFiles(ddf.dir(), "TV", BuildDictionaryRows(TolvaneSchema()), &failure),
              0)
        << failure;
    cvDataDict product;
    ASSERT_EQ(product.Load(ddf.dir(), "TV"), 0);
    for (int pass = 0; pass < 2; ++pass) {
        cvFileMgr files(data_.dir(), &product);
        for (const cvTableDef& table : TolvaneSchema()) {
            SCOPED_TRACE(std::string(table.table));
            cvFile* file = files.OpenTable(table.table);
            ASSERT_NE(file, nullptr) << ::testing::PrintToString(log_.Texts());
            EXPECT_TRUE(file->CheckConsistency());
        }
    }
    EXPECT_TRUE(LogLinesWith("onsistency check").empty());
    // Only the first pass found files missing, each reported once.
    EXPECT_EQ(LogLinesWith("Error 12 opening file").size(), TolvaneSchema().size());
    ASSERT_EQ(boxes_.size(), TolvaneSchema().size());
    for (const ShownBox& box : boxes_) {
        EXPECT_EQ(box.text.rfind("Open Failed on file ", 0), 0u) << box.text;
    }
}

}  // namespace
