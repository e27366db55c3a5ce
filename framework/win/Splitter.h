// A static splitter of one row: the panes sit side by side and keep the
// columns they were made in; the user drags the bar between two columns to
// share the width differently.  Each pane is a window made by the caller as
// a child of the splitter with the pane's ID.
#pragma once

#include "Window.h"

#include <windows.h>

#include <vector>

namespace fw {

class Splitter : public Window {
public:
    // Creates the splitter as a visible child `id` of parent with `columns`
    // panes; false when the window cannot be made.
    bool Create(HWND parent, int columns, UINT id);

    int Columns() const { return static_cast<int>(columns_.size()); }
    // The child ID the pane of `column` must have (IDW_PANE_FIRST + column).
    static UINT PaneId(int column);
    // The pane window of `column`, or null before it is made.
    HWND Pane(int column) const;

    // The width a column gets while the splitter is wide enough (ideal), and
    // below which it is hidden rather than squeezed (minimum).  The last
    // column takes what the others leave.
    void SetColumnInfo(int column, int ideal, int minimum);
    int ColumnWidth(int column) const;
    // Places the panes after their widths or the splitter's size changed.
    void RecalcLayout();

    static constexpr int kBarWidth = 6;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    struct Column {
        int ideal = 0;
        int minimum = 0;
        int shown = 0;  // width after the last layout
    };
    // The bar (the gap right of that column) under x, or -1.
    int BarAt(int x) const;
    int BarLeft(int column) const;

    std::vector<Column> columns_;
    int dragging_ = -1;    // the bar being dragged
    int dragOffset_ = 0;   // where in the bar it was taken
};

}  // namespace fw
