#include "Splitter.h"

#include "StandardIds.h"
#include "WindowClass.h"

#include <windowsx.h>

#include <algorithm>

namespace fw {

bool Splitter::Create(HWND parent, int columns, UINT id) {
    if (!parent || columns < 1) return false;
    columns_.assign(static_cast<size_t>(columns), Column{});
    const wchar_t* className =
        WindowClass::Get(L"Splitter", 0, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    if (!className) return false;
    RECT area = {};
    ::GetClientRect(parent, &area);
    return CreateWindowFor(0, className, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0, area.right,
                           area.bottom, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id))) != nullptr;
}

UINT Splitter::PaneId(int column) { return IDW_PANE_FIRST + static_cast<UINT>(column); }

HWND Splitter::Pane(int column) const {
    return hwnd() && column >= 0 && column < Columns() ? ::GetDlgItem(hwnd(), static_cast<int>(PaneId(column)))
                                                         : nullptr;
}

void Splitter::SetColumnInfo(int column, int ideal, int minimum) {
    if (column < 0 || column >= Columns()) return;
    columns_[static_cast<size_t>(column)].ideal = std::max(0, ideal);
    columns_[static_cast<size_t>(column)].minimum = std::max(0, minimum);
}

int Splitter::ColumnWidth(int column) const {
    return column >= 0 && column < Columns() ? columns_[static_cast<size_t>(column)].shown : 0;
}

int Splitter::BarLeft(int column) const {
    int x = 0;
    for (int c = 0; c <= column; ++c) x += columns_[static_cast<size_t>(c)].shown + (c < column ? kBarWidth : 0);
    return x;
}

int Splitter::BarAt(int x) const {
    for (int c = 0; c + 1 < Columns(); ++c) {
        const int left = BarLeft(c);
        if (x >= left && x < left + kBarWidth) return c;
    }
    return -1;
}

void Splitter::RecalcLayout() {
    if (!hwnd() || columns_.empty()) return;
    RECT area = {};
    ::GetClientRect(hwnd(), &area);
    int left = 0;
    for (int c = 0; c < Columns(); ++c) {
        Column& column = columns_[static_cast<size_t>(c)];
        const bool last = c + 1 == Columns();
        const int room = std::max(0, static_cast<int>(area.right) - left - (last ? 0 : kBarWidth));
        int width = last ? room : std::min(column.ideal, room);
        // A column squeezed below its minimum is not shown at all.
        if (width < column.minimum) width = 0;
        column.shown = width;
        if (HWND pane = Pane(c)) {
            ::ShowWindow(pane, width > 0 ? SW_SHOWNA : SW_HIDE);
            ::MoveWindow(pane, left, 0, width, area.bottom, TRUE);
        }
        left += width + (last ? 0 : kBarWidth);
    }
}

LRESULT Splitter::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        RecalcLayout();
        return 0;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wp) == hwnd() && LOWORD(lp) == HTCLIENT) {
            ::SetCursor(::LoadCursorA(nullptr, IDC_SIZEWE));
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN: {
        const int x = GET_X_LPARAM(lp);
        dragging_ = BarAt(x);
        if (dragging_ >= 0) {
            dragOffset_ = x - BarLeft(dragging_);
            ::SetCapture(hwnd());
        }
        return 0;
    }
    case WM_MOUSEMOVE:
        if (dragging_ >= 0 && (wp & MK_LBUTTON)) {
            // The dragged bar's left column takes the new width; the last
            // column absorbs the difference.
            const int columnLeft = dragging_ == 0 ? 0 : BarLeft(dragging_ - 1) + kBarWidth;
            const int width = std::max(0, GET_X_LPARAM(lp) - dragOffset_ - columnLeft);
            columns_[static_cast<size_t>(dragging_)].ideal = width;
            RecalcLayout();
        }
        return 0;
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
        if (dragging_ >= 0) {
            dragging_ = -1;
            if (msg == WM_LBUTTONUP) ::ReleaseCapture();
        }
        return 0;
    default:
        break;
    }
    return Window::WindowProc(msg, wp, lp);
}

}  // namespace fw
