// The server frame's toolbar and status bar.
#include "FrameworkTest.h"

#include <commctrl.h>

namespace frameworktest {
namespace {

class Toolbar : public FrameTest {};

TEST_F(Toolbar, OneAboutButtonWithTheStandardWindowId) {
    const HWND toolBar = frame_.ToolBar();
    ASSERT_NE(nullptr, toolBar);
    EXPECT_EQ(frame_.hwnd(), GetParent(toolBar));
    EXPECT_EQ(IDW_TOOLBAR, GetDlgCtrlID(toolBar));
    EXPECT_TRUE(GetWindowLongW(toolBar, GWL_STYLE) & WS_VISIBLE);
    ASSERT_EQ(1, SendMessageW(toolBar, TB_BUTTONCOUNT, 0, 0));
    TBBUTTON button = {};
    ASSERT_TRUE(SendMessageW(toolBar, TB_GETBUTTON, 0, reinterpret_cast<LPARAM>(&button)));
    EXPECT_EQ(ID_APP_ABOUT, button.idCommand);
    EXPECT_EQ(0, button.iBitmap);
}

TEST_F(Toolbar, ImagesAre16By15) {
    auto images = reinterpret_cast<HIMAGELIST>(SendMessageW(frame_.ToolBar(), TB_GETIMAGELIST, 0, 0));
    ASSERT_NE(nullptr, images);
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(images, &cx, &cy));
    EXPECT_EQ(16, cx);
    EXPECT_EQ(15, cy);
    EXPECT_EQ(1, ImageList_GetImageCount(images));
}

TEST_F(Toolbar, ButtonFollowsTheCommandState) {
    frame_.UpdateCommandUI();
    EXPECT_TRUE(SendMessageW(frame_.ToolBar(), TB_ISBUTTONENABLED, ID_APP_ABOUT, 0));
    SendMessageW(frame_.ToolBar(), TB_ENABLEBUTTON, ID_APP_ABOUT, FALSE);
    frame_.UpdateCommandUI();
    EXPECT_TRUE(SendMessageW(frame_.ToolBar(), TB_ISBUTTONENABLED, ID_APP_ABOUT, 0));
}

TEST_F(Toolbar, ToolTipIsTheCommandsShortName) {
    NMTTDISPINFOW info = {};
    info.hdr.hwndFrom = frame_.ToolBar();
    info.hdr.idFrom = ID_APP_ABOUT;
    info.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(frame_.hwnd(), WM_NOTIFY, IDW_TOOLBAR, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(nullptr, info.lpszText);
    EXPECT_STREQ(L"About", info.lpszText);
}

TEST_F(Toolbar, HotButtonShowsItsPromptInTheStatusBar) {
    NMTBHOTITEM hot = {};
    hot.hdr.hwndFrom = frame_.ToolBar();
    hot.hdr.idFrom = IDW_TOOLBAR;
    hot.hdr.code = TBN_HOTITEMCHANGE;
    hot.idNew = ID_APP_ABOUT;
    SendMessageW(frame_.hwnd(), WM_NOTIFY, IDW_TOOLBAR, reinterpret_cast<LPARAM>(&hot));
    EXPECT_EQ("Show the program name and version", StatusPaneText(frame_.StatusBar(), 0));
    hot.dwFlags = HICF_LEAVING;
    SendMessageW(frame_.hwnd(), WM_NOTIFY, IDW_TOOLBAR, reinterpret_cast<LPARAM>(&hot));
    EXPECT_EQ("Ready", StatusPaneText(frame_.StatusBar(), 0));
}

class StatusBar : public FrameTest {};

TEST_F(StatusBar, FourPanesWithTheStandardWindowId) {
    const HWND bar = frame_.StatusBar();
    ASSERT_NE(nullptr, bar);
    EXPECT_EQ(IDW_STATUS_BAR, GetDlgCtrlID(bar));
    int edges[8] = {};
    ASSERT_EQ(4, SendMessageW(bar, SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)));
    // The message pane is the widest; the indicators keep their order.
    EXPECT_GT(edges[0], edges[1] - edges[0]);
    EXPECT_LT(edges[0], edges[1]);
    EXPECT_LT(edges[1], edges[2]);
}

TEST_F(StatusBar, MessagePaneSaysReadyWhenIdle) { EXPECT_EQ("Ready", StatusPaneText(frame_.StatusBar(), 0)); }

TEST_F(StatusBar, IndicatorsShowTheirTextOnlyWhileTheKeyIsOn) {
    KeyboardStateScope keys;
    keys.Set(VK_CAPITAL, 0);
    keys.Set(VK_NUMLOCK, 0);
    keys.Set(VK_SCROLL, 0);
    frame_.UpdateCommandUI();
    EXPECT_EQ("", StatusPaneText(frame_.StatusBar(), 1));
    EXPECT_EQ("", StatusPaneText(frame_.StatusBar(), 2));
    EXPECT_EQ("", StatusPaneText(frame_.StatusBar(), 3));

    keys.Set(VK_CAPITAL, 1);
    frame_.UpdateCommandUI();
    EXPECT_EQ("CAP", StatusPaneText(frame_.StatusBar(), 1));
    EXPECT_EQ("", StatusPaneText(frame_.StatusBar(), 2));

    keys.Set(VK_NUMLOCK, 1);
    keys.Set(VK_SCROLL, 1);
    frame_.UpdateCommandUI();
    EXPECT_EQ("NUM", StatusPaneText(frame_.StatusBar(), 2));
    EXPECT_EQ("SCRL", StatusPaneText(frame_.StatusBar(), 3));

    keys.Set(VK_CAPITAL, 0);
    frame_.UpdateCommandUI();
    EXPECT_EQ("", StatusPaneText(frame_.StatusBar(), 1));
}

TEST_F(StatusBar, MenuItemPromptWhileSelected) {
    HMENU bar = GetMenu(frame_.hwnd());
    SendMessageW(frame_.hwnd(), WM_MENUSELECT, MAKEWPARAM(ID_APP_EXIT, MF_HILITE), reinterpret_cast<LPARAM>(bar));
    EXPECT_EQ("End the server program", StatusPaneText(frame_.StatusBar(), 0));
    SendMessageW(frame_.hwnd(), WM_MENUSELECT, MAKEWPARAM(0, 0xFFFF), 0);
    EXPECT_EQ("Ready", StatusPaneText(frame_.StatusBar(), 0));
}

}  // namespace
}  // namespace frameworktest
