#include "ObjTree.h"

#include "OstrelApp.h"
#include "Text.h"

namespace {

constexpr UINT kTreeControlId = 1;

HTREEITEM ItemOf(NodeHandle node) { return reinterpret_cast<HTREEITEM>(node); }
NodeHandle NodeOf(HTREEITEM item) { return reinterpret_cast<NodeHandle>(item); }

}  // namespace

CObjTree::~CObjTree() {
    // The model must not outlive the nodes it names; its connections end
    // while this object can still answer for them.
    DisconnectAll();
}

COstrelDoc* CObjTree::Doc() const { return dynamic_cast<COstrelDoc*>(GetDocument()); }

void CObjTree::DisconnectAll() {
    if (COstrelDoc* document = Doc()) document->Model().DisconnectAll();
}

HTREEITEM CObjTree::InsertNode(HTREEITEM parent, HTREEITEM after, const std::string& text, int image) {
    if (!m_tree) return nullptr;
    const std::wstring wide = fw::Widen(text);
    TVINSERTSTRUCTW insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    // Every node shows an expand button, even one without children yet.
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
    insert.item.pszText = const_cast<LPWSTR>(wide.c_str());
    insert.item.iImage = image;
    insert.item.iSelectedImage = image;
    insert.item.cChildren = 1;
    return reinterpret_cast<HTREEITEM>(::SendMessageW(m_tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

HTREEITEM CObjTree::Selected() const {
    if (!m_tree) return nullptr;
    return reinterpret_cast<HTREEITEM>(::SendMessageW(m_tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
}

HTREEITEM CObjTree::ParentOf(HTREEITEM node) const {
    if (!m_tree || !node) return nullptr;
    return reinterpret_cast<HTREEITEM>(
        ::SendMessageW(m_tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(node)));
}

void CObjTree::Expand(HTREEITEM node) {
    if (m_tree && node) ::SendMessageW(m_tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(node));
}

bool CObjTree::ParentIsConfiguration() const {
    const HTREEITEM selected = Selected();
    return selected && m_configuration && ParentOf(selected) == m_configuration;
}

bool CObjTree::GrandparentIsConfiguration() const {
    const HTREEITEM parent = ParentOf(Selected());
    return parent && m_configuration && ParentOf(parent) == m_configuration;
}

SelectionKind CObjTree::GetSelectionKind() const {
    const HTREEITEM selected = Selected();
    if (!selected) return kSelectionNone;
    if (selected == m_servers) return kSelectionServers;
    if (selected == m_configuration) return kSelectionConfiguration;
    if (ParentIsConfiguration()) return kSelectionConnection;
    if (GrandparentIsConfiguration()) return kSelectionGroup;
    return kSelectionNone;
}

int CObjTree::CaretServerIndex(const ServerConnections& model) const {
    const HTREEITEM selected = Selected();
    if (!selected || model.Table().empty()) return -1;
    // A connection is looked up itself, a group through its parent.
    HTREEITEM connection = nullptr;
    if (ParentIsConfiguration())
        connection = selected;
    else if (GrandparentIsConfiguration())
        connection = ParentOf(selected);
    if (!connection) return -1;
    return model.FindServerByNode(NodeOf(connection));
}

TreeSelection CObjTree::CaretSelection() const {
    TreeSelection selection;
    selection.kind = GetSelectionKind();
    if (const COstrelDoc* document = Doc()) {
        const ServerConnections& model = document->Model();
        selection.serverIndex = CaretServerIndex(model);
        selection.group = model.FindGroupByNode(selection.serverIndex, NodeOf(Selected()));
    }
    return selection;
}

void CObjTree::EnsureRoots() {
    if (!m_tree || m_servers) return;
    if (COstrelApp* app = TheOstrelApp())
        if (HIMAGELIST images = app->TreeImages())
            ::SendMessageW(m_tree, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(images));
    m_configuration = InsertNode(TVI_ROOT, TVI_LAST, "Configuration", kImageConfiguration);
    m_servers = InsertNode(TVI_ROOT, TVI_LAST, "OPC servers", kImageServers);
    // A caret that came to a root while it was being made was not yet known
    // as that root.
    ReportMovedCaret();
}

void CObjTree::OnInitialUpdate() {
    // The roots and the servers of the machine are made once per window; a
    // later new or opened document changes the table, not these nodes.  A
    // document opened as the program starts reconnects before this runs, so
    // the roots may already be there.
    EnsureRoots();
    const COstrelDoc* document = Doc();
    if (m_servers && !m_serversListed && document) {
        for (const auto& entry : document->Model().Table())
            InsertNode(m_servers, TVI_SORT, entry->m_progId, kImageAvailableServer);
        m_serversListed = true;
    }
    fw::View::OnInitialUpdate();
}

void CObjTree::OnUpdate(fw::View* sender, LPARAM hint, void* hintObject) {
    (void)sender;
    auto* change = static_cast<NodeChange*>(hintObject);
    switch (hint) {
    case kHintConnectionAdded:
        if (change) change->node = InsertConnectionNode(change->text);
        break;
    case kHintGroupAdded:
        if (change) change->node = InsertGroupNode(change->parent, change->text);
        break;
    case kHintNodeRemoved:
        if (change) DeleteNode(change->node);
        break;
    default:
        // The nodes follow the model as it changes; nothing to rebuild here.
        break;
    }
}

NodeHandle CObjTree::InsertConnectionNode(const std::string& progId) {
    EnsureRoots();
    const HTREEITEM node = InsertNode(m_configuration, TVI_SORT, progId, kImageConnection);
    Expand(m_configuration);
    return NodeOf(node);
}

NodeHandle CObjTree::InsertGroupNode(NodeHandle connection, const std::string& name) {
    const HTREEITEM node = InsertNode(ItemOf(connection), TVI_SORT, name, kImageGroup);
    Expand(ItemOf(connection));
    return NodeOf(node);
}

void CObjTree::DeleteNode(NodeHandle node) {
    if (m_tree && node) ::SendMessageW(m_tree, TVM_DELETEITEM, 0, static_cast<LPARAM>(node));
    // The record of a removed node goes next: the document must not keep
    // naming it, whether or not the control reported the caret's move.
    ReportMovedCaret();
}

void CObjTree::ReportMovedCaret() {
    COstrelDoc* document = Doc();
    if (!document) return;
    const TreeSelection now = CaretSelection();
    if (now != document->Selection()) document->SetSelection(now, this);
}

LRESULT CObjTree::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        m_tree = ::CreateWindowExW(0, WC_TREEVIEWW, nullptr,
                                   WS_CHILD | WS_VISIBLE | WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES |
                                       TVS_LINESATROOT | TVS_SHOWSELALWAYS,
                                   0, 0, 0, 0, hwnd(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kTreeControlId)),
                                   ::GetModuleHandleW(nullptr), nullptr);
        return m_tree ? 0 : -1;
    case WM_SIZE:
        if (m_tree) ::MoveWindow(m_tree, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
    case WM_SETFOCUS:
        if (m_tree) ::SetFocus(m_tree);
        return 0;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lp);
        // The document keeps the selection; the other views follow it.
        if (header && header->hwndFrom == m_tree && (header->code == TVN_SELCHANGEDW || header->code == TVN_SELCHANGEDA))
            if (COstrelDoc* document = Doc()) document->SetSelection(CaretSelection(), this);
        return 0;
    }
    case WM_DESTROY:
        // The nodes go with the window: the model must not point at them.
        DisconnectAll();
        break;
    case WM_NCDESTROY:
        m_tree = nullptr;
        m_configuration = m_servers = nullptr;
        m_serversListed = false;
        break;
    default:
        break;
    }
    return fw::View::WindowProc(msg, wp, lp);
}
