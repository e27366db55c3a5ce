// OSTREL's main window at work: which commands the selection enables, what
// the item list shows for each selection and how it follows data changes,
// and the item commands: Delete, Copy and the tools.
#include "ClientTestSupport.h"
#include "OstrelProgram.h"
#include "RegistryKey.h"
#include "ServerTableScan.h"
#include "ToolResource.h"

#include <gtest/gtest.h>

namespace {

using namespace ostreltest;

using Rows = std::vector<std::vector<std::string>>;

// Every command of the table with its state, in this order.
const UINT kCommands[] = {ID_EDIT_ADD_SERVER,   ID_EDIT_ADD_GROUP,      ID_EDIT_ADD_ITEM,
                          ID_EDIT_DELETE,       ID_EDIT_COPY,           ID_VIEW_PROPERTIES,
                          ID_TOOLS_READ_WRITE,  ID_TOOLS_PERFORMANCE,   ID_GROUP_VALIDATE_ITEM,
                          ID_GROUP_ASYNC_REFRESH};

// A server registered only for these tests: its description is longer than
// the list reads, so its row shows none.
constexpr const char* kLongProgId = "Velmora.LongDescription.1";

class OstrelWindow : public OstrelProgram {
protected:
    void SetUp() override {
        const std::string description(150, 'd');
        {
            fw::UniqueRegKey key;
            const std::string opc = std::string(kLongProgId) + "\\OPC";
            ASSERT_EQ(ERROR_SUCCESS, fw::CreateRegKey(HKEY_CLASSES_ROOT, opc.c_str(), KEY_WRITE, key));
        }
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueA(HKEY_CLASSES_ROOT, kLongProgId, REG_SZ, description.c_str(),
                                              static_cast<DWORD>(description.size())));
        OstrelProgram::SetUp();
    }
    void TearDown() override {
        OstrelProgram::TearDown();
        RegDeleteTreeA(HKEY_CLASSES_ROOT, kLongProgId);
    }

    // The enabled commands of kCommands.
    std::vector<UINT> EnabledCommands() {
        std::vector<UINT> on;
        for (UINT id : kCommands)
            if (Enabled(id)) on.push_back(id);
        return on;
    }
    CGroup& FirstGroup() { return *Velmora()->m_groups.front(); }
    int Mode() const { return frame_->List()->ListMode(); }
};

TEST_F(OstrelWindow, CommandsFollowTheTreeSelectionAndTheListRow) {
    const std::vector<UINT> onlyAddServer = {ID_EDIT_ADD_SERVER};
    Select(nullptr);
    EXPECT_EQ(onlyAddServer, EnabledCommands()) << "nothing selected";
    Select(tree_->ConfigurationNode());
    EXPECT_EQ(onlyAddServer, EnabledCommands()) << "Configuration";
    Select(tree_->ServersNode());
    EXPECT_EQ(onlyAddServer, EnabledCommands()) << "OPC servers";
    // A row of the servers list names no item.
    SelectRow(0);
    EXPECT_EQ(onlyAddServer, EnabledCommands()) << "OPC servers with a row selected";
    Select(Children(Tree(), tree_->ServersNode()).front().handle);
    EXPECT_EQ(onlyAddServer, EnabledCommands()) << "an available server";

    const HTREEITEM connection = Connect();
    ASSERT_NE(nullptr, connection);
    Select(connection);
    const std::vector<UINT> connectionCommands = {ID_EDIT_ADD_SERVER, ID_EDIT_ADD_GROUP, ID_EDIT_DELETE,
                                                  ID_VIEW_PROPERTIES};
    EXPECT_EQ(connectionCommands, EnabledCommands()) << "a connection";

    const HTREEITEM group = AddGroup(connection);
    ASSERT_NE(nullptr, group);
    Select(connection);
    SelectRow(0);
    EXPECT_EQ(connectionCommands, EnabledCommands()) << "a connection with its group's row selected";

    AddItem(group, "Name1");
    Select(group);
    const std::vector<UINT> groupCommands = {ID_EDIT_ADD_SERVER,   ID_EDIT_ADD_ITEM,       ID_EDIT_DELETE,
                                             ID_TOOLS_PERFORMANCE, ID_GROUP_VALIDATE_ITEM, ID_GROUP_ASYNC_REFRESH};
    EXPECT_EQ(groupCommands, EnabledCommands()) << "a group, no row";
    SelectRow(0);
    const std::vector<UINT> itemCommands = {ID_EDIT_ADD_SERVER,  ID_EDIT_ADD_ITEM,     ID_EDIT_DELETE,
                                            ID_EDIT_COPY,        ID_TOOLS_READ_WRITE,  ID_TOOLS_PERFORMANCE,
                                            ID_GROUP_VALIDATE_ITEM, ID_GROUP_ASYNC_REFRESH};
    EXPECT_EQ(itemCommands, EnabledCommands()) << "an item row";

    // A new tree selection rebuilds the list: no row is selected after it.
    Select(connection);
    Select(group);
    EXPECT_EQ(-1, frame_->List()->SelectedRow());
    EXPECT_EQ(groupCommands, EnabledCommands());
}

TEST_F(OstrelWindow, ListShowsWhatTheTreeSelects) {
    // "OPC servers": one row per machine server in tree order, with the
    // description from the registry; too long a description shows none.
    Select(tree_->ServersNode());
    EXPECT_EQ(kSelectionServers, Mode());
    EXPECT_EQ(std::vector<std::string>({"OPC Server", "Description"}), ListColumns());
    const std::vector<std::string> servers = Texts(Children(Tree(), tree_->ServersNode()));
    Rows rows = ListRows();
    ASSERT_EQ(servers.size(), rows.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(servers[r], rows[r][0]);
        if (rows[r][0] == kVelmora) {
            EXPECT_EQ("OPC Server", rows[r][1]);
        } else if (rows[r][0] == kLongProgId) {
            EXPECT_EQ("", rows[r][1]);
        }
    }
    // Updates while the root stays selected keep the rows and the row
    // selection.
    SelectRow(1);
    Doc()->UpdateAllViews(nullptr);
    EXPECT_EQ(1, frame_->List()->SelectedRow());
    EXPECT_EQ(rows, ListRows());

    Select(Children(Tree(), tree_->ServersNode()).front().handle);
    EXPECT_EQ(0, Mode());
    EXPECT_TRUE(ListColumns().empty());
    EXPECT_TRUE(ListRows().empty());

    // "Configuration": the connected servers; a connection: its groups.
    const HTREEITEM connection = Connect();
    ASSERT_NE(nullptr, connection);
    Select(tree_->ConfigurationNode());
    EXPECT_EQ(kSelectionConfiguration, Mode());
    EXPECT_EQ(std::vector<std::string>({"OPC Server"}), ListColumns());
    EXPECT_EQ(Rows({{kVelmora}}), ListRows());
    Select(connection);
    EXPECT_EQ(std::vector<std::string>({"Group name", "Update rate", "Active status"}), ListColumns());
    EXPECT_TRUE(ListRows().empty()) << "no groups yet";
    const HTREEITEM group = AddGroup(connection);
    ASSERT_NE(nullptr, group);
    Select(connection);
    EXPECT_EQ(Rows({{"Group1", "1000", "Active"}}), ListRows());

    // A group: its items, "?" and "Bad" until the first value arrives.
    Select(group);
    EXPECT_EQ(kSelectionGroup, Mode());
    EXPECT_EQ(std::vector<std::string>({"Item Name", "Value", "Quality"}), ListColumns());
    EXPECT_TRUE(ListRows().empty()) << "a group without items";
    AddItem(group, "Name1");
    AddItem(group, "Name4");
    Select(group);
    EXPECT_EQ(Rows({{"Name1", "?", "Bad"}, {"Name4", "?", "Bad"}}), ListRows());
    ASSERT_TRUE(testsupport::PumpUntil([&] { return ListRows()[1][1] != "?"; }, 20000)) << "no value arrived";
    rows = ListRows();
    for (size_t r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(FirstGroup().m_items[r]->m_valueText, rows[r][1]);
        EXPECT_EQ("Good", rows[r][2]);
    }
}

// The list keeps no text of its own: every cell shows the model as it is,
// and a data change draws again only the rows on screen whose value or
// quality changed.
TEST_F(OstrelWindow, DataChangesRedrawOnlyTheChangedRowsOnScreen) {
    const HTREEITEM group = GroupWithItems({"Name0", "Name1", "Name2"});
    ASSERT_NE(nullptr, group);
    Select(group);
    ASSERT_EQ(3u, ListRows().size());
    // No message is pumped below, so no data change can come in between.
    auto& items = FirstGroup().m_items;
    frame_->List()->RefreshValues(true);
    ValidateRect(List(), nullptr);
    items[0]->m_valueText = "7";  // value changed, quality as shown
    items[0]->m_changed = TRUE;
    items[1]->m_quality = 0x18;   // quality alone: "Bad: comm failure"
    items[2]->m_valueText = "8";  // changed without a mark: not drawn again
    frame_->List()->RefreshValues(false);

    HRGN update = CreateRectRgn(0, 0, 0, 0);
    GetUpdateRgn(List(), update, FALSE);
    auto redrawn = [&](int row) {
        RECT bounds = {};
        bounds.left = LVIR_BOUNDS;
        SendMessageW(List(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
        return PtInRegion(update, (bounds.left + bounds.right) / 2, (bounds.top + bounds.bottom) / 2) != FALSE;
    };
    EXPECT_TRUE(redrawn(0));
    EXPECT_TRUE(redrawn(1));
    EXPECT_FALSE(redrawn(2));
    DeleteObject(update);
    for (auto& item : items) EXPECT_FALSE(item->m_changed);

    // Whatever was drawn, the cells read the model.
    const Rows rows = ListRows();
    EXPECT_EQ("7", rows[0][1]);
    EXPECT_EQ("Bad: comm failure", rows[1][2]);
    EXPECT_EQ("8", rows[2][1]);
}

// String values outside the ANSI code page, and long ones, show whole in
// the item list, as the server sent them through the group's callback.
TEST_F(OstrelWindow, StringValuesShowWholeInTheList) {
    ASSERT_TRUE(RegisterBranchServers());
    Command(ID_FILE_NEW);  // the table again, with the branch servers
    const int index = clienttest::IndexOf(Model().Table(), "Velmora.CallbackTest.1");
    ASSERT_GE(index, 0);
    Model().Connect(index);
    ASSERT_NE(nullptr, Model().Entry(index)->m_pServer.get());
    Model().CreateGroup(index, GroupParameters{});
    CServer& entry = *Model().Entry(index);
    ASSERT_EQ(1u, entry.m_groups.size());
    CGroup& group = *entry.m_groups.front();
    ASSERT_TRUE(Model().AddItem(group, "text"));
    Select(reinterpret_cast<HTREEITEM>(group.m_node));
    ASSERT_EQ(1u, ListRows().size());

    const std::wstring foreign = L"\x0416\x0438\x0442\x043E \x4E2D";
    const std::wstring longText = L"\x0416" + std::wstring(29998, L'l') + L"\x4E2D";
    for (const std::wstring& value : {foreign, longText}) {
        ASSERT_EQ(S_OK, clienttest::WriteServerText(group, value));
        EXPECT_TRUE(testsupport::PumpUntil([&] { return WideCell(0, 1) == value; }, 10000))
            << "shown: " << WideCell(0, 1).size() << " characters";
    }
    EXPECT_EQ(L"text", WideCell(0, 0));
}

// A server whose process froze: a command that would call it asks for its
// status first, gives up after the limit and says so once, the items turn
// "Bad: not connected", and the next command is refused at once.
TEST_F(OstrelWindow, AFrozenServerIsFoundBeforeACommandCallsIt) {
    const HTREEITEM group = GroupWithItems({"Name0"});
    ASSERT_NE(nullptr, group);
    Select(group);
    Model().SetCallLimit(1500);
    std::optional<testsupport::MessageBoxSeen> first, second;
    DWORD waitedMs = 0;
    {
        testsupport::ProcessFreeze freeze(testsupport::FindProcessId(kVelmoraExe));
        ASSERT_TRUE(freeze.frozen());
        auto box = WatchBox(kDefaultCaption, 10000);
        const DWORD start = GetTickCount();
        Command(ID_GROUP_VALIDATE_ITEM);
        waitedMs = GetTickCount() - start;
        first = box.get();
        auto again = WatchBox(kDefaultCaption, 5000);
        Command(ID_GROUP_ASYNC_REFRESH);
        second = again.get();
    }
    // What the server queued while frozen arrives now.
    testsupport::PumpMessages(1000);
    ASSERT_TRUE(first && second);
    EXPECT_EQ("Velmora.VelmoraOPC.1 did not answer within 2 s: its values are no longer updated", first->text);
    EXPECT_EQ("Velmora.VelmoraOPC.1 does not answer any more: disconnect it and connect it again", second->text);
    EXPECT_LT(waitedMs, 8000u);
    EXPECT_EQ("Bad: not connected", ListRows()[0][2]);
}

TEST_F(OstrelWindow, DeleteAndCopyActOnTheSelectedItemRow) {
    const HTREEITEM group = GroupWithItems({"Name0", "Name2"});
    ASSERT_NE(nullptr, group);
    const HTREEITEM connection = Connections().front().handle;
    Select(group);
    ASSERT_TRUE(testsupport::PumpUntil([&] { return ListRows().size() == 2 && ListRows()[1][1] != "?"; }, 20000));

    // Ctrl+C with no row: the command is disabled, the clipboard keeps what
    // it had.
    ASSERT_TRUE(OpenClipboard(frame_->hwnd()));
    EmptyClipboard();
    HGLOBAL before = GlobalAlloc(GMEM_MOVEABLE, 6);
    memcpy(GlobalLock(before), "other", 6);
    GlobalUnlock(before);
    SetClipboardData(CF_TEXT, before);
    CloseClipboard();
    SendMessageW(frame_->hwnd(), WM_COMMAND, MAKEWPARAM(ID_EDIT_COPY, 1), 0);
    auto clipboardText = [&] {
        std::string text;
        if (!OpenClipboard(frame_->hwnd())) return text;
        if (HANDLE data = GetClipboardData(CF_TEXT)) {
            text = static_cast<const char*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
        return text;
    };
    EXPECT_EQ("other", clipboardText());

    // With the second row: its value text as text, Unicode text and picture.
    SelectRow(1);
    const std::string value = FirstGroup().m_items[1]->m_valueText;
    SendMessageW(frame_->hwnd(), WM_COMMAND, MAKEWPARAM(ID_EDIT_COPY, 1), 0);
    EXPECT_EQ(value, clipboardText());
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_UNICODETEXT));
    EXPECT_TRUE(IsClipboardFormatAvailable(CF_ENHMETAFILE));

    // Delete takes the selected item row first: the item goes from the
    // server, the model and the list; the group stays.
    Command(ID_EDIT_DELETE);
    EXPECT_EQ(std::vector<std::string>({"Name0"}), ItemIds(FirstGroup()));
    ASSERT_EQ(1u, ListRows().size());
    EXPECT_EQ("Name0", ListRows()[0][0]);
    EXPECT_EQ(1u, Children(Tree(), connection).size());
    // With no row selected the group goes, then with the connection
    // selected the connection; the entry can be connected again.
    Select(group);
    Command(ID_EDIT_DELETE);
    EXPECT_TRUE(Velmora()->m_groups.empty());
    EXPECT_TRUE(Children(Tree(), connection).empty());
    ASSERT_EQ(1u, Connections().size());
    Select(connection);
    Command(ID_EDIT_DELETE);
    EXPECT_TRUE(Connections().empty());
    EXPECT_EQ(nullptr, Velmora()->m_pServer.get());
    EXPECT_EQ(0u, Velmora()->m_node);
    EXPECT_TRUE(testsupport::WaitForNoProcess(kVelmoraExe, 20000));
    ASSERT_NE(nullptr, Connect());
}

// The document keeps what the tree selects as model records, and the item
// the list's row names; a record whose node went is no longer named.
TEST_F(OstrelWindow, DocumentHoldsTheSelectionAsModelRecords) {
    const HTREEITEM group = GroupWithItems({"Name0", "Name1"});
    ASSERT_NE(nullptr, group);
    const HTREEITEM connection = Connections().front().handle;
    Select(group);
    TreeSelection selection = Doc()->Selection();
    EXPECT_EQ(kSelectionGroup, selection.kind);
    EXPECT_EQ(VelmoraIndex(), selection.serverIndex);
    EXPECT_EQ(&FirstGroup(), selection.group);
    EXPECT_EQ(Velmora()->m_pServer.get(), Doc()->SelectedServer());
    EXPECT_EQ(nullptr, Doc()->SelectedItem());
    SelectRow(1);
    EXPECT_EQ(FirstGroup().m_items[1].get(), Doc()->SelectedItem());

    Select(connection);
    selection = Doc()->Selection();
    EXPECT_EQ(kSelectionConnection, selection.kind);
    EXPECT_EQ(VelmoraIndex(), selection.serverIndex);
    EXPECT_EQ(nullptr, selection.group);
    EXPECT_EQ(nullptr, Doc()->SelectedItem());

    Select(group);
    Command(ID_EDIT_DELETE);
    ASSERT_TRUE(Velmora()->m_groups.empty());
    EXPECT_EQ(nullptr, Doc()->Selection().group);
    EXPECT_EQ(tree_->GetSelectionKind(), Doc()->Selection().kind);
    EXPECT_EQ(tree_->GetSelectionKind(), Mode());
}

// The tools open on what is selected; their own work is tested with them.
TEST_F(OstrelWindow, ToolsOpenOnTheSelectedConnectionGroupAndItem) {
    // Once a minute: no change arrives by itself while the test runs.
    const HTREEITEM group = GroupWithItems({"Name3"}, "60000");
    ASSERT_NE(nullptr, group);
    const HTREEITEM connection = Connections().front().handle;
    Select(group);
    SelectRow(0);

    std::string name;
    DialogWatcher readWrite("Read/Write", IDOK, [&](HWND dialog) {
        char text[128] = {};
        GetDlgItemTextA(dialog, IDC_RW_ITEM_NAME, text, sizeof text);
        name = text;
    });
    Command(ID_TOOLS_READ_WRITE);
    ASSERT_TRUE(readWrite.Result().found);
    EXPECT_EQ("Name3", name);

    DialogWatcher performance("Performance test", IDCANCEL);
    Command(ID_TOOLS_PERFORMANCE);
    EXPECT_TRUE(performance.Result().found);

    DialogWatcher validate("Validate Item", IDCANCEL);
    Command(ID_GROUP_VALIDATE_ITEM);
    EXPECT_TRUE(validate.Result().found);

    // The refresh sends every value again: with the shown text wiped, the
    // sink writes it back long before the group's next change.
    FirstGroup().m_items[0]->m_valueText = "wiped";
    Command(ID_GROUP_ASYNC_REFRESH);
    EXPECT_TRUE(testsupport::PumpUntil([&] { return FirstGroup().m_items[0]->m_valueText != "wiped"; }, 10000));

    int rows = 0;
    Select(connection);
    DialogWatcher interfaces("OPC Interfaces", IDOK, [&](HWND dialog) {
        rows = static_cast<int>(SendDlgItemMessageA(dialog, IDC_INTERFACE_LIST, LVM_GETITEMCOUNT, 0, 0));
    });
    Command(ID_VIEW_PROPERTIES);
    ASSERT_TRUE(interfaces.Result().found);
    EXPECT_EQ(16, rows);
    EXPECT_EQ(1u, Velmora()->m_groups.size()) << "the model's groups are not touched";
}

}  // namespace
