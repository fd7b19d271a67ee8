// The product dictionary over the build's dictionary files: the creation options of
// the data files (in the definitions and in the files created from them), the layout
// of the configuration table, the defaults of new records with their provisional
// numbers, and the tables a complete database needs.

#include "model/tvdatadict.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "model/pagingtables.h"
#include "model/tolvanetable.h"
#include "storage/cvrec.h"
#include "storage/datatype.h"
#include "storage/filespecification.h"
#include "tests/model/modelfixture.h"

namespace {

using model_testing::ModelFixture;
using model_testing::ProgramDirectory;

// Drawn while the program starts, before any test makes a record: the first number
// the process hands out.
const int32_t kFirstProvisional = NextProvisionalNumber();

class DataDictTest : public ModelFixture {};

TEST_F(DataDictTest, TablesGetTheirPageSizesAndFileFlags) {
    cvDataDict plain;
    ASSERT_EQ(plain.Load(ProgramDirectory(), "TV"), 0);

    struct Case {
        const char* table;
        int page_size;
        uint8_t added_flags;
    };
    const Case cases[] = {
        {"PAGEMSG", 2048, 0x08}, {"PAGEDEV", 512, 0},  {"PAGENET", 512, 0},  {"OLDDEV", 512, 0},
        {"OLDNET", 512, 0},      {"OLDGROUP", 512, 0}, {"OLDEQUIP", 512, 0}, {"PAGEGRP", 4096, 0},
        {"MONEQUIP", 4096, 0},   {"TOLVANE", 1024, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        const cvDDFile* table = dict_.FindTable(c.table);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->PageSize(), c.page_size);
        const cvDDFile* as_stored = plain.FindTable(c.table);
        const uint8_t stored_flags = as_stored ? as_stored->FileFlags() : 0;
        EXPECT_EQ(table->FileFlags(), stored_flags | c.added_flags);
    }
}

TEST_F(DataDictTest, AddTableAddsToTheFlagsTheTableAlreadyHas) {
    tvDataDict dict;
    const auto add = [&dict](const char* name, uint8_t flags) {
        cvDDTableRow row;
        row.name = name;
        row.location = std::string(name) + ".DAT";
        row.file_flags = flags;
        dict.AddTable(std::make_unique<cvDDFile>(dict, row, 4096, false));
        return dict.FindTable(name);
    };
    const cvDDFile* messages = add("PAGEMSG", 0x04);
    ASSERT_NE(messages, nullptr);
    EXPECT_EQ(messages->FileFlags(), 0x0C);
    EXPECT_EQ(messages->PageSize(), 2048);
    EXPECT_EQ(add("PAGEMSG", 0x08)->FileFlags(), 0x08);
    const cvDDFile* config = add("TOLVANE", 0x02);
    EXPECT_EQ(config->PageSize(), 1024);
    EXPECT_EQ(config->FileFlags(), 0x02);
    const cvDDFile* other = add("NOTES", 0x04);
    EXPECT_EQ(other->PageSize(), 4096);
    EXPECT_EQ(other->FileFlags(), 0x04);
}

TEST_F(DataDictTest, DataFilesAreCreatedWithTheirOptions) {
    auto manager = NewManager();
    struct Case {
        const char* table;
        int page_size;
        uint8_t flag_set;
        int record_length;
    };
    const Case cases[] = {
        {"PAGEMSG", 2048, 0x08, dict_.FindTable("PAGEMSG")->RecordLength()},
        {"PAGEDEV", 512, 0, dict_.FindTable("PAGEDEV")->RecordLength()},
        {"TOLVANE", 1024, 0, 504},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.table);
        std::string path;
        ASSERT_EQ(manager->CreateFile(c.table, &path), 0);
        cvFile* file = manager->OpenTable(c.table);
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(file->Stat(), 0);
        FileSpecification spec;
        ASSERT_TRUE(
            FileSpecification::Parse(file->Statistics().data(), file->Statistics().size(), &spec));
        EXPECT_EQ(spec.page_size, c.page_size);
        EXPECT_EQ(spec.file_flags & c.flag_set, c.flag_set);
        EXPECT_EQ(spec.record_length, c.record_length);
    }
    EXPECT_EQ(boxes_, std::vector<std::string>{});
}

TEST_F(DataDictTest, ConfigurationTableLayout) {
    const cvDDFile* table = dict_.FindTable("TOLVANE");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->RecordLength(), 504);
    EXPECT_EQ(table->PageSize(), 1024);
    EXPECT_TRUE(table->IsBuiltIn());
    EXPECT_EQ(table->FileName(), "TOLVANE.DAT");

    enum Kind { kInt, kText, kFlag, kDate, kTime };
    struct Field {
        const char* name;
        int offset;
        int width;
        Kind kind;
    };
    const Field fields[] = {
        {"STRKEY", 0, 8, kText},
        {"NUMKEY", 8, 4, kInt},
        {"SPARE", 12, 480, kText},
        {"DATEENTER", 492, 4, kDate},
        {"TIMEENTER", 496, 4, kTime},
        {"ENTERBY", 500, 4, kInt},
        {"SENDINTERVAL", 12, 4, kInt},
        {"STATUSINTERVAL", 16, 4, kInt},
        {"PURGEAGE", 20, 4, kInt},
        {"DNSADDRESS", 24, 4, kInt},
        {"RECVINTERVAL", 28, 4, kInt},
        {"MAILSERVER", 32, 50, kText},
        {"OLDUSERID", 82, 20, kText},
        {"PASSWORD", 102, 20, kText},
        {"QENABLERECV", 122, 1, kFlag},
        {"QENABLEIMPORT", 123, 1, kFlag},
        {"IMPORTDIR", 124, 80, kText},
        {"USERID", 204, 50, kText},
        {"SMTPMAILSERVER", 254, 50, kText},
        {"SMTPUSERID", 304, 50, kText},
        {"SMTPPASSWORD", 354, 20, kText},
        {"SMTPQAUTH", 374, 1, kFlag},
        {"MACHINENBR", 16, 4, kInt},
        {"LOGINDATE", 20, 4, kDate},
        {"LOGINTIME", 24, 4, kTime},
        {"ACTIVITYDATE", 28, 4, kDate},
        {"ACTIVITYTIME", 32, 4, kTime},
        {"PORT", 48, 4, kInt},
        {"MODEMINIT", 52, 250, kText},
        {"DIALPREFIX", 302, 10, kText},
        {"COMPUTERNAME", 312, 32, kText},
        {"PRODVERMAJOR", 64, 4, kInt},
        {"PRODVERMINOR", 68, 4, kInt},
        {"PRODVERMICRO", 72, 4, kInt},
        {"PRODVERBUILD", 76, 4, kInt},
        {"FILEVERMAJOR", 80, 4, kInt},
        {"FILEVERMINOR", 84, 4, kInt},
        {"FILEVERMICRO", 88, 4, kInt},
        {"FILEVERBUILD", 92, 4, kInt},
    };
    EXPECT_EQ(table->Fields().size(), std::size(fields));
    for (const Field& expected : fields) {
        SCOPED_TRACE(expected.name);
        const cvDDField* field = table->FindField(expected.name);
        ASSERT_NE(field, nullptr);
        EXPECT_EQ(field->Offset(), expected.offset);
        EXPECT_EQ(field->Size(), expected.width);
        const uint8_t types[] = {kTypeInteger, kTypeZString, kTypeString, kTypeDate, kTypeTime};
        EXPECT_EQ(field->DataType(), types[expected.kind]);
    }

    // One key, STRKEY then NUMKEY, unique and never modified.
    EXPECT_EQ(table->KeyCount(), 1);
    std::vector<std::string> names;
    EXPECT_EQ(table->KeyFieldNames(0, names), 2);
    EXPECT_EQ(names, (std::vector<std::string>{"STRKEY", "NUMKEY"}));
    for (const cvDDKeySeg& segment : table->Segments()) {
        EXPECT_EQ(segment.Flags() & (RECMAN_KEY_DUPLICATES | RECMAN_KEY_MODIFIABLE), 0);
    }
    EXPECT_EQ(table->Segment(0, 0)->Flags() & cvDDKeySeg::kSegmentedFlag,
              cvDDKeySeg::kSegmentedFlag);
}

TEST_F(DataDictTest, NewRecordsGetTheTableDefaults) {
    const cvRec message(*dict_.FindTable("PAGEMSG"));
    EXPECT_LE(message.GetInt("PAGEMSGNBR"), -101);
    EXPECT_EQ(message.GetText("QCONFIDENTIAL"), "N");
    EXPECT_EQ(message.GetInt("STATUS"), 0);
    EXPECT_NE(message.GetDate("DATEENTER"), 0u) << "the framework's defaults come first";
    EXPECT_EQ(message.FieldData("TEXT")[0], ' ') << "texts are blank-filled";

    const cvRec device(*dict_.FindTable("PAGEDEV"));
    EXPECT_LE(device.GetInt("PAGEDEVNBR"), -101);
    EXPECT_EQ(device.GetText("QGROUP"), "N");
    EXPECT_EQ(device.GetText("QINACTIVE"), "N");

    const cvRec network(*dict_.FindTable("PAGENET"));
    EXPECT_LE(network.GetInt("PAGENETNBR"), -101);
    const std::pair<const char*, int32_t> numbers[] = {
        {"PROTOCOL", 1}, {"RATE", 2400}, {"DATABITS", 7}, {"PARITY", 69}, {"STOPBITS", 1},
    };
    for (const auto& [name, value] : numbers) {
        EXPECT_EQ(network.GetInt(name), value) << name;
    }

    // Tables without defaults of their own get no provisional number.
    const cvRec equipment(*dict_.FindTable("MONEQUIP"));
    EXPECT_EQ(equipment.GetInt("EQUIPNBR"), 0);
    EXPECT_EQ(equipment.GetText("QINACTIVE"), "N");

    // Configuration records keep their zero padding.
    const cvRec config(*dict_.FindTable("TOLVANE"));
    const uint8_t* bytes = config.Buffer().Data();
    EXPECT_TRUE(std::all_of(bytes, bytes + 492, [](uint8_t byte) { return byte == 0; }));
    EXPECT_NE(config.GetDate("DATEENTER"), 0u);
}

TEST_F(DataDictTest, ProvisionalNumbersCountDownForTheWholeProcess) {
    EXPECT_EQ(kFirstProvisional, -101);

    const int32_t message = cvRec(*dict_.FindTable("PAGEMSG")).GetInt("PAGEMSGNBR");
    const int32_t device = cvRec(*dict_.FindTable("PAGEDEV")).GetInt("PAGEDEVNBR");
    const int32_t network = cvRec(*dict_.FindTable("PAGENET")).GetInt("PAGENETNBR");
    EXPECT_EQ(device, message - 1);
    EXPECT_EQ(network, message - 2);

    constexpr int kThreads = 4;
    constexpr int kEach = 500;
    std::vector<std::vector<int32_t>> drawn(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&drawn, t] {
            for (int i = 0; i < kEach; ++i) {
                drawn[t].push_back(NextProvisionalNumber());
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::set<int32_t> distinct;
    for (const std::vector<int32_t>& numbers : drawn) {
        distinct.insert(numbers.begin(), numbers.end());
    }
    EXPECT_EQ(distinct.size(), static_cast<size_t>(kThreads * kEach));
    EXPECT_EQ(*distinct.rbegin(), network - 1);
    EXPECT_EQ(*distinct.begin(), network - kThreads * kEach);
}

TEST_F(DataDictTest, RequiredTablesFollowAlarmWatch) {
    using Names = std::vector<std::string_view>;
    EXPECT_EQ(RequiredTables(false), (Names{"PAGEDEV", "PAGEMSG", "PAGENET", "TOLVANE"}));
    EXPECT_EQ(RequiredTables(true),
              (Names{"PAGEDEV", "PAGEMSG", "PAGENET", "PAGEGRP", "MONEQUIP", "TOLVANE"}));
    for (std::string_view table : RequiredTables(true)) {
        EXPECT_NE(dict_.FindTable(table), nullptr) << table;
    }
}

}  // namespace
