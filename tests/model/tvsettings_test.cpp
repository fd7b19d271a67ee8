// The profile values of the settings against real profile files in a temporary
// directory: the directories with their user-then-machine rule and defaults, the
// switches in their scopes, the values stored when first read, and writes that delete.

#include "model/tvsettings.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/testenvironment.h"

namespace {

using platform::ProfileResult;
using platform::ProfileScope;

constexpr ProfileScope kUser = ProfileScope::kUser;
constexpr ProfileScope kMachine = ProfileScope::kMachine;

class SettingsProfileTest : public ::testing::Test {
  protected:
    void Store(ProfileScope scope, std::string_view name, const std::optional<std::string>& text) {
        if (text) {
            ASSERT_EQ(files_.WriteText(scope, "Settings", name, *text), ProfileResult::kOk);
        }
    }

    testing_support::TestEnvironment env_;  // profile files of the test's own
    platform::Profile profile_;
    platform::Profile files_;  // the same files, as another program would see them
    const std::string program_ = "/opt/tolvane";
    tvSettings settings_{profile_, program_};
};

TEST_F(SettingsProfileTest, WithoutValuesTheDirectoriesAreBesideTheProgram) {
    settings_.LoadStartupSettings();
    EXPECT_EQ(settings_.ProgramDirectory(), "/opt/tolvane/");
    EXPECT_EQ(settings_.DataDirectory(), "/opt/tolvane/Data/");
    EXPECT_EQ(settings_.DictionaryDirectory(), "/opt/tolvane/");
    EXPECT_EQ(settings_.ReportsDirectory(), "/opt/tolvane/Reports/");
    EXPECT_FALSE(settings_.AlarmWatch());
    EXPECT_FALSE(settings_.FileGateway());
    EXPECT_FALSE(settings_.LogStartupEvents());
}

TEST_F(SettingsProfileTest, DirectoriesComeFromTheUserThenTheMachine) {
    const struct Case {
        std::optional<std::string> user;
        std::optional<std::string> machine;
        std::string expected;
    } cases[] = {
        {std::nullopt, std::nullopt, "/opt/tolvane/Data/"},
        {"*", "*", "/opt/tolvane/Data/"},
        {"*", "/srv/shared", "/srv/shared/"},
        {std::nullopt, "/srv/shared/", "/srv/shared/"},
        {"/home/ann/pages", "/srv/shared", "/home/ann/pages/"},
        {"/home/ann/pages/", std::nullopt, "/home/ann/pages/"},
        {"", "", "/opt/tolvane/Data/"},  // an empty value is no directory
        {"*", "", "/opt/tolvane/Data/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        ASSERT_EQ(files_.DeleteSection(kUser, "Settings"), ProfileResult::kOk);
        ASSERT_EQ(files_.DeleteSection(kMachine, "Settings"), ProfileResult::kOk);
        Store(kUser, "Data Directory", c.user);
        Store(kMachine, "Data Directory", c.machine);
        settings_.LoadStartupSettings();
        EXPECT_EQ(settings_.DataDirectory(), c.expected);
    }

    // The dictionary and reports directories follow the same rule.
    Store(kUser, "DDF Directory", "*");
    Store(kMachine, "DDF Directory", "/usr/share/tolvane");
    Store(kUser, "Reports Directory", "/home/ann/reports");
    settings_.LoadStartupSettings();
    EXPECT_EQ(settings_.DictionaryDirectory(), "/usr/share/tolvane/");
    EXPECT_EQ(settings_.ReportsDirectory(), "/home/ann/reports/");
}

TEST_F(SettingsProfileTest, TheChosenDataDirectoryIsStoredForTheUser) {
    settings_.SetDataDirectory("/srv/pages");
    EXPECT_EQ(settings_.DataDirectory(), "/srv/pages/");
    ASSERT_EQ(settings_.SaveDataDirectory(), ProfileResult::kOk);
    EXPECT_EQ(files_.ReadText(kUser, "Settings", "Data Directory", ""), "/srv/pages/");
    EXPECT_EQ(files_.ReadText(kMachine, "Settings", "Data Directory", "none"), "none");

    tvSettings next_run(profile_, program_);
    next_run.LoadStartupSettings();
    EXPECT_EQ(next_run.DataDirectory(), "/srv/pages/");
}

TEST_F(SettingsProfileTest, SwitchesAreReadInTheirOwnScope) {
    // Values in the wrong scope count for nothing.
    ASSERT_EQ(files_.WriteNumber(kUser, "Settings", "Alarm Watch", 1), ProfileResult::kOk);
    ASSERT_EQ(files_.WriteNumber(kUser, "Settings", "File Gateway", 1), ProfileResult::kOk);
    ASSERT_EQ(files_.WriteNumber(kMachine, "Settings", "Log Startup Events", 1),
              ProfileResult::kOk);
    ASSERT_EQ(files_.WriteNumber(kUser, "COMM", "PORT", 2), ProfileResult::kOk);
    ASSERT_EQ(files_.WriteNumber(kMachine, "COMM", "AUTOSTART", 1), ProfileResult::kOk);
    settings_.LoadStartupSettings();
    EXPECT_FALSE(settings_.AlarmWatch());
    EXPECT_FALSE(settings_.FileGateway());
    EXPECT_FALSE(settings_.LogStartupEvents());
    EXPECT_EQ(settings_.LegacyModemPort(), -1);
    EXPECT_FALSE(settings_.AutoStart());

    ASSERT_EQ(files_.WriteNumber(kMachine, "Settings", "Alarm Watch", 1), ProfileResult::kOk);
    ASSERT_EQ(files_.WriteNumber(kMachine, "Settings", "File Gateway", 2), ProfileResult::kOk);
    ASSERT_EQ(files_.WriteNumber(kUser, "Settings", "Log Startup Events", 1), ProfileResult::kOk);
    ASSERT_EQ(files_.WriteNumber(kMachine, "COMM", "PORT", 2), ProfileResult::kOk);
    ASSERT_EQ(settings_.SetAutoStart(true), ProfileResult::kOk);
    settings_.LoadStartupSettings();
    EXPECT_TRUE(settings_.AlarmWatch());
    EXPECT_TRUE(settings_.FileGateway());
    EXPECT_TRUE(settings_.LogStartupEvents());
    EXPECT_EQ(settings_.LegacyModemPort(), 2);
    EXPECT_TRUE(settings_.AutoStart());
    EXPECT_EQ(files_.ReadNumber(kUser, "COMM", "AUTOSTART", 0), 1);
}

TEST_F(SettingsProfileTest, DefaultsAreStoredWhenFirstRead) {
    settings_.LoadStartupSettings();
    EXPECT_EQ(files_.ReadNumber(kUser, "Settings", "Log Startup Events", -5), 0);
    EXPECT_EQ(files_.ReadNumber(kUser, "Settings", "NoHostMode", -5), -5) << "not yet";

    EXPECT_EQ(settings_.NoHostMode(), 0);
    EXPECT_EQ(settings_.SmtpPort(), 25);
    EXPECT_EQ(files_.ReadNumber(kUser, "Settings", "NoHostMode", -5), 0);
    EXPECT_EQ(files_.ReadNumber(kUser, "Settings", "SmtpPort", -5), 25);
    EXPECT_EQ(files_.ReadNumber(kMachine, "Settings", "SmtpPort", -5), -5);

    // Stored values are kept, except the value that stands for "missing".
    ASSERT_EQ(files_.WriteNumber(kUser, "Settings", "NoHostMode", 1), ProfileResult::kOk);
    ASSERT_EQ(files_.WriteNumber(kUser, "Settings", "SmtpPort", 2525), ProfileResult::kOk);
    EXPECT_EQ(settings_.NoHostMode(), 1);
    EXPECT_EQ(settings_.SmtpPort(), 2525);
    ASSERT_EQ(files_.WriteNumber(kUser, "Settings", "SmtpPort", 999), ProfileResult::kOk);
    EXPECT_EQ(settings_.SmtpPort(), 25);
    EXPECT_EQ(files_.ReadNumber(kUser, "Settings", "SmtpPort", -5), 25);

    // "SmtpRequireTls" is off until the user sets it, and is not written.
    EXPECT_FALSE(settings_.SmtpRequireTls());
    EXPECT_EQ(files_.ReadNumber(kUser, "Settings", "SmtpRequireTls", -5), -5);
    ASSERT_EQ(files_.WriteNumber(kUser, "Settings", "SmtpRequireTls", 1), ProfileResult::kOk);
    EXPECT_TRUE(settings_.SmtpRequireTls());
}

TEST_F(SettingsProfileTest, WritingWithoutATextOrNameDeletes) {
    ASSERT_EQ(settings_.WriteProfileText(kUser, "Recent", "File1", "/srv/a/"), ProfileResult::kOk);
    ASSERT_EQ(settings_.WriteProfileText(kUser, "Recent", "File2", ""), ProfileResult::kOk);
    ASSERT_EQ(settings_.WriteProfileNumber(kUser, "Recent", "Count", 2), ProfileResult::kOk);
    EXPECT_EQ(settings_.ReadProfileText(kUser, "Recent", "File1", "-"), "/srv/a/");
    EXPECT_EQ(settings_.ReadProfileText(kUser, "Recent", "File2", "-"), "") << "empty is a text";
    EXPECT_EQ(settings_.ReadProfileNumber(kUser, "Recent", "Count", 0), 2);

    ASSERT_EQ(settings_.WriteProfileText(kUser, "Recent", "File1", std::nullopt),
              ProfileResult::kOk);
    EXPECT_EQ(settings_.ReadProfileText(kUser, "Recent", "File1", "-"), "-");
    EXPECT_EQ(settings_.ReadProfileNumber(kUser, "Recent", "Count", 0), 2);

    ASSERT_EQ(settings_.WriteProfileText(kUser, "Recent", std::nullopt, std::nullopt),
              ProfileResult::kOk);
    EXPECT_EQ(settings_.ReadProfileText(kUser, "Recent", "File2", "-"), "-");
    EXPECT_EQ(settings_.ReadProfileNumber(kUser, "Recent", "Count", 0), 0);
}

}  // namespace
