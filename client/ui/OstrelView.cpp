#include "OstrelView.h"

#include "Document.h"
#include "ServerTableScan.h"
#include "Text.h"

#include <cstdio>

namespace {

constexpr UINT kListControlId = 1;
constexpr int kColumnWidth = 200;

std::string QualityText(WORD quality) { return quality != 0 ? "Good" : "Bad"; }

}  // namespace

CObjTree* COstrelView::Tree() const {
    const fw::Document* document = GetDocument();
    return document && !document->Views().empty() ? dynamic_cast<CObjTree*>(document->Views().front()) : nullptr;
}

int COstrelView::SelectedRow() const {
    if (!m_list) return -1;
    return static_cast<int>(::SendMessageW(m_list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

CItem* COstrelView::SelectedItem() const {
    const CObjTree* tree = Tree();
    const int row = SelectedRow();
    if (!tree || m_listMode != kSelectionGroup || row < 0) return nullptr;
    CGroup* group = tree->GetSelectedGroup();
    if (!group || static_cast<size_t>(row) >= group->m_items.size()) return nullptr;
    return group->m_items[static_cast<size_t>(row)].get();
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

void COstrelView::ShowServers(CObjTree& tree) {
    Clear();
    InsertColumn(0, "OPC Server");
    InsertColumn(1, "Description");
    // The rows follow the tree's (sorted) order, one per table entry.
    const size_t count = tree.Model().Table().size();
    HTREEITEM node = tree.FirstChild(tree.ServersNode());
    for (size_t n = 0; n < count && node; ++n, node = tree.NextSibling(node)) {
        const std::string progId = tree.NodeText(node);
        const int row = AppendRow(progId);
        SetCell(row, 1, ReadServerDescription(progId));
    }
}

void COstrelView::ShowItems(CObjTree& tree) {
    ::SendMessageW(m_list, LVM_DELETEALLITEMS, 0, 0);
    if (m_listMode != kSelectionGroup) {
        DeleteColumns();
        InsertColumn(0, "Item Name");
        InsertColumn(1, "Value");
        InsertColumn(2, "Quality");
    }
    m_listMode = kSelectionGroup;
    if (CGroup* group = tree.GetSelectedGroup()) {
        for (const auto& item : group->m_items) AppendRow(item->m_itemId);
        RefreshValues(true);
    }
}

void COstrelView::ShowConnections(CObjTree& tree) {
    Clear();
    InsertColumn(0, "OPC Server");
    for (const auto& entry : tree.Model().Table())
        if (entry->m_node) AppendRow(tree.NodeText(reinterpret_cast<HTREEITEM>(entry->m_node)));
}

void COstrelView::ShowGroups(CObjTree& tree) {
    Clear();
    InsertColumn(0, "Group name");
    InsertColumn(1, "Update rate");
    InsertColumn(2, "Active status");
    const CServer* entry = tree.Model().Entry(tree.GetSelectedServerIndex());
    if (!entry) return;
    for (const auto& group : entry->m_groups) {
        if (!group->m_node) continue;
        const int row = AppendRow(tree.NodeText(reinterpret_cast<HTREEITEM>(group->m_node)));
        char rate[16];
        std::snprintf(rate, sizeof rate, "%d", static_cast<int>(group->m_updateRate));
        SetCell(row, 1, rate);
        SetCell(row, 2, group->m_active ? "Active" : "Passive");
    }
}

void COstrelView::OnUpdate(fw::View* sender) {
    (void)sender;
    CObjTree* tree = Tree();
    if (!m_list || !tree) return;
    const SelectionKind kind = tree->GetSelectionKind();
    switch (kind) {
    case kSelectionServers:
        // Built once: its rows and the user's row selection stay while the
        // root stays selected.
        if (m_listMode != kSelectionServers) ShowServers(*tree);
        break;
    case kSelectionGroup:
        ShowItems(*tree);
        break;
    case kSelectionConfiguration:
        ShowConnections(*tree);
        break;
    case kSelectionConnection:
        ShowGroups(*tree);
        break;
    default:
        if (m_listMode != kSelectionNone) Clear();
        break;
    }
    m_listMode = kind;
}

void COstrelView::RefreshValues(bool full) {
    const CObjTree* tree = Tree();
    CGroup* group = tree ? tree->GetSelectedGroup() : nullptr;
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
    case WM_NCDESTROY:
        m_list = nullptr;
        m_listMode = 0;
        break;
    default:
        break;
    }
    return fw::View::WindowProc(msg, wp, lp);
}
