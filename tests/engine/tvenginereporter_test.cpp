#include "engine/tvenginereporter.h"

#include <gtest/gtest.h>

#include "model/tvvaluelists.h"

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr cvValueEntry kStatusTexts[] = {
    {"Queued", 0}, {"Error", 1}, {"Sent", 2}, {"Sent/Pending", 3}, {"Delivered", 4},
};

// Every cell of every row after the timestamp, top row first.
std::vector<std::vector<std::string>> Cells(const cvLogBox& box) {
    std::vector<std::vector<std::string>> cells;
    for (const auto& row : box.Rows()) {
        cells.emplace_back(row.begin() + 1, row.end());
    }
    return cells;
}

std::vector<std::string> Headers(const cvLogBox& box) {
    std::vector<std::string> headers;
    for (const cvLogColumn& column : box.Columns()) {
        headers.push_back(column.header);
    }
    return headers;
}

TEST(MessageRowTextsTest, NamesMissingDevicesAndNetworksByNumber) {
    struct Case {
        MessageRowFacts facts;
        std::array<std::string, 4> want;
    };
    const Case cases[] = {
        {{12, "Dr. Lee", 3, "Metro SNPP", 2, 1}, {"Dr. Lee", "Metro SNPP", "Sent", "1"}},
        {{12, "Dr. Lee", 3, std::nullopt, 3, 0}, {"Dr. Lee", "Unknown (3)", "Sent/Pending", "0"}},
        {{12, std::nullopt, 3, "Metro SNPP", 1, 20}, {"Unknown (12)", "", "Error", "20"}},
        {{-5, std::nullopt, 0, std::nullopt, 0, 0}, {"Unknown (-5)", "", "Queued", "0"}},
        // A status the table does not know reads empty.
        {{1, "A", 2, "B", 99, 4}, {"A", "B", "", "4"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MessageRowTexts(c.facts, kStatusTexts), c.want);
    }
}

TEST(tvEngineReporterTest, WritesIntoTheAttachedControlsAndNamesTheLogColumns) {
    cvStatusStatic status_line;
    cvLogBox message_log(cvLogOrder::kNewestFirst);
    cvLogBox comm_log(cvLogOrder::kOldestFirst);
    tvEngineReporter reporter(MessageStatusValues());
    reporter.Attach(&status_line, &message_log, &comm_log);

    reporter.SetStatusLine("Looking for Messages");
    reporter.LogInfo("Tolvane Ready (No Host Mode)");
    reporter.LogMessageRow({7, "Pager 7", 2, "Net 2", 3, 3}, "awaiting delivery");
    reporter.LogComm("->", "PAGE 1234");
    reporter.LogComm("<-", "250 OK");

    EXPECT_EQ(status_line.Text(), "Looking for Messages");
    EXPECT_EQ(Headers(message_log), (std::vector<std::string>{"Timestamp", "Device", "Service",
                                                              "Status", "Attempts", "Info"}));
    EXPECT_EQ(Headers(comm_log), (std::vector<std::string>{"Timestamp", "I/O", "Info"}));
    EXPECT_EQ(Cells(message_log),
              (std::vector<std::vector<std::string>>{
                  {"Pager 7", "Net 2", "Sent/Pending", "3", "awaiting delivery"},
                  {"", "", "", "", "Tolvane Ready (No Host Mode)"}}));
    EXPECT_EQ(Cells(comm_log),
              (std::vector<std::vector<std::string>>{{"->", "PAGE 1234"}, {"<-", "250 OK"}}));
}

TEST(tvEngineReporterTest, MissingOrDetachedControlsTakeNothing) {
    cvStatusStatic status_line("Ready");
    cvLogBox message_log;
    tvEngineReporter reporter;
    reporter.SetStatusLine("nobody attached");
    reporter.LogInfo("nobody attached");

    reporter.Attach(nullptr, &message_log, nullptr);
    reporter.SetStatusLine("no line");
    reporter.LogComm("--", "no comm log");
    reporter.LogInfo("kept");
    EXPECT_EQ(message_log.RowCount(), 1u);

    reporter.Attach(&status_line, nullptr, nullptr);
    reporter.LogInfo("detached");
    status_line.Close();
    reporter.SetStatusLine("window gone");
    EXPECT_EQ(message_log.RowCount(), 1u);
    EXPECT_EQ(status_line.Text(), "Ready");
}

}  // namespace

// The Server view closes while the engine thread is in the middle of a report: it
// detaches its controls and destroys them at once. A report that had already picked
// up a control must be over before the detach returns.
TEST(tvEngineReporterRaceTest, ControlsMayBeDestroyedAsSoonAsTheyAreDetached) {
    tvEngineReporter reporter(MessageStatusValues());
    std::atomic<bool> done{false};
    std::vector<std::thread> writers;
    for (int i = 0; i < 2; ++i) {
        writers.emplace_back([&] {
            while (!done.load()) {
                reporter.SetStatusLine("Sending Message");
                reporter.LogInfo("a row of the message log");
                reporter.LogComm("->", "a row of the communications log");
            }
        });
    }
    for (int round = 0; round < 300; ++round) {
        auto status_line = std::make_unique<cvStatusStatic>();
        auto message_log = std::make_unique<cvLogBox>(cvLogOrder::kNewestFirst);
        auto comm_log = std::make_unique<cvLogBox>(cvLogOrder::kOldestFirst);
        reporter.Attach(status_line.get(), message_log.get(), comm_log.get());
        std::this_thread::yield();
        reporter.Attach(nullptr, nullptr, nullptr);
        // Destroyed at once, as a closing window does.
        status_line.reset();
        message_log.reset();
        comm_log.reset();
    }
    done.store(true);
    for (std::thread& writer : writers) {
        writer.join();
    }
    // Nothing is written into detached controls: a fresh set sees only new rows.
    cvLogBox message_log(cvLogOrder::kNewestFirst);
    reporter.Attach(nullptr, &message_log, nullptr);
    EXPECT_EQ(message_log.RowCount(), 0u);
    reporter.LogInfo("after");
    EXPECT_EQ(message_log.RowCount(), 1u);
    reporter.Attach(nullptr, nullptr, nullptr);
}
