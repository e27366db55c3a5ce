#include "AddItemDialog.h"

#include "ComPtr.h"
#include "DataExchange.h"
#include "TaskMem.h"
#include "Text.h"
#include "resource.h"

namespace {

// Posted on a click in the tree: the tree changes its selection only after
// it has told us of the click, so the selection is read once it has.
constexpr UINT kFillFromSelection = WM_APP + 1;

void RegisterTreeClass() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_TREEVIEW_CLASSES};
        return ::InitCommonControlsEx(&controls) != FALSE;
    }();
    (void)registered;
}

}  // namespace

AddItemDialog::AddItemDialog(IOPCBrowseServerAddressSpace* browse, int mode)
    : fw::Dialog(IDD_ADD_ITEM), mode(mode), browse_(browse) {
    RegisterTreeClass();
}

bool AddItemDialog::OnInitDialog() {
    tree_ = ::GetDlgItem(hwnd(), IDC_BROWSE_TREE);
    if (browse_) {
        // Our own reference for the walk: the caller's may go while we use it.
        fw::ComPtr<IOPCBrowseServerAddressSpace> hold(browse_);
        const HTREEITEM root = Insert(TVI_ROOT, "root");
        FillBelow(root, 0);
        ::SendMessageW(tree_, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(root));
    }
    browse_ = nullptr;
    itemId.clear();
    if (mode == kValidating) {
        ::SetWindowTextW(hwnd(), L"Validate Item");
        ::EnableWindow(::GetDlgItem(hwnd(), IDC_ADD_ALL), FALSE);
    }
    return true;
}

HTREEITEM AddItemDialog::Insert(HTREEITEM parent, const std::string& text) {
    const std::wstring wide = fw::Widen(text);
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<LPWSTR>(wide.c_str());
    return reinterpret_cast<HTREEITEM>(::SendMessageW(tree_, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

// The fully qualified ID the server gives for a name at the current position,
// in the ANSI code page the client keeps its text in.  A server that cannot
// name it gets the browse name itself shown: for the flat servers that fail
// here that is the item ID, and it is the best guess the user can still edit.
std::string AddItemDialog::NodeText(LPWSTR name) {
    LPWSTR id = nullptr;
    const HRESULT hr = browse_->GetItemID(name, &id);
    fw::TaskMemPtr<wchar_t> owned(id);
    return fw::Narrow(SUCCEEDED(hr) && id ? id : name);
}

void AddItemDialog::FillBelow(HTREEITEM node, int depth) {
    // Branches first, each filled before the next: DOWN into it, ask its ID
    // from inside, walk it, and come back UP, so the server's position is
    // where it was when we are done.
    fw::ComPtr<IEnumString> names;
    if (depth < kMaxDepth && browse_->BrowseOPCItemIDs(OPC_BRANCH, L"", VT_EMPTY, 0, names.put()) == S_OK && names) {
        for (;;) {
            LPOLESTR name = nullptr;
            ULONG fetched = 0;
            const HRESULT hr = names->Next(1, &name, &fetched);
            fw::TaskMemPtr<wchar_t> owned(name);
            if (hr != S_OK || fetched != 1 || !name) break;
            if (browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, name) != S_OK) continue;
            const HTREEITEM branch = Insert(node, NodeText(name));
            FillBelow(branch, depth + 1);
            browse_->ChangeBrowsePosition(OPC_BROWSE_UP, L"");
        }
    }
    names.reset();
    if (browse_->BrowseOPCItemIDs(OPC_LEAF, L"", VT_EMPTY, 0, names.put()) == S_OK && names) {
        names->Reset();
        for (;;) {
            LPOLESTR name = nullptr;
            ULONG fetched = 0;
            const HRESULT hr = names->Next(1, &name, &fetched);
            fw::TaskMemPtr<wchar_t> owned(name);
            if (hr != S_OK || fetched != 1 || !name) break;
            Insert(node, NodeText(name));
        }
    }
}

void AddItemDialog::DoDataExchange(fw::DataExchange& dx) { dx.Text(IDC_ITEM_ID, itemId); }

void AddItemDialog::OnOK() {
    if (!UpdateData(true)) return;
    addAll = FALSE;
    EndDialog(IDOK);
}

bool AddItemDialog::OnCommand(UINT id) {
    if (id != IDC_ADD_ALL) return false;
    // The button is disabled while validating; a stray command must not
    // turn a validation into adding everything.
    if (mode == kValidating) return true;
    addAll = TRUE;
    EndDialog(IDOK);
    return true;
}

bool AddItemDialog::OnMessage(UINT msg, WPARAM, LPARAM lp, INT_PTR& result) {
    if (msg == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(lp);
        if (header->idFrom != IDC_BROWSE_TREE || (header->code != NM_CLICK && header->code != NM_DBLCLK)) return false;
        ::PostMessageW(hwnd(), kFillFromSelection, 0, 0);
        result = 0;  // the tree goes on as usual: selects, expands or collapses
        return true;
    }
    if (msg == kFillFromSelection) {
        FillItemIdFromSelection();
        result = TRUE;
        return true;
    }
    return false;
}

// A node without children (a leaf, or a branch that turned out empty) names
// an item; "root" never does.
void AddItemDialog::FillItemIdFromSelection() {
    const auto selected = reinterpret_cast<HTREEITEM>(::SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_CARET, 0));
    if (!selected) return;
    if (!::SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(selected))) return;
    if (::SendMessageW(tree_, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(selected))) return;
    wchar_t text[1024] = {};
    TVITEMW item = {};
    item.mask = TVIF_TEXT;
    item.hItem = selected;
    item.pszText = text;
    item.cchTextMax = static_cast<int>(sizeof text / sizeof text[0]);
    if (!::SendMessageW(tree_, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return;
    ::SetDlgItemTextW(hwnd(), IDC_ITEM_ID, text);
}
