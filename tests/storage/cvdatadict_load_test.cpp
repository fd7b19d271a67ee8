// Loading dictionaries from record-manager files in a temporary directory: the
// product's own files as the writer makes them, and crafted ones for the edge cases.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "platform/recman/recman.h"
#include "storage/bytes.h"
#include "storage/cvdatadict.h"
#include "storage/datatype.h"
#include "storage/dberror.h"
#include "storage/recordmanagercall.h"
#include "tests/support/eventlogcapture.h"
#include "tests/support/tempdir.h"
#include "tests/support/testenvironment.h"
#include "tools/ddfwriter/ddfwriter.h"
#include "tools/ddfwriter/tolvaneschema.h"

namespace {

class DictionaryLoadTest : public ::testing::Test {
  protected:
    DictionaryLoadTest() {
        ResetDbExitRequested();
        env_.Presenter().AnswerAllWith(kIdNo);
        env_.Presenter().OnShown([this](const std::string& text, unsigned style) {
            shown_.push_back(text);
            styles_.push_back(style);
        });
    }

    void Write(const DictionaryRows& rows, const std::string& prefix = "TV") {
        std::string failure;
        ASSERT_EQ(WriteDictionaryFiles(dir_.dir(), prefix, rows, &failure), 0) << failure;
    }

    // A record-manager file with one key on a 2-byte id at offset 0 and the given rows.
    void WriteRawFile(const std::string& name, uint16_t record_length,
                      const std::vector<std::vector<uint8_t>>& rows) {
        uint8_t position[RECMAN_POSITION_BLOCK_SIZE] = {};
        uint8_t key[RECMAN_KEY_BUFFER_SIZE] = {};
        const std::string path = dir_.file(name);
        std::memcpy(key, path.c_str(), path.size() + 1);
        uint8_t spec[RECMAN_SPEC_FILE_PART + RECMAN_SPEC_SEGMENT_PART] = {};
        WriteLE16(spec + 0, record_length);
        WriteLE16(spec + 2, 8192);
        spec[4] = 1;
        WriteLE16(spec + 16, 1);
        WriteLE16(spec + 18, 2);
        WriteLE16(spec + 20, RECMAN_KEY_EXTENDED_TYPE | RECMAN_KEY_DUPLICATES);
        spec[26] = RECMAN_TYPE_UNSIGNED;
        uint32_t length = sizeof spec;
        ASSERT_EQ(
            RecordManagerCall(RECMAN_CREATE, position, spec, &length, key, RECMAN_CREATE_REPLACE),
            0);
        length = 0;
        ASSERT_EQ(RecordManagerCall(RECMAN_OPEN, position, nullptr, &length, key, 0), 0);
        for (std::vector<uint8_t> row : rows) {
            row.resize(record_length);
            length = record_length;
            ASSERT_EQ(RecordManagerCall(RECMAN_INSERT, position, row.data(), &length, key, 0), 0);
        }
        length = 0;
        ASSERT_EQ(RecordManagerCall(RECMAN_CLOSE, position, nullptr, &length, key, 0), 0);
    }

    static DictionaryRows OneTable(std::vector<cvDDField> fields,
                                   std::vector<cvDDKeySeg> segments = {}) {
        DictionaryRows rows;
        cvDDTableRow table;
        table.id = 5;
        table.name = "SAMPLE";
        table.location = "C:\\TOLVANE\\DATA\\SAMPLE.DAT";
        rows.tables.push_back(table);
        rows.fields = std::move(fields);
        rows.segments = std::move(segments);
        return rows;
    }

    testing_support::TestEnvironment env_;
    TempDir& dir_ = env_.Directory("dictionary");
    EventLogCapture& log_ = env_.CaptureEventLog();
    std::vector<std::string> shown_;
    std::vector<unsigned> styles_;
};

TEST_F(DictionaryLoadTest, ProductDictionaryDescribesEveryTableFieldAndKey) {
    const DictionaryRows rows = BuildDictionaryRows(TolvaneSchema());
    Write(rows);
    cvDataDict dict;
    ASSERT_EQ(dict.Load(dir_.path().string(), "TV"), 0);
    EXPECT_TRUE(dict.IsLoaded());
    EXPECT_EQ(dict.Directory(), dir_.dir());
    EXPECT_EQ(dict.Prefix(), "TV");
    EXPECT_EQ(dict.Tables().size(), TolvaneSchema().size());
    EXPECT_EQ(dict.HighestTableId(), TolvaneSchema().size());
    EXPECT_EQ(dict.HighestFieldId(), rows.fields.size());

    uint16_t table_id = 0;
    for (const cvTableDef& def : TolvaneSchema()) {
        ++table_id;
        const std::string name(def.table);
        const cvDDFile* table = dict.FindTable(name);
        ASSERT_NE(table, nullptr) << name;
        EXPECT_EQ(table->TableId(), table_id);
        EXPECT_EQ(table->FileName(), def.file);
        EXPECT_EQ(table->PageSize(), 4096);
        EXPECT_FALSE(table->IsBuiltIn());
        EXPECT_FALSE(table->IsSystemTable());
        EXPECT_FALSE(table->IsVariableLength());
        EXPECT_EQ(table->FileFlags(), def.file_flags);

        int record_length = 0;
        ASSERT_EQ(table->Fields().size(), def.fields.size()) << name;
        for (const cvFieldDef& expected : def.fields) {
            const cvDDField* field = table->FindField(expected.name, false);
            ASSERT_NE(field, nullptr) << name << "." << expected.name;
            EXPECT_EQ(field->DataType(), expected.data_type) << name << "." << expected.name;
            EXPECT_EQ(field->Offset(), expected.offset) << name << "." << expected.name;
            EXPECT_EQ(field->Size(), expected.size) << name << "." << expected.name;
            EXPECT_EQ(field->Decimals(), expected.decimals) << name << "." << expected.name;
            EXPECT_EQ(field->TableId(), table_id);
            record_length = std::max(record_length, expected.offset + expected.size);
        }
        EXPECT_EQ(table->RecordLength(), record_length) << name;

        // Keys: the schema's entries in order, numbered by their segmented flags.
        ASSERT_EQ(table->Segments().size(), def.keys.size()) << name;
        int key = 0;
        int segment = 0;
        for (size_t i = 0; i < def.keys.size(); ++i) {
            const cvDDKeySeg& loaded = table->Segments()[i];
            EXPECT_EQ(loaded.KeyNumber(), key) << name << " segment row " << i;
            EXPECT_EQ(loaded.SegmentNumber(), segment) << name << " segment row " << i;
            EXPECT_EQ(loaded.Flags(), def.keys[i].flags) << name << " segment row " << i;
            const cvDDField* field = table->SegmentField(loaded);
            ASSERT_NE(field, nullptr) << name << " segment row " << i;
            EXPECT_EQ(field->Name(), def.keys[i].field);
            if (def.keys[i].flags & kKeySegmented) {
                ++segment;
            } else {
                ++key;
                segment = 0;
            }
        }
        EXPECT_EQ(table->KeyCount(), key) << name;
        const bool numbered =
            name == "PAGEMSG" || name == "PAGEDEV" || name == "PAGENET" || name == "MONEQUIP";
        EXPECT_EQ(table->HasAutoIncKey(), numbered) << name;
    }
    EXPECT_EQ(dict.FindTable("PAGEMSG")->KeyCount(), 6);
    std::vector<std::string> names;
    EXPECT_EQ(dict.FindTable("PAGEMSG")->KeyFieldNames(1, names), 3);
    EXPECT_EQ(names, (std::vector<std::string>{"STATUS", "SCHEDDATE", "SCHEDTIME"}));
    EXPECT_TRUE(shown_.empty());

    // Loaded once: a second Load changes nothing.
    EXPECT_EQ(dict.Load("/nowhere", "XX"), -1);
    EXPECT_EQ(dict.Directory(), dir_.dir());
    EXPECT_EQ(dict.Tables().size(), TolvaneSchema().size());
}

TEST_F(DictionaryLoadTest, MissingFilesGiveTheOpenStatus) {
    cvDataDict dict;
    EXPECT_EQ(dict.Load(dir_.dir(), "TV"), RECMAN_FILE_NOT_FOUND);
    EXPECT_FALSE(dict.IsLoaded());

    Write(BuildDictionaryRows(TolvaneSchema()));
    std::filesystem::remove(dir_.file("TVINDEX.DDF"));
    EXPECT_EQ(dict.Load(dir_.dir(), "TV"), RECMAN_FILE_NOT_FOUND);
    EXPECT_TRUE(dict.Tables().empty());
    EXPECT_EQ(dict.Load(dir_.dir(), "XX"), RECMAN_FILE_NOT_FOUND);
    EXPECT_TRUE(shown_.empty());  // the caller reports a failed open
}

TEST_F(DictionaryLoadTest, EmptyTableFileGivesEndOfFile) {
    Write(DictionaryRows{});
    cvDataDict dict;
    EXPECT_EQ(dict.Load(dir_.dir(), "TV"), RECMAN_END_OF_FILE);
    EXPECT_FALSE(dict.IsLoaded());
    EXPECT_TRUE(shown_.empty());
    // Not loaded, so a later Load of a complete dictionary is allowed.
    Write(BuildDictionaryRows(TolvaneSchema()));
    EXPECT_EQ(dict.Load(dir_.dir(), "TV"), 0);
}

TEST_F(DictionaryLoadTest, RowsAreTakenAsStoredWithTheFrameworkRules) {
    // Rows in reverse offset order, a Float stored with 4 decimals, an index-name row
    // (type 255) with the highest id, a key flag carrying the named-index bit, and a
    // field of another table.
    Write(OneTable({cvDDField(1, 5, "NAME", kTypeString, 10, 20, 0),
                    cvDDField(2, 5, "RATE", kTypeFloat, 30, 8, 4),
                    cvDDField(9, 5, "BYNAME", kTypeIndexRow, 0, 0, 0),
                    cvDDField(3, 5, "NUMBER", kTypeInteger, 0, 4, 0),
                    cvDDField(4, 6, "STRANGER", kTypeInteger, 0, 400, 0)},
                   {cvDDKeySeg(5, 3, 0, 0, 0x0090), cvDDKeySeg(5, 1, 0, 1, 0x0020),
                    cvDDKeySeg(6, 4, 0, 0, 0)}));
    cvDataDict dict;
    ASSERT_EQ(dict.Load(dir_.dir() + "   ", "TV"), 0);
    EXPECT_EQ(dict.Directory(), dir_.dir());
    const cvDDFile* table = dict.FindTable("SAMPLE");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->FileName(), "SAMPLE.DAT");
    EXPECT_EQ(table->Location(), "C:\\TOLVANE\\DATA\\SAMPLE.DAT");
    EXPECT_EQ(table->RecordLength(), 38);
    EXPECT_EQ(table->Fields().size(), 3u);
    EXPECT_EQ(table->FindField("BYNAME", false), nullptr);
    EXPECT_EQ(table->FindField("STRANGER", false), nullptr);
    EXPECT_EQ(table->FindField("RATE")->Decimals(), 2);
    EXPECT_EQ(dict.HighestFieldId(), 9);
    EXPECT_EQ(dict.HighestTableId(), 5);
    ASSERT_EQ(table->Segments().size(), 2u);
    EXPECT_EQ(table->Segments()[0].Flags(), 0x0010);
    EXPECT_EQ(table->Segments()[1].Flags(), 0x0020);
    EXPECT_EQ(table->KeyCount(), 1);
    EXPECT_EQ(table->SegmentField(table->Segments()[1])->Name(), "NAME");
}

// A product dictionary adjusts tables as they are entered.
class ProductDict : public cvDataDict {
  public:
    void AddTable(std::unique_ptr<cvDDFile> table) override {
        if (table->TableName() == "PAGEMSG") {
            EXPECT_TRUE(table->SetPageSize(2048));
            table->SetFileFlags(static_cast<uint8_t>(table->FileFlags() | 0x08));
        }
        ++tables_seen;
        cvDataDict::AddTable(std::move(table));
    }
    int tables_seen = 0;
};

TEST_F(DictionaryLoadTest, ProductAddTableAdjustsTablesAsTheyLoad) {
    Write(BuildDictionaryRows(TolvaneSchema()));
    ProductDict dict;
    ASSERT_EQ(dict.Load(dir_.dir(), "TV"), 0);
    EXPECT_EQ(dict.tables_seen, static_cast<int>(TolvaneSchema().size()));
    EXPECT_EQ(dict.FindTable("PAGEMSG")->PageSize(), 2048);
    EXPECT_EQ(dict.FindTable("PAGEMSG")->FileFlags(), 0x08);
    EXPECT_EQ(dict.FindTable("PAGEDEV")->PageSize(), 4096);

    // A built-in definition after the load takes the next table and field ids.
    const cvFieldDef fields[] = {{"STRKEY", kTypeString, 0, 8, 0}};
    const cvKeyDef keys[] = {{"STRKEY", 0}};
    ASSERT_EQ(dict.AddDefinition({"TOLVANE", "TOLVANE.DAT", 1024, 1, fields, keys, 0}), 0);
    EXPECT_EQ(dict.FindTable("TOLVANE")->TableId(), TolvaneSchema().size() + 1);
    EXPECT_EQ(dict.tables_seen, static_cast<int>(TolvaneSchema().size()));  // not for built-ins
    ASSERT_EQ(dict.AddDefinition({"PAGEDEV", "PAGEDEV.DAT", 512, 1, fields, keys, 0}), 0);
    EXPECT_TRUE(dict.FindTable("PAGEDEV")->IsBuiltIn());
    EXPECT_EQ(dict.FindTable("PAGEDEV")->RecordLength(), 8);
    ASSERT_FALSE(log_.Texts().empty());
    EXPECT_EQ(log_.Texts().back(), "Overriding table definition for PAGEDEV");
}

TEST_F(DictionaryLoadTest, FailingFirstRowIsShownWithoutTheOfferToExit) {
    // Table rows longer than the program reads: the first Get First fails with 22.
    Write(DictionaryRows{});
    WriteRawFile("TVFILE.DDF", 5000, {{1, 0, 'T'}});
    cvDataDict dict;
    EXPECT_EQ(dict.Load(dir_.dir(), "TV"), RECMAN_DATA_BUFFER_TOO_SHORT);
    EXPECT_FALSE(dict.IsLoaded());
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0],
              "Get First Failed on file TVFILE.DDF\n\nThe Data Buffer Parameter is too Short. "
              "[22]\n\n");
    EXPECT_EQ(styles_[0] & kMbButtonMask, kMbOk);
    EXPECT_FALSE(DbExitRequested());
}

TEST_F(DictionaryLoadTest, FailingFieldReadLoadsNothing) {
    // A field file without its key on the table id: reading a table's fields fails.
    const cvDDField field(1, 5, "NAME", kTypeString, 0, 20, 0);
    Write(OneTable({field}));
    const auto row = field.ToRow();
    WriteRawFile("TVFIELD.DDF", cvDDField::kRowSize,
                 {std::vector<uint8_t>(row.begin(), row.end())});
    cvDataDict dict;
    EXPECT_EQ(dict.Load(dir_.dir(), "TV"), RECMAN_INVALID_KEY_NUMBER);
    EXPECT_FALSE(dict.IsLoaded());
    EXPECT_TRUE(dict.Tables().empty());
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].rfind("Get Equal Failed on file TVFIELD.DDF\n\n", 0), 0u) << shown_[0];
}

// The build's own dictionary, and the writer run by hand on another directory.
TEST_F(DictionaryLoadTest, BuildAndToolWriteLoadableDictionaries) {
    const char* binary_dir = std::getenv("TOLVANE_TEST_BINARY_DIR");
    ASSERT_NE(binary_dir, nullptr);
    cvDataDict built;
    ASSERT_EQ(built.Load(std::string(binary_dir) + "/bin", "TV"), 0);
    EXPECT_EQ(built.Tables().size(), TolvaneSchema().size());

    const std::string tool = std::string(binary_dir) + "/tools/ddfwriter/tolvane-ddf";
    const std::string target = dir_.file("by hand");
    ASSERT_EQ(std::system(("'" + tool + "' '" + target + "'").c_str()), 0);
    cvDataDict by_hand;
    ASSERT_EQ(by_hand.Load(target, "TV"), 0);
    EXPECT_EQ(by_hand.Tables().size(), TolvaneSchema().size());
    EXPECT_EQ(by_hand.FindTable("PAGEMSG")->FindField("TEXT")->Size(), 1001);
    EXPECT_NE(std::system(("'" + tool + "' 2>/dev/null").c_str()), 0);  // no directory given
}

}  // namespace
