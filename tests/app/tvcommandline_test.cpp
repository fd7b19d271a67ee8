// The command line's grammar and the conversion of FIELD=VALUE arguments, by tables of
// cases. What the commands do is tested on the program itself (tolvane_cli_test).

#include "app/tvcommandline.h"

#include <gtest/gtest.h>

#include "app/consolepresenter.h"
#include "app/fieldassignment.h"
#include "log/messagebox.h"

namespace {

struct ParseCase {
    std::vector<const char*> words;  // after the program name
    std::string error;               // empty: well formed
    std::string command = {};
    std::vector<std::string> arguments = {};
    bool yes = false;
    std::optional<std::string> data = std::nullopt;
    std::optional<std::string> ddf = std::nullopt;
};

TEST(CommandLineTest, ParsesTheCommandsAndRefusesMalformedLines) {
    const ParseCase cases[] = {
        {{"init"}, "", "init"},
        {{"--data", "/d", "--ddf=/x", "list", "networks"},
         "",
         "list",
         {"networks"},
         false,
         "/d",
         "/x"},
        {{"--data=/d", "add", "device", "PIN=1", "--yes"},
         "",
         "add",
         {"device", "PIN=1"},
         true,
         "/d"},
        {{"--yes", "page", "Bob", "-5", "degrees"}, "", "page", {"Bob", "-5", "degrees"}, true},
        {{"page", "Bob", "--", "--yes"}, "", "page", {"Bob", "--yes"}},
        {{"set", "machine", "PORT=0"}, "", "set", {"machine", "PORT=0"}},
        {{"import", "/old"}, "", "import", {"/old"}},
        {{"check"}, "", "check"},
        {{"check", "--repair"}, "", "check", {"--repair"}},
        {{"unlock-server", "--yes"}, "", "unlock-server", {}, true},
        {{}, "no command given"},
        {{"--data"}, "--data needs a directory"},
        {{"--data="}, "--data needs a directory"},
        {{"list", "--data", "/d", "networks"}, "--data goes before the command"},
        {{"--data", "/d", "--headless"}, "", "", {}, false, "/d"},
        {{"--headless", "list", "networks"}, "--headless takes no command"},
        {{"list", "networks", "--headless"}, "--headless goes before any command"},
        {{"frobnicate"}, "unknown command frobnicate"},
        {{"list"}, "wrong number of arguments for list"},
        {{"list", "networks", "devices"}, "wrong number of arguments for list"},
        {{"list", "people"}, "unknown list people"},
        {{"add", "pager", "A=1"}, "unknown add pager"},
        {{"set", "options"}, "wrong number of arguments for set"},
        {{"init", "now"}, "wrong number of arguments for init"},
        {{"import"}, "wrong number of arguments for import"},
        {{"check", "--fix"}, "unknown check --fix"},
        {{"check", "--repair", "now"}, "wrong number of arguments for check"},
        {{"unlock-server", "now"}, "wrong number of arguments for unlock-server"},
    };
    for (const ParseCase& c : cases) {
        std::vector<const char*> argv = {"tolvane"};
        argv.insert(argv.end(), c.words.begin(), c.words.end());
        tvCommandLine line;
        const std::string error =
            ParseCommandLine(static_cast<int>(argv.size()), argv.data(), &line);
        SCOPED_TRACE(c.error.empty() ? c.command : c.error);
        EXPECT_EQ(error, c.error);
        if (c.error.empty()) {
            EXPECT_EQ(line.command, c.command);
            EXPECT_EQ(line.arguments, c.arguments);
            EXPECT_EQ(line.assume_yes, c.yes);
            EXPECT_EQ(line.data_directory, c.data);
            EXPECT_EQ(line.dictionary_directory, c.ddf);
            EXPECT_EQ(line.headless, c.command.empty());
        }
    }
}

TEST(CommandLineTest, ValuesAreReadStrictly) {
    EXPECT_EQ(ParseAssignment("DESCRIPTION=Night shift")->value, "Night shift");
    EXPECT_EQ(ParseAssignment("PIN=")->value, "");
    EXPECT_EQ(ParseAssignment("A=b=c")->value, "b=c");
    EXPECT_FALSE(ParseAssignment("=5"));
    EXPECT_FALSE(ParseAssignment("PORT"));

    const std::pair<const char*, std::optional<int32_t>> numbers[] = {
        {"0", 0},           {"-1", -1},   {"+28800", 28800}, {"2147483647", 2147483647},
        {"2147483648", {}}, {"12x", {}},  {"", {}},          {" 5", {}},
        {"+-3", {}},        {"0x10", {}},
    };
    for (const auto& [text, expected] : numbers) {
        EXPECT_EQ(ParseWholeNumber(text), expected) << text;
    }
    const std::pair<const char*, std::optional<std::string>> flags[] = {
        {"Y", "Y"}, {"n", "N"}, {"yes", {}}, {"", {}}, {"1", {}},
    };
    for (const auto& [text, expected] : flags) {
        EXPECT_EQ(ParseFlag(text), expected) << text;
    }
    const std::pair<const char*, std::optional<uint32_t>> addresses[] = {
        {"192.168.1.10", 0xC0A8010Au},
        {"0", 0u},
        {"0.0.0.0", 0u},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"256.1.1.1", {}},
        {"1.2.3", {}},
        {"1.2.3.4.5", {}},
        {"1..2.3", {}},
        {"a.b.c.d", {}},
    };
    for (const auto& [text, expected] : addresses) {
        EXPECT_EQ(ParseIpv4Address(text), expected) << text;
    }
    EXPECT_EQ(Ipv4AddressText(0xC0A8010Au), "192.168.1.10");
}

TEST(CommandLineTest, ConsoleQuestionsTakeTheNegativeAnswerUnlessToldYes) {
    const std::pair<unsigned, std::pair<int, int>> styles[] = {
        {kMbOk, {kIdOk, kIdOk}},
        {kMbYesNo | kMbIconQuestion | kMbDefButton2, {kIdNo, kIdYes}},
        {kMbOkCancel, {kIdCancel, kIdOk}},
        {kMbYesNoCancel, {kIdCancel, kIdYes}},
        {kMbRetryCancel, {kIdCancel, kIdRetry}},
    };
    for (const auto& [style, answers] : styles) {
        EXPECT_EQ(ConsoleAnswer(style, false), answers.first) << style;
        EXPECT_EQ(ConsoleAnswer(style, true), answers.second) << style;
    }
}

}  // namespace
