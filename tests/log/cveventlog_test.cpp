#include "log/cveventlog.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "platform/core/clock.h"
#include "platform/core/diagnostics.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

namespace {

// Pins the local time zone and the clock so that time prefixes are predictable.
class EventLogTest : public ::testing::Test {
protected:
    EventLogTest() : tz_("TZ", "UTC"), clock_(platform::MakeLocalTime(2026, 12, 8, 21, 5)) {
        platform::SetClock(&clock_);
    }
    ~EventLogTest() override { platform::SetClock(nullptr); }

    static std::string TextOf(const std::string& line) {
        // Lines are "<weekday> <h>:<mm> <AM|PM> <text>"; drop the first three words.
        size_t at = 0;
        for (int word = 0; word < 3; ++word) {
            at = line.find(' ', at) + 1;
        }
        return line.substr(at);
    }

    ScopedEnv tz_;
    platform::ManualClock clock_;
    cvEventLog log_;
};

TEST_F(EventLogTest, ClosedLogKeepsNothingWhateverTheMask) {
    log_.SetCategoryMask(0xFFFF);
    log_.AddEvent(kLogDbErrors, "lost\n");
    log_.AddEvent(0, "lost too\n");
    EXPECT_FALSE(log_.IsLogging(0));
    EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(EventLogTest, MaskSelectsCategories) {
    log_.OpenLog();
    log_.AddEvent(kLogDbErrors, "dropped with mask 0");
    log_.AddEvent(0, "always");
    log_.SetCategoryMask(kLogErrorAndIntegrityMask);
    log_.AddEvent(kLogDbStatus, "status is not in 0xA4BA");
    log_.AddEvent(kLogDbCache | kLogDbErrors, "kept: one of its bits is in the mask");
    log_.AddEvent(kLogBobIntegrity, "kept");

    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(TextOf(lines[0]), "always");
    EXPECT_EQ(TextOf(lines[1]), "kept: one of its bits is in the mask");
    EXPECT_EQ(TextOf(lines[2]), "kept");
}

TEST_F(EventLogTest, CapacityKeepsTheNewestLinesOldestFirst) {
    log_.OpenLog();
    log_.SetMaxLines(3);
    for (int i = 1; i <= 5; ++i) {
        log_.AddEvent(0, "event " + std::to_string(i));
    }
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(TextOf(lines[0]), "event 3");
    EXPECT_EQ(TextOf(lines[2]), "event 5");
}

TEST_F(EventLogTest, LinePrefixHasHourWithoutLeadingZero) {
    struct Case {
        int hour, minute;
        const char* prefix;
    };
    const Case cases[] = {
        {21, 5, "Tue 9:05 PM "},
        {0, 30, "Tue 12:30 AM "},
        {12, 0, "Tue 12:00 PM "},
        {10, 59, "Tue 10:59 AM "},
    };
    log_.OpenLog();
    for (const Case& c : cases) {
        clock_.Set(platform::MakeLocalTime(2026, 12, 8, c.hour, c.minute));
        log_.Clear();
        log_.AddEvent(0, "text\n");
        ASSERT_EQ(log_.Lines().size(), 1u);
        EXPECT_EQ(log_.Lines()[0], std::string(c.prefix) + "text\n") << c.hour << ":" << c.minute;
    }
}

TEST_F(EventLogTest, LogEventFormatsAndCutsAt511Characters) {
    log_.OpenLog();
    log_.LogEvent(0, "Error %d opening file %s.\n", 12, "PAGEMSG.DAT");
    const std::string long_text(600, 'x');
    log_.LogEvent(0, "%s", long_text.c_str());
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(TextOf(lines[0]), "Error 12 opening file PAGEMSG.DAT.\n");
    EXPECT_EQ(TextOf(lines[1]), std::string(511, 'x'));
}

TEST_F(EventLogTest, MessageBoxOffTheInterfaceThreadBecomesAnErrorLine) {
    log_.OpenLog();
    log_.SetCategoryMask(kLogUiErrors);
    int shown = 0;
    log_.SetPresenter([&](const std::string&, unsigned, unsigned) {
        ++shown;
        return kIdNo;
    });
    int answer = 0;
    std::thread engine([&] { answer = log_.MessageBox("Disk is full", kMbYesNo, 0); });
    engine.join();
    EXPECT_EQ(answer, kIdOk);
    EXPECT_EQ(shown, 0);
    ASSERT_EQ(log_.Lines().size(), 1u);
    EXPECT_EQ(TextOf(log_.Lines()[0]), "Disk is full");
}

TEST_F(EventLogTest, MessageBoxWithoutPresenterLogsAndAnswersOk) {
    log_.OpenLog();
    log_.SetCategoryMask(kLogUiErrors);
    EXPECT_EQ(log_.MessageBox("No window here", kMbYesNo), kIdOk);
    EXPECT_EQ(log_.Lines().size(), 1u);
}

TEST_F(EventLogTest, MessageBoxDuringTransactionAbortsItOnce) {
    log_.SetSaveDirectory("/opt/tolvane");
    std::vector<std::string> shown;
    int aborts = 0;
    std::vector<std::string> sounds;
    log_.SetPresenter([&](const std::string& text, unsigned, unsigned) {
        shown.push_back(text);
        return kIdYes;
    });
    log_.SetAbortHook([&] { ++aborts; });
    log_.SetSoundHook([&](const std::string& path) { sounds.push_back(path); });

    log_.SetTransactionOpen(true);
    EXPECT_EQ(log_.MessageBox("Update Failed", kMbYesNo), kIdYes);
    EXPECT_FALSE(log_.TransactionOpen());
    EXPECT_EQ(log_.MessageBox("Second", kMbOk), kIdYes);

    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[0], "<Transaction Aborted>\n\nUpdate Failed");
    EXPECT_EQ(shown[1], "Second");
    EXPECT_EQ(aborts, 1);
    EXPECT_EQ(sounds, std::vector<std::string>{"/opt/tolvane/bomb.wav"});
}

TEST_F(EventLogTest, SaveLogWritesTrimmedLinesAndReplacesTheDaysFile) {
    TempDir dir;
    log_.SetSaveDirectory(dir.path().string());
    std::vector<std::string> viewed;
    log_.SetViewerHook([&](const std::string& path) { viewed.push_back(path); });
    log_.OpenLog();
    log_.AddEvent(0, "first event\n");
    log_.AddEvent(0, "  padded  \n\n");
    ASSERT_TRUE(log_.SaveLog());

    const std::string path = dir.file("20261208.log");
    auto read = [&] {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    };
    EXPECT_EQ(read(), "Tue 9:05 PM first event\nTue 9:05 PM   padded\n");
    EXPECT_EQ(viewed, std::vector<std::string>{path});
    EXPECT_EQ(log_.Lines()[1], "Tue 9:05 PM   padded  \n\n") << "saving leaves the lines as they were";

    log_.Clear();
    log_.AddEvent(0, "only this");
    ASSERT_TRUE(log_.SaveLog());
    EXPECT_EQ(read(), "Tue 9:05 PM only this\n");
}

TEST_F(EventLogTest, SaveLogIntoMissingDirectoryWritesNothing) {
    TempDir dir;
    log_.SetSaveDirectory(dir.file("missing"));
    bool viewed = false;
    log_.SetViewerHook([&](const std::string&) { viewed = true; });
    log_.OpenLog();
    log_.AddEvent(0, "x");
    EXPECT_FALSE(log_.SaveLog());
    EXPECT_FALSE(viewed);
}

TEST_F(EventLogTest, ConcurrentAddsLoseNothingAndTearNoLine) {
    constexpr int kThreads = 4;
    constexpr int kEach = 2000;
    log_.SetMaxLines(kThreads * kEach);
    log_.OpenLog();
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            for (int i = 0; i < kEach; ++i) {
                log_.LogEvent(0, "thread %d event %d end\n", t, i);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    const auto lines = log_.Lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kEach));
    std::set<std::string> seen;
    for (const auto& line : lines) {
        const std::string text = TextOf(line);
        int t = -1, i = -1;
        char tail[8] = {};
        ASSERT_EQ(std::sscanf(text.c_str(), "thread %d event %d %3s", &t, &i, tail), 3) << line;
        EXPECT_STREQ(tail, "end");
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), lines.size());
}

TEST(EventLogGlobal, IsThePlatformDiagnosticSink) {
    cvEventLog& log = EventLog();
    log.OpenLog();
    log.SetCategoryMask(kLogDbErrors);
    const size_t before = log.Lines().size();
    platform::ReportDiagnostic(kLogDbErrors, "from the platform layer\n");
    ASSERT_EQ(log.Lines().size(), before + 1);
    EXPECT_NE(log.Lines().back().find("from the platform layer"), std::string::npos);
}

}  // namespace
