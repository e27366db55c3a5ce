// The OSTREL program in the test's own process: its application object
// starts as the program does (OLE, image strip, template, a new document),
// its main window is driven by window messages, its dialogs are filled and
// closed from a watcher thread, and VELMORA_OPC is the server it connects to
// across processes.  The fixture and the readers of the tree and list
// controls shared by the program's test files.
#pragma once

#include "AddItemDialog.h"
#include "DialogWatcher.h"
#include "MainFrame.h"
#include "ObjTree.h"
#include "OstrelApp.h"
#include "OstrelDoc.h"
#include "OstrelResource.h"
#include "OstrelView.h"
#include "SingleDocTemplate.h"
#include "resource.h"

#include "MessageBoxWatcher.h"
#include "Processes.h"
#include "WineTest.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <dlgs.h>

#include <algorithm>
#include <fstream>
#include <future>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ostreltest {

using frameworktest::DialogSeen;
using frameworktest::DialogWatcher;

constexpr const char* kVelmora = "Velmora.VelmoraOPC.1";
constexpr const char* kVelmoraExe = "VELMORA_OPC.exe";
// MessageBoxA with no caption of its own shows the system's default one;
// this is what Wine shows.
constexpr const char* kDefaultCaption = "Error";
// The program's title: the caption of its own messages and of its frame.
constexpr const char* kProgramTitle = "Ostrel";
// A server starting under Wine takes its time; boxes that follow a
// connection wait as long.
constexpr DWORD kServerWaitMs = 60000;

struct Node {
    HTREEITEM handle = nullptr;
    std::string text;
    int image = -1;
    int selectedImage = -1;
    int children = -1;
};

inline Node ReadNode(HWND tree, HTREEITEM item) {
    char text[256] = {};
    TVITEMA tv = {};
    tv.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_HANDLE;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = sizeof text;
    Node node;
    node.handle = item;
    if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&tv))) return node;
    node.text = text;
    node.image = tv.iImage;
    node.selectedImage = tv.iSelectedImage;
    node.children = tv.cChildren;
    return node;
}

// The children of `parent` (TVI_ROOT: the roots) in tree order.
inline std::vector<Node> Children(HWND tree, HTREEITEM parent) {
    std::vector<Node> nodes;
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageA(
        tree, TVM_GETNEXTITEM, parent == TVI_ROOT ? TVGN_ROOT : TVGN_CHILD, reinterpret_cast<LPARAM>(parent)));
    while (item) {
        nodes.push_back(ReadNode(tree, item));
        item = reinterpret_cast<HTREEITEM>(SendMessageA(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    return nodes;
}

inline std::vector<std::string> Texts(const std::vector<Node>& nodes) {
    std::vector<std::string> texts;
    for (const Node& node : nodes) texts.push_back(node.text);
    return texts;
}

inline std::vector<std::string> ItemIds(const CGroup& group) {
    std::vector<std::string> ids;
    for (const auto& item : group.m_items) ids.push_back(item->m_itemId);
    return ids;
}

inline std::vector<OPCHANDLE> ClientHandles(const CGroup& group) {
    std::vector<OPCHANDLE> handles;
    for (const auto& item : group.m_items) handles.push_back(item->m_hClient);
    return handles;
}

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string WindowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

// The tests' own OPC servers (the branch server's classes), registered once.
inline bool RegisterBranchServers() {
    static const bool registered =
        testsupport::RunToEnd("\"" + testsupport::BinPath("branch_opc_server.exe") + "\" /RegServer", 60000) == 0;
    return registered;
}

// Removes a pending quit message (a destroyed main frame posts one).
inline void TakeQuitMessage() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
}

inline bool RegisterVelmora() {
    static const bool registered =
        testsupport::RunToEnd("\"" + testsupport::BinPath(kVelmoraExe) + "\" /RegServer", 60000) == 0;
    return registered;
}

// A message box watched from a thread of its own while the test's thread
// runs the command that shows it.
inline std::future<std::optional<testsupport::MessageBoxSeen>> WatchBox(const char* caption, DWORD timeoutMs) {
    return std::async(std::launch::async, [caption, timeoutMs] { return testsupport::WaitForMessageBox(caption, timeoutMs); });
}

class OstrelProgram : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(RegisterVelmora());
        TakeQuitMessage();
        app_ = std::make_unique<COstrelApp>();
        ASSERT_TRUE(app_->InitInstance());
        frame_ = dynamic_cast<CMainFrame*>(app_->MainFrame());
        ASSERT_NE(nullptr, frame_);
        tree_ = frame_->Tree();
        ASSERT_NE(nullptr, tree_);
        testsupport::PumpMessages(0);
    }

    void TearDown() override {
        if (app_) {
            app_->ExitInstance();
            TakeQuitMessage();
            app_.reset();
        }
        EXPECT_TRUE(testsupport::WaitForNoProcess(kVelmoraExe, 20000)) << "a connection outlived the program";
    }

    COstrelDoc* Doc() const { return dynamic_cast<COstrelDoc*>(app_->Template()->GetDocument()); }
    HWND Tree() const { return tree_->TreeControl(); }
    ServerConnections& Model() const { return Doc()->Model(); }

    int VelmoraIndex() const {
        const ServerTable& table = Model().Table();
        for (size_t i = 0; i < table.size(); ++i)
            if (table[i]->m_progId == kVelmora) return static_cast<int>(i);
        return -1;
    }
    CServer* Velmora() const { return Model().Entry(VelmoraIndex()); }

    // Sends a menu command the way the menu bar does.
    void Command(UINT id) { SendMessageW(frame_->hwnd(), WM_COMMAND, MAKEWPARAM(id, 0), 0); }

    void Select(HTREEITEM node) {
        SendMessageW(Tree(), TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(node));
    }

    bool Enabled(UINT id) {
        frame_->UpdateCommandUI();
        const UINT state = GetMenuState(GetMenu(frame_->hwnd()), id, MF_BYCOMMAND);
        return state != static_cast<UINT>(-1) && !(state & (MF_GRAYED | MF_DISABLED));
    }

    std::vector<Node> Connections() const { return Children(Tree(), tree_->ConfigurationNode()); }

    // "&Add OPC Server" with VELMORA_OPC picked in the dialog.
    DialogSeen AddServerThroughDialog() {
        DialogWatcher watcher("Add OPC Server", IDOK, [](HWND dialog) {
            const HWND list = GetDlgItem(dialog, IDC_SERVER_NAME);
            const LRESULT at = SendMessageA(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(kVelmora));
            SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(at), 0);
        });
        Command(ID_EDIT_ADD_SERVER);
        return watcher.Result();
    }

    // Connects VELMORA_OPC; the node under "Configuration".
    HTREEITEM Connect() {
        const DialogSeen seen = AddServerThroughDialog();
        EXPECT_TRUE(seen.found);
        const std::vector<Node> nodes = Connections();
        return nodes.empty() ? nullptr : nodes.front().handle;
    }

    // "Add &Group" on the connection with the dialog's defaults (or another
    // update rate); the node.
    HTREEITEM AddGroup(HTREEITEM connection, const char* updateRate = nullptr) {
        Select(connection);
        DialogWatcher watcher("Add Group", IDOK, [updateRate](HWND dialog) {
            if (updateRate) SetDlgItemTextA(dialog, IDC_UPDATE_RATE, updateRate);
        });
        Command(ID_EDIT_ADD_GROUP);
        EXPECT_TRUE(watcher.Result().found);
        const std::vector<Node> groups = Children(Tree(), connection);
        return groups.empty() ? nullptr : groups.back().handle;
    }

    // "Add &Item" on the group with the ID typed into the dialog; the browse
    // tree's top-level texts and first-level texts below "root".
    std::vector<std::string> AddItem(HTREEITEM group, const std::string& itemId) {
        Select(group);
        std::vector<std::string> browsed;
        DialogWatcher watcher("Add Item", IDOK, [&](HWND dialog) {
            const HWND browse = GetDlgItem(dialog, IDC_BROWSE_TREE);
            for (const Node& root : Children(browse, TVI_ROOT)) {
                browsed.push_back(root.text);
                for (const Node& below : Children(browse, root.handle)) browsed.push_back(below.text);
            }
            SetDlgItemTextA(dialog, IDC_ITEM_ID, itemId.c_str());
        });
        Command(ID_EDIT_ADD_ITEM);
        EXPECT_TRUE(watcher.Result().found);
        return browsed;
    }

    // Connects VELMORA_OPC, adds a group (at the dialog's rate, or this one)
    // and the items; the group's node, null when a step failed.
    HTREEITEM GroupWithItems(const std::vector<std::string>& ids, const char* updateRate = nullptr) {
        const HTREEITEM connection = Connect();
        const HTREEITEM group = connection ? AddGroup(connection, updateRate) : nullptr;
        if (group)
            for (const std::string& id : ids) AddItem(group, id);
        return group;
    }

    // The item list: column titles, and rows as their cells' texts.
    HWND List() const { return frame_->List() ? frame_->List()->ListControl() : nullptr; }
    std::vector<std::string> ListColumns() const {
        std::vector<std::string> titles;
        for (int c = 0;; ++c) {
            char text[128] = {};
            LVCOLUMNA column = {};
            column.mask = LVCF_TEXT;
            column.pszText = text;
            column.cchTextMax = sizeof text;
            if (!SendMessageA(List(), LVM_GETCOLUMNA, c, reinterpret_cast<LPARAM>(&column))) return titles;
            titles.push_back(text);
        }
    }
    std::vector<std::vector<std::string>> ListRows() const {
        std::vector<std::vector<std::string>> rows;
        const int count = static_cast<int>(SendMessageA(List(), LVM_GETITEMCOUNT, 0, 0));
        const size_t columns = ListColumns().size();
        for (int r = 0; r < count; ++r) {
            std::vector<std::string> cells;
            for (size_t c = 0; c < columns; ++c) {
                char text[256] = {};
                LVITEMA cell = {};
                cell.iSubItem = static_cast<int>(c);
                cell.pszText = text;
                cell.cchTextMax = sizeof text;
                SendMessageA(List(), LVM_GETITEMTEXTA, r, reinterpret_cast<LPARAM>(&cell));
                cells.push_back(text);
            }
            rows.push_back(cells);
        }
        return rows;
    }
    // One list cell's whole text, read wide.
    std::wstring WideCell(int row, int column) const {
        std::wstring text(40000, L'\0');
        LVITEMW cell = {};
        cell.iSubItem = column;
        cell.pszText = &text[0];
        cell.cchTextMax = static_cast<int>(text.size());
        text.resize(static_cast<size_t>(SendMessageW(List(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell))));
        return text;
    }
    void SelectRow(int row) {
        LVITEMA state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(List(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    }

    std::unique_ptr<COstrelApp> app_;
    CMainFrame* frame_ = nullptr;
    CObjTree* tree_ = nullptr;
};

}  // namespace ostreltest
