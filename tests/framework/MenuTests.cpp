// The server's two menus, exactly as the resources define them, and the
// frame switching between them as documents come and go.
#include "FrameworkTest.h"

namespace frameworktest {
namespace {

struct Item {
    const char* text;  // nullptr: separator
    UINT id;
};
struct ExpectedPopup {
    const char* text;
    std::vector<Item> items;
};

const std::vector<Item> kViewItems = {{"&Toolbar", ID_VIEW_TOOLBAR}, {"&Status Bar", ID_VIEW_STATUS_BAR}};
const std::vector<Item> kHelpItems = {{"&About VELMORA_OPC...", ID_APP_ABOUT}};

const std::vector<ExpectedPopup> kMainMenu = {
    {"&File",
     {{"&New\tCtrl+N", ID_FILE_NEW},
      {"&Open...\tCtrl+O", ID_FILE_OPEN},
      {nullptr, 0},
      {"Recent File", ID_FILE_MRU_FILE1},
      {nullptr, 0},
      {"E&xit", ID_APP_EXIT}}},
    {"&View", kViewItems},
    {"&Help", kHelpItems},
};

const std::vector<ExpectedPopup> kDocumentMenu = {
    {"&File",
     {{"&New\tCtrl+N", ID_FILE_NEW},
      {"&Open...\tCtrl+O", ID_FILE_OPEN},
      {"&Close", ID_FILE_CLOSE},
      {"&Save\tCtrl+S", ID_FILE_SAVE},
      {"Save &As...", ID_FILE_SAVE_AS},
      {nullptr, 0},
      {"Recent File", ID_FILE_MRU_FILE1},
      {nullptr, 0},
      {"E&xit", ID_APP_EXIT}}},
    {"&Edit",
     {{"&Undo\tCtrl+Z", ID_EDIT_UNDO},
      {nullptr, 0},
      {"Cu&t\tCtrl+X", ID_EDIT_CUT},
      {"&Copy\tCtrl+C", ID_EDIT_COPY},
      {"&Paste\tCtrl+V", ID_EDIT_PASTE}}},
    {"&View", kViewItems},
    {"&Window",
     {{"&New Window", ID_WINDOW_NEW},
      {"&Cascade", ID_WINDOW_CASCADE},
      {"&Tile", ID_WINDOW_TILE_HORZ},
      {"&Arrange Icons", ID_WINDOW_ARRANGE}}},
    {"&Help", kHelpItems},
};

// Compares a menu bar with its expected popups.  A popup may hold more items
// than listed: the MDI client appends its window list to the Window popup.
void ExpectMenu(HMENU bar, const std::vector<ExpectedPopup>& expected) {
    ASSERT_NE(nullptr, bar);
    ASSERT_EQ(static_cast<int>(expected.size()), GetMenuItemCount(bar));
    for (size_t p = 0; p < expected.size(); ++p) {
        SCOPED_TRACE(expected[p].text);
        EXPECT_EQ(expected[p].text, MenuText(bar, static_cast<int>(p)));
        HMENU popup = GetSubMenu(bar, static_cast<int>(p));
        ASSERT_NE(nullptr, popup);
        const auto& items = expected[p].items;
        ASSERT_LE(static_cast<int>(items.size()), GetMenuItemCount(popup));
        for (size_t i = 0; i < items.size(); ++i) {
            const UINT state = GetMenuState(popup, static_cast<UINT>(i), MF_BYPOSITION);
            if (!items[i].text) {
                EXPECT_TRUE(state & MF_SEPARATOR) << "item " << i;
                continue;
            }
            EXPECT_FALSE(state & MF_SEPARATOR) << "item " << i;
            EXPECT_EQ(items[i].text, MenuText(popup, static_cast<int>(i)));
            EXPECT_EQ(items[i].id, GetMenuItemID(popup, static_cast<int>(i))) << items[i].text;
        }
    }
}

class ServerMenus : public FrameTest {};

TEST_F(ServerMenus, MainAndDocumentMenuResources) {
    {
        SCOPED_TRACE("menu 128");
        ExpectMenu(frame_.DefaultMenu(), kMainMenu);
        EXPECT_EQ(static_cast<int>(kMainMenu[0].items.size()), GetMenuItemCount(Popup(frame_.DefaultMenu(), "&File")));
    }
    {
        SCOPED_TRACE("menu 129");
        ExpectMenu(Template().Menu(), kDocumentMenu);
    }
    EXPECT_TRUE(IsGrayed(frame_.DefaultMenu(), ID_FILE_MRU_FILE1));
    EXPECT_TRUE(IsGrayed(Template().Menu(), ID_FILE_MRU_FILE1));
}

// The frame starts with its own menu and shows the document menu while any
// document is active, however the last one is closed.
TEST_F(ServerMenus, DocumentMenuWhileADocumentIsActive) {
    EXPECT_EQ(frame_.DefaultMenu(), GetMenu(frame_.hwnd()));
    fw::Document* first = OpenDocument();
    ASSERT_TRUE(first);
    EXPECT_EQ(Template().Menu(), GetMenu(frame_.hwnd()));
    fw::Document* second = OpenDocument();
    ASSERT_TRUE(second);
    EXPECT_EQ(Template().Menu(), GetMenu(frame_.hwnd()));

    second->OnCloseDocument();
    EXPECT_EQ(Template().Menu(), GetMenu(frame_.hwnd()));  // the first is active again
    first->OnCloseDocument();
    EXPECT_EQ(frame_.DefaultMenu(), GetMenu(frame_.hwnd()));

    fw::Document* doc = OpenDocument();
    ASSERT_TRUE(doc);
    SendMessageW(doc->FirstFrame()->hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(frame_.DefaultMenu(), GetMenu(frame_.hwnd())) << "after the user closed the child";
}

TEST_F(ServerMenus, WindowMenuListsTheDocuments) {
    OpenDocument();
    OpenDocument();
    HMENU windowMenu = Popup(Template().Menu(), "&Window");
    ASSERT_NE(nullptr, windowMenu);
    std::string listed;
    for (int i = 0; i < GetMenuItemCount(windowMenu); ++i) {
        const UINT id = GetMenuItemID(windowMenu, i);
        if (id >= IDM_FIRST_MDICHILD && id != static_cast<UINT>(-1)) listed += MenuText(windowMenu, i) + "|";
    }
    EXPECT_NE(std::string::npos, listed.find("OPC Server1")) << listed;
    EXPECT_NE(std::string::npos, listed.find("OPC Server2")) << listed;
}

}  // namespace
}  // namespace frameworktest
