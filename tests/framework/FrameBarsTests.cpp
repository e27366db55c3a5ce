// The server frame's toolbar and status bar.
#include "FrameworkTest.h"

#include <commctrl.h>

namespace frameworktest {
namespace {

class Toolbar : public FrameTest {};

TEST_F(Toolbar, OneAboutButtonWith16By15ImageAndTheStandardWindowId) {
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

    auto images = reinterpret_cast<HIMAGELIST>(SendMessageW(toolBar, TB_GETIMAGELIST, 0, 0));
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

TEST_F(Toolbar, ToolTipIsTheShortNameAndTheHotButtonPromptsInTheStatusBar) {
    NMTTDISPINFOW info = {};
    info.hdr.hwndFrom = frame_.ToolBar();
    info.hdr.idFrom = ID_APP_ABOUT;
    info.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(frame_.hwnd(), WM_NOTIFY, IDW_TOOLBAR, reinterpret_cast<LPARAM>(&info));
    ASSERT_NE(nullptr, info.lpszText);
    EXPECT_STREQ(L"About", info.lpszText);

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

TEST_F(StatusBar, FourPanesWithTheStandardWindowIdAndReadyWhenIdle) {
    const HWND bar = frame_.StatusBar();
    ASSERT_NE(nullptr, bar);
    EXPECT_EQ(IDW_STATUS_BAR, GetDlgCtrlID(bar));
    int edges[8] = {};
    ASSERT_EQ(4, SendMessageW(bar, SB_GETPARTS, 8, reinterpret_cast<LPARAM>(edges)));
    // The message pane is the widest; the indicators keep their order.
    EXPECT_GT(edges[0], edges[1] - edges[0]);
    EXPECT_LT(edges[0], edges[1]);
    EXPECT_LT(edges[1], edges[2]);
    EXPECT_EQ("Ready", StatusPaneText(bar, 0));
}

TEST_F(StatusBar, IndicatorsShowTheirTextOnlyWhileTheKeyIsOn) {
    const int keys[] = {VK_CAPITAL, VK_NUMLOCK, VK_SCROLL};
    const char* texts[] = {"CAP", "NUM", "SCRL"};
    KeyboardStateScope keyboard;
    // Each step turns one more key on; the last turns Caps Lock off again.
    const BYTE steps[][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}};
    for (const auto& step : steps) {
        for (int k = 0; k < 3; ++k) keyboard.Set(keys[k], step[k]);
        frame_.UpdateCommandUI();
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(step[k] ? texts[k] : "", StatusPaneText(frame_.StatusBar(), k + 1)) << texts[k];
    }
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
