#include "storage/cvdatadict.h"

#include <gtest/gtest.h>

#include "storage/datatype.h"
#include "tests/support/eventlogcapture.h"

namespace {

constexpr cvFieldDef kConfigFields[] = {
    {"STRKEY", kTypeString, 0, 8, 0},
    {"NUMKEY", kTypeInteger, 8, 4, 0},
    {"SPARE", kTypeString, 12, 480, 0},
    {"RATE", kTypeFloat, 12, 8, 4},
    {"COST", kTypeMoney, 20, 4, 0},
    {"QTY", kTypeDecimal, 24, 4, 3},
    {"", 0, 0, 0, 0},
    {"AFTEREND", kTypeString, 600, 4, 0},
};

TEST(DataDictTest, BuiltInDefinitionNumbersItsTableFieldsAndKeys) {
    EventLogCapture log;
    cvDataDict dict;
    // Segmented first key, then a single-segment key; a key naming no field in between.
    const cvKeyDef keys[] = {
        {"STRKEY", 0x0011}, {"NUMKEY", 0x0001}, {"MISSING", 0x0002}, {"NUMKEY", 0x0002}, {"", 0},
        {"STRKEY", 0}};
    ASSERT_EQ(dict.AddDefinition({"TOLVANE", "TOLVANE.DAT", 1024, 1, kConfigFields, keys, 0x20}),
              0);

    const cvDDFile* table = dict.FindTable("TOLVANE");
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->TableId(), 1);
    EXPECT_EQ(table->FileName(), "TOLVANE.DAT");
    EXPECT_EQ(table->PageSize(), 1024);
    EXPECT_EQ(table->FileFlags(), 0x20);
    EXPECT_TRUE(table->IsBuiltIn());
    EXPECT_TRUE(table->IsSystemTable());
    EXPECT_EQ(table->RecordLength(), 492);  // the entry after the end marker is not read
    EXPECT_EQ(table->FindField("AFTEREND", false), nullptr);
    EXPECT_EQ(dict.HighestFieldId(), 6);
    EXPECT_EQ(table->FindField("NUMKEY")->Id(), 2);

    // The hook gives Float and Money 2 decimals; Decimal keeps its own.
    EXPECT_EQ(table->FindField("RATE")->Decimals(), 2);
    EXPECT_EQ(table->FindField("COST")->Decimals(), 2);
    EXPECT_EQ(table->FindField("QTY")->Decimals(), 3);

    EXPECT_EQ(table->KeyCount(), 2);
    EXPECT_EQ(table->SegmentCount(0), 2 + 1);  // the empty segment carries key number 0
    EXPECT_EQ(table->SegmentCount(1), 1);
    ASSERT_NE(table->Segment(0, 1), nullptr);
    EXPECT_EQ(table->Segment(0, 1)->FieldId(), 2);
    EXPECT_EQ(table->Segment(0, 1)->Flags(), 0x0001);
    ASSERT_NE(table->Segment(1, 0), nullptr);
    EXPECT_EQ(table->Segment(1, 0)->FieldId(), 2);
    EXPECT_EQ(table->Segment(1, 1), nullptr);
    ASSERT_EQ(table->Segments().size(), 4u);
    const cvDDKeySeg& empty = table->Segments()[2];
    EXPECT_EQ(empty.TableId(), 1);
    EXPECT_EQ(empty.FieldId(), 0);
    EXPECT_EQ(empty.Flags(), 0);
    EXPECT_EQ(table->SegmentField(empty), nullptr);

    std::vector<std::string> names{"before"};
    EXPECT_EQ(table->KeyFieldNames(1, names), 1);
    EXPECT_EQ(names, (std::vector<std::string>{"before", "NUMKEY"}));
    names.clear();
    EXPECT_EQ(table->KeyFieldNames(7, names), 0);
    EXPECT_TRUE(names.empty());

    const auto texts = log.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0], "Table TOLVANE does not have an attribute named MISSING\n.");
}

TEST(DataDictTest, KeyNumberingFromSegmentFlags) {
    cvDataDict dict;
    const cvFieldDef fields[] = {
        {"A", kTypeInteger, 0, 4, 0}, {"B", kTypeInteger, 4, 4, 0}, {"C", kTypeAutoInc, 8, 4, 0}};
    const cvKeyDef keys[] = {{"A", 0x0011}, {"B", 0x0001}, {"C", 0x0002}};
    ASSERT_EQ(dict.AddDefinition({"T", "T.DAT", 4096, 0, fields, keys, 0}), 0);
    const cvDDFile& table = *dict.FindTable("T");
    struct Expect {
        int key, segment;
        const char* field;
    };
    ASSERT_EQ(table.Segments().size(), 3u);
    const Expect expected[] = {{0, 0, "A"}, {0, 1, "B"}, {1, 0, "C"}};
    for (size_t i = 0; i < 3; ++i) {
        const cvDDKeySeg& segment = table.Segments()[i];
        EXPECT_EQ(segment.KeyNumber(), expected[i].key);
        EXPECT_EQ(segment.SegmentNumber(), expected[i].segment);
        EXPECT_EQ(table.SegmentField(segment)->Name(), expected[i].field);
    }
    EXPECT_EQ(table.KeyCount(), 2);
    EXPECT_TRUE(table.HasAutoIncKey());
    EXPECT_FALSE(table.IsBuiltIn());
    EXPECT_FALSE(table.IsSystemTable());
}

TEST(DataDictTest, MissingNamesAreRefusedAndLaterDefinitionsOverride) {
    EventLogCapture log;
    cvDataDict dict;
    const cvFieldDef one[] = {{"NAME", kTypeString, 0, 10, 0}};
    const cvFieldDef two[] = {{"NAME", kTypeString, 0, 30, 0}, {"NUMBER", kTypeInteger, 30, 4, 0}};
    EXPECT_EQ(dict.AddDefinition({"", "X.DAT", 512, 1, one, {}, 0}), -1);
    EXPECT_EQ(dict.AddDefinition({"X", "", 512, 1, one, {}, 0}), -1);
    EXPECT_TRUE(dict.Tables().empty());
    EXPECT_EQ(dict.HighestTableId(), 0);

    ASSERT_EQ(dict.AddDefinition({"PAGEDEV", "OLD.DAT", 512, 1, one, {}, 0}), 0);
    EXPECT_TRUE(log.Texts().empty());
    ASSERT_EQ(dict.AddDefinition({"PAGEDEV", "PAGEDEV.DAT", 512, 1, two, {}, 0}), 0);
    ASSERT_EQ(log.Texts().size(), 1u);
    EXPECT_EQ(log.Texts()[0], "Overriding table definition for PAGEDEV");
    const cvDDFile* table = dict.FindTable("PAGEDEV");
    EXPECT_EQ(table->TableId(), 2);
    EXPECT_EQ(table->RecordLength(), 34);
    EXPECT_EQ(table->FileName(), "PAGEDEV.DAT");
    EXPECT_EQ(dict.Tables().size(), 1u);

    // Names are cut to their widths and looked up exactly.
    const std::string long_name(25, 'N');
    ASSERT_EQ(dict.AddDefinition({long_name, "F.DAT", 512, 1, one, {}, 0}), 0);
    EXPECT_NE(dict.FindTable(std::string(20, 'N')), nullptr);
    EXPECT_EQ(dict.FindTable("pagedev"), nullptr);
}

TEST(DataDictTest, FieldAndPageSizeRules) {
    EventLogCapture log;
    cvDataDict dict;
    // Rows in any order: the record length is the largest offset + size.
    const cvFieldDef fields[] = {{"WIDE", kTypeString, 10, 20, 0},
                                 {"FIRST", kTypeInteger, 0, 4, 0},
                                 {"FIRST", kTypeInteger, 4, 2, 0},  // the later one wins
                                 {"MEMO", kTypeNote, 30, 0, 0}};
    ASSERT_EQ(dict.AddDefinition({"T", "T.DAT", 4096, 0, fields, {}, 0}), 0);
    cvDDFile& table = *dict.FindTable("T");
    EXPECT_EQ(table.RecordLength(), 30);
    EXPECT_EQ(table.FindField("FIRST")->Offset(), 4);
    EXPECT_TRUE(table.IsVariableLength());

    EXPECT_FALSE(table.SetPageSize(1000));
    EXPECT_EQ(table.PageSize(), 4096);
    EXPECT_TRUE(table.SetPageSize(1024));
    EXPECT_EQ(table.PageSize(), 1024);
    EXPECT_FALSE(table.SetPageSize(0));

    log.Clear();
    EXPECT_EQ(table.FindField("QINACTIVE", true), nullptr);
    EXPECT_TRUE(log.Texts().empty());
    EXPECT_EQ(table.FindField("first", true), nullptr);
    ASSERT_EQ(log.Texts().size(), 1u);
    EXPECT_EQ(log.Texts()[0], "Table T does not have an attribute named first\n.");
    EXPECT_EQ(table.FindField("NOPE", false), nullptr);
    EXPECT_EQ(log.Texts().size(), 1u);
}

TEST(DataDictTest, FileNameStripsDrivesSharesAndDirectories) {
    struct Case {
        const char* location;
        const char* file;
    };
    const Case cases[] = {
        {"C:\\TOLVANE\\DATA\\TOLVANE.DAT", "TOLVANE.DAT"},
        {"\\\\SERVER\\SHARE\\TOLVANE\\TOLVANE.DAT", "TOLVANE.DAT"},
        {"TOLVANE.DAT", "TOLVANE.DAT"},
        {"D:TOLVANE.DAT", "TOLVANE.DAT"},
        {"/srv/tolvane/data/TOLVANE.DAT", "TOLVANE.DAT"},
        {"C:/tolvane\\data/TOLVANE.DAT", "TOLVANE.DAT"},
        {"  TOLVANE.DAT  ", "TOLVANE.DAT"},
    };
    cvDataDict dict;
    for (const Case& c : cases) {
        ASSERT_EQ(dict.AddDefinition({"T", c.location, 512, 1, {}, {}, 0}), 0);
        EXPECT_EQ(dict.FindTable("T")->FileName(), c.file) << c.location;
    }
}

TEST(DataDictTest, FrameworkHooks) {
    cvDataDict dict;
    const cvFieldDef fields[] = {{"QINACTIVE", kTypeString, 0, 1, 0},
                                 {"NAME", kTypeString, 1, 10, 0},
                                 {"CODE", kTypeZString, 11, 4, 0},
                                 {"NUMBER", kTypeInteger, 15, 4, 0}};
    ASSERT_EQ(dict.AddDefinition({"T", "T.DAT", 512, 0, fields, {}, 0}), 0);
    const cvDDFile& table = *dict.FindTable("T");
    EXPECT_EQ(dict.KeyFillChar(table, 0, *table.FindField("QINACTIVE")), 'Y');
    EXPECT_EQ(dict.KeyFillChar(table, 0, *table.FindField("NAME")), ' ');
    EXPECT_EQ(dict.KeyFillChar(table, 0, *table.FindField("CODE")), 0);
    EXPECT_EQ(dict.KeyFillChar(table, 0, *table.FindField("NUMBER")), 0);
    EXPECT_FALSE(dict.ExcludeKeyFromCheck("T", 0));

    EXPECT_EQ(DataTypeName(0), "String");
    EXPECT_EQ(DataTypeName(14), "Unsigned Int");
    EXPECT_EQ(DataTypeName(17), "NumericSts");
    EXPECT_EQ(DataTypeName(16), "Unknown");
}

// A product dictionary refines the hooks; the table and field calls reach it.
class ProductDict : public cvDataDict {
  public:
    void FieldDefHook(cvDDFile& table, cvDDField& field) override {
        cvDataDict::FieldDefHook(table, field);
        if (field.Name() == "QTY") {
            field.SetDecimals(1);
        }
        ++fields_seen;
    }
    int fields_seen = 0;
};

TEST(DataDictTest, DerivedHooksAreCalledForEveryField) {
    ProductDict dict;
    ASSERT_EQ(dict.AddDefinition({"TOLVANE", "TOLVANE.DAT", 1024, 1, kConfigFields, {}, 0}), 0);
    EXPECT_EQ(dict.fields_seen, 6);
    EXPECT_EQ(dict.FindTable("TOLVANE")->FindField("QTY")->Decimals(), 1);
}

TEST(DictionaryRowTest, RowsRoundTripAndNamedIndexBitIsCleared) {
    const cvDDField field(7, 3, "PAGEMSGNBR", kTypeAutoInc, 0, 4, 0, 0x0102);
    const auto field_row = field.ToRow();
    EXPECT_EQ(field_row[0], 7);
    EXPECT_EQ(field_row[2], 3);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&field_row[4]), 20),
              "PAGEMSGNBR          ");
    EXPECT_EQ(field_row[24], kTypeAutoInc);
    EXPECT_EQ(field_row[28], 0);  // size 4 little-endian at 27
    EXPECT_EQ(field_row[27], 4);
    EXPECT_EQ(field_row[30], 0x02);
    EXPECT_EQ(field_row[31], 0x01);
    const cvDDField back = cvDDField::FromRow(field_row.data(), field_row.size());
    EXPECT_EQ(back.Name(), "PAGEMSGNBR");
    EXPECT_EQ(back.Id(), 7);
    EXPECT_EQ(back.Flags(), 0x0102);

    const uint8_t key_row[] = {3, 0, 7, 0, 1, 0, 2, 0, 0x93, 0x00};
    const cvDDKeySeg segment = cvDDKeySeg::FromRow(key_row, sizeof key_row);
    EXPECT_EQ(segment.TableId(), 3);
    EXPECT_EQ(segment.FieldId(), 7);
    EXPECT_EQ(segment.KeyNumber(), 1);
    EXPECT_EQ(segment.SegmentNumber(), 2);
    EXPECT_EQ(segment.Flags(), 0x0013);

    cvDDTableRow table;
    table.id = 0x0102;
    table.name = "PAGEMSG";
    table.location = "C:\\DATA\\PAGEMSG.DAT";
    table.file_flags = 8;
    const auto table_row = table.ToRow();
    ASSERT_EQ(table_row.size(), 97u);
    const cvDDTableRow read = cvDDTableRow::FromRow(table_row.data(), table_row.size());
    EXPECT_EQ(read.id, 0x0102);
    EXPECT_EQ(read.name, "PAGEMSG");
    EXPECT_EQ(read.location, "C:\\DATA\\PAGEMSG.DAT");
    EXPECT_EQ(read.file_flags, 8);

    // A short row reads its missing bytes as zero.
    const cvDDField short_row = cvDDField::FromRow(field_row.data(), 10);
    EXPECT_EQ(short_row.Name(), "PAGEMS");
    EXPECT_EQ(short_row.Size(), 0);
}

}  // namespace
