// The `tolvane` program run as a process on a database in a temporary directory: what
// each command prints, what it stores, and the exit statuses of refusals (1, with the
// system's text on the error stream) and of usage errors (2, with the usage text).

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/childprocess.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace {

using testing_support::BuiltProgram;
using testing_support::ProgramResult;
using testing_support::RunProgram;

class TolvaneCliTest : public ::testing::Test {
  protected:
    // Runs `tolvane --data DIR WORDS...`.
    ProgramResult Tolvane(std::vector<std::string> words) {
        std::vector<std::string> arguments = {BuiltProgram("tolvane"), "--data", data_.dir()};
        arguments.insert(arguments.end(), words.begin(), words.end());
        return RunProgram(arguments);
    }

    void Init() {
        const ProgramResult init = Tolvane({"init"});
        ASSERT_EQ(init.exit_status, 0) << init.err;
    }

    // The lines of a listing after its header.
    static std::vector<std::string> Rows(const std::string& listing) {
        std::vector<std::string> rows;
        size_t start = listing.find('\n');
        while (start != std::string::npos && start + 1 < listing.size()) {
            const size_t end = listing.find('\n', start + 1);
            rows.push_back(listing.substr(start + 1, end - start - 1));
            start = end;
        }
        return rows;
    }

    TempDir data_;
    TempDir state_;
    TempDir profiles_;
    ScopedEnv state_env_{"TOLVANE_RECMAN_DIR", state_.path().string()};
    ScopedEnv user_env_{"TOLVANE_USER_PROFILE", profiles_.file("user/profile.ini")};
    ScopedEnv machine_env_{"TOLVANE_MACHINE_PROFILE", profiles_.file("machine/profile.ini")};
};

TEST_F(TolvaneCliTest, InitCreatesTheDatabaseAndOtherCommandsRefuseWithoutOne) {
    const ProgramResult before = Tolvane({"list", "networks"});
    EXPECT_EQ(before.exit_status, 1);
    EXPECT_NE(before.err.find("\"tolvane init\" creates one"), std::string::npos) << before.err;

    const ProgramResult init = Tolvane({"init"});
    ASSERT_EQ(init.exit_status, 0) << init.err;
    EXPECT_NE(init.out.find("Tolvane database ready in " + data_.dir()), std::string::npos)
        << init.out;
    for (const char* file : {"PAGEMSG.DAT", "PAGEDEV.DAT", "PAGENET.DAT", "TOLVANE.DAT"}) {
        EXPECT_TRUE(std::filesystem::exists(data_.path() / file)) << file;
    }

    // A second init finds the database complete and leaves it as it is.
    EXPECT_EQ(Tolvane({"init"}).exit_status, 0);
    for (const char* table : {"networks", "devices", "groups", "equipment", "messages"}) {
        const ProgramResult listed = Tolvane({"list", table});
        EXPECT_EQ(listed.exit_status, 0) << table << ": " << listed.err;
        EXPECT_EQ(listed.out.rfind("NUMBER\t", 0), 0u) << table << ": " << listed.out;
        EXPECT_TRUE(Rows(listed.out).empty()) << table << ": " << listed.out;
    }
}

TEST_F(TolvaneCliTest, UsageErrorsExitWithTwoAndTheUsageText) {
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"frobnicate"},
        {"list"},
        {"list", "pagers"},
        {"set", "options", "SENDINTERVAL"},
        {"set", "options", "NOSUCHFIELD=1"},
        {"set", "machine", "PORT=COM9"},
        {"set", "options", "SENDINTERVAL=ten"},
    };
    Init();
    for (const std::vector<std::string>& words : wrong) {
        const ProgramResult result = Tolvane(words);
        std::string line;
        for (const std::string& word : words) {
            line += word + " ";
        }
        EXPECT_EQ(result.exit_status, 2) << line << result.err;
        EXPECT_NE(result.err.find("usage: tolvane"), std::string::npos) << line << result.err;
    }
    const ProgramResult help = Tolvane({"--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_NE(help.out.find("usage: tolvane"), std::string::npos);
}

TEST_F(TolvaneCliTest, SetOptionsAppliesTheRangesAndRulesOfTheOptionsSheet) {
    Init();
    struct Case {
        std::vector<std::string> words;
        int exit_status;
        std::string error;  // the start of the refusal on the error stream
    };
    const Case cases[] = {
        {{"set", "options", "SENDINTERVAL=5"}, 1, "Value out of range"},
        {{"set", "options", "PURGEAGE=366"}, 1, "Value out of range"},
        {{"set", "options", "SENDINTERVAL=120", "STATUSINTERVAL=60"},
         1,
         "Status Interval cannot be shorter than Send Interval"},
        {{"set", "options", "QENABLERECV=Y"},
         1,
         "Mail Server, User ID, and Password are required to enable inbound."},
        {{"set", "options", "SMTPQAUTH=Y", "SMTPMAILSERVER=mail.example.com"},
         1,
         "Mail Server, User ID, and Password are required for authentication."},
        {{"set", "options", "SENDINTERVAL=20", "STATUSINTERVAL=90", "PURGEAGE=14"}, 0, ""},
        {{"set", "machine", "PORT=-1"}, 1, "Selection required"},
        {{"set", "machine", "PORT=COM3", "DIALPREFIX=9,"}, 0, ""},
    };
    for (const Case& c : cases) {
        const ProgramResult result = Tolvane(c.words);
        EXPECT_EQ(result.exit_status, c.exit_status) << c.words[2] << ": " << result.err;
        if (!c.error.empty()) {
            EXPECT_EQ(result.err.rfind(c.error, 0), 0u) << c.words[2] << ": " << result.err;
        }
    }
    // The accepted values are stored: a refusal of a later run sees them.
    const ProgramResult longer = Tolvane({"set", "options", "SENDINTERVAL=100"});
    EXPECT_EQ(longer.exit_status, 1);
    EXPECT_EQ(longer.err.rfind("Status Interval cannot be shorter than Send Interval", 0), 0u);
    EXPECT_EQ(Tolvane({"set", "options", "SENDINTERVAL=90"}).exit_status, 0);
}

TEST_F(TolvaneCliTest, ImportRefusesALocationWithoutOlderFiles) {
    Init();
    TempDir empty;
    const ProgramResult result = Tolvane({"import", empty.dir()});
    EXPECT_EQ(result.exit_status, 1);
    EXPECT_NE(result.err.find("Older versions of the network and device files (tvnet.dat, "
                              "tvuser.dat) were not found in"),
              std::string::npos)
        << result.err;
    EXPECT_TRUE(Rows(Tolvane({"list", "networks"}).out).empty());
}

}  // namespace
