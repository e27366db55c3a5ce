// The OSTREL program's start-up, tree, connection commands and document
// file, driven through its main window.
#include "ClientTestSupport.h"
#include "OstrelProgram.h"
#include "RegistryKey.h"
#include "TextEncoding.h"

#include <gtest/gtest.h>

namespace {

using namespace ostreltest;

// --- Start-up and the window -------------------------------------------

TEST_F(OstrelProgram, StartsWithAnUntitledDocumentInAFrameWithBars) {
    COstrelDoc* doc = Doc();
    ASSERT_NE(nullptr, doc);
    EXPECT_EQ("Untitled", doc->Title());
    EXPECT_EQ("Ostrel", doc->PathName()) << "the first save proposes this name";
    EXPECT_EQ("Untitled - Ostrel", WindowText(frame_->hwnd()));
    EXPECT_TRUE(IsWindowVisible(frame_->hwnd()));
    EXPECT_EQ("Ostrel", app_->Template()->DocString(0));
    EXPECT_EQ("", app_->Template()->DocString(1));
    EXPECT_EQ("Ostr", app_->Template()->DocString(2));
    EXPECT_EQ("Ostrel.Document", app_->Template()->DocString(5));
    EXPECT_EQ("Ostr Document", app_->Template()->DocString(6));
    EXPECT_EQ("Software\\Ostrel\\OSTREL", app_->SettingsKey());
    {
        fw::UniqueRegKey key;
        EXPECT_EQ(ERROR_SUCCESS, fw::OpenRegKey(HKEY_CURRENT_USER, app_->SettingsKey().c_str(), KEY_READ, key));
    }

    // Toolbar New, Open, Save, a gap, About; status bar of four panes.
    const HWND toolBar = frame_->ToolBar();
    ASSERT_NE(nullptr, toolBar);
    std::vector<int> buttons;
    const int count = static_cast<int>(SendMessageW(toolBar, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button = {};
        SendMessageW(toolBar, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
        buttons.push_back((button.fsStyle & BTNS_SEP) ? 0 : button.idCommand);
    }
    EXPECT_EQ(std::vector<int>({ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, 0, ID_APP_ABOUT, ID_CONTEXT_HELP}), buttons);
    frame_->UpdateCommandUI();
    for (int id : {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_APP_ABOUT, ID_CONTEXT_HELP})
        EXPECT_TRUE(SendMessageW(toolBar, TB_ISBUTTONENABLED, id, 0)) << id;
    ASSERT_NE(nullptr, frame_->StatusBar());
    EXPECT_EQ(4, SendMessageW(frame_->StatusBar(), SB_GETPARTS, 0, 0));

    // Between the bars a splitter: the tree 240 pixels wide on the left, the
    // report list filling the rest; the tree is the active view.
    const HWND tree = Tree();
    ASSERT_TRUE(IsWindow(tree));
    const LONG style = GetWindowLongA(tree, GWL_STYLE);
    for (LONG bit : {TVS_HASBUTTONS, TVS_HASLINES, TVS_LINESATROOT, TVS_SHOWSELALWAYS})
        EXPECT_EQ(bit, style & bit) << bit;
    ASSERT_TRUE(IsWindow(List()));
    EXPECT_EQ(LVS_REPORT | LVS_SHOWSELALWAYS, GetWindowLongA(List(), GWL_STYLE) & (LVS_TYPEMASK | LVS_SHOWSELALWAYS));
    EXPECT_EQ(frame_->ActiveView(), static_cast<fw::View*>(tree_));
    RECT client = {}, treePane = {}, listPane = {}, bar = {};
    GetClientRect(frame_->hwnd(), &client);
    GetWindowRect(tree, &treePane);
    GetWindowRect(List(), &listPane);
    GetWindowRect(frame_->ToolBar(), &bar);
    EXPECT_EQ(CMainFrame::kTreeWidth, treePane.right - treePane.left);
    EXPECT_EQ(treePane.top, listPane.top);
    EXPECT_GT(listPane.left, treePane.right - 1);
    EXPECT_EQ(client.right - client.left, listPane.right - treePane.left);
    EXPECT_GE(treePane.top, bar.bottom);
    // The focused tree selects its first root, and the list follows.
    EXPECT_EQ(tree_->GetSelectionKind(), frame_->List()->ListMode());

    // F6 goes to the list pane, Shift+F6 back to the tree.
    Command(ID_NEXT_PANE);
    EXPECT_EQ(static_cast<fw::View*>(frame_->List()), frame_->ActiveView());
    Command(ID_PREV_PANE);
    EXPECT_EQ(static_cast<fw::View*>(tree_), frame_->ActiveView());
    EXPECT_TRUE(Enabled(ID_HELP_FINDER)) << "help goes to the platform";

    // Dragging the bar gives the tree another width; the list follows.
    fw::Splitter& splitter = frame_->SplitterWindow();
    const int barX = CMainFrame::kTreeWidth + fw::Splitter::kBarWidth / 2;
    SendMessageW(splitter.hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(barX, 10));
    SendMessageW(splitter.hwnd(), WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(barX + 60, 10));
    SendMessageW(splitter.hwnd(), WM_LBUTTONUP, 0, MAKELPARAM(barX + 60, 10));
    GetWindowRect(tree, &treePane);
    GetWindowRect(List(), &listPane);
    EXPECT_EQ(CMainFrame::kTreeWidth + 60, treePane.right - treePane.left);
    EXPECT_EQ(client.right - client.left, listPane.right - treePane.left);

    // About, from the toolbar's last button, shows the program's version.
    DialogWatcher about("About Ostrel", IDOK);
    SendMessageW(frame_->hwnd(), WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, BN_CLICKED), reinterpret_cast<LPARAM>(toolBar));
    const DialogSeen& seen = about.Result();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(frame_->hwnd(), seen.owner);
    bool version = false;
    for (const auto& control : seen.controls) version = version || control.text == "Ostrel Version 1.0";
    EXPECT_TRUE(version);
}

TEST_F(OstrelProgram, TreeShowsTheTwoRootsAndTheServersOfTheMachine) {
    const std::vector<Node> roots = Children(Tree(), TVI_ROOT);
    ASSERT_EQ(2u, roots.size());
    EXPECT_EQ("Configuration", roots[0].text);
    EXPECT_EQ(kImageConfiguration, roots[0].image);
    EXPECT_EQ(kImageConfiguration, roots[0].selectedImage);
    EXPECT_EQ(1, roots[0].children) << "every node shows an expand button";
    EXPECT_EQ("OPC servers", roots[1].text);
    EXPECT_EQ(kImageServers, roots[1].image);
    EXPECT_EQ(kImageServers, roots[1].selectedImage);
    EXPECT_EQ(1, roots[1].children);
    EXPECT_EQ(tree_->ConfigurationNode(), roots[0].handle);
    EXPECT_EQ(tree_->ServersNode(), roots[1].handle);

    // One node per table entry, sorted by text, with the server picture.
    const std::vector<Node> servers = Children(Tree(), tree_->ServersNode());
    ASSERT_EQ(Model().Table().size(), servers.size());
    std::vector<std::string> expected;
    for (const auto& entry : Model().Table()) expected.push_back(entry->m_progId);
    std::sort(expected.begin(), expected.end(),
              [](const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; });
    EXPECT_EQ(expected, Texts(servers));
    EXPECT_NE(Texts(servers).end(), std::find(Texts(servers).begin(), Texts(servers).end(), kVelmora));
    for (const Node& server : servers) {
        EXPECT_EQ(kImageAvailableServer, server.image) << server.text;
        EXPECT_EQ(kImageAvailableServer, server.selectedImage) << server.text;
        EXPECT_EQ(1, server.children) << server.text;
    }
    EXPECT_TRUE(Connections().empty());

    // The pictures: 17 of 16 x 15 pixels from one strip.
    const HIMAGELIST images =
        reinterpret_cast<HIMAGELIST>(SendMessageW(Tree(), TVM_GETIMAGELIST, TVSIL_NORMAL, 0));
    ASSERT_NE(nullptr, images);
    EXPECT_EQ(app_->TreeImages(), images);
    EXPECT_EQ(17, ImageList_GetImageCount(images));
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(images, &cx, &cy));
    EXPECT_EQ(16, cx);
    EXPECT_EQ(15, cy);
}

TEST_F(OstrelProgram, MenuHoldsTheCommandsOfTheClient) {
    const HMENU bar = GetMenu(frame_->hwnd());
    ASSERT_NE(nullptr, bar);
    struct Entry {
        UINT id;
        const char* text;
    } const entries[] = {
        {ID_FILE_NEW, "&New\tCtrl+N"},         {ID_FILE_OPEN, "&Open...\tCtrl+O"},
        {ID_FILE_SAVE, "&Save\tCtrl+S"},       {ID_FILE_SAVE_AS, "Save &As..."},
        {ID_APP_EXIT, "E&xit"},                {ID_EDIT_ADD_SERVER, "&Add OPC Server"},
        {ID_EDIT_ADD_GROUP, "Add &Group"},     {ID_EDIT_ADD_ITEM, "Add &Item"},
        {ID_EDIT_DELETE, "&Delete"},           {ID_EDIT_COPY, "&Copy\tCtrl+C"},
        {ID_VIEW_PROPERTIES, "&Properties"},   {ID_TOOLS_READ_WRITE, "&Read/Write"},
        {ID_TOOLS_PERFORMANCE, "Performance test"}, {ID_GROUP_VALIDATE_ITEM, "&Validate Item"},
        {ID_GROUP_ASYNC_REFRESH, "Async Cache Refresh"},
    };
    for (const Entry& entry : entries) {
        char text[128] = {};
        EXPECT_GT(GetMenuStringA(bar, entry.id, text, sizeof text, MF_BYCOMMAND), 0) << entry.id;
        EXPECT_STREQ(entry.text, text) << entry.id;
    }
    EXPECT_EQ(32771, ID_EDIT_ADD_SERVER);
    EXPECT_EQ(57634, ID_EDIT_COPY);
}

// --- Connections, groups, items -----------------------------------------

TEST_F(OstrelProgram, AddServerConnectsOnceAndRefusesASecondConnection) {
    const DialogSeen seen = AddServerThroughDialog();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(frame_->hwnd(), seen.owner);

    std::vector<Node> nodes = Connections();
    ASSERT_EQ(1u, nodes.size());
    EXPECT_EQ(kVelmora, nodes[0].text);
    EXPECT_EQ(kImageConnection, nodes[0].image);
    EXPECT_EQ(kImageConnection, nodes[0].selectedImage);
    EXPECT_EQ(1, nodes[0].children);
    EXPECT_TRUE(SendMessageW(Tree(), TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(tree_->ConfigurationNode()),
                             TVIS_EXPANDED) &
                TVIS_EXPANDED)
        << "the parent is expanded after an insertion";
    ASSERT_NE(nullptr, Velmora());
    EXPECT_NE(nullptr, Velmora()->m_pServer.get());
    EXPECT_EQ(reinterpret_cast<NodeHandle>(nodes[0].handle), Velmora()->m_node);
    EXPECT_EQ(1, testsupport::CountProcesses(kVelmoraExe));

    auto box = WatchBox(kDefaultCaption, kServerWaitMs);
    ASSERT_TRUE(AddServerThroughDialog().found);
    const auto refused = box.get();
    ASSERT_TRUE(refused.has_value()) << "no message for the second connection";
    EXPECT_EQ("Can't open server", refused->text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), refused->icon);
    nodes = Connections();
    ASSERT_EQ(1u, nodes.size());
    EXPECT_EQ(reinterpret_cast<NodeHandle>(nodes[0].handle), Velmora()->m_node);

    // Cancel connects nothing more.
    DialogWatcher cancel("Add OPC Server", IDCANCEL);
    Command(ID_EDIT_ADD_SERVER);
    EXPECT_TRUE(cancel.Result().found);
    EXPECT_EQ(1u, Connections().size());
}

TEST_F(OstrelProgram, GroupAndItemsComeFromTheirDialogs) {
    const HTREEITEM connection = Connect();
    ASSERT_NE(nullptr, connection);
    const HTREEITEM groupNode = AddGroup(connection);
    ASSERT_NE(nullptr, groupNode);

    const std::vector<Node> groups = Children(Tree(), connection);
    ASSERT_EQ(1u, groups.size());
    EXPECT_EQ("Group1", groups[0].text);
    EXPECT_EQ(kImageGroup, groups[0].image);
    EXPECT_EQ(kImageGroup, groups[0].selectedImage);
    EXPECT_EQ(1, groups[0].children);
    ASSERT_EQ(1u, Velmora()->m_groups.size());
    CGroup& group = *Velmora()->m_groups.front();
    EXPECT_EQ("Group1", group.m_name);
    EXPECT_EQ(reinterpret_cast<NodeHandle>(groupNode), group.m_node);
    EXPECT_EQ(TRUE, group.m_active);
    EXPECT_EQ(1000u, group.m_updateRate);
    EXPECT_NE(nullptr, group.m_pItemMgt.get());

    const std::vector<std::string> browsed = AddItem(groupNode, "Name0");
    ASSERT_FALSE(browsed.empty());
    EXPECT_EQ("root", browsed.front()) << "the dialog browsed the server's address space";
    EXPECT_NE(browsed.end(), std::find(browsed.begin(), browsed.end(), "Name0"));
    ASSERT_EQ(std::vector<std::string>({"Name0"}), ItemIds(group));
    EXPECT_EQ(0u, group.m_items[0]->m_hClient);
    EXPECT_NE(0u, group.m_items[0]->m_hServer);
    EXPECT_EQ(1u, group.m_nextClientHandle);

    // An ID the server refuses adds nothing and says nothing.
    auto unexpected = WatchBox(kDefaultCaption, 3000);
    AddItem(groupNode, "No.Such.Tag");
    EXPECT_FALSE(unexpected.get().has_value());
    EXPECT_EQ(std::vector<std::string>({"Name0"}), ItemIds(group));
    EXPECT_EQ(1u, group.m_nextClientHandle);
}

TEST_F(OstrelProgram, AddAllAddsEveryLeafTheDialogShows) {
    const HTREEITEM groupNode = AddGroup(Connect());
    ASSERT_NE(nullptr, groupNode);
    Select(groupNode);
    std::vector<std::string> leaves;
    DialogWatcher all("Add Item", IDC_ADD_ALL, [&](HWND dialog) {
        const HWND browse = GetDlgItem(dialog, IDC_BROWSE_TREE);
        for (const Node& root : Children(browse, TVI_ROOT))
            for (const Node& leaf : Children(browse, root.handle)) leaves.push_back(leaf.text);
    });
    Command(ID_EDIT_ADD_ITEM);
    ASSERT_TRUE(all.Result().found);
    ASSERT_FALSE(leaves.empty());
    ASSERT_EQ(1u, Velmora()->m_groups.size());
    const CGroup& group = *Velmora()->m_groups.front();
    EXPECT_EQ(leaves, ItemIds(group));
    std::vector<OPCHANDLE> handles;
    for (OPCHANDLE h = 0; h < leaves.size(); ++h) handles.push_back(h);
    EXPECT_EQ(handles, ClientHandles(group));
}

TEST_F(OstrelProgram, AddItemOnAServerWithoutBrowsingStillTakesATypedId) {
    const HTREEITEM connection = Connect();
    const HTREEITEM groupNode = AddGroup(connection);
    ASSERT_NE(nullptr, groupNode);
    // The entry's server reference stands in for a server that cannot be
    // browsed: an object of our own that answers only IUnknown and the OPC
    // server interface of the real one.
    class NoBrowse final : public IUnknown {
    public:
        explicit NoBrowse(IUnknown* real) : real_(real) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
            if (!out) return E_POINTER;
            *out = nullptr;
            if (iid == IID_IUnknown) {
                *out = this;
                AddRef();
                return S_OK;
            }
            if (iid == IID_IOPCBrowseServerAddressSpace) return E_NOINTERFACE;
            return real_->QueryInterface(iid, out);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
        ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

    private:
        IUnknown* real_;
        ULONG refs_ = 1;
    };
    CServer& entry = *Velmora();
    IUnknown* real = entry.m_pServer.detach();
    NoBrowse stand(real);
    entry.m_pServer.attach(&stand);

    Select(groupNode);
    auto box = WatchBox(kDefaultCaption, 20000);
    std::vector<std::string> browsed;
    DialogWatcher watcher("Add Item", IDOK, [&](HWND dialog) {
        browsed = Texts(Children(GetDlgItem(dialog, IDC_BROWSE_TREE), TVI_ROOT));
        SetDlgItemTextA(dialog, IDC_ITEM_ID, "Name1");
    }, 30000);
    Command(ID_EDIT_ADD_ITEM);
    const auto message = box.get();
    entry.m_pServer.detach();
    entry.m_pServer.attach(real);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ("QueryInterface(IID_IOPCBrowse)", message->text);
    ASSERT_TRUE(watcher.Result().found);
    EXPECT_TRUE(browsed.empty()) << "the tree stays empty";
    EXPECT_EQ(std::vector<std::string>({"Name1"}), ItemIds(*entry.m_groups.front()));
}

// --- The document -------------------------------------------------------

TEST_F(OstrelProgram, SavedDocumentOpensWithItsConnectionGroupsAndItems) {
    ASSERT_NE(nullptr, GroupWithItems({"Name0", "Name2"}));
    ASSERT_EQ(std::vector<std::string>({"Name0", "Name2"}), ItemIds(*Velmora()->m_groups.front()));

    testsupport::ScratchDir dir;
    const std::string path = dir.path() + "plant.ost";
    ASSERT_TRUE(Doc()->DoSave(path));
    EXPECT_EQ(path, Doc()->PathName());
    EXPECT_EQ("plant.ost", Doc()->Title());
    EXPECT_EQ("plant.ost - Ostrel", WindowText(frame_->hwnd()));

    // New ends every connection and takes the servers from the registry.
    Command(ID_FILE_NEW);
    EXPECT_TRUE(Connections().empty());
    EXPECT_TRUE(testsupport::WaitForNoProcess(kVelmoraExe, 20000));
    EXPECT_EQ("Untitled - Ostrel", WindowText(frame_->hwnd()));
    EXPECT_EQ("Ostrel", Doc()->PathName());
    ASSERT_NE(nullptr, Velmora());
    EXPECT_TRUE(Velmora()->m_groups.empty());
    EXPECT_EQ(2u, Children(Tree(), TVI_ROOT).size()) << "the roots are made once";

    COstrelDoc* before = Doc();
    ASSERT_EQ(before, app_->Template()->OpenDocumentFile(path)) << "the one document is reused";
    EXPECT_EQ("plant.ost - Ostrel", WindowText(frame_->hwnd()));
    const std::vector<Node> nodes = Connections();
    ASSERT_EQ(1u, nodes.size());
    EXPECT_EQ(kVelmora, nodes[0].text);
    EXPECT_EQ(kImageConnection, nodes[0].image);
    ASSERT_NE(nullptr, Velmora());
    EXPECT_NE(nullptr, Velmora()->m_pServer.get());
    const std::vector<Node> groups = Children(Tree(), nodes[0].handle);
    ASSERT_EQ(1u, groups.size());
    EXPECT_EQ("Group1", groups[0].text);
    ASSERT_EQ(1u, Velmora()->m_groups.size());
    const CGroup& group = *Velmora()->m_groups.front();
    EXPECT_EQ(std::vector<std::string>({"Name0", "Name2"}), ItemIds(group));
    EXPECT_EQ(std::vector<OPCHANDLE>({0, 1}), ClientHandles(group));
    for (const auto& item : group.m_items) EXPECT_NE(0u, item->m_hServer) << item->m_itemId;
    EXPECT_EQ(1000u, group.m_updateRate);

    // Named on the command line, the file opens before the tree's first
    // update: the connection still goes under "Configuration".
    app_->ExitInstance();
    TakeQuitMessage();
    app_ = std::make_unique<COstrelApp>();
    app_->SetCommandLine(L"OSTREL.exe \"" + std::wstring(path.begin(), path.end()) + L"\"");
    ASSERT_TRUE(app_->InitInstance());
    frame_ = dynamic_cast<CMainFrame*>(app_->MainFrame());
    ASSERT_NE(nullptr, frame_);
    tree_ = frame_->Tree();
    const std::vector<Node> roots = Children(Tree(), TVI_ROOT);
    ASSERT_EQ(std::vector<std::string>({"Configuration", "OPC servers"}), Texts(roots));
    EXPECT_EQ(std::vector<std::string>({kVelmora}), Texts(Connections()));
    EXPECT_EQ(Model().Table().size(), Children(Tree(), tree_->ServersNode()).size());
    ASSERT_EQ(1u, Velmora()->m_groups.size());
    EXPECT_EQ(2u, Velmora()->m_groups.front()->m_items.size());
}

// A document at a path outside the ANSI code page: the console saves it and
// OSTREL opens it from its command line, with a neighbour file left alone;
// a path that cannot be used is refused by both with a message that names
// it.
TEST_F(OstrelProgram, DocumentsAtPathsOutsideTheCodePageAreSavedAndOpened) {
    ASSERT_TRUE(RegisterBranchServers());
    testsupport::ScratchDir dir;
    const std::string name = "\xD0\x97\xD0\xB0\xD0\xB2\xD0\xBE\xD0\xB4 \xE5\xB7\xA5.ost";  // "Zavod gong.ost"
    const std::string path = dir.path() + name;
    const std::wstring widePath = Utf8ToWide(path);
    if (GetACP() != CP_UTF8) {
        ASSERT_NE(widePath, AnsiToWide(WideToAnsi(widePath))) << "a name outside the code page";
    }
    const std::string neighbour = dir.path() + "plant.ost";
    dir.WriteFile("plant.ost", "keep me");
    const std::string console = "\"" + testsupport::BinPath("ostrel_console.exe") + "\" save Velmora.BranchTest.1 ";

    const auto saved = testsupport::RunCaptured(console + "\"" + path + "\" A.a1 top", 60000);
    EXPECT_EQ(0, saved.exitCode) << saved.output;
    EXPECT_NE(std::string::npos, saved.output.find(path + " written")) << saved.output;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(widePath.c_str()));
    EXPECT_EQ("keep me", ReadBytes(neighbour));

    app_->ExitInstance();
    TakeQuitMessage();
    app_ = std::make_unique<COstrelApp>();
    app_->SetCommandLine(L"OSTREL.exe \"" + widePath + L"\"");
    ASSERT_TRUE(app_->InitInstance());
    frame_ = dynamic_cast<CMainFrame*>(app_->MainFrame());
    ASSERT_NE(nullptr, frame_);
    tree_ = frame_->Tree();
    EXPECT_EQ(path, Doc()->PathName());
    EXPECT_EQ(Utf8ToWide(name) + L" - Ostrel", frameworktest::WideText(frame_->hwnd()));
    EXPECT_EQ(std::vector<std::string>({"Velmora.BranchTest.1"}), Texts(Connections()));
    const int branch = clienttest::IndexOf(Model().Table(), "Velmora.BranchTest.1");
    ASSERT_GE(branch, 0);
    ASSERT_EQ(1u, Model().Entry(branch)->m_groups.size());
    EXPECT_EQ(std::vector<std::string>({"A.a1", "top"}), ItemIds(*Model().Entry(branch)->m_groups.front()));

    // A folder that does not exist: nothing is written, and both say where.
    const std::string unusable = dir.path() + "\xD0\x9D\xD0\xB5\xD1\x82\\" + name;
    const auto refused = testsupport::RunCaptured(console + "\"" + unusable + "\" A.a1", 60000);
    EXPECT_EQ(2, refused.exitCode) << refused.output;
    EXPECT_NE(std::string::npos, refused.output.find(unusable + " could not be written")) << refused.output;
    auto box = WatchBox(kProgramTitle, 20000);
    EXPECT_EQ(nullptr, app_->Template()->OpenDocumentFile(unusable));
    const auto message = box.get();
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(0u, message->text.find("Cannot open \"" + unusable + "\"")) << message->text;
    EXPECT_EQ(path, Doc()->PathName()) << "the open document stays";

    EXPECT_EQ("keep me", ReadBytes(neighbour));
    DeleteFileW(widePath.c_str());
}

TEST_F(OstrelProgram, ADamagedFileIsRefusedAndTheOpenDocumentStays) {
    const HTREEITEM groupNode = GroupWithItems({"Name0"});
    ASSERT_NE(nullptr, groupNode);
    const HTREEITEM connection = Connections().front().handle;
    testsupport::ScratchDir dir;
    const std::string path = dir.path() + "plant.ost";
    ASSERT_TRUE(Doc()->DoSave(path));
    const std::string bytes = ReadBytes(path);
    ASSERT_GT(bytes.size(), 512u);

    struct Damage {
        const char* name;
        std::string contents;
    } const damaged[] = {
        {"truncated.ost", bytes.substr(0, bytes.size() / 2)},
        {"garbage.ost", std::string(bytes.size(), 'x')},
    };
    for (const Damage& file : damaged) {
        SCOPED_TRACE(file.name);
        dir.WriteFile(file.name, file.contents);
        auto box = WatchBox(kProgramTitle, 20000);
        EXPECT_EQ(nullptr, app_->Template()->OpenDocumentFile(dir.path() + file.name));
        const auto message = box.get();
        ASSERT_TRUE(message.has_value()) << "the failure is reported";
        EXPECT_EQ(0u, message->text.find("Cannot open \"" + dir.path() + file.name + "\"")) << message->text;

        // Everything as it was: the document, its connection, group and item.
        EXPECT_EQ(path, Doc()->PathName());
        EXPECT_EQ("plant.ost - Ostrel", WindowText(frame_->hwnd()));
        const std::vector<Node> nodes = Connections();
        ASSERT_EQ(1u, nodes.size());
        EXPECT_EQ(connection, nodes[0].handle);
        ASSERT_NE(nullptr, Velmora()->m_pServer.get());
        ASSERT_EQ(1u, Velmora()->m_groups.size());
        EXPECT_EQ(std::vector<std::string>({"Name0"}), ItemIds(*Velmora()->m_groups.front()));
        EXPECT_EQ(1, testsupport::CountProcesses(kVelmoraExe));
    }
}

TEST_F(OstrelProgram, SaveProposesThePathNameAndWritesWhereTheUserSays) {
    testsupport::ScratchDir dir;
    const std::string path = dir.path() + "chosen.ost";
    std::string proposed;
    DialogWatcher watcher("Save As", IDOK, [&](HWND dialog) {
        // The explorer-style dialog's file name box is a combo box; older
        // layouts have a plain edit.
        const HWND name = GetDlgItem(dialog, cmb13) ? GetDlgItem(dialog, cmb13) : GetDlgItem(dialog, edt1);
        proposed = WindowText(name);
        SetWindowTextA(name, path.c_str());
    });
    Command(ID_FILE_SAVE);
    const DialogSeen& seen = watcher.Result();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(frame_->hwnd(), seen.owner);
    EXPECT_EQ("Ostrel", proposed);
    EXPECT_EQ(0, lstrcmpiA(path.c_str(), Doc()->PathName().c_str())) << Doc()->PathName();
    EXPECT_EQ("chosen.ost", Doc()->Title());
    const std::string written = ReadBytes(path);
    ASSERT_FALSE(written.empty());
    EXPECT_EQ(0, written.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1")) << "a compound file";

    // Now the document has a file: Save writes it again without asking.
    dir.WriteFile("chosen.ost", "overwritten");
    auto asked = WatchBox("Save As", 3000);
    Command(ID_FILE_SAVE);
    EXPECT_FALSE(asked.get().has_value());
    EXPECT_EQ(0, ReadBytes(path).compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"));
}

TEST_F(OstrelProgram, ClosingTheFrameEndsTheConnectionsAndTheMessageLoop) {
    ASSERT_NE(nullptr, Connect());
    EXPECT_EQ(1, testsupport::CountProcesses(kVelmoraExe));
    SendMessageW(frame_->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(frame_->hwnd()));
    EXPECT_EQ(nullptr, app_->Template()->GetDocument());
    MSG msg;
    EXPECT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the program's loop ends";
    EXPECT_TRUE(testsupport::WaitForNoProcess(kVelmoraExe, 20000));
}

// A group at rate 0 keeps the server sending all the time; leaving it on the
// way out is still a matter of moments.
TEST_F(OstrelProgram, ExitWithARateZeroGroupIsPrompt) {
    ASSERT_NE(nullptr, GroupWithItems({"Name0", "Name1"}, "0"));
    testsupport::PumpMessages(1000);
    const DWORD start = GetTickCount();
    Command(ID_APP_EXIT);
    EXPECT_FALSE(IsWindow(frame_->hwnd()));
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_TRUE(testsupport::WaitForNoProcess(kVelmoraExe, 20000));
}

// --- Start-up failure ---------------------------------------------------

// A thread already in the multithreaded apartment cannot start OLE: the
// program says so and does not start.
TEST(OstrelStartUp, OleThatCannotStartIsReportedAndEndsTheStart) {
    bool started = true;
    std::thread thread([&started] {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        {
            COstrelApp app;
            started = app.InitInstance();
            EXPECT_EQ(nullptr, app.MainFrame());
            app.ExitInstance();
        }
        CoUninitialize();
    });
    const auto box = testsupport::WaitForMessageBox(kProgramTitle, 20000);
    thread.join();
    EXPECT_FALSE(started);
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ("OLE initialization failed.  Make sure that the OLE libraries are the correct version.", box->text);
}

}  // namespace
