#include "storage/cvrec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

#include "platform/core/clock.h"
#include "storage/apphooks.h"
#include "storage/cvdatadict.h"
#include "storage/datatype.h"
#include "storage/packeddatetime.h"
#include "tests/support/eventlogcapture.h"
#include "tests/support/scopedenv.h"

namespace {

// One field of every kind the record layer handles, and a few it refuses.
constexpr cvFieldDef kSampleFields[] = {
    {"QINACTIVE", kTypeString, 0, 1, 0},    {"NAME", kTypeString, 1, 10, 0},
    {"ZNAME", kTypeZString, 11, 8, 0},      {"LNAME", kTypeLString, 19, 8, 0},
    {"SPARE", kTypeString, 27, 6, 0},       {"COUNT", kTypeInteger, 33, 4, 0},
    {"TINY", kTypeInteger, 37, 1, 0},       {"SHORT", kTypeInteger, 38, 2, 0},
    {"BIG", kTypeInteger, 40, 8, 0},        {"UCOUNT", kTypeUnsigned, 48, 4, 0},
    {"AUTO", kTypeAutoInc, 52, 8, 0},       {"FLAG", kTypeLogical, 60, 1, 0},
    {"RATE", kTypeFloat, 61, 4, 0},         {"WEIGHT", kTypeFloat, 65, 8, 0},
    {"AMOUNT", kTypeMoney, 73, 4, 5},  // Money keeps 2 decimals whatever it says
    {"QTY", kTypeDecimal, 77, 5, 3},        {"DATEENTER", kTypeDate, 82, 4, 0},
    {"TIMEENTER", kTypeTime, 86, 4, 0},     {"ENTERBY", kTypeInteger, 90, 4, 0},
    {"NUMERIC", kTypeNumeric, 94, 4, 0},    {"TYPE", kTypeInteger, 98, 4, 0},
    {"TRANSNBR", kTypeInteger, 102, 4, 0},  {"TRANSNBR2", kTypeInteger, 106, 4, 0},
    {"TRANSNBR3", kTypeInteger, 110, 4, 0}, {"THREEBYTE", kTypeInteger, 114, 3, 0},
    {"ONEZ", kTypeZString, 117, 1, 0},      {"SHORTDATE", kTypeDate, 118, 2, 0},
    {"SPAREZ", kTypeZString, 120, 4, 0},    {"LAST", kTypeInteger, 124, 4, 0},
};
constexpr int kSampleLength = 128;

class RecordTest : public ::testing::Test {
  protected:
    RecordTest() : tz_("TZ", "UTC"), clock_(platform::MakeLocalTime(2024, 3, 15, 13, 5, 30)) {
        platform::SetClock(&clock_);
        EXPECT_EQ(dict_.AddDefinition({"SAMPLE", "SAMPLE.DAT", 512, 0, kSampleFields, {}, 0}), 0);
        table_ = dict_.FindTable("SAMPLE");
        log_.Clear();
    }
    ~RecordTest() override {
        platform::SetClock(nullptr);
        SetCurrentUserNumber(0);
    }

    // The bytes of one field of a record.
    static std::vector<uint8_t> Bytes(const cvRec& record, const char* name) {
        const cvDDField* field = record.Table().FindField(name);
        const uint8_t* p = record.FieldData(name);
        return std::vector<uint8_t>(p, p + field->Size());
    }
    static void SetBytes(cvRec& record, const char* name, std::vector<uint8_t> bytes) {
        ASSERT_EQ(record.PutBytes(name, bytes.data(), bytes.size()),
                  static_cast<int>(bytes.size()));
    }

    ScopedEnv tz_;
    platform::ManualClock clock_;
    cvDataDict dict_;
    const cvDDFile* table_ = nullptr;
    EventLogCapture log_;
};

TEST_F(RecordTest, NewRecordDefaultsAndUntouchedSpare) {
    SetCurrentUserNumber(3);
    const cvRec record(*table_);
    EXPECT_EQ(record.Buffer().Length(), static_cast<size_t>(kSampleLength));
    EXPECT_EQ(record.Position(), 0);
    EXPECT_EQ(record.GetText("QINACTIVE"), "N");
    EXPECT_EQ(record.GetDate("DATEENTER"), PackDate(2024, 3, 15));
    EXPECT_EQ(record.GetTime("TIMEENTER"), PackTime(13, 5, 30, 0));
    EXPECT_EQ(record.GetInt("ENTERBY"), 3);
    EXPECT_EQ(Bytes(record, "NAME"), std::vector<uint8_t>(10, ' '));
    EXPECT_EQ(Bytes(record, "ZNAME"), (std::vector<uint8_t>{' ', ' ', ' ', ' ', ' ', ' ', ' ', 0}));
    EXPECT_EQ(Bytes(record, "LNAME"), (std::vector<uint8_t>{7, ' ', ' ', ' ', ' ', ' ', ' ', ' '}));
    EXPECT_EQ(Bytes(record, "SPARE"), std::vector<uint8_t>(6, 0));
    EXPECT_EQ(Bytes(record, "SPAREZ"), std::vector<uint8_t>(4, 0));
    EXPECT_EQ(Bytes(record, "ONEZ"), std::vector<uint8_t>{0});  // a size-1 ZString: NUL only
    EXPECT_EQ(record.GetInt("COUNT"), 0);
    EXPECT_EQ(record.EnteredText(), "3 03/15/2024 1:05 pm");
    EXPECT_TRUE(log_.Texts().empty());

    const cvRec scratch(*table_, cvRec::kScratch);
    EXPECT_EQ(scratch.Position(), -1);
    EXPECT_EQ(scratch.GetText("QINACTIVE"), "N");
}

// A dictionary whose InitNewRecord declines the blank filling.
class BareDict : public cvDataDict {
  public:
    bool InitNewRecord(const cvDDFile& table, cvBuffer& buffer) override {
        cvDataDict::InitNewRecord(table, buffer);
        return false;
    }
};

TEST_F(RecordTest, ProductDictionaryMayDeclineBlankFilling) {
    BareDict dict;
    ASSERT_EQ(dict.AddDefinition({"SAMPLE", "SAMPLE.DAT", 512, 0, kSampleFields, {}, 0}), 0);
    const cvRec record(*dict.FindTable("SAMPLE"));
    EXPECT_EQ(record.GetText("QINACTIVE"), "N");
    EXPECT_EQ(Bytes(record, "NAME"), std::vector<uint8_t>(10, 0));
}

TEST_F(RecordTest, PutStringOnEachTextType) {
    cvRec record(*table_);
    ASSERT_NE(record.PutString("NAME", "ABCDEFGHIJKL"), 0);
    ASSERT_NE(record.PutString("ZNAME", "ABCDEFGHIJKL"), 0);
    ASSERT_NE(record.PutString("LNAME", "ABCDEFGHIJKL"), 0);
    ASSERT_NE(record.PutString("FLAG", "Y"), 0);  // Logical takes text too
    const auto text = [](const char* s) { return std::vector<uint8_t>(s, s + std::strlen(s)); };
    EXPECT_EQ(Bytes(record, "NAME"), text("ABCDEFGHIJ"));
    std::vector<uint8_t> z = text("ABCDEFG");
    z.push_back(0);
    EXPECT_EQ(Bytes(record, "ZNAME"), z);
    std::vector<uint8_t> l = text("ABCDEFG");
    l.insert(l.begin(), 7);
    EXPECT_EQ(Bytes(record, "LNAME"), l);
    EXPECT_EQ(Bytes(record, "FLAG"), text("Y"));

    ASSERT_NE(record.PutString("NAME", "AB"), 0);
    EXPECT_EQ(Bytes(record, "NAME"), text("AB        "));
    ASSERT_NE(record.PutString("ZNAME", "AB"), 0);
    z = text("AB     ");
    z.push_back(0);
    EXPECT_EQ(Bytes(record, "ZNAME"), z);
    EXPECT_EQ(record.GetText("ZNAME"), "AB");
    ASSERT_NE(record.PutString("LNAME", ""), 0);
    EXPECT_EQ(record.GetText("LNAME"), "");
    EXPECT_TRUE(log_.Texts().empty());

    // A size-1 ZString fails without a word; wrong types and unknown names are logged.
    const std::vector<uint8_t> before(record.Buffer().Data(),
                                      record.Buffer().Data() + record.Buffer().Length());
    EXPECT_EQ(record.PutString("ONEZ", "A"), 0);
    EXPECT_TRUE(log_.Texts().empty());
    EXPECT_EQ(record.PutString("COUNT", "12"), 0);
    EXPECT_EQ(record.PutString("NOSUCH", "12"), 0);
    EXPECT_EQ(std::vector<uint8_t>(record.Buffer().Data(),
                                   record.Buffer().Data() + record.Buffer().Length()),
              before);
    EXPECT_EQ(log_.Texts(), (std::vector<std::string>{
                                "Table SAMPLE COUNT field is not a string.\n.",
                                "Table SAMPLE does not have an attribute named NOSUCH\n.",
                                "Put on table SAMPLE field NOSUCH failed. Field does not exist.\n.",
                            }));
}

// Each put on each kind of field: accepted puts change exactly the field's bytes to
// the expected ones; refused puts return 0 and leave every byte alone.
TEST_F(RecordTest, PutAccessorsOnAcceptedAndRefusedFields) {
    using Put = std::function<int(cvRec&)>;
    struct Case {
        const char* label;
        const char* field;
        Put put;
        std::vector<uint8_t> bytes;  // empty: refused
    };
    const auto put_int = [](const char* f, int32_t v) {
        return Put([=](cvRec& r) { return r.PutInt(f, v); });
    };
    const auto put_uint = [](const char* f, uint32_t v) {
        return Put([=](cvRec& r) { return r.PutUInt(f, v); });
    };
    const auto put_int64 = [](const char* f, uint32_t lo, uint32_t hi) {
        return Put([=](cvRec& r) { return r.PutInt64(f, lo, hi); });
    };
    const auto put_double = [](const char* f, double v) {
        return Put([=](cvRec& r) { return r.PutDouble(f, v); });
    };
    const auto put_date = [](const char* f, uint32_t v) {
        return Put([=](cvRec& r) { return r.PutDate(f, v); });
    };
    const auto put_time = [](const char* f, uint32_t v) {
        return Put([=](cvRec& r) { return r.PutTime(f, v); });
    };
    const std::vector<uint8_t> refused;
    const Case cases[] = {
        {"PutInt 4", "COUNT", put_int("COUNT", -2), {0xFE, 0xFF, 0xFF, 0xFF}},
        {"PutInt 1", "TINY", put_int("TINY", 0x1FF), {0xFF}},
        {"PutInt 2", "SHORT", put_int("SHORT", 0x12345), {0x45, 0x23}},
        {"PutInt 8 sign-extends", "BIG", put_int("BIG", -1), std::vector<uint8_t>(8, 0xFF)},
        {"PutInt Logical", "FLAG", put_int("FLAG", 1), {0x01}},
        {"PutInt AutoInc 8", "AUTO", put_int("AUTO", 5), {5, 0, 0, 0, 0, 0, 0, 0}},
        {"PutInt Unsigned", "UCOUNT", put_int("UCOUNT", 5), refused},
        {"PutInt size 3", "THREEBYTE", put_int("THREEBYTE", 5), refused},
        {"PutInt String", "NAME", put_int("NAME", 5), refused},
        {"PutUInt Unsigned", "UCOUNT", put_uint("UCOUNT", 0xFFFFFFFE), {0xFE, 0xFF, 0xFF, 0xFF}},
        {"PutUInt AutoInc 8", "AUTO", put_uint("AUTO", 5), {5, 0, 0, 0, 0, 0, 0, 0}},
        {"PutUInt Logical", "FLAG", put_uint("FLAG", 0x101), {0x01}},
        {"PutUInt Integer", "COUNT", put_uint("COUNT", 5), refused},
        {"PutInt64 8",
         "BIG",
         put_int64("BIG", 0x11223344, 0x55667788),
         {0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55}},
        {"PutInt64 4",
         "COUNT",
         put_int64("COUNT", 0x11223344, 0x55667788),
         {0x44, 0x33, 0x22, 0x11}},
        {"PutInt64 2", "SHORT", put_int64("SHORT", 0x11223344, 7), {0x44, 0x33}},
        {"PutInt64 Unsigned", "UCOUNT", put_int64("UCOUNT", 1, 0), refused},
        {"PutDouble Money", "AMOUNT", put_double("AMOUNT", 12.35), {0x00, 0x01, 0x23, 0x5C}},
        {"PutDouble Money negative",
         "AMOUNT",
         put_double("AMOUNT", -12.35),
         {0x00, 0x01, 0x23, 0x5D}},
        {"PutDouble Money 8 digits", "AMOUNT", put_double("AMOUNT", 123456.78), refused},
        {"PutDouble Decimal rounds",
         "QTY",
         put_double("QTY", 1.23456),
         {0x00, 0x00, 0x01, 0x23, 0x5C}},
        {"PutDouble Integer", "COUNT", put_double("COUNT", 1.0), refused},
        {"PutDate",
         "DATEENTER",
         put_date("DATEENTER", PackDate(2010, 7, 9)),
         {0x09, 0x07, 0xDA, 0x07}},
        {"PutDate on Time", "TIMEENTER", put_date("TIMEENTER", 1), refused},
        {"PutDate size 2", "SHORTDATE", put_date("SHORTDATE", 1), refused},
        {"PutTime",
         "TIMEENTER",
         put_time("TIMEENTER", PackTime(13, 5, 30, 7)),
         {0x07, 0x1E, 0x05, 0x0D}},
        {"PutTime on Date", "DATEENTER", put_time("DATEENTER", 1), refused},
        {"PutDouble unknown", "NAME", Put([](cvRec& r) { return r.PutDouble("NOSUCH", 1.0); }),
         refused},
    };
    for (const Case& c : cases) {
        cvRec record(*table_);
        const cvBuffer before = record.Buffer();
        const int result = c.put(record);
        std::vector<uint8_t> expected(before.Data(), before.Data() + before.Length());
        if (c.bytes.empty()) {
            EXPECT_EQ(result, 0) << c.label;
        } else {
            EXPECT_NE(result, 0) << c.label;
            const cvDDField* field = table_->FindField(c.field);
            std::copy(c.bytes.begin(), c.bytes.end(), expected.begin() + field->Offset());
        }
        EXPECT_EQ(std::vector<uint8_t>(record.Buffer().Data(),
                                       record.Buffer().Data() + record.Buffer().Length()),
                  expected)
            << c.label;
    }
}

TEST_F(RecordTest, GetAccessorsOnAcceptedAndRefusedFields) {
    cvRec record(*table_);
    SetBytes(record, "TINY", {0xFF});
    SetBytes(record, "SHORT", {0xFE, 0xFF});
    SetBytes(record, "COUNT", {0xFF, 0xFF, 0xFF, 0xFF});
    SetBytes(record, "BIG", {0x01, 0, 0, 0x80, 0x02, 0, 0, 0});
    SetBytes(record, "UCOUNT", {0xFF, 0xFF, 0xFF, 0xFF});
    SetBytes(record, "FLAG", {0x02});
    SetBytes(record, "DATEENTER", {0x09, 0x07, 0xDA, 0x07});
    SetBytes(record, "SHORTDATE", {0x09, 0x07});
    SetBytes(record, "THREEBYTE", {1, 2, 3});
    SetBytes(record, "NAME", {'7'});

    struct IntCase {
        const char* field;
        int32_t as_int;
        uint32_t as_uint;
    };
    for (const IntCase c :
         {IntCase{"TINY", -1, 255}, IntCase{"SHORT", -2, 65534}, IntCase{"COUNT", -1, 0xFFFFFFFF},
          IntCase{"BIG", static_cast<int32_t>(0x80000001), 0x80000001},
          IntCase{"UCOUNT", -1, 0xFFFFFFFF}, IntCase{"FLAG", 2, 2}, IntCase{"THREEBYTE", 0, 0},
          IntCase{"NAME", 0, 0}, IntCase{"DATEENTER", 0, 0}}) {
        EXPECT_EQ(record.GetInt(c.field), c.as_int) << c.field;
        EXPECT_EQ(record.GetUInt(c.field), c.as_uint) << c.field;
    }
    EXPECT_EQ(record.GetInt64("BIG"), 0x0000000280000001LL);
    EXPECT_EQ(record.GetInt64("AUTO"), 0);  // only an 8-byte Integer gives 64 bits
    EXPECT_EQ(record.GetInt64("COUNT"), 0);
    EXPECT_EQ(record.GetDate("DATEENTER"), PackDate(2010, 7, 9));
    EXPECT_EQ(record.GetDate("SHORTDATE"), 0u);
    EXPECT_EQ(record.GetDate("TIMEENTER"), 0u);
    EXPECT_EQ(record.GetTime("DATEENTER"), 0u);
    EXPECT_EQ(record.GetDouble("COUNT"), 0.0);
    EXPECT_EQ(record.GetDouble("NUMERIC"), 0.0);
    EXPECT_EQ(record.GetText("NUMERIC"), "");
    EXPECT_EQ(record.FieldData("NOSUCH"), nullptr);
    EXPECT_EQ(record.FieldData("COUNT"), record.Buffer().Data() + 33);

    log_.Clear();
    EXPECT_EQ(record.GetInt("NOSUCH"), 0);
    EXPECT_EQ(record.GetText("QINACTIVE_NOT"), "");
    EXPECT_EQ(log_.Texts().size(), 2u);
}

TEST_F(RecordTest, FloatingAndPackedValues) {
    cvRec record(*table_);
    ASSERT_NE(record.PutDouble("RATE", 1.005), 0);  // 4-byte Float, 2 decimals by the hook
    EXPECT_DOUBLE_EQ(record.GetDouble("RATE"), 1.01);
    float stored;
    std::memcpy(&stored, record.FieldData("RATE"), sizeof stored);
    EXPECT_FLOAT_EQ(stored, 1.01f);
    ASSERT_NE(record.PutDouble("WEIGHT", -2.675), 0);
    EXPECT_DOUBLE_EQ(record.GetDouble("WEIGHT"), -2.68);

    ASSERT_NE(record.PutDouble("AMOUNT", 12.35), 0);
    EXPECT_DOUBLE_EQ(record.GetDouble("AMOUNT"), 12.35);
    EXPECT_EQ(record.PutDouble("AMOUNT", 123456.78), 0);
    EXPECT_DOUBLE_EQ(record.GetDouble("AMOUNT"), 12.35);      // unchanged
    SetBytes(record, "QTY", {0x00, 0x01, 0x23, 0x45, 0x6F});  // sign nibble F: positive
    EXPECT_DOUBLE_EQ(record.GetDouble("QTY"), 123.456);
    SetBytes(record, "QTY", {0x00, 0x01, 0x23, 0x45, 0x6D});
    EXPECT_DOUBLE_EQ(record.GetDouble("QTY"), -123.456);
}

TEST_F(RecordTest, TextOfEveryTypeAndFormatCode) {
    cvRec record(*table_);
    SetBytes(record, "NAME", {' ', ' ', 'X', ' ', ' ', ' ', 0, 'Z', 'Z', 'Z'});
    ASSERT_NE(record.PutInt("COUNT", 125), 0);
    ASSERT_NE(record.PutInt("TINY", 0), 0);
    ASSERT_NE(record.PutInt("BIG", -5), 0);
    ASSERT_NE(record.PutUInt("UCOUNT", 4000000000u), 0);
    ASSERT_NE(record.PutInt("AUTO", -7), 0);
    ASSERT_NE(record.PutDouble("WEIGHT", 1234.5), 0);
    ASSERT_NE(record.PutDouble("AMOUNT", -12.35), 0);
    ASSERT_NE(record.PutDouble("QTY", 0.0), 0);
    ASSERT_NE(record.PutTime("TIMEENTER", PackTime(0, 10, 0)), 0);

    struct Case {
        const char* field;
        int format;
        const char* text;
    };
    const Case cases[] = {
        {"NAME", 1, "X"},
        {"NAME", 0, "X"},
        {"NAME", 5, "  X   "},  // blanks kept, up to the NUL
        {"COUNT", 0, "125"},
        {"COUNT", 3, "1.25"},
        {"COUNT", 12, "125 %"},
        {"COUNT", 9, "125"},
        {"TINY", 9, ""},
        {"TINY", 0, "0"},
        {"BIG", 0, "-5"},
        {"BIG", 3, "-0.05"},
        {"AUTO", 0, "-7"},
        {"UCOUNT", 0, "4000000000"},
        {"UCOUNT", 12, "4000000000 %"},
        {"FLAG", 0, "False"},
        {"WEIGHT", 0, "1234.50"},
        {"WEIGHT", 8, "-1234.50"},
        {"WEIGHT", 12, "1234.50 %"},
        {"AMOUNT", 1, "-12.35"},
        {"QTY", 0, "0.000"},
        {"QTY", 9, ""},
        {"TIMEENTER", 0, "12:10 am"},
        {"DATEENTER", 0, "03/15/2024"},
        {"NUMERIC", 0, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(record.GetText(c.field, c.format), c.text) << c.field << " code " << c.format;
    }

    ASSERT_NE(record.PutInt("FLAG", 1), 0);
    EXPECT_EQ(record.GetText("FLAG"), "True");
    ASSERT_NE(record.PutDouble("WEIGHT", 1e13), 0);
    EXPECT_EQ(record.GetText("WEIGHT"), "**********");
    ASSERT_NE(record.PutDouble("WEIGHT", 0.000001), 0);
    EXPECT_EQ(record.GetText("WEIGHT", 9), "");
    ASSERT_NE(record.PutTime("TIMEENTER", 0), 0);
    EXPECT_EQ(record.GetText("TIMEENTER"), "");

    struct DateCase {
        uint32_t date;
        int format;
        const char* text;
    };
    for (const DateCase c :
         {DateCase{0, 0, ""}, DateCase{PackDate(2011, 2, 30), 0, "********"},
          DateCase{PackDate(0, 5, 5), 0, "********"}, DateCase{PackDate(0, 5, 5), 9, ""},
          DateCase{PackDate(1901, 1, 1), 1, "01/01/1901"}}) {
        ASSERT_NE(record.PutDate("DATEENTER", c.date), 0);
        EXPECT_EQ(record.GetText("DATEENTER", c.format), c.text);
    }
    const uint32_t date = PackDate(2010, 7, 9);
    ASSERT_NE(record.PutDate("DATEENTER", date), 0);
    EXPECT_EQ(ParseDateText(record.GetText("DATEENTER"), LocaleDateFormat().day_first), date);
}

TEST_F(RecordTest, StringTextWithSpecialCodesGoesThroughTheTextHook) {
    cvRec record(*table_);
    ASSERT_NE(record.PutString("NAME", "abc"), 0);
    SetTextHook([](const std::string& text, int format) {
        return "[" + text + "]" + std::to_string(format);
    });
    EXPECT_EQ(record.GetText("NAME", 4), "[abc       ]4");
    EXPECT_EQ(record.GetText("NAME", 1), "abc");
    SetTextHook({});
    EXPECT_EQ(record.GetText("NAME", 4), "abc       ");
}

TEST_F(RecordTest, ObjectIdentifierSpansFourIntegers) {
    cvRec record(*table_);
    const cvObjectId id{1001, 57, -3, 4};
    ASSERT_NE(record.PutObjectId("TYPE", id), 0);
    EXPECT_EQ(record.GetObjectId("TYPE"), id);
    EXPECT_EQ(record.GetInt("TRANSNBR2"), -3);
    EXPECT_EQ(record.GetObjectId("TYPE").Text(), "1001-57--3-4");
    // Without 16 bytes of room, or on another type, nothing is read or written.
    EXPECT_EQ(record.PutObjectId("LAST", id), 0);
    EXPECT_EQ(record.GetObjectId("LAST"), cvObjectId{});
    EXPECT_EQ(record.PutObjectId("UCOUNT", id), 0);
    EXPECT_EQ(record.GetObjectId("BIG"), cvObjectId{});
}

TEST_F(RecordTest, BytesAndFill) {
    cvRec record(*table_);
    const uint8_t bytes[] = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(record.PutBytes("COUNT", bytes, sizeof bytes), 4);
    EXPECT_EQ(Bytes(record, "COUNT"), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(Bytes(record, "TINY"), std::vector<uint8_t>{0});
    EXPECT_EQ(record.PutBytes("COUNT", bytes, 0), 0);
    EXPECT_EQ(record.PutBytes("COUNT", nullptr, 4), 0);
    EXPECT_NE(record.FillField("NAME", 'x'), 0);
    EXPECT_EQ(record.GetText("NAME"), "xxxxxxxxxx");
    EXPECT_EQ(record.FillField("NOSUCH", 'x'), 0);
}

TEST_F(RecordTest, ModifiedFollowsPositionAndSavedCrc) {
    cvRec record(*table_);
    EXPECT_TRUE(record.IsModified());  // new
    // As the file layer does after reading a stored row: a position and the CRC.
    record.SetPosition(42);
    record.MarkSaved();
    EXPECT_FALSE(record.IsModified());
    ASSERT_NE(record.PutString("NAME", ""), 0);  // the same bytes again
    EXPECT_FALSE(record.IsModified());
    ASSERT_NE(record.PutInt("COUNT", 1), 0);
    EXPECT_TRUE(record.IsModified());
    ASSERT_NE(record.PutInt("COUNT", 0), 0);
    EXPECT_FALSE(record.IsModified());
    const cvRec scratch(*table_, cvRec::kScratch);
    EXPECT_TRUE(scratch.IsModified());

    EXPECT_EQ(RecordCrc32(reinterpret_cast<const uint8_t*>("123456789"), 9),
              ~0xCBF43926u);  // the usual check value, without its final inversion
    EXPECT_EQ(record.SavedCrc(), record.Buffer().Crc32());
}

TEST_F(RecordTest, CopyAndAssignment) {
    cvRec stored(*table_);
    ASSERT_NE(stored.PutString("NAME", "stored"), 0);
    stored.SetPosition(9);
    stored.MarkSaved();
    stored.SetObjectFlag(1);

    const cvRec copy(stored);
    EXPECT_EQ(copy.GetText("NAME"), "stored");
    EXPECT_EQ(copy.Position(), 9);
    EXPECT_EQ(copy.SavedCrc(), stored.SavedCrc());
    EXPECT_EQ(copy.ObjectFlag(), 0);

    cvRec target(*table_);
    target = stored;
    EXPECT_EQ(target.GetText("NAME"), "stored");
    EXPECT_EQ(target.Position(), 9);
    EXPECT_FALSE(target.IsModified());

    // A source with a failed read, or of another table, leaves the target alone.
    cvRec failed(stored);
    failed.SetReadStatus(8);
    ASSERT_NE(failed.PutString("NAME", "failed"), 0);
    EXPECT_FALSE(target.Assign(failed));
    EXPECT_EQ(target.GetText("NAME"), "stored");
    cvDataDict other_dict;
    ASSERT_EQ(other_dict.AddDefinition({"SAMPLE", "SAMPLE.DAT", 512, 0, kSampleFields, {}, 0}), 0);
    const cvRec stranger(*other_dict.FindTable("SAMPLE"));
    EXPECT_FALSE(target.Assign(stranger));
    EXPECT_EQ(target.Position(), 9);
}

TEST_F(RecordTest, CompareFieldByType) {
    cvRec a(*table_);
    cvRec b(*table_);
    struct Case {
        const char* field;
        std::function<void(cvRec&)> low;
        std::function<void(cvRec&)> high;
    };
    const Case cases[] = {
        {"COUNT", [](cvRec& r) { static_cast<void>(r.PutInt("COUNT", -101)); },
         [](cvRec& r) { static_cast<void>(r.PutInt("COUNT", 5)); }},
        {"AUTO", [](cvRec& r) { static_cast<void>(r.PutInt("AUTO", -1)); },
         [](cvRec& r) { static_cast<void>(r.PutInt("AUTO", 0)); }},
        {"UCOUNT", [](cvRec& r) { static_cast<void>(r.PutUInt("UCOUNT", 5)); },
         [](cvRec& r) { static_cast<void>(r.PutUInt("UCOUNT", 0x80000000u)); }},
        {"DATEENTER",
         [](cvRec& r) { static_cast<void>(r.PutDate("DATEENTER", PackDate(2009, 12, 31))); },
         [](cvRec& r) { static_cast<void>(r.PutDate("DATEENTER", PackDate(2010, 1, 1))); }},
        {"TIMEENTER",
         [](cvRec& r) { static_cast<void>(r.PutTime("TIMEENTER", PackTime(9, 59, 59, 99))); },
         [](cvRec& r) { static_cast<void>(r.PutTime("TIMEENTER", PackTime(10, 0, 0))); }},
        {"AMOUNT", [](cvRec& r) { static_cast<void>(r.PutDouble("AMOUNT", -12.35)); },
         [](cvRec& r) { static_cast<void>(r.PutDouble("AMOUNT", 1.0)); }},
        {"WEIGHT", [](cvRec& r) { static_cast<void>(r.PutDouble("WEIGHT", -2.0)); },
         [](cvRec& r) { static_cast<void>(r.PutDouble("WEIGHT", -1.0)); }},
        {"NAME", [](cvRec& r) { static_cast<void>(r.PutString("NAME", "apple")); },
         [](cvRec& r) { static_cast<void>(r.PutString("NAME", "BANANA")); }},
        {"LNAME",
         [](cvRec& r) {
             static_cast<void>(r.PutString("LNAME", "abc"));
             r.FieldData("LNAME")[0] = 9;  // the length byte is not compared
         },
         [](cvRec& r) { static_cast<void>(r.PutString("LNAME", "ABD")); }},
    };
    for (const Case& c : cases) {
        c.low(a);
        c.high(b);
        EXPECT_EQ(a.CompareField(b.Buffer(), c.field), -1) << c.field;
        EXPECT_EQ(b.CompareField(a.Buffer(), c.field), 1) << c.field;
        c.low(b);
        EXPECT_EQ(a.CompareField(b.Buffer(), c.field), 0) << c.field;
    }
    ASSERT_NE(a.PutString("NAME", "Same"), 0);
    ASSERT_NE(b.PutString("NAME", "sAME"), 0);
    EXPECT_EQ(a.CompareField(b.Buffer(), *table_->FindField("NAME")), 0);
}

TEST_F(RecordTest, ActiveUnlessQinactiveIsExactlyY) {
    cvRec record(*table_);
    EXPECT_TRUE(record.IsActive());
    ASSERT_NE(record.PutString("QINACTIVE", "Y"), 0);
    EXPECT_FALSE(record.IsActive());
    ASSERT_NE(record.PutString("QINACTIVE", "y"), 0);
    EXPECT_TRUE(record.IsActive());

    const cvFieldDef fields[] = {{"NAME", kTypeString, 0, 4, 0}};
    ASSERT_EQ(dict_.AddDefinition({"PLAIN", "PLAIN.DAT", 512, 0, fields, {}, 0}), 0);
    log_.Clear();
    const cvRec plain(*dict_.FindTable("PLAIN"));
    EXPECT_TRUE(plain.IsActive());
    EXPECT_TRUE(log_.Texts().empty());  // a table without QINACTIVE is asked silently
}

TEST_F(RecordTest, CopyFieldsBetweenLayouts) {
    // The older layout: NAME wider, COUNT narrower, a SPARE with content, an extra field.
    const cvFieldDef old_fields[] = {{"NAME", kTypeString, 0, 14, 0},
                                     {"COUNT", kTypeInteger, 14, 2, 0},
                                     {"SPARE", kTypeString, 16, 6, 0},
                                     {"GONE", kTypeString, 22, 4, 0}};
    ASSERT_EQ(dict_.AddDefinition({"OLD", "OLD.DAT", 512, 0, old_fields, {}, 0}), 0);
    cvRec old(*dict_.FindTable("OLD"));
    ASSERT_NE(old.PutString("NAME", "ABCDEFGHIJKLMN"), 0);
    ASSERT_NE(old.PutInt("COUNT", -2), 0);
    ASSERT_NE(old.PutString("SPARE", "junk"), 0);

    cvRec record(*table_);
    ASSERT_NE(record.PutInt("COUNT", 0x7F7F7F7F), 0);
    ASSERT_NE(record.PutString("SPARE", "keep"), 0);
    ASSERT_NE(record.PutString("ZNAME", "stay"), 0);
    record.CopyFieldsFrom(old);
    EXPECT_EQ(record.GetText("NAME"), "ABCDEFGHIJ");
    // Two bytes copied from the start; the longer target keeps its other two.
    EXPECT_EQ(Bytes(record, "COUNT"), (std::vector<uint8_t>{0xFE, 0xFF, 0x7F, 0x7F}));
    EXPECT_EQ(Bytes(record, "SPARE"), std::vector<uint8_t>(6, 0));
    EXPECT_EQ(record.GetText("ZNAME"), "stay");
}

TEST_F(RecordTest, CopyFieldsKeepsFieldsThatOverlayTheSpareArea) {
    // Record kinds that overlay one reserved area, as the configuration table does: the
    // area is cleared first, so the fields inside it survive whatever their names.
    const cvFieldDef fields[] = {{"KIND", kTypeString, 0, 4, 0},
                                 {"SPARE", kTypeString, 4, 12, 0},
                                 {"APPLE", kTypeInteger, 4, 4, 0},
                                 {"ZEBRA", kTypeInteger, 8, 4, 0}};
    ASSERT_EQ(dict_.AddDefinition({"KINDS", "KINDS.DAT", 512, 0, fields, {}, 0}), 0);
    const cvDDFile& kinds = *dict_.FindTable("KINDS");
    cvRec source(kinds);
    ASSERT_NE(source.PutString("KIND", "OPT"), 0);
    ASSERT_NE(source.PutInt("APPLE", 30), 0);
    ASSERT_NE(source.PutInt("ZEBRA", 300), 0);
    ASSERT_NE(source.FillField("SPARE", 0xEE), 0);
    ASSERT_NE(source.PutInt("APPLE", 31), 0);
    ASSERT_NE(source.PutInt("ZEBRA", 301), 0);

    cvRec copy(kinds);
    copy.CopyFieldsFrom(source);
    EXPECT_EQ(copy.GetText("KIND"), "OPT");
    EXPECT_EQ(copy.GetInt("APPLE"), 31);
    EXPECT_EQ(copy.GetInt("ZEBRA"), 301);
    EXPECT_EQ(copy.FieldData("SPARE")[9], 0) << "reserved bytes outside the fields are cleared";
}

TEST_F(RecordTest, ReportHooksReceiveTheRecord) {
    cvRec record(*table_);
    EXPECT_EQ(record.PrintReport("SAMPLE"), -1);
    std::string seen;
    SetReportHooks({[&](cvRec& r, const std::string& report) {
                        seen = report + ":" + r.Table().TableName();
                        return 3;
                    },
                    [&](cvRec&, const std::string& report, const std::string& table,
                        const std::string& field) {
                        seen = report + ":" + table + "." + field;
                        return 4;
                    }});
    EXPECT_EQ(record.PrintReport("SAMPLE"), 3);
    EXPECT_EQ(seen, "SAMPLE:SAMPLE");
    EXPECT_EQ(record.PrintList("pagedlst", "PAGENET", "PAGENETNBR"), 4);
    EXPECT_EQ(seen, "pagedlst:PAGENET.PAGENETNBR");
    SetReportHooks({});
}

TEST_F(RecordTest, RowImageConstructorCopiesWithoutDefaults) {
    std::vector<uint8_t> row(kSampleLength + 10, 0xAB);
    const cvRec record(*table_, row.data(), row.size());
    EXPECT_EQ(record.Buffer().Length(), static_cast<size_t>(kSampleLength));
    EXPECT_EQ(record.Buffer().Data()[kSampleLength - 1], 0xAB);
    EXPECT_EQ(record.Position(), 0);
    const cvRec short_row(*table_, row.data(), 3);
    EXPECT_EQ(short_row.Buffer().Data()[2], 0xAB);
    EXPECT_EQ(short_row.Buffer().Data()[3], 0);  // not "N" and blanks: no defaults
}

}  // namespace

namespace {

TEST(EmptyRecordTest, FieldsWithoutBytesAreRefused) {
    // A table whose only fields have no bytes has records of length 0 (no block at all).
    cvDataDict dict;
    const cvFieldDef fields[] = {{"NAME", kTypeString, 0, 0, 0}, {"MEMO", kTypeNote, 0, 0, 0}};
    ASSERT_EQ(dict.AddDefinition({"EMPTY", "EMPTY.DAT", 512, 0, fields, {}, 0}), 0);
    cvRec record(*dict.FindTable("EMPTY"));
    EXPECT_EQ(record.Buffer().Length(), 0u);
    EXPECT_EQ(record.GetText("NAME"), "");
    EXPECT_EQ(record.PutString("NAME", "x"), 0);
    const uint8_t byte = 1;
    EXPECT_EQ(record.PutBytes("NAME", &byte, 1), 0);
    EXPECT_EQ(record.FillField("NAME", 'x'), 0);
    EXPECT_EQ(record.FieldData("NAME"), nullptr);
    const cvRec other(record);
    EXPECT_EQ(record.CompareField(other.Buffer(), "NAME"), 0);
    record.CopyFieldsFrom(other);
    EXPECT_TRUE(dict.FindTable("EMPTY")->IsVariableLength());
}

}  // namespace
