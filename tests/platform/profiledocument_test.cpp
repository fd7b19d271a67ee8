#include "platform/profile/profiledocument.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using platform::ProfileDocument;
using platform::ProfileValue;

ProfileDocument ParseOrFail(const std::string& text) {
    ProfileDocument::ParseError error;
    std::optional<ProfileDocument> document = ProfileDocument::Parse(text, &error);
    EXPECT_TRUE(document) << "line " << error.line << ": " << error.reason << "\n" << text;
    return document ? *document : ProfileDocument();
}

TEST(ProfileDocumentTest, AwkwardTextsRoundTripOnOneLineEach) {
    const std::vector<std::string> texts = {
        "",
        "a=b=c",
        "[Settings]",
        "  leading and trailing blanks  ",
        "\\server\\share\\",
        "two\nlines\r\nand a carriage return",
        "\"quoted\" and \\\"escaped\\\"",
        "; looks like a comment",
        "# so does this",
        "tab\there",
        std::string("nul\0inside", 10),
        "\x01\x1f\x7f",
        "caf\xc3\xa9 \xe2\x82\xac",
        "\\x41 is not an escape here",
        "ends with a backslash\\",
        "\"",
    };
    ProfileDocument document;
    for (size_t i = 0; i < texts.size(); ++i) {
        ASSERT_TRUE(
            document.Set("Texts", "Value " + std::to_string(i), ProfileValue::Text(texts[i])));
    }
    const std::string serialized = document.Serialize();
    // A header plus one line per value: nothing inside a text may break a line.
    EXPECT_EQ(std::count(serialized.begin(), serialized.end(), '\n'),
              static_cast<long>(texts.size() + 1));

    const ProfileDocument reread = ParseOrFail(serialized);
    for (size_t i = 0; i < texts.size(); ++i) {
        const ProfileValue* value = reread.Find("Texts", "Value " + std::to_string(i));
        ASSERT_NE(value, nullptr) << i;
        EXPECT_EQ(*value, ProfileValue::Text(texts[i])) << "text " << i;
    }
}

TEST(ProfileDocumentTest, BareAndQuotedValuesHaveTheirTypes) {
    struct Case {
        const char* written;
        ProfileValue expected;
    };
    const std::vector<Case> cases = {
        {"0", ProfileValue::Number(0)},
        {"-1", ProfileValue::Number(-1)},
        {"+25", ProfileValue::Number(25)},
        {"007", ProfileValue::Number(7)},
        {"2147483647", ProfileValue::Number(INT32_MAX)},
        {"-2147483648", ProfileValue::Number(INT32_MIN)},
        {"4294967295", ProfileValue::Number(-1)},  // the same 32 bits
        {"2147483648", ProfileValue::Number(INT32_MIN)},
        {"\"25\"", ProfileValue::Text("25")},
        {"/dev/ttyUSB0", ProfileValue::Text("/dev/ttyUSB0")},
        {"12 monkeys", ProfileValue::Text("12 monkeys")},
        {"-", ProfileValue::Text("-")},
        {"a \"b\" c", ProfileValue::Text("a \"b\" c")},
        {"", ProfileValue::Text("")},
        {"\"\"", ProfileValue::Text("")},
        {"\"\\x41\\x0a\"", ProfileValue::Text("A\n")},
    };
    for (const Case& c : cases) {
        const ProfileDocument document =
            ParseOrFail(std::string("[S]\nname =   ") + c.written + "  \n");
        const ProfileValue* value = document.Find("S", "name");
        ASSERT_NE(value, nullptr) << c.written;
        EXPECT_EQ(*value, c.expected) << c.written;
    }
    EXPECT_EQ(ProfileDocument::EncodeValue(ProfileValue::Number(-1)), "-1");
    EXPECT_EQ(ProfileDocument::EncodeValue(ProfileValue::Text("25")), "\"25\"");
}

TEST(ProfileDocumentTest, MalformedFilesNameTheLine) {
    struct Case {
        const char* content;
        int line;
    };
    const std::vector<Case> cases = {
        {"[A]\nx = 1\njust some words\n", 3},
        {"; comment\n[A\n", 2},
        {"[ ]\n", 1},
        {"[A] trailing\n", 1},
        {"x = 1\n[A]\n", 1},
        {"[A]\n = 1\n", 2},
        {"[A]\nx = 4294967296\n", 2},
        {"[A]\nx = -2147483649\n", 2},
        {"[A]\nx = \"not closed\n", 2},
        {"[A]\nx = \"ends in an escape\\\n", 2},
        {"[A]\nx = \"bad \\q escape\"\n", 2},
        {"[A]\nx = \"\\x4\"\n", 2},
        {"[A]\nx = \"a\" b\n", 2},
        {"[A]\nx = 1\n\n[B]\n[a]\nX = 2\n", 6},  // twice in one section, any case
    };
    for (const Case& c : cases) {
        ProfileDocument::ParseError error;
        EXPECT_FALSE(ProfileDocument::Parse(c.content, &error)) << c.content;
        EXPECT_EQ(error.line, c.line) << c.content;
        EXPECT_FALSE(error.reason.empty()) << c.content;
    }
}

// A hand-edited file: comments, odd spacing, a carriage return, a section in two blocks.
constexpr char kHandEdited[] =
    "; Tolvane settings for this user\n"
    "[Settings]\n"
    "  Data Directory=/srv/tolvane/Data/   \n"
    "SmtpPort   =   25\r\n"
    "\n"
    "# the port map\n"
    "[COMM]\n"
    "AUTOSTART = 1\n"
    "\n"
    "[settings]\n"
    "NoHostMode = 0\n"
    "; end of the second block\n";

TEST(ProfileDocumentTest, EditsChangeOnlyTheirOwnLines) {
    ProfileDocument document = ParseOrFail(kHandEdited);
    EXPECT_EQ(document.Serialize(), kHandEdited);

    EXPECT_FALSE(document.Set("SETTINGS", "smtpport", ProfileValue::Number(25)));
    ASSERT_TRUE(document.Set("SETTINGS", "smtpport", ProfileValue::Number(2525)));
    ASSERT_TRUE(document.Set("Settings", "Log Startup Events", ProfileValue::Number(1)));
    ASSERT_TRUE(document.Set("VL_PAGEDEV", "Lookup", ProfileValue::Number(2)));
    ASSERT_TRUE(document.Remove("comm", "autostart"));
    EXPECT_FALSE(document.Remove("COMM", "AUTOSTART"));
    EXPECT_EQ(document.Serialize(),
              "; Tolvane settings for this user\n"
              "[Settings]\n"
              "  Data Directory=/srv/tolvane/Data/   \n"
              "SmtpPort = 2525\n"
              "\n"
              "# the port map\n"
              "[COMM]\n"
              "\n"
              "[settings]\n"
              "NoHostMode = 0\n"
              "Log Startup Events = 1\n"
              "; end of the second block\n"
              "\n"
              "[VL_PAGEDEV]\n"
              "Lookup = 2\n");
    EXPECT_EQ(*document.Find("Settings", "Data Directory"),
              ProfileValue::Text("/srv/tolvane/Data/"));
}

TEST(ProfileDocumentTest, RemovingASectionRemovesEveryBlockAndKeepsTheNextOnesComment) {
    ProfileDocument document = ParseOrFail(kHandEdited);
    ASSERT_TRUE(document.RemoveSection("SETTINGS"));
    EXPECT_FALSE(document.RemoveSection("Settings"));
    EXPECT_EQ(document.Serialize(),
              "; Tolvane settings for this user\n"
              "\n"
              "# the port map\n"
              "[COMM]\n"
              "AUTOSTART = 1\n");
    EXPECT_EQ(document.Find("Settings", "NoHostMode"), nullptr);
    EXPECT_EQ(*document.Find("COMM", "AUTOSTART"), ProfileValue::Number(1));
}

TEST(ProfileDocumentTest, NamesTheFormatCannotHoldAreInvalid) {
    EXPECT_TRUE(ProfileDocument::IsValidValueName("Data Directory"));
    EXPECT_TRUE(ProfileDocument::IsValidValueName("a]b[c"));
    EXPECT_TRUE(ProfileDocument::IsValidSectionName("VL_PAGEDEV"));
    EXPECT_TRUE(ProfileDocument::IsValidSectionName("a=b"));
    for (const char* name : {"", " lead", "trail ", "a=b", "[x", ";x", "#x", "line\nfeed"}) {
        EXPECT_FALSE(ProfileDocument::IsValidValueName(name)) << name;
    }
    for (const char* name : {"", " lead", "trail\t", "a]b", "line\nfeed"}) {
        EXPECT_FALSE(ProfileDocument::IsValidSectionName(name)) << name;
    }
}

}  // namespace
