#include "OstrelView.h"

#include "QualityText.h"
#include "ServerTableScan.h"
#include "Text.h"

#include <algorithm>
#include <utility>
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
    m_rows.clear();
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

void COstrelView::ShowRows(std::vector<std::vector<std::wstring>> rows) {
    m_rows = std::move(rows);
    SetRowCount(m_rows.size());
}

void COstrelView::SetRowCount(size_t count) {
    // The list keeps no text of its own: every cell is asked for when it is
    // drawn (LVN_GETDISPINFO), so a count is all a new content takes.
    ::SendMessageW(m_list, LVM_SETITEMCOUNT, static_cast<WPARAM>(count), 0);
    ::InvalidateRect(m_list, nullptr, TRUE);
}

std::wstring COstrelView::CellText(int row, int column) const {
    if (row < 0 || column < 0) return std::wstring();
    if (m_listMode == kSelectionGroup) {
        const COstrelDoc* document = Doc();
        const CGroup* group = document ? document->Selection().group : nullptr;
        if (!group || static_cast<size_t>(row) >= group->m_items.size()) return std::wstring();
        const CItem& item = *group->m_items[static_cast<size_t>(row)];
        switch (column) {
        case 0: return fw::Widen(item.m_itemId);
        case 1: return fw::Widen(item.m_valueText);
        case 2: return fw::Widen(QualityText(item.m_quality));
        default: return std::wstring();
        }
    }
    if (static_cast<size_t>(row) >= m_rows.size() || static_cast<size_t>(column) >= m_rows[row].size())
        return std::wstring();
    return m_rows[row][column];
}

void COstrelView::OnGetDisplayInfo(NMLVDISPINFOW& info) const {
    LVITEMW& cell = info.item;
    if (!(cell.mask & LVIF_TEXT) || !cell.pszText || cell.cchTextMax <= 0) return;
    const std::wstring text = CellText(cell.iItem, cell.iSubItem);
    ::lstrcpynW(cell.pszText, text.c_str(), cell.cchTextMax);
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
    std::vector<std::vector<std::wstring>> rows;
    for (const std::wstring& wide : progIds)
        rows.push_back({wide, fw::Widen(ReadServerDescription(fw::Narrow(wide)))});
    ShowRows(std::move(rows));
}

void COstrelView::ShowItems(const CGroup* group) {
    if (m_listMode != kSelectionGroup) {
        Clear();
        InsertColumn(0, "Item Name");
        InsertColumn(1, "Value");
        InsertColumn(2, "Quality");
    }
    m_listMode = kSelectionGroup;
    m_rows.clear();
    ::SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0);
    if (group) {
        SetRowCount(group->m_items.size());
        RefreshValues(true);
    }
}

void COstrelView::ShowConnections(const ServerTable& table) {
    Clear();
    InsertColumn(0, "OPC Server");
    // The connections the tree shows, by the ProgIDs their nodes show.
    std::vector<std::vector<std::wstring>> rows;
    for (const auto& entry : table)
        if (entry->m_node) rows.push_back({fw::Widen(entry->m_progId)});
    ShowRows(std::move(rows));
}

void COstrelView::ShowGroups(const CServer* entry) {
    Clear();
    InsertColumn(0, "Group name");
    InsertColumn(1, "Update rate");
    InsertColumn(2, "Active status");
    if (!entry) return;
    // The groups the tree shows, by the names their nodes show.
    std::vector<std::vector<std::wstring>> rows;
    for (const auto& group : entry->m_groups) {
        if (!group->m_node) continue;
        rows.push_back({fw::Widen(group->m_name), std::to_wstring(group->m_updateRate),
                        group->m_active ? L"Active" : L"Passive"});
    }
    ShowRows(std::move(rows));
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
    if (!m_list || !group || m_listMode != kSelectionGroup) return;
    const size_t count = group->m_items.size();
    if (static_cast<size_t>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)) != count) {
        SetRowCount(count);
        full = true;
    }
    // Cells are drawn from the model, so only the rows on screen need
    // drawing again, and only those whose value or quality changed; the
    // others show the new texts whenever they are scrolled to.
    const size_t top = static_cast<size_t>(::SendMessageW(m_list, LVM_GETTOPINDEX, 0, 0));
    const size_t end = std::min(count, top + static_cast<size_t>(::SendMessageW(m_list, LVM_GETCOUNTPERPAGE, 0, 0)) + 1);
    if (full) ::InvalidateRect(m_list, nullptr, FALSE);
    for (size_t row = 0; row < count; ++row) {
        CItem& item = *group->m_items[row];
        const bool changed = item.m_changed || item.m_quality != item.m_shownQuality;
        if (changed && !full && row >= top && row < end)
            ::SendMessageW(m_list, LVM_REDRAWITEMS, row, row);
        item.m_shownQuality = item.m_quality;
        item.m_changed = FALSE;
    }
}

LRESULT COstrelView::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        m_list = ::CreateWindowExW(0, WC_LISTVIEWW, nullptr,
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS | LVS_OWNERDATA, 0, 0,
                                   0, 0,
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
        if (!header || !m_list || header->hwndFrom != m_list) break;
        if (header->code == LVN_GETDISPINFOW) {
            OnGetDisplayInfo(*reinterpret_cast<NMLVDISPINFOW*>(lp));
            return 0;
        }
        if (header->code == LVN_ITEMCHANGED || header->code == LVN_ODSTATECHANGED) ReportSelectedItem();
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
