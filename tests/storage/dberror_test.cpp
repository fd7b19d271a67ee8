#include "storage/dberror.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "log/cveventlog.h"
#include "storage/dbstatus.h"

namespace {

TEST(StatusTextTest, NamesStatusesAndOperations) {
    EXPECT_EQ(StatusTextCount(), 129);
    EXPECT_EQ(StatusText(3), "The File is Not Open. [3]");
    EXPECT_EQ(StatusText(104), "Btrieve Does Not Recognize the Locale. [104]");
    EXPECT_EQ(StatusText(2007), "A Pointer Parameter is Invalid. [2007]");
    EXPECT_EQ(StatusText(33), "Unknown Btrieve Error: 33");
    EXPECT_EQ(StatusText(0), "Unknown Btrieve Error: 0");

    EXPECT_EQ(OperationName(5), "Get Equal");
    EXPECT_EQ(OperationName(1019), "Begin Concurrent Transaction");
    EXPECT_EQ(OperationName(45), "Find Percentage");
    EXPECT_EQ(OperationName(41), "Unknown Btrieve Operation: 41");
}

// Reports go through the application's log and message box; each test starts clean.
class ReportDbErrorTest : public ::testing::Test {
  protected:
    ReportDbErrorTest() {
        ResetDbExitRequested();
        log_.Clear();
        log_.OpenLog();
        log_.SetCategoryMask(kLogErrorAndIntegrityMask);
        log_.SetUserInterfaceThread(std::this_thread::get_id());
        log_.SetPresenter([this](const std::string& text, unsigned style, unsigned) {
            shown_.push_back(text);
            styles_.push_back(style);
            return answer_;
        });
        SetDbExitCommandHook([this] { ++exit_commands_; });
    }
    ~ReportDbErrorTest() override {
        log_.SetPresenter({});
        SetDbExitCommandHook({});
        ResetDbExitRequested();
        log_.Clear();
    }

    std::vector<std::string> LogTexts() const {
        std::vector<std::string> texts;
        for (const auto& line : log_.Lines()) {
            size_t at = 0;
            for (int word = 0; word < 3; ++word) {
                at = line.find(' ', at) + 1;
            }
            texts.push_back(line.substr(at));
        }
        return texts;
    }

    cvEventLog& log_ = EventLog();
    std::vector<std::string> shown_;
    std::vector<unsigned> styles_;
    int answer_ = kIdNo;
    int exit_commands_ = 0;
};

TEST_F(ReportDbErrorTest, NotFoundAndEndOfFileOnReadsAreSilent) {
    struct Case {
        int status, operation;
    };
    for (Case c : {Case{4, 5}, Case{9, 6}, Case{9, 12}, Case{4, 23}, Case{0, 3}}) {
        EXPECT_EQ(ReportDbError(c.status, c.operation, "PAGEMSG.DAT", false, true), c.status);
    }
    EXPECT_TRUE(log_.Lines().empty());
    EXPECT_TRUE(shown_.empty());
}

TEST_F(ReportDbErrorTest, OpenFailingWithNotFoundIsReported) {
    EXPECT_EQ(ReportDbError(12, 0, "PAGEMSG.DAT", false, true), 12);
    ASSERT_EQ(LogTexts().size(), 1u);
    EXPECT_EQ(LogTexts()[0],
              "Open Failed on file PAGEMSG.DATBtrieve Cannot Find the Specified File. [12]");
    ASSERT_EQ(shown_.size(), 1u);
}

TEST_F(ReportDbErrorTest, InsertDuplicateAsksToExitAndNoIsRespected) {
    EXPECT_EQ(ReportDbError(5, 2, "TVNET.DAT", false, true), 5);
    const std::string status_text =
        "The Record has a Key Field Containing a Duplicate Key Value. [5]";
    ASSERT_EQ(LogTexts().size(), 1u);
    EXPECT_EQ(LogTexts()[0], "Insert Failed on file TVNET.DAT" + status_text);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0], "Insert Failed on file TVNET.DAT\n\n" + status_text +
                             "\n\nA database error has occured, would you like to exit the "
                             "application?");
    EXPECT_EQ(styles_[0] & kMbButtonMask, kMbYesNo);
    EXPECT_EQ(styles_[0] & kMbDefButton2, kMbDefButton2);
    EXPECT_FALSE(DbExitRequested());
    EXPECT_EQ(exit_commands_, 0);
}

TEST_F(ReportDbErrorTest, YesRequestsExitAndSilencesLaterReports) {
    answer_ = kIdYes;
    EXPECT_EQ(ReportDbError(2, 3, "PAGEDEV.DAT", false, true), 2);
    EXPECT_TRUE(DbExitRequested());
    EXPECT_EQ(exit_commands_, 1);
    log_.Clear();
    EXPECT_EQ(ReportDbError(80, 3, "PAGEDEV.DAT", false, true), 80);
    EXPECT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(log_.Lines().empty());
}

TEST_F(ReportDbErrorTest, QuietLogsOnlyAndNoAskShowsOk) {
    ReportDbError(2, 1, "", true, true);
    EXPECT_TRUE(shown_.empty());
    ASSERT_EQ(LogTexts().size(), 1u);
    EXPECT_EQ(LogTexts()[0], "Close FailedThe Application Encountered an I/O Error. [2]");

    ReportDbError(80, 3, "TVNET.DAT", false, false);
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0],
              "Update Failed on file TVNET.DAT\n\nBtrieve Encountered a Record-Level "
              "Conflict. [80]\n\n");
    EXPECT_EQ(styles_[0] & kMbButtonMask, kMbOk);
}

TEST_F(ReportDbErrorTest, EngineThreadReportIsLoggedTwiceAndNeverAsks) {
    answer_ = kIdYes;
    std::thread engine([] { ReportDbError(2, 3, "PAGEMSG.DAT", false, true); });
    engine.join();
    EXPECT_TRUE(shown_.empty());
    EXPECT_FALSE(DbExitRequested());
    const auto texts = LogTexts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0].rfind("Update Failed on file PAGEMSG.DAT", 0), 0u);
    EXPECT_NE(texts[1].find("would you like to exit the application?"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(ReportDbErrorTest, ABackgroundThreadReportsALastingFailureOfAFileOnceAnHour) {
    // The engine meets the same damaged file and the same full disk at every cycle.
    std::thread engine([] {
        for (int cycle = 0; cycle < 3; ++cycle) {
            EXPECT_EQ(ReportDbError(2, 6, "PAGEMSG.DAT", true, false), 2);
            EXPECT_EQ(ReportDbError(18, 3, "PAGEMSG.DAT", true, false), 18);
            EXPECT_EQ(ReportDbError(2, 6, "PAGEDEV.DAT", true, false), 2);
            EXPECT_EQ(ReportDbError(80, 3, "PAGEMSG.DAT", true, false), 80);  // not lasting
        }
    });
    engine.join();
    const std::vector<std::string> texts = LogTexts();
    const auto count = [&](const std::string& start) {
        return std::count_if(texts.begin(), texts.end(),
                             [&](const std::string& text) { return text.rfind(start, 0) == 0; });
    };
    EXPECT_EQ(count("Get Next Failed on file PAGEMSG.DAT"), 1);
    EXPECT_EQ(count("Update Failed on file PAGEMSG.DAT" + StatusText(18)), 1);
    EXPECT_EQ(count("Get Next Failed on file PAGEDEV.DAT"), 1);
    EXPECT_EQ(count("Update Failed on file PAGEMSG.DAT" + StatusText(80)), 3);

    // What the user does is answered every time.
    log_.Clear();
    log_.OpenLog();
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_EQ(ReportDbError(2, 6, "PAGEMSG.DAT", false, false), 2);
    }
    EXPECT_EQ(shown_.size(), 2u);
    EXPECT_EQ(LogTexts().size(), 2u);
}

}  // namespace
