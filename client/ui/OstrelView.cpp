#include "OstrelView.h"

#include "QualityText.h"
#include "ServerTableScan.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr UINT kListControlId = 1;
constexpr int kColumnWidth = 200;

}  // namespace

COstrelDoc* COstrelView::Doc() const { return dynamic_cast<COstrelDoc*>(GetDocument()); }

int COstrelView::SelectedRow() const {
    if (!m_list) return -1;
    return static_cast<int>(::SendMessageW(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void COstrelView::ReportSelectedItem() {
    // Rows follow the group's items; a row of servers or groups names none.
    if (COstrelDoc* document = Doc()) document->SetSelectedItemIndex(m_listMode == kSelectionGroup ? SelectedRow() : -1);
}

void COstrelView::DeleteColumns() {
    while (::SendMessageW(m_list, LVM_DELETECOLUMN, 0, 0)) {
    }
}

void COstrelView::Clear() {
    if (!m_list) return;
    ::SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0);
    DeleteColumns();
}

void COstrelView::InsertColumn(int position, const char* title) {
    const std::wstring text = fw::Widen(title);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_CENTER;
    column.cx = kColumnWidth;
    column.pszText = const_cast<LPWSTR>(text.c_str());
    column.iSubItem = position;
    if (::SendMessageW(m_list, LVM_INSERTCOLUMNW, position, reinterpret_cast<LPARAM>(&column)) < 0)
        ::MessageBoxA(hwnd(), "Error", "Colomn Insert", MB_OK);
}

int COstrelView::AppendRow(const std::string& text) {
    const std::wstring wide = fw::Widen(text);
    LVITEMW row = {};
    row.mask = LVIF_TEXT;
    row.iItem = static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
    row.pszText = const_cast<LPWSTR>(wide.c_str());
    return static_cast<int>(::SendMessageW(m_list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));
}

void COstrelView::SetCell(int row, int column, const std::string& text) {
    const std::wstring wide = fw::Widen(text);
    LVITEMW cell = {};
    cell.iSubItem = column;
    cell.pszText = const_cast<LPWSTR>(wide.c_str());
    ::SendMessageW(m_list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
}

void COstrelView::ShowServers(const ServerTable& table) {
    Clear();
    InsertColumn(0, "OPC Server");
    InsertColumn(1, "Description");
    // One row per table entry, in the order the tree sorts its nodes: by
    // name, whatever the case.
    std::vector<std::wstring> progIds;
    for (const auto& entry : table) progIds.push_back(fw::Widen(entry->m_progId));
    std::stable_sort(progIds.begin(), progIds.end(),
                     [](const std::wstring& a, const std::wstring& b) { return ::lstrcmpiW(a.c_str(), b.c_str()) < 0; });
    for (const std::wstring& wide : progIds) {
        const std::string progId = fw::Narrow(wide);
        const int row = AppendRow(progId);
        SetCell(row, 1, ReadServerDescription(progId));
    }
}

void COstrelView::ShowItems(const CGroup* group) {
    ::SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0);
    if (m_listMode != kSelectionGroup) {
        DeleteColumns();
        InsertColumn(0, "Item Name");
        InsertColumn(1, "Value");
        InsertColumn(2, "Quality");
    }
    m_listMode = kSelectionGroup;
    if (group) {
        for (const auto& item : group->m_items) AppendRow(item->m_itemId);
        RefreshValues(true);
    }
}

void COstrelView::ShowConnections(const ServerTable& table) {
    Clear();
    InsertColumn(0, "OPC Server");
    // The connections the tree shows, by the ProgIDs their nodes show.
    for (const auto& entry : table)
        if (entry->m_node) AppendRow(entry->m_progId);
}

void COstrelView::ShowGroups(const CServer* entry) {
    Clear();
    InsertColumn(0, "Group name");
    InsertColumn(1, "Update rate");
    InsertColumn(2, "Active status");
    if (!entry) return;
    // The groups the tree shows, by the names their nodes show.
    for (const auto& group : entry->m_groups) {
        if (!group->m_node) continue;
        const int row = AppendRow(group->m_name);
        char rate[16];
        std::snprintf(rate, sizeof rate, "%d", static_cast<int>(group->m_updateRate));
        SetCell(row, 1, rate);
        SetCell(row, 2, group->m_active ? "Active" : "Passive");
    }
}

void COstrelView::OnUpdate(fw::View* sender, LPARAM hint, void* hintObject) {
    (void)sender;
    (void)hintObject;
    switch (hint) {
    case kHintValuesChanged:
        // Whichever group the values were for: the list shows the selected
        // group's, and another group's items keep their changed marks until
        // that group is selected.
        RefreshValues(false);
        return;
    case kHintConnectionAdded:
    case kHintGroupAdded:
    case kHintNodeRemoved:
        // Asked while the model is half-way through a change; the list is
        // told again once the change is complete.
        return;
    default:
        break;
    }
    const COstrelDoc* document = Doc();
    if (m_list && document) {
        const TreeSelection& selection = document->Selection();
        const ServerConnections& model = document->Model();
        switch (selection.kind) {
        case kSelectionServers:
            // Built once: its rows and the user's row selection stay while
            // the root stays selected.
            if (m_listMode != kSelectionServers) ShowServers(model.Table());
            break;
        case kSelectionGroup:
            ShowItems(selection.group);
            break;
        case kSelectionConfiguration:
            ShowConnections(model.Table());
            break;
        case kSelectionConnection:
            ShowGroups(model.Entry(selection.serverIndex));
            break;
        default:
            if (m_listMode != kSelectionNone) Clear();
            break;
        }
        m_listMode = selection.kind;
    }
    ReportSelectedItem();
}

void COstrelView::RefreshValues(bool full) {
    const COstrelDoc* document = Doc();
    CGroup* group = document ? document->Selection().group : nullptr;
    if (!m_list || !group) return;
    int row = 0;
    for (const auto& item : group->m_items) {
        if (full || item->m_changed) SetCell(row, 1, item->m_valueText);
        // A quality can change without the value text changing.
        if (full || item->m_quality != item->m_shownQuality) {
            SetCell(row, 2, QualityText(item->m_quality));
            item->m_shownQuality = item->m_quality;
        }
        item->m_changed = FALSE;
        ++row;
    }
}

LRESULT COstrelView::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        m_list = ::CreateWindowExW(0, WC_LISTVIEWW, nullptr,
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, 0, 0, 0, 0,
                                   hwnd(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kListControlId)),
                                   ::GetModuleHandleW(nullptr), nullptr);
        return m_list ? 0 : -1;
    case WM_SIZE:
        if (m_list) ::MoveWindow(m_list, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
    case WM_SETFOCUS:
        if (m_list) ::SetFocus(m_list);
        return 0;
    case WM_NOTIFY: {
        // The user's row selection (and a program's) is the document's to
        // act on.
        const auto* header = reinterpret_cast<const NMHDR*>(lp);
        if (header && m_list && header->hwndFrom == m_list && header->code == LVN_ITEMCHANGED) ReportSelectedItem();
        break;
    }
    case WM_NCDESTROY:
        m_list = nullptr;
        m_listMode = 0;
        break;
    default:
        break;
    }
    return fw::View::WindowProc(msg, wp, lp);
}
