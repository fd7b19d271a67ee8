#include "engine/cvlogbox.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/core/clock.h"

namespace {

// English abbreviations, so that the timestamp reads the same whatever locale the
// program runs under.
constexpr const char* kMonthNames[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

size_t WidthOf(const std::string& text) {
    return cvLogBox::CharacterCount(text) + cvLogBox::kWidthMargin;
}

}  // namespace

cvLogBox::cvLogBox(cvLogOrder order) : order_(order) {}

bool cvLogBox::SetColumns(std::vector<std::string> names) {
    std::lock_guard lock(mutex_);
    if (!columns_.empty()) {
        return false;
    }
    names_ = std::move(names);
    return true;
}

void cvLogBox::SetCap(size_t rows) {
    std::lock_guard lock(mutex_);
    cap_ = std::max<size_t>(rows, 1);
}

size_t cvLogBox::Cap() const {
    std::lock_guard lock(mutex_);
    return cap_;
}

void cvLogBox::AddRow(const std::vector<std::string>& values) {
    std::lock_guard notify_lock(notify_mutex_);
    cvLogBoxUpdate update;
    {
        std::lock_guard lock(mutex_);
        if (columns_.empty()) {
            columns_.push_back({kTimestampHeader, WidthOf(kTimestampHeader)});
            for (const std::string& name : names_) {
                columns_.push_back({name, WidthOf(name)});
            }
            columns_.push_back({kInfoHeader, WidthOf(kInfoHeader)});
            update.columns_created = true;
        }

        while (rows_.size() >= cap_) {
            if (order_ == cvLogOrder::kNewestFirst) {
                rows_.pop_back();
            } else {
                rows_.pop_front();
            }
            ++update.removed;
        }

        std::vector<std::string> row(columns_.size());
        row[0] = TimestampText();
        const size_t kept = std::min(values.size(), columns_.size() - 1);
        std::copy_n(values.begin(), kept, row.begin() + 1);

        for (size_t i = 0; i < row.size(); ++i) {
            const size_t width = WidthOf(row[i]);
            if (width > columns_[i].width) {
                columns_[i].width = width;
                update.columns_widened = true;
            }
        }

        update.scroll_to_new_row = viewer_at_edge_;
        if (order_ == cvLogOrder::kNewestFirst) {
            rows_.push_front(row);
        } else {
            rows_.push_back(row);
        }
        update.row = std::move(row);
        update.order = order_;
        update.row_count = rows_.size();
        update.columns = columns_;
    }
    if (listener_) {
        listener_(update);
    }
}

void cvLogBox::AddInfo(const std::string& text) {
    std::vector<std::string> values;
    {
        std::lock_guard lock(mutex_);
        values.resize(names_.size());
    }
    values.push_back(text);
    AddRow(values);
}

void cvLogBox::SetViewerAtEdge(bool at_edge) {
    std::lock_guard lock(mutex_);
    viewer_at_edge_ = at_edge;
}

bool cvLogBox::ViewerAtEdge() const {
    std::lock_guard lock(mutex_);
    return viewer_at_edge_;
}

void cvLogBox::SetListener(Listener listener) {
    std::lock_guard notify_lock(notify_mutex_);
    listener_ = std::move(listener);
}

std::vector<std::vector<std::string>> cvLogBox::Rows() const {
    std::lock_guard lock(mutex_);
    return {rows_.begin(), rows_.end()};
}

std::vector<cvLogColumn> cvLogBox::Columns() const {
    std::lock_guard lock(mutex_);
    return columns_;
}

size_t cvLogBox::RowCount() const {
    std::lock_guard lock(mutex_);
    return rows_.size();
}

std::string cvLogBox::TimestampText() {
    const std::tm now = platform::LocalNow();
    const int hour12 = now.tm_hour % 12 == 0 ? 12 : now.tm_hour % 12;
    char text[32];
    std::snprintf(text, sizeof text, "%s%02d %02d:%02d:%02d%s", kMonthNames[now.tm_mon % 12],
                  now.tm_mday, hour12, now.tm_min, now.tm_sec, now.tm_hour < 12 ? "AM" : "PM");
    return text;
}

size_t cvLogBox::CharacterCount(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}
