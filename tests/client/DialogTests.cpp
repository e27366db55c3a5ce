// The client's connection dialogs run modally on the test's thread and driven
// from a watcher thread through window messages: Add OPC Server, Add Group
// (defaults and refused texts), and Add Item against branch_opc_server in its
// own process, plus in-process address spaces for the cases a well-behaved
// server never shows.
#include "AddGroupDialog.h"
#include "AddItemDialog.h"
#include "AddServerDialog.h"
#include "BranchServerFixture.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "DialogWatcher.h"
#include "MessageBoxWatcher.h"
#include "OpcInterfaces.h"
#include "Processes.h"
#include "Registration.h"
#include "TaskMem.h"
#include "WineTest.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

using frameworktest::DialogWatcher;

// With no application object the framework titles its messages with the
// program's name.
constexpr const char* kMessageCaption = "client_dialog_tests";

std::string ItemText(HWND dialog, int id) {
    char text[512] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// The dialog's client area against its template size in dialog units.
bool HasTemplateSize(HWND dialog, int cx, int cy) {
    RECT expected = {0, 0, cx, cy};
    MapDialogRect(dialog, &expected);
    RECT client = {};
    GetClientRect(dialog, &client);
    return client.right == expected.right && client.bottom == expected.bottom;
}

std::string ClassOf(HWND window) {
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    return cls;
}

HWND WaitForFocus(HWND dialog, HWND wanted, DWORD ms) {
    const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    const DWORD start = GetTickCount();
    for (;;) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(thread, &info);
        if (info.hwndFocus == wanted || GetTickCount() - start > ms) return info.hwndFocus;
        Sleep(10);
    }
}

BOOL CALLBACK CancelOwnedBox(HWND window, LPARAM owner) {
    if (ClassOf(window) == "#32770" && GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner))
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

struct RefusalSeen {
    std::optional<testsupport::MessageBoxSeen> box;
    int control = 0;
    bool dialogOpen = false;
    bool focused = false;
    DWORD selStart = 1, selEnd = 0;
    int textLength = -1;
};

// Presses OK while a field holds a text it must refuse, and reads what
// follows: the box (closed here), the focus and the selection.
RefusalSeen PressOkExpectingRefusal(HWND dialog, int id) {
    RefusalSeen seen;
    seen.control = id;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    seen.box = testsupport::WaitForMessageBox(kMessageCaption, 5000);
    // A box under another title would hold the dialog's thread for good.
    if (!seen.box)
        EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), CancelOwnedBox, reinterpret_cast<LPARAM>(dialog));
    const HWND field = GetDlgItem(dialog, id);
    seen.focused = WaitForFocus(dialog, field, 2000) == field;
    SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&seen.selStart), reinterpret_cast<LPARAM>(&seen.selEnd));
    seen.textLength = GetWindowTextLengthA(field);
    seen.dialogOpen = IsWindow(dialog) && IsWindowVisible(dialog);
    return seen;
}

void ExpectRefusal(const RefusalSeen& seen, const char* message) {
    SCOPED_TRACE(std::string("control ") + std::to_string(seen.control));
    ASSERT_TRUE(seen.box.has_value()) << "no message box: " << message;
    EXPECT_EQ(message, seen.box->text);
    EXPECT_EQ(kMessageCaption, seen.box->caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), seen.box->icon);
    EXPECT_TRUE(seen.dialogOpen);
    EXPECT_TRUE(seen.focused) << "the refused field gets the focus";
    EXPECT_EQ(0u, seen.selStart);
    EXPECT_EQ(static_cast<DWORD>(seen.textLength), seen.selEnd) << "with its text selected";
}

// --- Add OPC Server --------------------------------------------------------

struct ComboSeen {
    std::vector<std::string> items;
    LRESULT selected = -2;
    LONG style = 0;
};

ComboSeen ReadCombo(HWND dialog, int id) {
    ComboSeen seen;
    const HWND combo = GetDlgItem(dialog, id);
    const LRESULT count = SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        char text[256] = {};
        SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        seen.items.push_back(text);
    }
    seen.selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    seen.style = GetWindowLongA(combo, GWL_STYLE);
    return seen;
}

class AddServerDialogTest : public ::testing::Test {
protected:
    // Deliberately not alphabetical: the list must keep table order.
    const std::vector<std::string> progIds_ = {"Zeta.Server.1", "Alpha.Server.1", "Mid.Server.2"};
};

TEST_F(AddServerDialogTest, ListsTheTableInOrderAndOkReturnsTheFirst) {
    ComboSeen servers, nodes;
    bool sized = false;
    AddServerDialog dialog(progIds_);
    DialogWatcher watcher("Add OPC Server", IDOK, [&](HWND hwnd) {
        servers = ReadCombo(hwnd, IDC_SERVER_NAME);
        nodes = ReadCombo(hwnd, IDC_NODE_NAME);
        sized = HasTemplateSize(hwnd, 221, 95);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_EQ(progIds_, servers.items);
    EXPECT_EQ(0, servers.selected);
    EXPECT_EQ(CBS_DROPDOWN, servers.style & 3);
    EXPECT_FALSE(servers.style & CBS_SORT);
    EXPECT_TRUE(servers.style & CBS_AUTOHSCROLL);
    EXPECT_TRUE(nodes.items.empty());
    EXPECT_EQ(CBS_DROPDOWN, nodes.style & 3);
    EXPECT_TRUE(nodes.style & CBS_SORT);
    EXPECT_TRUE(sized);
    EXPECT_EQ(0, dialog.index());
    EXPECT_EQ("Zeta.Server.1", dialog.progId());
}

TEST_F(AddServerDialogTest, TheSelectedPositionIsTheTableIndex) {
    AddServerDialog dialog(progIds_);
    DialogWatcher watcher("Add OPC Server", IDOK, [](HWND hwnd) {
        SendDlgItemMessageA(hwnd, IDC_SERVER_NAME, CB_SETCURSEL, 2, 0);
        // A node name typed in is not used.
        SetDlgItemTextA(hwnd, IDC_NODE_NAME, "FarAwayNode");
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_EQ(2, dialog.index());
    EXPECT_EQ("Mid.Server.2", dialog.progId());
}

TEST_F(AddServerDialogTest, AnEmptyTableGivesAnEmptyListAndNoIndex) {
    ComboSeen servers;
    AddServerDialog dialog({});
    DialogWatcher watcher("Add OPC Server", IDOK, [&](HWND hwnd) { servers = ReadCombo(hwnd, IDC_SERVER_NAME); });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_TRUE(servers.items.empty());
    EXPECT_EQ(CB_ERR, servers.selected);
    EXPECT_EQ(-1, dialog.index());
    EXPECT_EQ("", dialog.progId());
}

TEST_F(AddServerDialogTest, CancelEndsWithCancel) {
    AddServerDialog dialog(progIds_);
    DialogWatcher watcher("Add OPC Server", IDCANCEL);
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    EXPECT_TRUE(watcher.Result().found);
}

// --- Add Group -------------------------------------------------------------

TEST(AddGroupDialogTest, ShowsItsDefaultsAndAnImmediateOkReturnsThem) {
    struct {
        std::string name, rate, bias, deadband, locale, frame;
        UINT active = 0;
        bool sized = false;
    } shown;
    AddGroupDialog dialog;
    DialogWatcher watcher("Add Group", IDOK, [&](HWND hwnd) {
        shown.name = ItemText(hwnd, IDC_GROUP_NAME);
        shown.rate = ItemText(hwnd, IDC_UPDATE_RATE);
        shown.bias = ItemText(hwnd, IDC_TIME_BIAS);
        shown.deadband = ItemText(hwnd, IDC_DEADBAND);
        shown.locale = ItemText(hwnd, IDC_LOCALE_ID);
        shown.active = IsDlgButtonChecked(hwnd, IDC_ACTIVE);
        shown.sized = HasTemplateSize(hwnd, 187, 221);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    const frameworktest::DialogSeen& seen = watcher.Result();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ("Group1", shown.name);
    EXPECT_EQ("1000", shown.rate);
    EXPECT_EQ("0", shown.bias);
    EXPECT_EQ("0", shown.deadband);
    EXPECT_EQ("0", shown.locale);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), shown.active);
    EXPECT_TRUE(shown.sized);
    bool framed = false;
    for (const frameworktest::ControlSeen& control : seen.controls)
        if (control.text == "Group parameters" && (control.style & BS_TYPEMASK) == BS_GROUPBOX) framed = true;
    EXPECT_TRUE(framed) << "the fields sit in a frame \"Group parameters\"";

    EXPECT_EQ("Group1", dialog.name);
    EXPECT_EQ(TRUE, dialog.active);
    EXPECT_EQ(0, dialog.timeBias);
    EXPECT_EQ(0.0f, dialog.percentDeadband);
    EXPECT_EQ(0u, dialog.localeId);
    EXPECT_EQ(1000u, dialog.updateRate);
}

TEST(AddGroupDialogTest, EnteredValuesComeBack) {
    AddGroupDialog dialog;
    DialogWatcher watcher("Add Group", IDOK, [](HWND hwnd) {
        SetDlgItemTextA(hwnd, IDC_GROUP_NAME, "Boilers");
        SetDlgItemTextA(hwnd, IDC_UPDATE_RATE, "250");
        SetDlgItemTextA(hwnd, IDC_TIME_BIAS, "-60");
        SetDlgItemTextA(hwnd, IDC_DEADBAND, "2.5");
        SetDlgItemTextA(hwnd, IDC_LOCALE_ID, "1033");
        CheckDlgButton(hwnd, IDC_ACTIVE, BST_UNCHECKED);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_EQ("Boilers", dialog.name);
    EXPECT_EQ(250u, dialog.updateRate);
    EXPECT_EQ(-60, dialog.timeBias);
    EXPECT_EQ(2.5f, dialog.percentDeadband);
    EXPECT_EQ(1033u, dialog.localeId);
    EXPECT_EQ(FALSE, dialog.active);
}

struct GroupRefusal {
    int id;
    std::string bad;
    const char* message;
    std::string good;
};

TEST(AddGroupDialogTest, RefusedTextsKeepTheDialogOpenUntilCorrected) {
    const std::string name100(100, 'n');
    const GroupRefusal cases[] = {
        {IDC_UPDATE_RATE, "-5", "Please enter a positive integer.", "250"},
        {IDC_DEADBAND, "abc", "Please enter a number.", "12.75"},
        {IDC_GROUP_NAME, std::string(101, 'n'), "Please enter no more than 100 characters.", name100},
        {IDC_TIME_BIAS, "-60 minutes", "Please enter an integer.", "-60"},
        {IDC_LOCALE_ID, "-1", "Please enter a positive integer.", "4294967295"},
    };
    for (const GroupRefusal& c : cases) {
        SCOPED_TRACE("control " + std::to_string(c.id) + " text " + c.bad.substr(0, 12));
        AddGroupDialog dialog;
        RefusalSeen seen;
        DialogWatcher watcher("Add Group", IDOK, [&](HWND hwnd) {
            SetDlgItemTextA(hwnd, c.id, c.bad.c_str());
            seen = PressOkExpectingRefusal(hwnd, c.id);
            SetDlgItemTextA(hwnd, c.id, c.good.c_str());
        });
        EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
        ASSERT_TRUE(watcher.Result().found);
        ExpectRefusal(seen, c.message);
        EXPECT_EQ(static_cast<int>(c.bad.size()), seen.textLength) << "the refused text stays for correcting";
        switch (c.id) {
        case IDC_UPDATE_RATE: EXPECT_EQ(250u, dialog.updateRate); break;
        case IDC_DEADBAND: EXPECT_EQ(12.75f, dialog.percentDeadband); break;
        case IDC_GROUP_NAME: EXPECT_EQ(name100, dialog.name); break;
        case IDC_TIME_BIAS: EXPECT_EQ(-60, dialog.timeBias); break;
        case IDC_LOCALE_ID: EXPECT_EQ(4294967295u, dialog.localeId); break;
        default: ADD_FAILURE();
        }
    }
}

TEST(AddGroupDialogTest, FieldsAreCheckedInTheirOrderOneRefusalPerOk) {
    // Every text field wrong at once: each OK names the next one, in the order
    // time bias, deadband, locale ID, name, update rate.
    const std::vector<std::pair<int, const char*>> order = {
        {IDC_TIME_BIAS, "Please enter an integer."},
        {IDC_DEADBAND, "Please enter a number."},
        {IDC_LOCALE_ID, "Please enter a positive integer."},
        {IDC_GROUP_NAME, "Please enter no more than 100 characters."},
        {IDC_UPDATE_RATE, "Please enter a positive integer."},
    };
    const std::map<int, const char*> corrected = {
        {IDC_TIME_BIAS, "15"}, {IDC_DEADBAND, "0.5"}, {IDC_LOCALE_ID, "7"}, {IDC_GROUP_NAME, "Pumps"}, {IDC_UPDATE_RATE, "500"}};
    std::vector<RefusalSeen> seen;
    bool secondBox = true;
    AddGroupDialog dialog;
    DialogWatcher watcher("Add Group", IDOK, [&](HWND hwnd) {
        CheckDlgButton(hwnd, IDC_ACTIVE, BST_UNCHECKED);
        SetDlgItemTextA(hwnd, IDC_TIME_BIAS, "x");
        SetDlgItemTextA(hwnd, IDC_DEADBAND, "y");
        SetDlgItemTextA(hwnd, IDC_LOCALE_ID, "-3");
        SetDlgItemTextA(hwnd, IDC_GROUP_NAME, std::string(130, 'g').c_str());
        SetDlgItemTextA(hwnd, IDC_UPDATE_RATE, "-5");
        for (const auto& step : order) {
            seen.push_back(PressOkExpectingRefusal(hwnd, step.first));
            if (seen.size() == 1) secondBox = !testsupport::NoMessageBoxFor(kMessageCaption, 300);
            SetDlgItemTextA(hwnd, step.first, corrected.at(step.first));
        }
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    ASSERT_EQ(order.size(), seen.size());
    for (size_t i = 0; i < order.size(); ++i) {
        EXPECT_EQ(order[i].first, seen[i].control);
        ExpectRefusal(seen[i], order[i].second);
    }
    EXPECT_FALSE(secondBox) << "the first failure stops the pass";
    EXPECT_EQ(FALSE, dialog.active);
    EXPECT_EQ(15, dialog.timeBias);
    EXPECT_EQ(0.5f, dialog.percentDeadband);
    EXPECT_EQ(7u, dialog.localeId);
    EXPECT_EQ("Pumps", dialog.name);
    EXPECT_EQ(500u, dialog.updateRate);
}

TEST(AddGroupDialogTest, CancelAfterARefusalHandsBackTheDefaults) {
    RefusalSeen seen;
    AddGroupDialog dialog;
    DialogWatcher watcher("Add Group", IDCANCEL, [&](HWND hwnd) {
        SetDlgItemTextA(hwnd, IDC_TIME_BIAS, "30");
        SetDlgItemTextA(hwnd, IDC_UPDATE_RATE, "-5");
        seen = PressOkExpectingRefusal(hwnd, IDC_UPDATE_RATE);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    ExpectRefusal(seen, "Please enter a positive integer.");
    EXPECT_EQ(0, dialog.timeBias);
    EXPECT_EQ(1000u, dialog.updateRate);
}

// --- Add Item: the tree ------------------------------------------------------

std::string NodeText(HWND tree, HTREEITEM item) {
    wchar_t text[256] = {};
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = 256;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    char narrow[512] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof narrow, nullptr, nullptr);
    return narrow;
}

HTREEITEM Next(HWND tree, HTREEITEM item, UINT how) {
    return reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

// "text(child,child)" for a node and everything below it.
std::string Describe(HWND tree, HTREEITEM item) {
    std::string text = NodeText(tree, item);
    HTREEITEM child = Next(tree, item, TVGN_CHILD);
    if (!child) return text;
    text += "(";
    for (bool first = true; child; child = Next(tree, child, TVGN_NEXT), first = false)
        text += (first ? "" : ",") + Describe(tree, child);
    return text + ")";
}

std::string DescribeTree(HWND tree) {
    std::string text;
    for (HTREEITEM item = Next(tree, nullptr, TVGN_ROOT); item; item = Next(tree, item, TVGN_NEXT))
        text += (text.empty() ? "" : ",") + Describe(tree, item);
    return text;
}

HTREEITEM FindNode(HWND tree, HTREEITEM from, const std::string& text) {
    for (HTREEITEM item = from; item; item = Next(tree, item, TVGN_NEXT)) {
        if (NodeText(tree, item) == text) return item;
        if (HTREEITEM found = FindNode(tree, Next(tree, item, TVGN_CHILD), text)) return found;
    }
    return nullptr;
}

HTREEITEM FindNode(HWND tree, const std::string& text) { return FindNode(tree, Next(tree, nullptr, TVGN_ROOT), text); }

int Depth(HWND tree, HTREEITEM item) {
    int depth = 0;
    for (HTREEITEM child = Next(tree, item, TVGN_CHILD); child; child = Next(tree, child, TVGN_NEXT)) {
        const int d = Depth(tree, child) + 1;
        if (d > depth) depth = d;
    }
    return depth;
}

void ExpandAll(HWND tree, HTREEITEM from) {
    for (HTREEITEM item = from; item; item = Next(tree, item, TVGN_NEXT)) {
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        ExpandAll(tree, Next(tree, item, TVGN_CHILD));
    }
}

bool WaitForText(HWND dialog, int id, const std::string& text, DWORD ms) {
    const DWORD start = GetTickCount();
    while (ItemText(dialog, id) != text) {
        if (GetTickCount() - start > ms) return false;
        Sleep(10);
    }
    return true;
}

// Mouse clicks on a node's label, as the tree receives them from the mouse.
void ClickNode(HWND tree, HTREEITEM item, bool twice) {
    // TVM_GETITEMRECT takes the item in the first bytes of the rectangle.
    RECT r = {};
    memcpy(&r, &item, sizeof item);
    SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&r));
    const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(tree, WM_LBUTTONUP, 0, at);
    if (twice) {
        PostMessageW(tree, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        PostMessageW(tree, WM_LBUTTONUP, 0, at);
    }
}

HTREEITEM WaitForSelection(HWND tree, HTREEITEM wanted, DWORD ms) {
    const DWORD start = GetTickCount();
    HTREEITEM selected = nullptr;
    while ((selected = Next(tree, nullptr, TVGN_CARET)) != wanted && GetTickCount() - start < ms) Sleep(10);
    return selected;
}

bool ClassesRootKeyExists(const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// What the client's server table and CoCreateInstance rely on: a ProgID key
// with "CLSID" and "OPC" below it, and the class's local server.
TEST(BranchServerRegistration, RegisterAndUnregister) {
    const std::string progId = "Velmora.BranchTest.1";
    ASSERT_EQ(0, testsupport::RunToEnd(BranchServerCommand() + " /RegServer", 20000));
    const std::string clsid = testsupport::ClassesRootValue(progId + "\\CLSID");
    EXPECT_EQ(38u, clsid.size()) << clsid;
    EXPECT_TRUE(ClassesRootKeyExists(progId + "\\OPC"));
    EXPECT_EQ(progId, testsupport::ClassesRootValue("CLSID\\" + clsid + "\\ProgID"));
    const std::string server = testsupport::ClassesRootValue("CLSID\\" + clsid + "\\LocalServer32");
    EXPECT_NE(std::string::npos, server.find("branch_opc_server.exe")) << server;

    EXPECT_EQ(0, testsupport::RunToEnd(BranchServerCommand() + " /UnregServer", 20000));
    EXPECT_FALSE(ClassesRootKeyExists(progId));
    EXPECT_FALSE(ClassesRootKeyExists("CLSID\\" + clsid));
}

class AddItemWithServer : public BranchServerFixture {
protected:
    void SetUp() override {
        BranchServerFixture::SetUp();
        browse_ = Query<IOPCBrowseServerAddressSpace>();
        ASSERT_TRUE(browse_);
    }
    void TearDown() override {
        browse_.reset();
        BranchServerFixture::TearDown();
    }

    // Names the server lists at its current position.
    std::vector<std::string> Names(OPCBROWSETYPE type) {
        std::vector<std::string> names;
        fw::ComPtr<IEnumString> list;
        if (browse_->BrowseOPCItemIDs(type, L"", VT_EMPTY, 0, list.put()) != S_OK || !list) return names;
        LPOLESTR name = nullptr;
        ULONG fetched = 0;
        while (list->Next(1, &name, &fetched) == S_OK && fetched == 1) {
            char narrow[256] = {};
            WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, sizeof narrow, nullptr, nullptr);
            names.push_back(narrow);
            CoTaskMemFree(name);
        }
        return names;
    }

    fw::ComPtr<IOPCBrowseServerAddressSpace> browse_;
};

TEST_F(AddItemWithServer, TheTreeShowsTheAddressSpaceDepthFirst) {
    struct {
        std::string tree, itemId, addAllText;
        bool rootExpanded = false, addAllEnabled = false, sized = false;
        LONG style = 0;
        std::string treeClass;
    } shown;
    AddItemDialog dialog(browse_.get());
    DialogWatcher watcher("Add Item", IDCANCEL, [&](HWND hwnd) {
        const HWND tree = GetDlgItem(hwnd, IDC_BROWSE_TREE);
        shown.tree = DescribeTree(tree);
        const HTREEITEM root = Next(tree, nullptr, TVGN_ROOT);
        shown.rootExpanded =
            (SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(root), TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
        shown.itemId = ItemText(hwnd, IDC_ITEM_ID);
        shown.addAllText = ItemText(hwnd, IDC_ADD_ALL);
        shown.addAllEnabled = IsWindowEnabled(GetDlgItem(hwnd, IDC_ADD_ALL));
        shown.style = GetWindowLongA(tree, GWL_STYLE);
        shown.treeClass = ClassOf(tree);
        shown.sized = HasTemplateSize(hwnd, 284, 183);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    // Branches before leaves, each branch named by the ID the server gives it
    // from inside, each leaf by its item ID.
    EXPECT_EQ("root(A(A.B(A.B.b1),A.a1),top)", shown.tree);
    EXPECT_TRUE(shown.rootExpanded);
    EXPECT_EQ("", shown.itemId);
    EXPECT_EQ("Add All", shown.addAllText);
    EXPECT_TRUE(shown.addAllEnabled);
    EXPECT_EQ(WC_TREEVIEWA, shown.treeClass);
    const LONG wanted = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
    EXPECT_EQ(wanted, shown.style & wanted);
    EXPECT_TRUE(shown.sized);
    // The walk came back to where it began.
    EXPECT_EQ(std::vector<std::string>{"A"}, Names(OPC_BRANCH));
    EXPECT_EQ(std::vector<std::string>{"top"}, Names(OPC_LEAF));
}

TEST_F(AddItemWithServer, TheWalkStartsAndEndsAtTheServersPosition) {
    ASSERT_EQ(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_TO, L"A"));
    std::string tree;
    AddItemDialog dialog(browse_.get());
    DialogWatcher watcher("Add Item", IDCANCEL,
                          [&](HWND hwnd) { tree = DescribeTree(GetDlgItem(hwnd, IDC_BROWSE_TREE)); });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_EQ("root(A.B(A.B.b1),A.a1)", tree);
    EXPECT_EQ(std::vector<std::string>{"B"}, Names(OPC_BRANCH));
    EXPECT_EQ(std::vector<std::string>{"a1"}, Names(OPC_LEAF));
}

TEST_F(AddItemWithServer, ClicksOnNodesWithoutChildrenFillTheItemId) {
    struct {
        bool leafClick = false, leafDoubleClick = false, clickedBranchSelected = false;
        bool doubleClickedBranchSelected = false, keyboardSelected = false;
        std::string afterBranchClick, afterBranchDoubleClick, afterRootClick, afterSelect;
    } seen;
    AddItemDialog dialog(browse_.get());
    DialogWatcher watcher("Add Item", IDOK, [&](HWND hwnd) {
        const HWND tree = GetDlgItem(hwnd, IDC_BROWSE_TREE);
        ExpandAll(tree, Next(tree, nullptr, TVGN_ROOT));
        const HTREEITEM a1 = FindNode(tree, "A.a1");
        const HTREEITEM branchB = FindNode(tree, "A.B");
        const HTREEITEM top = FindNode(tree, "top");
        const HTREEITEM branchA = FindNode(tree, "A");
        const HTREEITEM b1 = FindNode(tree, "A.B.b1");
        const HTREEITEM root = Next(tree, nullptr, TVGN_ROOT);
        if (!a1 || !branchB || !top || !branchA || !b1) return;

        // One click on a leaf that was not selected before.
        ClickNode(tree, a1, false);
        seen.leafClick = WaitForText(hwnd, IDC_ITEM_ID, "A.a1", 3000);
        // A branch with children: selected, but the box keeps its text.
        ClickNode(tree, branchB, false);
        seen.clickedBranchSelected = WaitForSelection(tree, branchB, 3000) == branchB;
        Sleep(200);
        seen.afterBranchClick = ItemText(hwnd, IDC_ITEM_ID);
        // A double click on another leaf.
        ClickNode(tree, top, true);
        seen.leafDoubleClick = WaitForText(hwnd, IDC_ITEM_ID, "top", 3000);
        ClickNode(tree, branchA, true);
        seen.doubleClickedBranchSelected = WaitForSelection(tree, branchA, 3000) == branchA;
        Sleep(200);
        seen.afterBranchDoubleClick = ItemText(hwnd, IDC_ITEM_ID);
        ClickNode(tree, root, false);
        WaitForSelection(tree, root, 3000);
        Sleep(200);
        seen.afterRootClick = ItemText(hwnd, IDC_ITEM_ID);
        // Selecting without the mouse is no click.
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(b1));
        seen.keyboardSelected = Next(tree, nullptr, TVGN_CARET) == b1;
        Sleep(200);
        seen.afterSelect = ItemText(hwnd, IDC_ITEM_ID);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_TRUE(seen.leafClick);
    EXPECT_TRUE(seen.clickedBranchSelected);
    EXPECT_EQ("A.a1", seen.afterBranchClick);
    EXPECT_TRUE(seen.leafDoubleClick);
    EXPECT_TRUE(seen.doubleClickedBranchSelected);
    EXPECT_EQ("top", seen.afterBranchDoubleClick);
    EXPECT_EQ("top", seen.afterRootClick);
    EXPECT_TRUE(seen.keyboardSelected);
    EXPECT_EQ("top", seen.afterSelect);
    EXPECT_EQ("top", dialog.itemId);
    EXPECT_EQ(FALSE, dialog.addAll);
}

TEST_F(AddItemWithServer, ValidatingModeHasItsCaptionAndNoAddAll) {
    struct {
        bool addAllEnabled = true, openAfterStrayAddAll = false;
        std::string tree;
    } seen;
    AddItemDialog dialog(browse_.get(), AddItemDialog::kValidating);
    dialog.addAll = TRUE;
    DialogWatcher watcher("Validate Item", IDOK, [&](HWND hwnd) {
        seen.addAllEnabled = IsWindowEnabled(GetDlgItem(hwnd, IDC_ADD_ALL));
        seen.tree = DescribeTree(GetDlgItem(hwnd, IDC_BROWSE_TREE));
        PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_ADD_ALL, BN_CLICKED), 0);
        Sleep(300);
        seen.openAfterStrayAddAll = IsWindow(hwnd) && IsWindowVisible(hwnd);
        SetDlgItemTextA(hwnd, IDC_ITEM_ID, "A.B.b1");
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_FALSE(seen.addAllEnabled);
    EXPECT_TRUE(seen.openAfterStrayAddAll);
    EXPECT_EQ("root(A(A.B(A.B.b1),A.a1),top)", seen.tree);
    EXPECT_EQ("A.B.b1", dialog.itemId);
    EXPECT_EQ(FALSE, dialog.addAll);
}

TEST_F(AddItemWithServer, AddAllEndsWithOkWithoutReadingTheBox) {
    AddItemDialog dialog(browse_.get());
    DialogWatcher watcher("Add Item", IDC_ADD_ALL, [](HWND hwnd) { SetDlgItemTextA(hwnd, IDC_ITEM_ID, "typed.but.unused"); });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_EQ(TRUE, dialog.addAll);
    EXPECT_EQ("", dialog.itemId);
}

TEST_F(AddItemWithServer, CancelEndsWithCancel) {
    AddItemDialog dialog(browse_.get());
    DialogWatcher watcher("Add Item", IDCANCEL, [](HWND hwnd) { SetDlgItemTextA(hwnd, IDC_ITEM_ID, "top"); });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    EXPECT_TRUE(watcher.Result().found);
    EXPECT_EQ("", dialog.itemId);
}

TEST(AddItemWithoutBrowsing, TheTreeStaysEmptyAndAnIdCanBeTyped) {
    int count = -1;
    AddItemDialog dialog(nullptr);
    DialogWatcher watcher("Add Item", IDOK, [&](HWND hwnd) {
        count = static_cast<int>(SendDlgItemMessageW(hwnd, IDC_BROWSE_TREE, TVM_GETCOUNT, 0, 0));
        SetDlgItemTextA(hwnd, IDC_ITEM_ID, "Typed.Item");
    });
    dialog.addAll = TRUE;
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_EQ(0, count);
    EXPECT_EQ("Typed.Item", dialog.itemId);
    EXPECT_EQ(FALSE, dialog.addAll);
}

// --- Add Item: address spaces no tidy server shows --------------------------

// An address space answered in-process from a table, recording the calls.
// Position keys are the branch names from the root joined with '/'.
class ScriptedBrowse final : public fw::ComObject<ScriptedBrowse, IOPCBrowseServerAddressSpace> {
public:
    struct Entry {
        std::wstring name;
        bool branch;
    };
    std::map<std::wstring, std::vector<Entry>> children;
    std::set<std::wstring> idFails;       // GetItemID fails for these names
    std::set<std::wstring> downRefused;   // DOWN into these fails
    bool branchListFalse = false;         // branch lists come with S_FALSE
    bool endless = false;                 // every branch holds a branch "deeper"

    std::vector<std::wstring> path;
    int downs = 0, ups = 0, maxDepth = 0;
    std::vector<std::wstring> idsAsked;

    STDMETHODIMP QueryOrganization(OPCNAMESPACETYPE* type) override {
        *type = OPC_NS_HIERARCHIAL;
        return S_OK;
    }
    STDMETHODIMP ChangeBrowsePosition(OPCBROWSEDIRECTION direction, LPCWSTR name) override {
        if (direction == OPC_BROWSE_UP) {
            if (path.empty()) return E_FAIL;
            ++ups;
            path.pop_back();
            return S_OK;
        }
        if (direction != OPC_BROWSE_DOWN || !name || downRefused.count(name)) return E_FAIL;
        bool known = endless;
        for (const Entry& e : Here())
            if (e.branch && e.name == name) known = true;
        if (!known) return E_FAIL;
        ++downs;
        path.push_back(name);
        if (static_cast<int>(path.size()) > maxDepth) maxDepth = static_cast<int>(path.size());
        return S_OK;
    }
    STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR, VARTYPE, DWORD, LPENUMSTRING* out) override {
        *out = nullptr;
        std::vector<std::wstring> names;
        if (endless && type == OPC_BRANCH) names.push_back(L"deeper");
        for (const Entry& e : Here())
            if (e.branch == (type == OPC_BRANCH)) names.push_back(e.name);
        const HRESULT hr = fw::CreateInstance<Names>(IID_IEnumString, reinterpret_cast<void**>(out), names);
        if (FAILED(hr)) return hr;
        return type == OPC_BRANCH && branchListFalse ? S_FALSE : S_OK;
    }
    STDMETHODIMP GetItemID(LPWSTR name, LPWSTR* id) override {
        idsAsked.push_back(name);
        *id = nullptr;
        if (idFails.count(name)) return E_FAIL;
        std::wstring text = L"ID:";
        for (const std::wstring& part : path) text += part + L".";
        *id = fw::TaskMemString((text + name).c_str()).release();
        return S_OK;
    }
    STDMETHODIMP BrowseAccessPaths(LPCWSTR, LPENUMSTRING* out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }

private:
    class Names final : public fw::ComObject<Names, IEnumString> {
    public:
        explicit Names(std::vector<std::wstring> names) : names_(std::move(names)) {}
        STDMETHODIMP Next(ULONG celt, LPOLESTR* out, ULONG* fetched) override {
            ULONG n = 0;
            for (; n < celt && pos_ < names_.size(); ++n) out[n] = fw::TaskMemString(names_[pos_++].c_str()).release();
            if (fetched) *fetched = n;
            return n == celt ? S_OK : S_FALSE;
        }
        STDMETHODIMP Skip(ULONG) override { return E_NOTIMPL; }
        STDMETHODIMP Reset() override {
            pos_ = 0;
            return S_OK;
        }
        STDMETHODIMP Clone(IEnumString** out) override {
            *out = nullptr;
            return E_NOTIMPL;
        }

    private:
        std::vector<std::wstring> names_;
        size_t pos_ = 0;
    };

    std::vector<Entry> Here() const {
        std::wstring key;
        for (const std::wstring& part : path) key += (key.empty() ? L"" : L"/") + part;
        auto found = children.find(key);
        return found == children.end() ? std::vector<Entry>() : found->second;
    }
};

// Counts task-memory blocks allocated and freed while it is registered.
class TaskMemoryCount final : public IMallocSpy {
public:
    LONG outstanding = 0;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IMallocSpy)) {
            *out = this;
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T cb) override { return cb; }
    STDMETHODIMP_(void*) PostAlloc(void* p) override {
        if (p) ++outstanding;
        return p;
    }
    STDMETHODIMP_(void*) PreFree(void* p, BOOL spyed) override {
        if (p && spyed) --outstanding;
        return p;
    }
    STDMETHODIMP_(void) PostFree(BOOL) override {}
    STDMETHODIMP_(SIZE_T) PreRealloc(void* p, SIZE_T cb, void** out, BOOL) override {
        *out = p;
        return cb;
    }
    STDMETHODIMP_(void*) PostRealloc(void* p, BOOL) override { return p; }
    STDMETHODIMP_(void*) PreGetSize(void* p, BOOL) override { return p; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T cb, BOOL) override { return cb; }
    STDMETHODIMP_(void*) PreDidAlloc(void* p, BOOL) override { return p; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int result) override { return result; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}
};

class AddItemScripted : public ::testing::Test {
protected:
    // Runs the dialog on `browse` and returns its tree, closing with Cancel.
    std::string TreeFor(ScriptedBrowse* browse) {
        std::string tree;
        AddItemDialog dialog(browse);
        DialogWatcher watcher("Add Item", IDCANCEL,
                              [&](HWND hwnd) { tree = DescribeTree(GetDlgItem(hwnd, IDC_BROWSE_TREE)); });
        EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
        EXPECT_TRUE(watcher.Result().found);
        return tree;
    }

    testsupport::ComScope com_;
};

TEST_F(AddItemScripted, UnnamedNodesShowTheirBrowseNameAndRefusedBranchesAreLeftOut) {
    fw::ComPtr<ScriptedBrowse> browse;
    browse.attach(new ScriptedBrowse);
    browse->children[L""] = {{L"Dir", true}, {L"Locked", true}, {L"leaf1", false}, {L"ok", false}};
    browse->children[L"Dir"] = {{L"inner", false}};
    browse->children[L"Locked"] = {{L"hidden", false}};
    browse->idFails = {L"Dir", L"leaf1"};
    browse->downRefused = {L"Locked"};

    EXPECT_EQ("root(Dir(ID:Dir.inner),leaf1,ID:ok)", TreeFor(browse.get()));
    EXPECT_EQ(browse->downs, browse->ups);
    EXPECT_TRUE(browse->path.empty());
    // A branch is named from inside it; one the server would not enter is
    // never named at all.
    const std::vector<std::wstring> asked = {L"Dir", L"inner", L"leaf1", L"ok"};
    EXPECT_EQ(asked, browse->idsAsked);
}

TEST_F(AddItemScripted, ABranchListWithoutSOkLeavesOnlyTheLeaves) {
    fw::ComPtr<ScriptedBrowse> browse;
    browse.attach(new ScriptedBrowse);
    browse->children[L""] = {{L"Dir", true}, {L"x", false}};
    browse->children[L"Dir"] = {{L"y", false}};
    browse->branchListFalse = true;
    EXPECT_EQ("root(ID:x)", TreeFor(browse.get()));
    EXPECT_EQ(0, browse->downs);
}

TEST_F(AddItemScripted, AnEndlessAddressSpaceStopsAtTheDepthLimit) {
    fw::ComPtr<ScriptedBrowse> browse;
    browse.attach(new ScriptedBrowse);
    browse->endless = true;
    int depth = -1;
    {
        AddItemDialog dialog(browse.get());
        DialogWatcher watcher("Add Item", IDCANCEL, [&](HWND hwnd) {
            const HWND tree = GetDlgItem(hwnd, IDC_BROWSE_TREE);
            depth = Depth(tree, Next(tree, nullptr, TVGN_ROOT));
        });
        EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
        EXPECT_TRUE(watcher.Result().found);
    }
    EXPECT_EQ(AddItemDialog::kMaxDepth, browse->maxDepth);
    EXPECT_EQ(AddItemDialog::kMaxDepth, depth);
    EXPECT_EQ(browse->downs, browse->ups);
    EXPECT_TRUE(browse->path.empty());
}

TEST_F(AddItemScripted, EveryStringTheServerHandsOutIsFreed) {
    fw::ComPtr<ScriptedBrowse> browse;
    browse.attach(new ScriptedBrowse);
    browse->children[L""] = {{L"Dir", true}, {L"leaf", false}};
    browse->children[L"Dir"] = {{L"inner", false}, {L"other", false}};
    browse->idFails = {L"other"};
    TaskMemoryCount spy;
    ASSERT_EQ(S_OK, CoRegisterMallocSpy(&spy));
    std::string tree;
    {
        AddItemDialog dialog(browse.get());
        DialogWatcher watcher("Add Item", IDCANCEL,
                              [&](HWND hwnd) { tree = DescribeTree(GetDlgItem(hwnd, IDC_BROWSE_TREE)); });
        dialog.DoModal(nullptr);
        watcher.Result();
    }
    const LONG outstanding = spy.outstanding;
    CoRevokeMallocSpy();
    EXPECT_EQ("root(ID:Dir.Dir(ID:Dir.inner,other),ID:leaf)", tree);
    EXPECT_EQ(0, outstanding);
}

}  // namespace
