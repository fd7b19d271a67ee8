#include "engine/cvlogbox.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "platform/core/clock.h"
#include "tests/support/scopedenv.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;

// The info cell (the last) of every row, top row first.
std::vector<std::string> InfoTexts(const cvLogBox& box) {
    std::vector<std::string> texts;
    for (const auto& row : box.Rows()) {
        texts.push_back(row.back());
    }
    return texts;
}

TEST(cvLogBoxTest, OverTheCapTheOldestRowGoesAndTheNewestSitsAtTheModesEdge) {
    struct Case {
        cvLogOrder order;
        const char* first_shown;  // top row after 501 rows
        const char* last_shown;   // bottom row
    };
    const Case cases[] = {
        {cvLogOrder::kNewestFirst, "row 501", "row 2"},
        {cvLogOrder::kOldestFirst, "row 2", "row 501"},
    };
    for (const Case& c : cases) {
        cvLogBox box(c.order);
        EXPECT_EQ(box.Cap(), 100u);
        box.SetCap(500);
        std::vector<size_t> removed;
        box.SetListener([&](const cvLogBoxUpdate& update) { removed.push_back(update.removed); });
        for (int i = 1; i <= 501; ++i) {
            box.AddInfo("row " + std::to_string(i));
        }
        const std::vector<std::string> texts = InfoTexts(box);
        ASSERT_EQ(texts.size(), 500u);
        EXPECT_EQ(texts.front(), c.first_shown);
        EXPECT_EQ(texts.back(), c.last_shown);
        // Nothing went before the 501st row; it took exactly one.
        EXPECT_EQ(removed[499], 0u);
        EXPECT_EQ(removed[500], 1u);
    }
}

TEST(cvLogBoxTest, LoweringTheCapTrimsAtTheNextRowAndTheCapIsAtLeastOne) {
    cvLogBox box(cvLogOrder::kOldestFirst);
    for (int i = 1; i <= 10; ++i) {
        box.AddInfo(std::to_string(i));
    }
    box.SetCap(3);
    EXPECT_EQ(box.RowCount(), 10u);
    box.AddInfo("11");
    EXPECT_EQ(InfoTexts(box), (std::vector<std::string>{"9", "10", "11"}));
    box.SetCap(0);
    EXPECT_EQ(box.Cap(), 1u);
    box.AddInfo("12");
    EXPECT_EQ(InfoTexts(box), std::vector<std::string>{"12"});
}

TEST(cvLogBoxTest, ColumnsAreTimestampNamedAndInfoCreatedByTheFirstRow) {
    cvLogBox box;
    ASSERT_TRUE(box.SetColumns({"Device", "Service"}));
    EXPECT_TRUE(box.Columns().empty());

    std::vector<cvLogBoxUpdate> updates;
    box.SetListener([&](const cvLogBoxUpdate& update) { updates.push_back(update); });
    box.AddRow({"pager", "net", "info", "dropped", "dropped too"});  // too many values
    box.AddRow({"only device"});                                     // too few
    box.AddInfo("just info");

    std::vector<std::string> headers;
    for (const cvLogColumn& column : box.Columns()) {
        headers.push_back(column.header);
    }
    EXPECT_EQ(headers, (std::vector<std::string>{"Timestamp", "Device", "Service", "Info"}));
    EXPECT_FALSE(box.SetColumns({"Other"}));  // too late: the columns exist

    const Rows rows = box.Rows();  // newest first
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(rows[2].begin() + 1, rows[2].end()),
              (std::vector<std::string>{"pager", "net", "info"}));
    EXPECT_EQ(std::vector<std::string>(rows[1].begin() + 1, rows[1].end()),
              (std::vector<std::string>{"only device", "", ""}));
    EXPECT_EQ(std::vector<std::string>(rows[0].begin() + 1, rows[0].end()),
              (std::vector<std::string>{"", "", "just info"}));

    ASSERT_EQ(updates.size(), 3u);
    EXPECT_TRUE(updates[0].columns_created);
    EXPECT_FALSE(updates[1].columns_created);
    EXPECT_EQ(updates[0].row, rows[2]);
}

TEST(cvLogBoxTest, ColumnsStartAtTheirHeaderAndWidenButNeverNarrow) {
    cvLogBox box;
    ASSERT_TRUE(box.SetColumns({"I/O"}));
    std::vector<cvLogBoxUpdate> updates;
    box.SetListener([&](const cvLogBoxUpdate& update) { updates.push_back(update); });

    box.AddRow({"->", "ab"});
    std::vector<cvLogColumn> columns = box.Columns();
    // A timestamp such as "Mar07 01:05:09PM" (16 characters) is wider than "Timestamp".
    EXPECT_EQ(columns[0].width, 16u + 2);
    EXPECT_EQ(columns[1], (cvLogColumn{"I/O", 3 + 2}));
    EXPECT_EQ(columns[2], (cvLogColumn{"Info", 4 + 2}));

    box.AddRow({"12345->", "a much longer text"});
    columns = box.Columns();
    EXPECT_EQ(columns[1].width, 7u + 2);
    EXPECT_EQ(columns[2].width, 18u + 2);
    EXPECT_TRUE(updates[1].columns_widened);

    box.AddRow({"<-", "x"});
    EXPECT_EQ(box.Columns(), columns);
    EXPECT_FALSE(updates[2].columns_widened);

    // Widths count characters, not bytes.
    box.AddRow({"--",
                "\xC3\xA9t\xC3\xA9 \xC3\xA9t\xC3\xA9 \xC3\xA9t\xC3\xA9 \xC3\xA9t\xC3\xA9 "
                "\xC3\xA9t\xC3\xA9"});
    EXPECT_EQ(box.Columns()[2].width, 19u + 2);
}

TEST(cvLogBoxTest, TimestampIsMonthDayAndTwelveHourTimeFromTheClock) {
    ScopedEnv tz("TZ", "UTC");
    struct Case {
        int month, day, hour, minute, second;
        const char* want;
    };
    const Case cases[] = {
        {3, 7, 13, 5, 9, "Mar07 01:05:09PM"},
        {1, 31, 0, 0, 0, "Jan31 12:00:00AM"},
        {12, 1, 12, 30, 59, "Dec01 12:30:59PM"},
        {10, 15, 11, 59, 1, "Oct15 11:59:01AM"},
    };
    for (const Case& c : cases) {
        platform::ManualClock clock(
            platform::MakeLocalTime(2024, c.month, c.day, c.hour, c.minute, c.second));
        platform::SetClock(&clock);
        cvLogBox box;
        box.AddInfo("x");
        EXPECT_EQ(box.Rows()[0][0], c.want);
        platform::SetClock(nullptr);
    }
}

TEST(cvLogBoxTest, NewRowsScrollIntoViewOnlyWhileTheViewerIsAtTheEdge) {
    for (const cvLogOrder order : {cvLogOrder::kNewestFirst, cvLogOrder::kOldestFirst}) {
        cvLogBox box(order);
        std::vector<bool> scrolled;
        box.SetListener(
            [&](const cvLogBoxUpdate& update) { scrolled.push_back(update.scroll_to_new_row); });
        box.AddInfo("seen");
        box.SetViewerAtEdge(false);  // the operator scrolled away
        box.AddInfo("not pulled back");
        box.AddInfo("still not");
        EXPECT_FALSE(box.ViewerAtEdge());
        box.SetViewerAtEdge(true);
        box.AddInfo("followed again");
        EXPECT_EQ(scrolled, (std::vector<bool>{true, false, false, true}));
    }
}

// Replays the updates the way a viewer would and checks it ends with the box's rows:
// every update says what went and where the new row went.
TEST(cvLogBoxTest, ConcurrentWritersTearNoRowAndListenersSeeTheUpdatesInOrder) {
    constexpr int kWriters = 4;
    constexpr int kRowsEach = 400;
    for (const cvLogOrder order : {cvLogOrder::kNewestFirst, cvLogOrder::kOldestFirst}) {
        cvLogBox box(order);
        ASSERT_TRUE(box.SetColumns({"A", "B", "C"}));
        box.SetCap(500);
        std::deque<std::vector<std::string>> mirror;
        size_t notified = 0;
        box.SetListener([&](const cvLogBoxUpdate& update) {
            ++notified;
            for (size_t i = 0; i < update.removed; ++i) {
                if (update.order == cvLogOrder::kNewestFirst) {
                    mirror.pop_back();
                } else {
                    mirror.pop_front();
                }
            }
            if (update.order == cvLogOrder::kNewestFirst) {
                mirror.push_front(update.row);
            } else {
                mirror.push_back(update.row);
            }
            EXPECT_EQ(mirror.size(), update.row_count);
        });

        std::vector<std::thread> writers;
        for (int w = 0; w < kWriters; ++w) {
            writers.emplace_back([&box, w] {
                for (int i = 0; i < kRowsEach; ++i) {
                    const std::string token = std::to_string(w) + ":" + std::to_string(i);
                    box.AddRow({token, token, token, token});
                }
            });
        }
        std::thread reader([&box] {
            for (int i = 0; i < 200; ++i) {
                static_cast<void>(box.Rows());
                static_cast<void>(box.Columns());
            }
        });
        for (std::thread& writer : writers) {
            writer.join();
        }
        reader.join();

        const Rows rows = box.Rows();
        ASSERT_EQ(rows.size(), 500u);
        for (const auto& row : rows) {
            ASSERT_EQ(row.size(), 5u);
            for (size_t i = 2; i < row.size(); ++i) {
                EXPECT_EQ(row[i], row[1]);
            }
        }
        EXPECT_EQ(notified, static_cast<size_t>(kWriters * kRowsEach));
        EXPECT_EQ(Rows(mirror.begin(), mirror.end()), rows);
    }
}

}  // namespace
