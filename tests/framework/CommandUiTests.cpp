// Command enabling through the command targets: menus as they open,
// accelerators, toggles of the bars.
#include "FrameworkTest.h"

#include "DialogWatcher.h"
#include "WineTest.h"

#include <dlgs.h>

#include <algorithm>

namespace frameworktest {
namespace {

class CommandUi : public FrameTest {
protected:
    // What the menu shows when the user opens a popup of the current bar.
    HMENU OpenPopup(const char* text) {
        HMENU popup = Popup(GetMenu(frame_.hwnd()), text);
        if (popup) SendMessageW(frame_.hwnd(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), MAKELPARAM(0, FALSE));
        return popup;
    }
    bool Received(UINT id) const {
        return std::find(frame_.commands.begin(), frame_.commands.end(), id) != frame_.commands.end();
    }
};

TEST_F(CommandUi, NoDocument) {
    HMENU file = OpenPopup("&File");
    ASSERT_NE(nullptr, file);
    EXPECT_FALSE(IsGrayed(file, ID_FILE_NEW));
    EXPECT_FALSE(IsGrayed(file, ID_FILE_OPEN));
    EXPECT_TRUE(IsGrayed(file, ID_FILE_MRU_FILE1));
    EXPECT_FALSE(IsGrayed(file, ID_APP_EXIT));
    HMENU help = OpenPopup("&Help");
    EXPECT_FALSE(IsGrayed(help, ID_APP_ABOUT));
}

TEST_F(CommandUi, DocumentFileAndEditMenus) {
    ASSERT_TRUE(OpenDocument());
    HMENU file = OpenPopup("&File");
    ASSERT_NE(nullptr, file);
    EXPECT_FALSE(IsGrayed(file, ID_FILE_NEW));
    EXPECT_FALSE(IsGrayed(file, ID_FILE_OPEN));
    EXPECT_FALSE(IsGrayed(file, ID_FILE_CLOSE));
    EXPECT_TRUE(IsGrayed(file, ID_FILE_SAVE));
    EXPECT_TRUE(IsGrayed(file, ID_FILE_SAVE_AS));
    EXPECT_TRUE(IsGrayed(file, ID_FILE_MRU_FILE1));

    HMENU edit = OpenPopup("&Edit");
    ASSERT_NE(nullptr, edit);
    for (UINT id : {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE}) EXPECT_TRUE(IsGrayed(edit, id)) << id;
}

TEST_F(CommandUi, WindowMenuWithADocument) {
    ASSERT_TRUE(OpenDocument());
    HMENU window = OpenPopup("&Window");
    ASSERT_NE(nullptr, window);
    EXPECT_TRUE(IsGrayed(window, ID_WINDOW_NEW));
    EXPECT_FALSE(IsGrayed(window, ID_WINDOW_CASCADE));
    EXPECT_FALSE(IsGrayed(window, ID_WINDOW_TILE_HORZ));
    EXPECT_FALSE(IsGrayed(window, ID_WINDOW_ARRANGE));
}

TEST_F(CommandUi, EnablingFollowsTheActiveDocument) {
    EXPECT_FALSE(frame_.CommandEnabled(ID_FILE_CLOSE));
    EXPECT_FALSE(frame_.CommandEnabled(ID_NEXT_PANE));
    fw::Document* doc = OpenDocument();
    ASSERT_TRUE(doc);
    EXPECT_TRUE(frame_.CommandEnabled(ID_FILE_CLOSE));
    EXPECT_TRUE(frame_.CommandEnabled(ID_NEXT_PANE));
    doc->OnCloseDocument();
    EXPECT_FALSE(frame_.CommandEnabled(ID_FILE_CLOSE));
}

TEST_F(CommandUi, IdsNobodyOwnsAreDisabled) {
    EXPECT_FALSE(frame_.CommandEnabled(0x1234));
    EXPECT_FALSE(frame_.CommandEnabled(ID_FILE_SAVE));
    EXPECT_TRUE(frame_.CommandEnabled(ID_APP_ABOUT));
}

TEST_F(CommandUi, UpdateCommandUiRefreshesTheWholeBar) {
    ASSERT_TRUE(OpenDocument());
    HMENU bar = GetMenu(frame_.hwnd());
    // Undo the resource's own states, then let the frame compute them.
    EnableMenuItem(bar, ID_FILE_SAVE, MF_BYCOMMAND | MF_ENABLED);
    EnableMenuItem(bar, ID_FILE_NEW, MF_BYCOMMAND | MF_GRAYED);
    frame_.UpdateCommandUI();
    EXPECT_TRUE(IsGrayed(bar, ID_FILE_SAVE));
    EXPECT_FALSE(IsGrayed(bar, ID_FILE_NEW));
}

TEST_F(CommandUi, ToolbarToggleHidesAndChecks) {
    HMENU bar = GetMenu(frame_.hwnd());
    RECT before = {};
    GetWindowRect(frame_.MdiClient(), &before);
    frame_.UpdateCommandUI();
    EXPECT_TRUE(IsChecked(bar, ID_VIEW_TOOLBAR));

    Command(ID_VIEW_TOOLBAR);
    frame_.UpdateCommandUI();
    EXPECT_FALSE(GetWindowLongW(frame_.ToolBar(), GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(IsChecked(bar, ID_VIEW_TOOLBAR));
    RECT after = {};
    GetWindowRect(frame_.MdiClient(), &after);
    EXPECT_LT(after.top, before.top);  // the client took the toolbar's place

    Command(ID_VIEW_TOOLBAR);
    frame_.UpdateCommandUI();
    EXPECT_TRUE(GetWindowLongW(frame_.ToolBar(), GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(IsChecked(bar, ID_VIEW_TOOLBAR));
}

TEST_F(CommandUi, StatusBarToggleHidesAndChecks) {
    HMENU bar = GetMenu(frame_.hwnd());
    RECT before = {};
    GetWindowRect(frame_.MdiClient(), &before);

    Command(ID_VIEW_STATUS_BAR);
    frame_.UpdateCommandUI();
    EXPECT_FALSE(GetWindowLongW(frame_.StatusBar(), GWL_STYLE) & WS_VISIBLE);
    EXPECT_FALSE(IsChecked(bar, ID_VIEW_STATUS_BAR));
    RECT after = {};
    GetWindowRect(frame_.MdiClient(), &after);
    EXPECT_GT(after.bottom, before.bottom);

    Command(ID_VIEW_STATUS_BAR);
    frame_.UpdateCommandUI();
    EXPECT_TRUE(GetWindowLongW(frame_.StatusBar(), GWL_STYLE) & WS_VISIBLE);
    EXPECT_TRUE(IsChecked(bar, ID_VIEW_STATUS_BAR));
}

TEST_F(CommandUi, CheckStateFollowsIntoTheDocumentMenu) {
    Command(ID_VIEW_TOOLBAR);
    ASSERT_TRUE(OpenDocument());
    HMENU view = OpenPopup("&View");
    ASSERT_NE(nullptr, view);
    EXPECT_FALSE(IsChecked(view, ID_VIEW_TOOLBAR));
    EXPECT_TRUE(IsChecked(view, ID_VIEW_STATUS_BAR));
}

TEST_F(CommandUi, DisabledAcceleratorCommandIsDropped) {
    SendMessageW(frame_.hwnd(), WM_COMMAND, MAKEWPARAM(ID_FILE_SAVE, 1), 0);
    EXPECT_FALSE(Received(ID_FILE_SAVE));
    // The same id from a menu is handed on (and nobody handles it).
    Command(ID_FILE_SAVE);
    EXPECT_TRUE(Received(ID_FILE_SAVE));
}

TEST_F(CommandUi, CtrlNThroughTheAcceleratorTableMakesADocument) {
    KeyboardStateScope keys;
    keys.Set(VK_CONTROL, 0x80);
    MSG msg = {frame_.hwnd(), WM_KEYDOWN, 'N', 1, 0, {0, 0}};
    EXPECT_TRUE(frame_.PreTranslateMessage(msg));
    ASSERT_EQ(1u, Template().Documents().size());
    EXPECT_EQ("OPC Server1", Template().Documents()[0]->Title());
}

TEST_F(CommandUi, CtrlSThroughTheAcceleratorTableIsSwallowed) {
    KeyboardStateScope keys;
    keys.Set(VK_CONTROL, 0x80);
    MSG msg = {frame_.hwnd(), WM_KEYDOWN, 'S', 1, 0, {0, 0}};
    frame_.PreTranslateMessage(msg);
    EXPECT_FALSE(Received(ID_FILE_SAVE));
}

TEST_F(CommandUi, F6MovesBetweenDocuments) {
    fw::Document* first = OpenDocument();
    fw::Document* second = OpenDocument();
    ASSERT_TRUE(first && second);
    ASSERT_EQ(second->FirstFrame()->hwnd(), ActiveChildWindow());
    MSG msg = {frame_.hwnd(), WM_KEYDOWN, VK_F6, 1, 0, {0, 0}};
    EXPECT_TRUE(frame_.PreTranslateMessage(msg));
    EXPECT_EQ(first->FirstFrame()->hwnd(), ActiveChildWindow());
}

TEST_F(CommandUi, KeysForOtherWindowsAreNotTranslated) {
    KeyboardStateScope keys;
    keys.Set(VK_CONTROL, 0x80);
    const HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    MSG msg = {other, WM_KEYDOWN, 'N', 1, 0, {0, 0}};
    EXPECT_FALSE(frame_.PreTranslateMessage(msg));
    EXPECT_TRUE(Template().Documents().empty());
    DestroyWindow(other);
}

TEST_F(CommandUi, NewCommandMakesTheNextDocument) {
    Command(ID_FILE_NEW);
    Command(ID_FILE_NEW);
    ASSERT_EQ(2u, Template().Documents().size());
    EXPECT_EQ("OPC Server2", Template().Documents()[1]->Title());
}

TEST_F(CommandUi, OpenAsksForAFileAndCancelMakesNothing) {
    DialogWatcher watcher("Open", IDCANCEL);
    Command(ID_FILE_OPEN);
    const DialogSeen& seen = watcher.Result();
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(frame_.hwnd(), seen.owner);
    EXPECT_TRUE(Template().Documents().empty());
    EXPECT_TRUE(Log().opened.empty());
}

TEST_F(CommandUi, OpenWithAFileMakesADocumentNamedAfterIt) {
    testsupport::ScratchDir dir;
    dir.WriteFile("north.opc", "plant");
    const std::string path = dir.path() + "north.opc";
    DialogWatcher watcher("Open", IDOK, [&path](HWND dialog) {
        // The explorer-style dialog's file name box is a combo box; older
        // layouts have a plain edit.
        const HWND name = GetDlgItem(dialog, cmb13) ? GetDlgItem(dialog, cmb13) : GetDlgItem(dialog, edt1);
        SetWindowTextA(name, path.c_str());
    });
    Command(ID_FILE_OPEN);
    ASSERT_TRUE(watcher.Result().found);
    ASSERT_EQ(1u, Template().Documents().size());
    EXPECT_EQ("north.opc", Template().Documents()[0]->Title());
    ASSERT_EQ(1u, Log().opened.size());
    EXPECT_EQ(0, lstrcmpiA(path.c_str(), Log().opened[0].c_str())) << Log().opened[0];
}

TEST_F(CommandUi, WindowCommandsArrangeTheChildren) {
    fw::Document* first = OpenDocument();
    fw::Document* second = OpenDocument();
    ASSERT_TRUE(first && second);
    Command(ID_WINDOW_TILE_HORZ);
    RECT a = {}, b = {};
    GetWindowRect(first->FirstFrame()->hwnd(), &a);
    GetWindowRect(second->FirstFrame()->hwnd(), &b);
    // Tiled: side by side without overlap.
    RECT overlap = {};
    EXPECT_FALSE(IntersectRect(&overlap, &a, &b) && (overlap.right - overlap.left) > 1 &&
                 (overlap.bottom - overlap.top) > 1);

    Command(ID_WINDOW_CASCADE);
    GetWindowRect(first->FirstFrame()->hwnd(), &a);
    GetWindowRect(second->FirstFrame()->hwnd(), &b);
    EXPECT_NE(a.left, b.left);  // cascaded: offset from each other
    EXPECT_NE(a.top, b.top);
}

}  // namespace
}  // namespace frameworktest
