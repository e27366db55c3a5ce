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
#include "StringEnumerator.h"
#include "TaskMem.h"
#include "WineTest.h"
#include "resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

using frameworktest::ClassOf;
using frameworktest::DialogWatcher;
using frameworktest::ExpectRefusal;
using frameworktest::ItemText;
using frameworktest::RefusalSeen;

// With no application object the framework titles its messages with the
// program's name.
constexpr const char* kMessageCaption = "client_dialog_tests";

// The dialog's client area against its template size in dialog units.
bool HasTemplateSize(HWND dialog, int cx, int cy) {
    RECT expected = {0, 0, cx, cy};
    MapDialogRect(dialog, &expected);
    RECT client = {};
    GetClientRect(dialog, &client);
    return client.right == expected.right && client.bottom == expected.bottom;
}

RefusalSeen PressOkExpectingRefusal(HWND dialog, int id) {
    return frameworktest::PressOkExpectingRefusal(dialog, id, kMessageCaption);
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

// Deliberately not alphabetical: the list must keep table order.
const std::vector<std::string> kProgIds = {"Zeta.Server.1", "Alpha.Server.1", "Mid.Server.2"};

TEST(AddServerDialogTest, ListsTheTableInOrderAndTheSelectedPositionIsTheIndex) {
    ComboSeen servers, nodes;
    bool sized = false;
    AddServerDialog dialog(kProgIds);
    DialogWatcher watcher("Add OPC Server", IDOK, [&](HWND hwnd) {
        servers = ReadCombo(hwnd, IDC_SERVER_NAME);
        nodes = ReadCombo(hwnd, IDC_NODE_NAME);
        sized = HasTemplateSize(hwnd, 221, 95);
        SendDlgItemMessageA(hwnd, IDC_SERVER_NAME, CB_SETCURSEL, 2, 0);
        // A node name typed in is not used.
        SetDlgItemTextA(hwnd, IDC_NODE_NAME, "FarAwayNode");
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_EQ(kProgIds, servers.items);
    EXPECT_EQ(0, servers.selected);
    EXPECT_EQ(CBS_DROPDOWN, servers.style & 3);
    EXPECT_FALSE(servers.style & CBS_SORT);
    EXPECT_TRUE(servers.style & CBS_AUTOHSCROLL);
    EXPECT_TRUE(nodes.items.empty());
    EXPECT_EQ(CBS_DROPDOWN, nodes.style & 3);
    EXPECT_TRUE(nodes.style & CBS_SORT);
    EXPECT_TRUE(sized);
    EXPECT_EQ(2, dialog.index());
    EXPECT_EQ("Mid.Server.2", dialog.progId());

    AddServerDialog cancelled(kProgIds);
    DialogWatcher cancelling("Add OPC Server", IDCANCEL);
    EXPECT_EQ(IDCANCEL, cancelled.DoModal(nullptr));
    EXPECT_TRUE(cancelling.Result().found);
}

TEST(AddServerDialogTest, AnEmptyTableGivesAnEmptyListAndNoIndex) {
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

// --- Add Group -------------------------------------------------------------

TEST(AddGroupDialogTest, ShowsItsDefaultsAndAnImmediateOkReturnsThem) {
    std::vector<std::string> texts;
    UINT active = 0;
    UINT callback = BST_CHECKED;
    bool sized = false;
    AddGroupDialog dialog;
    DialogWatcher watcher("Add Group", IDOK, [&](HWND hwnd) {
        for (int id : {IDC_GROUP_NAME, IDC_UPDATE_RATE, IDC_TIME_BIAS, IDC_DEADBAND, IDC_LOCALE_ID})
            texts.push_back(ItemText(hwnd, id));
        active = IsDlgButtonChecked(hwnd, IDC_ACTIVE);
        callback = IsDlgButtonChecked(hwnd, IDC_DATA_CALLBACK);
        sized = HasTemplateSize(hwnd, 187, 221);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    const frameworktest::DialogSeen& seen = watcher.Result();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(std::vector<std::string>({"Group1", "1000", "0", "0", "0"}), texts);
    EXPECT_EQ(static_cast<UINT>(BST_CHECKED), active);
    EXPECT_EQ(static_cast<UINT>(BST_UNCHECKED), callback) << "the OPC 1.0 stream unless asked";
    EXPECT_TRUE(sized);
    bool framed = false;
    for (const frameworktest::ControlSeen& control : seen.controls)
        framed = framed || (control.text == "Group parameters" && (control.style & BS_TYPEMASK) == BS_GROUPBOX);
    EXPECT_TRUE(framed) << "the fields sit in a frame \"Group parameters\"";

    EXPECT_EQ("Group1", dialog.name);
    EXPECT_EQ(TRUE, dialog.active);
    EXPECT_EQ(0, dialog.timeBias);
    EXPECT_EQ(0.0f, dialog.percentDeadband);
    EXPECT_EQ(0u, dialog.localeId);
    EXPECT_EQ(1000u, dialog.updateRate);
    EXPECT_EQ(FALSE, dialog.dataCallback);
}

TEST(AddGroupDialogTest, FieldsAreCheckedInTheirOrderOneRefusalPerOk) {
    // Every text field wrong at once: each OK names the next one, in the order
    // time bias, deadband, locale ID, name, update rate.  Each is then
    // corrected to a value at the edge of what it takes.
    struct Step {
        int id;
        std::string bad;
        const char* message;
        std::string good;
    };
    const Step steps[] = {
        {IDC_TIME_BIAS, "-60 minutes", "Please enter an integer.", "-60"},
        {IDC_DEADBAND, "abc", "Please enter a number.", "12.75"},
        {IDC_LOCALE_ID, "-1", "Please enter a positive integer.", "4294967295"},
        {IDC_GROUP_NAME, std::string(101, 'n'), "Please enter no more than 100 characters.", std::string(100, 'n')},
        {IDC_UPDATE_RATE, "-5", "Please enter a positive integer.", "250"},
    };
    std::vector<RefusalSeen> seen;
    bool secondBox = true;
    AddGroupDialog dialog;
    DialogWatcher watcher("Add Group", IDOK, [&](HWND hwnd) {
        CheckDlgButton(hwnd, IDC_ACTIVE, BST_UNCHECKED);
        for (const Step& step : steps) SetDlgItemTextA(hwnd, step.id, step.bad.c_str());
        for (const Step& step : steps) {
            seen.push_back(PressOkExpectingRefusal(hwnd, step.id));
            if (seen.size() == 1) secondBox = !testsupport::NoMessageBoxFor(kMessageCaption, 300);
            SetDlgItemTextA(hwnd, step.id, step.good.c_str());
        }
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    ASSERT_EQ(std::size(steps), seen.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        EXPECT_EQ(steps[i].id, seen[i].control);
        ExpectRefusal(seen[i], steps[i].message);
        EXPECT_EQ(static_cast<int>(steps[i].bad.size()), seen[i].textLength) << "the refused text stays for correcting";
    }
    EXPECT_FALSE(secondBox) << "the first failure stops the pass";
    EXPECT_EQ(FALSE, dialog.active);
    EXPECT_EQ(-60, dialog.timeBias);
    EXPECT_EQ(12.75f, dialog.percentDeadband);
    EXPECT_EQ(4294967295u, dialog.localeId);
    EXPECT_EQ(std::string(100, 'n'), dialog.name);
    EXPECT_EQ(250u, dialog.updateRate);
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

// "text(child,child),sibling" for the nodes from `item` on, with everything
// below them.
std::string Describe(HWND tree, HTREEITEM item) {
    std::string text;
    for (bool first = true; item; item = Next(tree, item, TVGN_NEXT), first = false) {
        text += (first ? "" : ",") + NodeText(tree, item);
        if (HTREEITEM child = Next(tree, item, TVGN_CHILD)) text += "(" + Describe(tree, child) + ")";
    }
    return text;
}

std::string DescribeTree(HWND tree) { return Describe(tree, Next(tree, nullptr, TVGN_ROOT)); }

HTREEITEM FindNode(HWND tree, const std::string& text, HTREEITEM from = nullptr) {
    for (HTREEITEM item = from ? from : Next(tree, nullptr, TVGN_ROOT); item; item = Next(tree, item, TVGN_NEXT)) {
        if (NodeText(tree, item) == text) return item;
        if (HTREEITEM child = Next(tree, item, TVGN_CHILD))
            if (HTREEITEM found = FindNode(tree, text, child)) return found;
    }
    return nullptr;
}

void ExpandAll(HWND tree, HTREEITEM from) {
    for (HTREEITEM item = from; item; item = Next(tree, item, TVGN_NEXT)) {
        SendMessageW(tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
        ExpandAll(tree, Next(tree, item, TVGN_CHILD));
    }
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

// Runs the Add Item dialog on `browse` and returns its tree, closing with
// Cancel.
std::string TreeShownFor(IOPCBrowseServerAddressSpace* browse) {
    std::string tree;
    AddItemDialog dialog(browse);
    DialogWatcher watcher("Add Item", IDCANCEL,
                          [&](HWND hwnd) { tree = DescribeTree(GetDlgItem(hwnd, IDC_BROWSE_TREE)); });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    EXPECT_TRUE(watcher.Result().found);
    return tree;
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

    fw::ComPtr<IOPCBrowseServerAddressSpace> browse_;
};

TEST_F(AddItemWithServer, TheTreeShowsTheAddressSpaceDepthFirstFromTheServersPosition) {
    std::string tree, itemId, addAllText, treeClass;
    bool rootExpanded = false, addAllEnabled = false, sized = false;
    LONG style = 0;
    AddItemDialog dialog(browse_.get());
    DialogWatcher watcher("Add Item", IDCANCEL, [&](HWND hwnd) {
        const HWND control = GetDlgItem(hwnd, IDC_BROWSE_TREE);
        tree = DescribeTree(control);
        const auto root = reinterpret_cast<WPARAM>(Next(control, nullptr, TVGN_ROOT));
        rootExpanded = (SendMessageW(control, TVM_GETITEMSTATE, root, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
        itemId = ItemText(hwnd, IDC_ITEM_ID);
        addAllText = ItemText(hwnd, IDC_ADD_ALL);
        addAllEnabled = IsWindowEnabled(GetDlgItem(hwnd, IDC_ADD_ALL));
        style = GetWindowLongA(control, GWL_STYLE);
        treeClass = ClassOf(control);
        sized = HasTemplateSize(hwnd, 284, 183);
    });
    EXPECT_EQ(IDCANCEL, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    // Branches before leaves, each branch named by the ID the server gives it
    // from inside, each leaf by its item ID.
    EXPECT_EQ("root(A(A.B(A.B.b1),A.a1),top)", tree);
    EXPECT_TRUE(rootExpanded);
    EXPECT_EQ("", itemId);
    EXPECT_EQ("Add All", addAllText);
    EXPECT_TRUE(addAllEnabled);
    EXPECT_EQ(WC_TREEVIEWA, treeClass);
    const LONG wanted = TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS;
    EXPECT_EQ(wanted, style & wanted);
    EXPECT_TRUE(sized);
    // The walk came back to where it began.
    EXPECT_EQ(Names{L"A"}, Browse(OPC_BRANCH));
    EXPECT_EQ(Names{L"top"}, Browse(OPC_LEAF));

    // From inside a branch the walk starts there, and comes back there.
    ASSERT_EQ(S_OK, browse_->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"A"));
    EXPECT_EQ("root(A.B(A.B.b1),A.a1)", TreeShownFor(browse_.get()));
    EXPECT_EQ(Names{L"B"}, Browse(OPC_BRANCH));
    EXPECT_EQ(Names{L"a1"}, Browse(OPC_LEAF));
}

TEST_F(AddItemWithServer, ClicksOnNodesWithoutChildrenFillTheItemId) {
    struct Click {
        const char* node;
        bool twice;
        const char* text;  // in the item ID box afterwards
    };
    const Click clicks[] = {
        {"A.a1", false, "A.a1"},  // a leaf that was not selected before
        {"A.B", false, "A.a1"},   // a branch with children: selected, the box keeps its text
        {"top", true, "top"},
        {"A", true, "top"},
        {"root", false, "top"},
    };
    std::vector<bool> selected;
    std::vector<std::string> texts;
    bool keyboardSelected = false;
    std::string afterKeyboard;
    AddItemDialog dialog(browse_.get());
    DialogWatcher watcher("Add Item", IDOK, [&](HWND hwnd) {
        const HWND tree = GetDlgItem(hwnd, IDC_BROWSE_TREE);
        ExpandAll(tree, Next(tree, nullptr, TVGN_ROOT));
        for (const Click& click : clicks) {
            const HTREEITEM node = FindNode(tree, click.node);
            if (!node) return;
            ClickNode(tree, node, click.twice);
            selected.push_back(testsupport::PumpUntil([&] { return Next(tree, nullptr, TVGN_CARET) == node; }, 3000));
            testsupport::PumpUntil([&] { return ItemText(hwnd, IDC_ITEM_ID) == click.text; }, 3000);
            Sleep(150);  // a late change would show now
            texts.push_back(ItemText(hwnd, IDC_ITEM_ID));
        }
        // Selecting without the mouse is no click.
        const HTREEITEM b1 = FindNode(tree, "A.B.b1");
        SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(b1));
        keyboardSelected = b1 && Next(tree, nullptr, TVGN_CARET) == b1;
        Sleep(150);
        afterKeyboard = ItemText(hwnd, IDC_ITEM_ID);
    });
    EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
    ASSERT_TRUE(watcher.Result().found);
    ASSERT_EQ(std::size(clicks), texts.size()) << "a node is missing from the tree";
    for (size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE(std::string(clicks[i].twice ? "double click on " : "click on ") + clicks[i].node);
        EXPECT_TRUE(selected[i]);
        EXPECT_EQ(clicks[i].text, texts[i]);
    }
    EXPECT_TRUE(keyboardSelected);
    EXPECT_EQ("top", afterKeyboard);
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

TEST_F(AddItemWithServer, AddAllAndCancelLeaveTheTypedIdUnread) {
    struct Press {
        int button, result;
        BOOL addAll;
    };
    for (const Press& press : {Press{IDC_ADD_ALL, IDOK, TRUE}, Press{IDCANCEL, IDCANCEL, FALSE}}) {
        SCOPED_TRACE(press.button);
        AddItemDialog dialog(browse_.get());
        DialogWatcher watcher("Add Item", press.button,
                              [](HWND hwnd) { SetDlgItemTextA(hwnd, IDC_ITEM_ID, "typed.but.unused"); });
        EXPECT_EQ(press.result, dialog.DoModal(nullptr));
        EXPECT_TRUE(watcher.Result().found);
        EXPECT_EQ(press.addAll, dialog.addAll);
        EXPECT_EQ("", dialog.itemId);
    }
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
        const HRESULT hr = fw::CreateInstance<testserver::StringEnumerator>(IID_IEnumString, reinterpret_cast<void**>(out), names);
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
    AddItemScripted() { browse_.attach(new ScriptedBrowse); }

    testsupport::ComScope com_;
    fw::ComPtr<ScriptedBrowse> browse_;
};

// Every string the server hands out is freed, those of failed calls included.
TEST_F(AddItemScripted, UnnamedNodesShowTheirBrowseNameAndRefusedBranchesAreLeftOut) {
    browse_->children[L""] = {{L"Dir", true}, {L"Locked", true}, {L"leaf1", false}, {L"ok", false}};
    browse_->children[L"Dir"] = {{L"inner", false}, {L"other", false}};
    browse_->children[L"Locked"] = {{L"hidden", false}};
    browse_->idFails = {L"Dir", L"leaf1", L"other"};
    browse_->downRefused = {L"Locked"};
    TaskMemoryCount spy;
    ASSERT_EQ(S_OK, CoRegisterMallocSpy(&spy));
    const std::string tree = TreeShownFor(browse_.get());
    const LONG outstanding = spy.outstanding;
    CoRevokeMallocSpy();

    EXPECT_EQ("root(Dir(ID:Dir.inner,other),leaf1,ID:ok)", tree);
    EXPECT_EQ(0, outstanding);
    EXPECT_EQ(browse_->downs, browse_->ups);
    EXPECT_TRUE(browse_->path.empty());
    // A branch is named from inside it; one the server would not enter is
    // never named at all.
    EXPECT_EQ(std::vector<std::wstring>({L"Dir", L"inner", L"other", L"leaf1", L"ok"}), browse_->idsAsked);
}

TEST_F(AddItemScripted, ABranchListWithoutSOkLeavesOnlyTheLeaves) {
    browse_->children[L""] = {{L"Dir", true}, {L"x", false}};
    browse_->children[L"Dir"] = {{L"y", false}};
    browse_->branchListFalse = true;
    EXPECT_EQ("root(ID:x)", TreeShownFor(browse_.get()));
    EXPECT_EQ(0, browse_->downs);
}

TEST_F(AddItemScripted, AnEndlessAddressSpaceStopsAtTheDepthLimit) {
    browse_->endless = true;
    const std::string tree = TreeShownFor(browse_.get());
    int depth = 0, deepest = 0;
    for (char c : tree) deepest = std::max(deepest, depth += c == '(' ? 1 : c == ')' ? -1 : 0);
    EXPECT_EQ(AddItemDialog::kMaxDepth, deepest) << tree;
    EXPECT_EQ(AddItemDialog::kMaxDepth, browse_->maxDepth);
    EXPECT_EQ(browse_->downs, browse_->ups);
    EXPECT_TRUE(browse_->path.empty());
}

}  // namespace
