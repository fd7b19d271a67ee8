#pragma once
// A log box: the rows of one scrolling log of the Server view, kept as text so that
// the engine thread can write into it while the user-interface thread shows it.
//
// Every row has a leading "Timestamp" cell, one cell per column the writer named and
// a trailing "Info" cell. The columns are created by the first write. A row is
// inserted at the top (newest first) or at the bottom (oldest first); before the
// insert, rows are deleted from the other end until the new row fits under the cap,
// so the box never holds more than the cap and always loses its oldest rows.
//
// Column widths are kept in characters: a column starts as wide as its header plus a
// margin of two characters and widens whenever a cell plus the margin is wider; it
// never narrows. The viewer (the GUI) tells the box whether it shows the edge where
// new rows arrive (the top row for newest first, the last row for oldest first); a
// row added while the viewer is at the edge is to be scrolled into view, a row added
// while the operator has scrolled away is not.
//
// Threads: every operation may be called from any thread. `mutex_` guards the rows,
// columns and settings and is held for the whole of one update (columns, trimming,
// insert, widths, scroll decision). After an update the listener is told, outside
// `mutex_` but under `notify_mutex_`, so listeners see the updates one at a time and
// in the order they were made; a listener may read the box but must not write into
// it.

#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

enum class cvLogOrder {
    kNewestFirst,  // new rows at the top; the bottom row goes over the cap
    kOldestFirst,  // new rows at the bottom; the top row goes over the cap
};

struct cvLogColumn {
    std::string header;
    size_t width = 0;  // in characters, margin included
    bool operator==(const cvLogColumn&) const = default;
};

// What one added row changed, handed to the listener.
struct cvLogBoxUpdate {
    std::vector<std::string> row;                 // every cell of the new row, "Timestamp" first
    cvLogOrder order = cvLogOrder::kNewestFirst;  // the new row is the first row or the last
    size_t removed = 0;    // rows deleted before the insert, at the end away from it
    size_t row_count = 0;  // rows held after the update
    bool columns_created = false;
    bool columns_widened = false;
    std::vector<cvLogColumn> columns;  // every column after the update
    bool scroll_to_new_row = false;    // the viewer was at the edge
};

class cvLogBox {
  public:
    using Listener = std::function<void(const cvLogBoxUpdate& update)>;

    static constexpr size_t kDefaultCap = 100;
    // Characters added to a header or cell for the column's width (the text "AB").
    static constexpr size_t kWidthMargin = 2;
    static constexpr const char* kTimestampHeader = "Timestamp";
    static constexpr const char* kInfoHeader = "Info";

    explicit cvLogBox(cvLogOrder order = cvLogOrder::kNewestFirst);
    cvLogBox(const cvLogBox&) = delete;
    cvLogBox& operator=(const cvLogBox&) = delete;

    // Names the columns between "Timestamp" and "Info". Returns false and changes
    // nothing once the first row has created the columns.
    [[nodiscard]] bool SetColumns(std::vector<std::string> names);
    // The most rows kept (at least 1); rows over a lowered cap go at the next add.
    void SetCap(size_t rows);
    size_t Cap() const;
    cvLogOrder Order() const { return order_; }

    // Adds one row: the current local time, then the values in column order. Values
    // beyond the named columns and "Info" are dropped; missing values leave the cells
    // empty.
    void AddRow(const std::vector<std::string>& values);
    // A row with empty named cells and the text in "Info".
    void AddInfo(const std::string& text);

    // The viewer reports whether it shows the edge where new rows arrive (initially
    // true).
    void SetViewerAtEdge(bool at_edge);
    bool ViewerAtEdge() const;

    // Replaces the listener (empty: none). Called after every added row.
    void SetListener(Listener listener);

    // Copies, in display order (top row first).
    std::vector<std::vector<std::string>> Rows() const;
    std::vector<cvLogColumn> Columns() const;
    size_t RowCount() const;

    // The timestamp text of a row, "%b%d %I:%M:%S%p" in English ("Mar07 01:05:09PM").
    static std::string TimestampText();
    // Characters in a UTF-8 text (each byte that does not continue a character).
    static size_t CharacterCount(const std::string& text);

  private:
    const cvLogOrder order_;

    mutable std::mutex mutex_;
    std::vector<std::string> names_;             // guarded by mutex_
    std::vector<cvLogColumn> columns_;           // guarded by mutex_; empty until the first row
    std::deque<std::vector<std::string>> rows_;  // guarded by mutex_; display order
    size_t cap_ = kDefaultCap;                   // guarded by mutex_
    bool viewer_at_edge_ = true;                 // guarded by mutex_

    // Held from the start of an update until its listener returns, so that
    // notifications keep the order of the updates.
    std::mutex notify_mutex_;
    Listener listener_;  // guarded by notify_mutex_
};
