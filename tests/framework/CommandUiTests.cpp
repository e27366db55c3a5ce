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
    // Expects the items of the popup as it opens to be grayed or not.
    void ExpectGrayed(const char* popupText, std::initializer_list<UINT> ids, bool grayed) {
        HMENU popup = OpenPopup(popupText);
        ASSERT_NE(nullptr, popup) << popupText;
        for (UINT id : ids) EXPECT_EQ(grayed, IsGrayed(popup, id)) << popupText << " item " << id;
    }
    bool Received(UINT id) const {
        return std::find(frame_.commands.begin(), frame_.commands.end(), id) != frame_.commands.end();
    }
    // A key as the message loop hands it to the frame, Ctrl held down.
    bool CtrlKey(HWND window, WPARAM key) {
        KeyboardStateScope keys;
        keys.Set(VK_CONTROL, 0x80);
        MSG msg = {window, WM_KEYDOWN, key, 1, 0, {0, 0}};
        return frame_.PreTranslateMessage(msg);
    }
};

TEST_F(CommandUi, MenusAsTheyOpenWithoutAndWithADocument) {
    ExpectGrayed("&File", {ID_FILE_NEW, ID_FILE_OPEN, ID_APP_EXIT}, false);
    ExpectGrayed("&File", {ID_FILE_MRU_FILE1}, true);
    ExpectGrayed("&Help", {ID_APP_ABOUT}, false);

    ASSERT_TRUE(OpenDocument());
    ExpectGrayed("&File", {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_CLOSE}, false);
    ExpectGrayed("&File", {ID_FILE_SAVE, ID_FILE_SAVE_AS, ID_FILE_MRU_FILE1}, true);
    ExpectGrayed("&Edit", {ID_EDIT_UNDO, ID_EDIT_CUT, ID_EDIT_COPY, ID_EDIT_PASTE}, true);
    ExpectGrayed("&Window", {ID_WINDOW_CASCADE, ID_WINDOW_TILE_HORZ, ID_WINDOW_ARRANGE}, false);
    ExpectGrayed("&Window", {ID_WINDOW_NEW}, true);
}

TEST_F(CommandUi, EnablingFollowsTheActiveDocumentAndIdsNobodyOwnsAreDisabled) {
    EXPECT_FALSE(frame_.CommandEnabled(0x1234));
    EXPECT_FALSE(frame_.CommandEnabled(ID_FILE_SAVE));
    EXPECT_TRUE(frame_.CommandEnabled(ID_APP_ABOUT));
    EXPECT_FALSE(frame_.CommandEnabled(ID_FILE_CLOSE));
    EXPECT_FALSE(frame_.CommandEnabled(ID_NEXT_PANE));
    fw::Document* doc = OpenDocument();
    ASSERT_TRUE(doc);
    EXPECT_TRUE(frame_.CommandEnabled(ID_FILE_CLOSE));
    EXPECT_TRUE(frame_.CommandEnabled(ID_NEXT_PANE));
    doc->OnCloseDocument();
    EXPECT_FALSE(frame_.CommandEnabled(ID_FILE_CLOSE));
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

// Each toggle hides its bar, unchecks its item and gives the bar's room to the
// client; again, and all is back.
TEST_F(CommandUi, BarTogglesHideAndCheck) {
    const struct {
        UINT id;
        HWND bar;
        LONG RECT::*edge;
        int direction;  // where the client's edge moves while the bar is hidden
    } toggles[] = {{ID_VIEW_TOOLBAR, frame_.ToolBar(), &RECT::top, -1},
                   {ID_VIEW_STATUS_BAR, frame_.StatusBar(), &RECT::bottom, 1}};
    HMENU menu = GetMenu(frame_.hwnd());
    for (const auto& t : toggles) {
        SCOPED_TRACE(t.id);
        RECT before = {}, after = {};
        GetWindowRect(frame_.MdiClient(), &before);
        frame_.UpdateCommandUI();
        EXPECT_TRUE(IsChecked(menu, t.id));
        for (bool shown : {false, true}) {
            Command(t.id);
            frame_.UpdateCommandUI();
            EXPECT_EQ(shown, (GetWindowLongW(t.bar, GWL_STYLE) & WS_VISIBLE) != 0);
            EXPECT_EQ(shown, IsChecked(menu, t.id));
            if (!shown) GetWindowRect(frame_.MdiClient(), &after);
        }
        EXPECT_GT((after.*t.edge - before.*t.edge) * t.direction, 0) << "the client took the bar's place";
    }
}

TEST_F(CommandUi, CheckStateFollowsIntoTheDocumentMenu) {
    Command(ID_VIEW_TOOLBAR);
    ASSERT_TRUE(OpenDocument());
    HMENU view = OpenPopup("&View");
    ASSERT_NE(nullptr, view);
    EXPECT_FALSE(IsChecked(view, ID_VIEW_TOOLBAR));
    EXPECT_TRUE(IsChecked(view, ID_VIEW_STATUS_BAR));
}

// A disabled command from an accelerator is dropped; the same id from a menu
// is handed on (and nobody handles it).
TEST_F(CommandUi, DisabledAcceleratorCommandIsDropped) {
    SendMessageW(frame_.hwnd(), WM_COMMAND, MAKEWPARAM(ID_FILE_SAVE, 1), 0);
    CtrlKey(frame_.hwnd(), 'S');
    EXPECT_FALSE(Received(ID_FILE_SAVE));
    Command(ID_FILE_SAVE);
    EXPECT_TRUE(Received(ID_FILE_SAVE));
}

TEST_F(CommandUi, TheAcceleratorTableServesTheFrameOnly) {
    const HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    EXPECT_FALSE(CtrlKey(other, 'N'));
    DestroyWindow(other);
    EXPECT_TRUE(Template().Documents().empty());

    EXPECT_TRUE(CtrlKey(frame_.hwnd(), 'N'));
    ASSERT_EQ(1u, Template().Documents().size());
    EXPECT_EQ("OPC Server1", Template().Documents()[0]->Title());

    // The menu's New makes the next one; F6 moves between them.
    Command(ID_FILE_NEW);
    ASSERT_EQ(2u, Template().Documents().size());
    EXPECT_EQ("OPC Server2", Template().Documents()[1]->Title());
    ASSERT_EQ(Template().Documents()[1]->FirstFrame()->hwnd(), ActiveChildWindow());
    MSG msg = {frame_.hwnd(), WM_KEYDOWN, VK_F6, 1, 0, {0, 0}};
    EXPECT_TRUE(frame_.PreTranslateMessage(msg));
    EXPECT_EQ(Template().Documents()[0]->FirstFrame()->hwnd(), ActiveChildWindow());
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
    RECT a = {}, b = {}, overlap = {};
    auto measure = [&] {
        GetWindowRect(first->FirstFrame()->hwnd(), &a);
        GetWindowRect(second->FirstFrame()->hwnd(), &b);
    };
    Command(ID_WINDOW_TILE_HORZ);
    measure();
    EXPECT_FALSE(IntersectRect(&overlap, &a, &b) && (overlap.right - overlap.left) > 1 &&
                 (overlap.bottom - overlap.top) > 1)
        << "tiled: side by side without overlap";
    Command(ID_WINDOW_CASCADE);
    measure();
    EXPECT_NE(a.left, b.left) << "cascaded: offset from each other";
    EXPECT_NE(a.top, b.top);
}

}  // namespace
}  // namespace frameworktest
