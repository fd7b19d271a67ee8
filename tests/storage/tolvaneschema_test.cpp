// The product's dictionary tables against the paging schema and the older files'
// layouts: every named field with its kind, the keys with their segments, and rows
// that do not overlap.

#include "tools/ddfwriter/tolvaneschema.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "storage/datatype.h"
#include "tools/ddfwriter/dictionaryrows.h"

namespace {

enum Kind { kInteger, kNumber, kText, kFlag, kDate, kTime };

const cvTableDef* Table(std::string_view name) {
    for (const cvTableDef& table : TolvaneSchema()) {
        if (table.table == name) {
            return &table;
        }
    }
    return nullptr;
}

const cvFieldDef* Field(const cvTableDef& table, std::string_view name) {
    for (const cvFieldDef& field : table.fields) {
        if (field.name == name) {
            return &field;
        }
    }
    return nullptr;
}

bool HasKind(const cvFieldDef& field, Kind kind) {
    switch (kind) {
        case kInteger:
            return field.data_type == kTypeInteger && field.size == 4;
        case kNumber:
            return field.data_type == kTypeAutoInc && field.size == 4;
        case kText:
            return field.data_type == kTypeZString && field.size >= 2;
        case kFlag:
            return field.data_type == kTypeString && field.size == 1;
        case kDate:
            return field.data_type == kTypeDate && field.size == 4;
        case kTime:
            return field.data_type == kTypeTime && field.size == 4;
    }
    return false;
}

// Keys as lists of (field, duplicates) per key number.
struct Segment {
    std::string field;
    bool duplicates;
};
std::vector<std::vector<Segment>> Keys(const cvTableDef& table) {
    std::vector<std::vector<Segment>> keys(1);
    for (const cvKeyDef& key : table.keys) {
        keys.back().push_back({std::string(key.field), (key.flags & kKeyDuplicates) != 0});
        if (!(key.flags & kKeySegmented)) {
            keys.emplace_back();
        }
    }
    keys.pop_back();
    return keys;
}

TEST(TolvaneSchemaTest, PagingTablesHoldEveryFieldWithItsKind) {
    const std::map<std::string, std::vector<std::pair<std::string, Kind>>> expected = {
        {"PAGEMSG",
         {{"PAGEMSGNBR", kNumber},
          {"PAGEDEVNBR", kInteger},
          {"HOSTREFNBR", kInteger},
          {"TEXT", kText},
          {"QCONFIDENTIAL", kFlag},
          {"STATUS", kInteger},
          {"SCHEDDATE", kDate},
          {"SCHEDTIME", kTime},
          {"ATTEMPTS", kInteger},
          {"RESPONSE", kText},
          {"NETMSGNBR", kInteger},
          {"ENTERBY", kInteger},
          {"DATEENTER", kDate},
          {"TIMEENTER", kTime}}},
        {"PAGEDEV",
         {{"PAGEDEVNBR", kNumber},
          {"DESCRIPTION", kText},
          {"QINACTIVE", kFlag},
          {"QGROUP", kFlag},
          {"PAGENETNBR", kInteger},
          {"PIN", kText},
          {"PASSWORD", kText},
          {"MAXMSGLEN", kInteger}}},
        {"PAGENET",
         {{"PAGENETNBR", kNumber},
          {"DESCRIPTION", kText},
          {"QINACTIVE", kFlag},
          {"PROTOCOL", kInteger},
          {"PHONE", kText},
          {"PORT", kInteger},
          {"REPLYTO", kText},
          {"REPLYPROLOGUE", kText},
          {"MAXMSGLEN", kInteger},
          {"RATE", kInteger},
          {"DATABITS", kInteger},
          {"PARITY", kInteger},
          {"STOPBITS", kInteger},
          {"PASSWORD", kText},
          {"SERVERPIN", kText},
          {"SECURITYCODE", kText}}},
        {"PAGEGRP", {{"PAGEGRPNBR", kInteger}, {"PAGEDEVNBR", kInteger}}},
        {"MONEQUIP",
         {{"EQUIPNBR", kNumber},
          {"DESCRIPTION", kText},
          {"QINACTIVE", kFlag},
          {"CONTACT", kText},
          {"PHONE", kText},
          {"PAGEDEVNBR", kInteger}}},
    };
    for (const auto& [name, fields] : expected) {
        const cvTableDef* table = Table(name);
        ASSERT_NE(table, nullptr) << name;
        EXPECT_EQ(table->fields.size(), fields.size()) << name;
        for (const auto& [field_name, kind] : fields) {
            const cvFieldDef* field = Field(*table, field_name);
            ASSERT_NE(field, nullptr) << name << "." << field_name;
            EXPECT_TRUE(HasKind(*field, kind)) << name << "." << field_name;
        }
        for (const cvKeyDef& key : table->keys) {
            EXPECT_NE(key.field, "QINACTIVE") << name;
        }
    }
    // Text widths: characters, plus the terminating NUL.
    const std::map<std::string, int> widths = {
        {"PAGEMSG.TEXT", 1000},   {"PAGEDEV.DESCRIPTION", 40}, {"PAGEDEV.PIN", 40},
        {"PAGEDEV.PASSWORD", 20}, {"PAGENET.DESCRIPTION", 40}, {"PAGENET.PHONE", 80},
        {"PAGENET.REPLYTO", 80},  {"PAGENET.PASSWORD", 20},    {"MONEQUIP.DESCRIPTION", 40},
        {"MONEQUIP.PHONE", 80},
    };
    for (const auto& [path, characters] : widths) {
        const size_t dot = path.find('.');
        const cvFieldDef* field = Field(*Table(path.substr(0, dot)), path.substr(dot + 1));
        EXPECT_EQ(field->size, characters + 1) << path;
    }
}

TEST(TolvaneSchemaTest, KeysByNumberWithTheirDuplicates) {
    using Key = std::vector<Segment>;
    const std::map<std::string, std::vector<Key>> expected = {
        {"PAGEMSG",
         {{{"PAGEMSGNBR", false}},
          {{"STATUS", true}, {"SCHEDDATE", true}, {"SCHEDTIME", true}},
          {{"SCHEDDATE", true}},
          {{"PAGEDEVNBR", true}, {"SCHEDDATE", true}},
          {{"HOSTREFNBR", true}},
          {{"NETMSGNBR", true}}}},
        {"PAGEDEV", {{{"PAGEDEVNBR", false}}, {{"DESCRIPTION", false}}}},
        {"PAGENET", {{{"PAGENETNBR", false}}, {{"DESCRIPTION", false}}}},
        {"PAGEGRP", {{{"PAGEGRPNBR", false}, {"PAGEDEVNBR", false}}, {{"PAGEDEVNBR", true}}}},
        {"MONEQUIP", {{{"EQUIPNBR", false}}, {{"DESCRIPTION", false}}}},
        {"OLDNET", {{{"DESCRIPTION", false}}}},
        {"OLDDEV", {{{"DESCRIPTION", false}}, {{"EMPLOYEENBR", true}}}},
        {"OLDGROUP", {{{"PAGEGRPNBR", false}, {"PAGEDEVNBR", false}}}},
        {"OLDEQUIP", {{{"DESCRIPTION", false}}}},
    };
    for (const auto& [name, keys] : expected) {
        const auto actual = Keys(*Table(name));
        ASSERT_EQ(actual.size(), keys.size()) << name;
        for (size_t k = 0; k < keys.size(); ++k) {
            ASSERT_EQ(actual[k].size(), keys[k].size()) << name << " key " << k;
            for (size_t s = 0; s < keys[k].size(); ++s) {
                EXPECT_EQ(actual[k][s].field, keys[k][s].field) << name << " key " << k;
                EXPECT_EQ(actual[k][s].duplicates, keys[k][s].duplicates) << name << " key " << k;
            }
        }
    }
    // Record numbers never change; every other key of the paging tables may.
    for (const cvTableDef& table : TolvaneSchema()) {
        for (const cvKeyDef& key : table.keys) {
            const cvFieldDef* field = Field(table, key.field);
            ASSERT_NE(field, nullptr) << table.table << " key on " << key.field;
            if (field->data_type == kTypeAutoInc) {
                EXPECT_EQ(key.flags, kKeyUnique) << table.table;
            }
        }
    }
}

TEST(TolvaneSchemaTest, OlderFilesKeepTheirLayouts) {
    struct Expected {
        const char* table;
        const char* file;
        std::vector<std::tuple<std::string, int, int, uint8_t>> fields;  // name, offset, size, type
    };
    const Expected expected[] = {
        {"OLDNET",
         "TVNET.DAT",
         {{"DESCRIPTION", 0, 10, kTypeString},
          {"PHONE", 10, 20, kTypeString},
          {"RATE", 30, 2, kTypeInteger},
          {"PASSWORD", 32, 6, kTypeString},
          {"PROTOCOL", 42, 2, kTypeInteger},
          {"MAXMSGLEN", 45, 2, kTypeInteger},
          {"SERVERPIN", 47, 10, kTypeString},
          {"SECURITYCODE", 57, 10, kTypeString},
          {"SPARE", 67, 17, kTypeString}}},
        {"OLDDEV",
         "TVUSER.DAT",
         {{"DESCRIPTION", 0, 20, kTypeString},
          {"PAGENETNBR", 20, 10, kTypeString},
          {"PIN", 30, 10, kTypeString},
          {"PASSWORD", 40, 6, kTypeString},
          {"EMPLOYEENBR", 46, 20, kTypeString},
          {"MAXMSGLEN", 66, 2, kTypeInteger},
          {"QINACTIVE", 68, 4, kTypeInteger},
          {"SPARE", 72, 13, kTypeString}}},
    };
    for (const Expected& e : expected) {
        const cvTableDef* table = Table(e.table);
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->file, e.file);
        ASSERT_EQ(table->fields.size(), e.fields.size()) << e.table;
        for (const auto& [name, offset, size, type] : e.fields) {
            const cvFieldDef* field = Field(*table, name);
            ASSERT_NE(field, nullptr) << e.table << "." << name;
            EXPECT_EQ(field->offset, offset) << e.table << "." << name;
            EXPECT_EQ(field->size, size) << e.table << "." << name;
            EXPECT_EQ(field->data_type, type) << e.table << "." << name;
        }
    }
    for (const char* name : {"PAGEGRPNBR", "PAGEDEVNBR"}) {
        EXPECT_NE(Field(*Table("OLDGROUP"), name), nullptr) << name;
    }
    for (const char* name : {"DESCRIPTION", "PHONE", "CONTACT", "PAGER"}) {
        EXPECT_NE(Field(*Table("OLDEQUIP"), name), nullptr) << name;
    }
}

TEST(TolvaneSchemaTest, FieldsDoNotOverlapAndFileNamesAreDistinct) {
    std::set<std::string> files;
    for (const cvTableDef& table : TolvaneSchema()) {
        EXPECT_TRUE(files.insert(std::string(table.file)).second) << table.file;
        std::vector<std::pair<int, int>> spans;
        std::set<std::string_view> names;
        for (const cvFieldDef& field : table.fields) {
            EXPECT_TRUE(names.insert(field.name).second) << table.table << "." << field.name;
            EXPECT_LE(field.name.size(), cvDDField::kNameSize);
            spans.emplace_back(field.offset, field.offset + field.size);
        }
        std::sort(spans.begin(), spans.end());
        for (size_t i = 1; i < spans.size(); ++i) {
            EXPECT_LE(spans[i - 1].second, spans[i].first) << table.table;
        }
    }
}

TEST(DictionaryRowsTest, IdsAndKeyNumbersAreAssignedInOrder) {
    const DictionaryRows rows = BuildDictionaryRows(TolvaneSchema());
    ASSERT_EQ(rows.tables.size(), TolvaneSchema().size());
    EXPECT_EQ(rows.tables[0].id, 1);
    EXPECT_EQ(rows.tables[0].name, "PAGEMSG");
    EXPECT_EQ(rows.tables[8].id, 9);
    size_t field_count = 0;
    for (const cvTableDef& table : TolvaneSchema()) {
        field_count += table.fields.size();
    }
    ASSERT_EQ(rows.fields.size(), field_count);
    for (size_t i = 0; i < rows.fields.size(); ++i) {
        EXPECT_EQ(rows.fields[i].Id(), i + 1);
    }
    // PAGEMSG key 1 has three segments; key 4 follows key 3's two.
    std::vector<std::pair<int, int>> pagemsg;
    for (const cvDDKeySeg& segment : rows.segments) {
        if (segment.TableId() == 1) {
            EXPECT_NE(segment.FieldId(), 0);
            pagemsg.emplace_back(segment.KeyNumber(), segment.SegmentNumber());
        }
    }
    EXPECT_EQ(pagemsg,
              (std::vector<std::pair<int, int>>{
                  {0, 0}, {1, 0}, {1, 1}, {1, 2}, {2, 0}, {3, 0}, {3, 1}, {4, 0}, {5, 0}}));
}

}  // namespace
