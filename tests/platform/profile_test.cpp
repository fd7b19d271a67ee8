#include "platform/profile/profile.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/diagnostics.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace {

namespace fs = std::filesystem;
using platform::Profile;
using platform::ProfileResult;
using platform::ProfileScope;

constexpr ProfileScope kScopes[] = {ProfileScope::kUser, ProfileScope::kMachine};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

// Collects what the store reports; restores standard error afterwards.
class DiagnosticCapture {
  public:
    DiagnosticCapture() {
        platform::SetDiagnosticSink([this](uint32_t category, const std::string& text) {
            std::lock_guard lock(mutex_);
            lines_.push_back(std::to_string(category) + " " + text);
        });
    }
    ~DiagnosticCapture() { platform::SetDiagnosticSink({}); }

    // Reports containing `needle`.
    std::vector<std::string> Matching(const std::string& needle) const {
        std::lock_guard lock(mutex_);
        std::vector<std::string> found;
        for (const std::string& line : lines_) {
            if (line.find(needle) != std::string::npos) {
                found.push_back(line);
            }
        }
        return found;
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;  // guarded by mutex_
};

// Runs `body` in a forked child and returns its exit status (-1 when it did not exit).
int RunInChild(const std::function<int()>& body) {
    const pid_t child = fork();
    if (child == 0) {
        _exit(body());
    }
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

// The profile files of each test live in missing directories under a fresh TempDir,
// named through the environment as the program will find them.
class ProfileTest : public ::testing::Test {
  protected:
    std::string UserPath() const { return temp_.file("home/config/tolvane/profile.ini"); }
    std::string MachinePath() const { return temp_.file("etc/tolvane/profile.ini"); }
    std::string PathOf(ProfileScope scope) const {
        return scope == ProfileScope::kUser ? UserPath() : MachinePath();
    }

    TempDir temp_;
    ScopedEnv user_env_{"TOLVANE_USER_PROFILE", UserPath()};
    ScopedEnv machine_env_{"TOLVANE_MACHINE_PROFILE", MachinePath()};
};

TEST_F(ProfileTest, LocationsComeFromTheEnvironment) {
    EXPECT_EQ(Profile().Path(ProfileScope::kUser), UserPath());
    EXPECT_EQ(Profile().Path(ProfileScope::kMachine), MachinePath());

    ScopedEnv no_user("TOLVANE_USER_PROFILE", std::nullopt);
    ScopedEnv no_machine("TOLVANE_MACHINE_PROFILE", "");
    ScopedEnv home("HOME", "/home/operator");
    EXPECT_EQ(Profile::DefaultPath(ProfileScope::kMachine), "/etc/tolvane/profile.ini");
    {
        ScopedEnv config("XDG_CONFIG_HOME", "/srv/config");
        EXPECT_EQ(Profile::DefaultPath(ProfileScope::kUser), "/srv/config/tolvane/profile.ini");
    }
    for (const std::optional<std::string>& ignored :
         {std::optional<std::string>(), std::optional<std::string>(""),
          std::optional<std::string>("relative/config")}) {
        ScopedEnv config("XDG_CONFIG_HOME", ignored);
        EXPECT_EQ(Profile::DefaultPath(ProfileScope::kUser),
                  "/home/operator/.config/tolvane/profile.ini");
    }
}

TEST_F(ProfileTest, NumbersAndTextsRoundTripInEachScopeSeparately) {
    const std::string awkward = " C:=[x]\\ \"y\"\nline two ";
    for (ProfileScope scope : kScopes) {
        const int32_t number = scope == ProfileScope::kUser ? -1 : 25;
        Profile writer;
        EXPECT_EQ(writer.WriteNumber(scope, "Settings", "SmtpPort", number), ProfileResult::kOk);
        EXPECT_EQ(writer.WriteNumber(scope, "COMM", "PORT", INT32_MIN), ProfileResult::kOk);
        EXPECT_EQ(writer.WriteText(scope, "Settings", "Data Directory", awkward),
                  ProfileResult::kOk);
        EXPECT_EQ(writer.WriteText(scope, "Settings", "Empty", ""), ProfileResult::kOk);
        EXPECT_TRUE(fs::exists(PathOf(scope)));  // its missing directories were created

        Profile reader;
        EXPECT_EQ(reader.ReadNumber(scope, "Settings", "SmtpPort", 999), number);
        EXPECT_EQ(reader.ReadNumber(scope, "settings", "SMTPPORT", 999), number);
        EXPECT_EQ(reader.ReadNumber(scope, "COMM", "PORT", 0), INT32_MIN);
        EXPECT_EQ(reader.ReadText(scope, "Settings", "Data Directory", "*"), awkward);
        EXPECT_EQ(reader.ReadText(scope, "Settings", "Empty", "*"), "");
    }
    // Each scope kept its own number; rewriting one leaves the other alone.
    Profile profile;
    EXPECT_EQ(profile.WriteNumber(ProfileScope::kUser, "Settings", "SmtpPort", 2525),
              ProfileResult::kOk);
    EXPECT_EQ(profile.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 0), 2525);
    EXPECT_EQ(profile.ReadNumber(ProfileScope::kMachine, "Settings", "SmtpPort", 0), 25);
    EXPECT_NE(ReadFile(MachinePath()).find("SmtpPort = 25\n"), std::string::npos);
}

TEST_F(ProfileTest, MissingValuesAndValuesOfTheOtherTypeGiveTheDefault) {
    Profile profile;
    EXPECT_EQ(profile.ReadNumber(ProfileScope::kUser, "Settings", "NoHostMode", 999), 999);
    EXPECT_EQ(profile.ReadText(ProfileScope::kUser, "Settings", "Data Directory", "*"), "*");
    EXPECT_FALSE(fs::exists(UserPath()));  // reading creates nothing

    ASSERT_EQ(profile.WriteText(ProfileScope::kUser, "Settings", "SmtpPort", "25"),
              ProfileResult::kOk);
    ASSERT_EQ(profile.WriteNumber(ProfileScope::kUser, "Settings", "Data Directory", 7),
              ProfileResult::kOk);
    EXPECT_EQ(profile.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 999), 999);
    EXPECT_EQ(profile.ReadText(ProfileScope::kUser, "Settings", "Data Directory", "*"), "*");
    EXPECT_EQ(profile.ReadText(ProfileScope::kUser, "Settings", "SmtpPort", "*"), "25");

    // A write of the other type replaces the value and its type.
    ASSERT_EQ(profile.WriteNumber(ProfileScope::kUser, "Settings", "SmtpPort", 25),
              ProfileResult::kOk);
    EXPECT_EQ(profile.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 999), 25);
    EXPECT_EQ(profile.ReadText(ProfileScope::kUser, "Settings", "SmtpPort", "*"), "*");
}

TEST_F(ProfileTest, WrittenDefaultsArePresentAfterwardsAndNeverOverwrite) {
    {
        Profile profile;
        ASSERT_EQ(profile.WriteNumber(ProfileScope::kUser, "Settings", "Alarm Watch", 1),
                  ProfileResult::kOk);
        EXPECT_EQ(profile.ReadNumberWritten(ProfileScope::kUser, "Settings", "NoHostMode", 0), 0);
        EXPECT_EQ(profile.ReadNumberWritten(ProfileScope::kUser, "Settings", "SmtpPort", 25), 25);
        EXPECT_EQ(profile.ReadTextWritten(ProfileScope::kUser, "Settings", "Greeting", "hi"), "hi");
        // Present values win over the default, whatever their type.
        EXPECT_EQ(profile.ReadNumberWritten(ProfileScope::kUser, "Settings", "Alarm Watch", 0), 1);
        EXPECT_EQ(profile.ReadNumberWritten(ProfileScope::kUser, "Settings", "Greeting", 5), 5);
    }
    const std::string text = ReadFile(UserPath());
    EXPECT_NE(text.find("NoHostMode = 0\n"), std::string::npos) << text;
    EXPECT_NE(text.find("SmtpPort = 25\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Greeting = \"hi\"\n"), std::string::npos) << text;

    Profile fresh;
    EXPECT_EQ(fresh.ReadNumber(ProfileScope::kUser, "Settings", "NoHostMode", 999), 0);
    EXPECT_EQ(fresh.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 999), 25);
    EXPECT_EQ(fresh.ReadNumber(ProfileScope::kUser, "Settings", "Alarm Watch", 999), 1);
    EXPECT_EQ(fresh.ReadText(ProfileScope::kUser, "Settings", "Greeting", "*"), "hi");
    EXPECT_EQ(fresh.ReadNumberWritten(ProfileScope::kUser, "Settings", "SmtpPort", 587), 25);
}

TEST_F(ProfileTest, DeletingValuesAndSectionsKeepsEverythingElse) {
    Profile profile;
    for (const char* section : {"Settings", "VL_PAGEDEV", "COMM"}) {
        ASSERT_EQ(profile.WriteNumber(ProfileScope::kUser, section, "One", 1), ProfileResult::kOk);
        ASSERT_EQ(profile.WriteText(ProfileScope::kUser, section, "Two", "2"), ProfileResult::kOk);
    }
    EXPECT_EQ(profile.DeleteValue(ProfileScope::kUser, "Settings", "one"), ProfileResult::kOk);
    EXPECT_EQ(profile.DeleteSection(ProfileScope::kUser, "vl_pagedev"), ProfileResult::kOk);
    // Deleting what is not there is no failure.
    EXPECT_EQ(profile.DeleteValue(ProfileScope::kUser, "Settings", "One"), ProfileResult::kOk);
    EXPECT_EQ(profile.DeleteSection(ProfileScope::kUser, "VL_PAGEDEV"), ProfileResult::kOk);

    Profile fresh;
    EXPECT_EQ(fresh.ReadNumber(ProfileScope::kUser, "Settings", "One", -5), -5);
    EXPECT_EQ(fresh.ReadText(ProfileScope::kUser, "Settings", "Two", "*"), "2");
    EXPECT_EQ(fresh.ReadNumber(ProfileScope::kUser, "VL_PAGEDEV", "One", -5), -5);
    EXPECT_EQ(fresh.ReadText(ProfileScope::kUser, "VL_PAGEDEV", "Two", "*"), "*");
    EXPECT_EQ(fresh.ReadNumber(ProfileScope::kUser, "COMM", "One", -5), 1);
    EXPECT_EQ(ReadFile(UserPath()).find("VL_PAGEDEV"), std::string::npos);

    // On a missing file a deletion writes nothing at all.
    EXPECT_EQ(profile.DeleteSection(ProfileScope::kMachine, "COMM"), ProfileResult::kOk);
    EXPECT_FALSE(fs::exists(temp_.file("etc")));
}

TEST_F(ProfileTest, RewritesKeepHandEditsPermissionsAndLeaveNoTemporaryFiles) {
    fs::create_directories(fs::path(UserPath()).parent_path());
    const std::string hand_edited =
        "; edited by the operator\n[COMM]\nCOM1 = /dev/ttyUSB0\n\n[Settings]\nSmtpPort=587\n";
    WriteFile(UserPath(), hand_edited);
    ASSERT_EQ(chmod(UserPath().c_str(), 0600), 0);

    Profile profile;
    EXPECT_EQ(profile.ReadText(ProfileScope::kUser, "COMM", "COM1", ""), "/dev/ttyUSB0");
    ASSERT_EQ(profile.WriteNumber(ProfileScope::kUser, "Settings", "NoHostMode", 1),
              ProfileResult::kOk);
    EXPECT_EQ(ReadFile(UserPath()), hand_edited + "NoHostMode = 1\n");

    struct stat info {};
    ASSERT_EQ(stat(UserPath().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::vector<std::string> names;
    for (const fs::directory_entry& entry :
         fs::directory_iterator(fs::path(UserPath()).parent_path())) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"profile.ini", "profile.ini.lock"}));
}

TEST_F(ProfileTest, UnparsableFileIsReportedOnceReadAsEmptyAndNeverRewritten) {
    DiagnosticCapture diagnostics;
    fs::create_directories(fs::path(UserPath()).parent_path());
    const std::string corrupt = "[Settings]\nSmtpPort = 2525\nthis line is not a setting\n";
    WriteFile(UserPath(), corrupt);

    Profile first;
    Profile second;
    EXPECT_EQ(first.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 25), 25);
    EXPECT_EQ(second.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 25), 25);
    EXPECT_EQ(first.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 25), 25);
    const std::vector<std::string> reports = diagnostics.Matching("cannot be parsed (line 3");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].rfind("2 ", 0), 0u) << reports[0];  // category 0x0002
    EXPECT_NE(reports[0].find(UserPath()), std::string::npos);

    // Writes of every kind are refused and reported; the file keeps every byte.
    EXPECT_EQ(first.WriteNumber(ProfileScope::kUser, "Settings", "NoHostMode", 0),
              ProfileResult::kUnparsable);
    EXPECT_EQ(first.DeleteSection(ProfileScope::kUser, "Settings"), ProfileResult::kUnparsable);
    EXPECT_EQ(first.ReadNumberWritten(ProfileScope::kUser, "Settings", "SmtpPort", 25), 25);
    EXPECT_EQ(ReadFile(UserPath()), corrupt);
    EXPECT_EQ(diagnostics.Matching("not written").size(), 3u);

    // Other content is another fault, reported again; a repaired file works at once.
    WriteFile(UserPath(), corrupt + "and another\n");
    EXPECT_EQ(first.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 25), 25);
    EXPECT_EQ(diagnostics.Matching("cannot be parsed (line").size(), 2u);
    WriteFile(UserPath(), "[Settings]\nSmtpPort = 2525\n");
    EXPECT_EQ(first.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 25), 2525);
    EXPECT_EQ(first.WriteNumber(ProfileScope::kUser, "Settings", "NoHostMode", 0),
              ProfileResult::kOk);
}

TEST_F(ProfileTest, FilesThatAreNotProfilesReadAsEmptyAndAreNotReplaced) {
    DiagnosticCapture diagnostics;
    fs::create_directories(UserPath());  // a directory where the file should be
    Profile profile;
    EXPECT_EQ(profile.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 25), 25);
    EXPECT_EQ(profile.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 25), 25);
    EXPECT_EQ(diagnostics.Matching("cannot be read (not a regular file)").size(), 1u);
    EXPECT_EQ(profile.WriteNumber(ProfileScope::kUser, "Settings", "SmtpPort", 1),
              ProfileResult::kIoError);
    EXPECT_TRUE(fs::is_directory(UserPath()));
}

TEST_F(ProfileTest, UnwritableProfilesFailWithAClearResultAndStayReadable) {
    // The machine profile as an ordinary user meets it: a file and directories owned by
    // someone else. As root the check runs in a child that gives up its privileges.
    const fs::path etc = temp_.path() / "etc";
    const fs::path etc_tolvane = fs::path(MachinePath()).parent_path();
    fs::create_directories(etc_tolvane);
    WriteFile(MachinePath(), "[COMM]\nPORT = 2\n");
    ASSERT_EQ(chmod(MachinePath().c_str(), 0444), 0);
    ASSERT_EQ(chmod(temp_.path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(etc.c_str(), 0555), 0);
    ASSERT_EQ(chmod(etc_tolvane.c_str(), 0555), 0);
    const std::string missing_file = temp_.file("etc/tolvane/other.ini");
    const std::string missing_directory = temp_.file("etc/missing/profile.ini");

    const int failed_check = RunInChild([&]() -> int {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            return 100;
        }
        Profile profile(missing_file, MachinePath());
        if (profile.ReadNumber(ProfileScope::kMachine, "COMM", "PORT", -1) != 2) {
            return 1;
        }
        if (profile.WriteNumber(ProfileScope::kMachine, "COMM", "PORT", 3) !=
            ProfileResult::kNotWritable) {
            return 2;
        }
        if (profile.WriteNumber(ProfileScope::kUser, "COMM", "PORT", 3) !=
            ProfileResult::kNotWritable) {
            return 3;
        }
        Profile nested(missing_directory, MachinePath());
        if (nested.WriteText(ProfileScope::kUser, "COMM", "COM1", "/dev/pts/1") !=
            ProfileResult::kNotWritable) {
            return 4;
        }
        return 0;
    });
    EXPECT_EQ(failed_check, 0);
    EXPECT_EQ(ReadFile(MachinePath()), "[COMM]\nPORT = 2\n");
    EXPECT_FALSE(fs::exists(missing_file));
    EXPECT_FALSE(fs::exists(temp_.file("etc/missing")));
    ASSERT_EQ(chmod(etc_tolvane.c_str(), 0755), 0);  // so that the TempDir can go
    ASSERT_EQ(chmod(etc.c_str(), 0755), 0);

    // Even root cannot put a profile below a plain file.
    DiagnosticCapture diagnostics;
    WriteFile(temp_.file("plain"), "x");
    Profile below_file(temp_.file("plain/profile.ini"), MachinePath());
    EXPECT_EQ(below_file.WriteNumber(ProfileScope::kUser, "COMM", "PORT", 3),
              ProfileResult::kIoError);
    EXPECT_EQ(diagnostics.Matching("\"COMM\" / \"PORT\" not written").size(), 1u);
}

TEST_F(ProfileTest, AWriteThatFailsHalfwayLeavesTheOldFileAndNoTemporaryFile) {
    Profile profile;
    ASSERT_EQ(profile.WriteText(ProfileScope::kUser, "Settings", "Data Directory", "/srv/data/"),
              ProfileResult::kOk);
    const std::string before = ReadFile(UserPath());

    // A file-size limit makes the write of the temporary file fail part way.
    const int status = RunInChild([] {
        signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64, 64};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) {
            return 100;
        }
        Profile child;
        return static_cast<int>(
            child.WriteText(ProfileScope::kUser, "Settings", "Long", std::string(4096, 'x')));
    });
    EXPECT_EQ(status, static_cast<int>(ProfileResult::kIoError));
    EXPECT_EQ(ReadFile(UserPath()), before);
    EXPECT_EQ(profile.ReadText(ProfileScope::kUser, "Settings", "Data Directory", "*"),
              "/srv/data/");
    for (const fs::directory_entry& entry :
         fs::directory_iterator(fs::path(UserPath()).parent_path())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos) << entry.path();
    }
}

TEST_F(ProfileTest, InvalidNamesAreRefusedAndReadAsDefaults) {
    DiagnosticCapture diagnostics;
    Profile profile;
    EXPECT_EQ(profile.WriteNumber(ProfileScope::kUser, "Settings", "a=b", 1),
              ProfileResult::kInvalidName);
    EXPECT_EQ(profile.WriteText(ProfileScope::kUser, "a]b", "Value", "x"),
              ProfileResult::kInvalidName);
    EXPECT_EQ(profile.DeleteSection(ProfileScope::kUser, ""), ProfileResult::kInvalidName);
    EXPECT_EQ(profile.ReadNumberWritten(ProfileScope::kUser, "Settings", "", 7), 7);
    EXPECT_EQ(profile.ReadNumber(ProfileScope::kUser, "Settings", "line\nfeed", 7), 7);
    EXPECT_FALSE(fs::exists(UserPath()));
    EXPECT_EQ(diagnostics.Matching("invalid section or value name").size(), 4u);
}

TEST_F(ProfileTest, AReaderSeesWhatAnotherProcessWroteAndDeleted) {
    Profile parent;
    EXPECT_EQ(parent.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 999), 999);

    ASSERT_EQ(RunInChild([] {
                  Profile child;
                  const bool ok = child.WriteNumber(ProfileScope::kUser, "Settings", "SmtpPort",
                                                    2525) == ProfileResult::kOk &&
                                  child.WriteText(ProfileScope::kUser, "Settings", "Data Directory",
                                                  "/srv/data/") == ProfileResult::kOk;
                  return ok ? 0 : 1;
              }),
              0);
    EXPECT_EQ(parent.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 999), 2525);
    EXPECT_EQ(parent.ReadText(ProfileScope::kUser, "Settings", "Data Directory", "*"),
              "/srv/data/");

    // Same size, same second: the content itself decides, not the file's time stamp.
    ASSERT_EQ(RunInChild([] {
                  Profile child;
                  return child.WriteNumber(ProfileScope::kUser, "Settings", "SmtpPort", 2526) ==
                                 ProfileResult::kOk
                             ? 0
                             : 1;
              }),
              0);
    EXPECT_EQ(parent.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 999), 2526);

    ASSERT_EQ(RunInChild([] {
                  Profile child;
                  return child.DeleteValue(ProfileScope::kUser, "Settings", "SmtpPort") ==
                                 ProfileResult::kOk
                             ? 0
                             : 1;
              }),
              0);
    EXPECT_EQ(parent.ReadNumber(ProfileScope::kUser, "Settings", "SmtpPort", 999), 999);
}

TEST_F(ProfileTest, WritersInTwoProcessesLoseNothing) {
    constexpr int kWritesEach = 40;
    int start[2];
    ASSERT_EQ(pipe(start), 0);
    const auto write_all = [](const std::string& prefix) {
        Profile profile;
        for (int i = 0; i < kWritesEach; ++i) {
            if (profile.WriteNumber(ProfileScope::kUser, "Race", prefix + std::to_string(i), i) !=
                ProfileResult::kOk) {
                return 1;
            }
        }
        return 0;
    };

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(start[1]);
        char go = 0;
        const bool started = read(start[0], &go, 1) == 1;
        _exit(started ? write_all("Child ") : 2);
    }
    close(start[0]);
    ASSERT_EQ(write(start[1], "g", 1), 1);
    close(start[1]);
    const int parent_result = write_all("Parent ");
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(parent_result, 0);

    Profile reader;
    for (int i = 0; i < kWritesEach; ++i) {
        EXPECT_EQ(reader.ReadNumber(ProfileScope::kUser, "Race", "Child " + std::to_string(i), -1),
                  i);
        EXPECT_EQ(reader.ReadNumber(ProfileScope::kUser, "Race", "Parent " + std::to_string(i), -1),
                  i);
    }
}

TEST_F(ProfileTest, ThreadsSharingOrNotSharingAnObjectLoseNothing) {
    constexpr int kThreads = 4;
    constexpr int kWritesEach = 15;
    Profile shared;
    Profile other;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            Profile& profile = t % 2 == 0 ? shared : other;
            for (int i = 0; i < kWritesEach; ++i) {
                const std::string name = "T" + std::to_string(t) + " " + std::to_string(i);
                if (profile.WriteText(ProfileScope::kUser, "Threads", name, name) !=
                        ProfileResult::kOk ||
                    profile.ReadText(ProfileScope::kUser, "Threads", name, "") != name ||
                    profile.ReadNumberWritten(ProfileScope::kUser, "Counts", name, i) != i) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
    Profile reader;
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kWritesEach; ++i) {
            const std::string name = "T" + std::to_string(t) + " " + std::to_string(i);
            EXPECT_EQ(reader.ReadText(ProfileScope::kUser, "Threads", name, ""), name);
            EXPECT_EQ(reader.ReadNumber(ProfileScope::kUser, "Counts", name, -1), i);
        }
    }
}

}  // namespace
