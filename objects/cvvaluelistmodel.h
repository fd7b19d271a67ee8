#pragma once
// What a drop-down list bound to a value table holds, apart from drawing it: the
// lines filled from the table (each with its entry's value), an optional acceptance
// test that chooses which values are offered, and the selected line. The widget shows
// the lines, sizes its drop-down part to the widest text and maps the user's choice to
// SetSelectedIndex; everything the program asks of the list is answered here.
//
// A model belongs to the user-interface thread.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "objects/cvvaluetable.h"

class cvValueListModel {
  public:
    // True offers the value; an empty test offers every entry.
    using AcceptTest = std::function<bool(int32_t value)>;

    struct Line {
        std::string text;
        int32_t value = 0;
    };

    // Empties the list, then adds in table order the text of every entry the test
    // accepts, each with its value. The table is kept for Refill (by reference: tables
    // are the program's constants). Nothing stays selected. Returns true: a line held in
    // memory is always added (the widget reports lines it could not show).
    bool Fill(cvValueTable table, AcceptTest test = {});
    // Fill from the table last given (an empty list before any).
    bool Refill(AcceptTest test = {});

    int Count() const { return static_cast<int>(lines_.size()); }
    const std::vector<Line>& Lines() const { return lines_; }
    // The text and value of a line; empty and 0 out of range.
    std::string TextAt(int index) const;
    int32_t ValueAt(int index) const;
    // The number of characters of the longest text (the widget measures the widest).
    size_t LongestText() const;

    // The selected line, or -1.
    int SelectedIndex() const { return selected_; }
    // Selects a line (-1 or any index out of range: none).
    void SetSelectedIndex(int index);
    // The value of the selected line, 0 when nothing is selected.
    int32_t SelectedValue() const;
    // Selects the first line with that value, or the first line when none has it.
    // Returns the selected index, -1 for an empty list.
    int SelectValue(int32_t value);

  private:
    std::vector<Line> lines_;
    cvValueTable table_;
    int selected_ = -1;
};
