// The server's resources as the program loads them: strings, accelerators,
// icons and the About box.
#include "FrameworkTest.h"

#include "AboutDialog.h"
#include "DialogWatcher.h"

#include <algorithm>
#include <tuple>

namespace frameworktest {
namespace {

class ServerStrings : public ::testing::Test {
protected:
    TestApplication app_;
};

TEST_F(ServerStrings, StartUpStrings) {
    EXPECT_EQ("OLE initialization failed.  Make sure that the OLE libraries are the correct version.",
              app_.LoadString(100));
    EXPECT_EQ("Velmora OPC Server", app_.LoadString(128));
    EXPECT_EQ("\nOPC Server\nOPC Server\n\n\nVELMORAOPC.Document\nOPC Server", app_.LoadString(129));
    EXPECT_EQ("VELMORA_OPC", app_.LoadString(57344));
}

TEST_F(ServerStrings, StatusBarStrings) {
    EXPECT_EQ("Ready", app_.LoadString(0xE001));
    EXPECT_EQ("CAP", app_.LoadString(0xE701));
    EXPECT_EQ("NUM", app_.LoadString(0xE702));
    EXPECT_EQ("SCRL", app_.LoadString(0xE703));
}

TEST_F(ServerStrings, UnregistrationOutcomes) {
    EXPECT_EQ("System registry entries have been removed and the INI file (if any) was deleted.",
              app_.LoadString(IDS_UNREG_DONE));
    EXPECT_EQ("Not all of the system registry entries (or INI file) were removed.", app_.LoadString(IDS_UNREG_FAILED));
}

TEST_F(ServerStrings, MissingStringIsEmpty) { EXPECT_EQ("", app_.LoadString(0x7ABC)); }

TEST(ServerAccelerators, TableMatchesTheKeys) {
    HACCEL table = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
    ASSERT_NE(nullptr, table);
    const int count = CopyAcceleratorTableW(table, nullptr, 0);
    std::vector<ACCEL> entries(static_cast<size_t>(count));
    CopyAcceleratorTableW(table, entries.data(), count);

    using Entry = std::tuple<int, int, int>;  // modifiers, key, command
    std::vector<Entry> actual;
    for (const ACCEL& a : entries)
        actual.emplace_back(a.fVirt & (FVIRTKEY | FCONTROL | FSHIFT | FALT), a.key, a.cmd);
    const int ctrl = FVIRTKEY | FCONTROL, shift = FVIRTKEY | FSHIFT, alt = FVIRTKEY | FALT;
    std::vector<Entry> expected = {
        {ctrl, 'N', ID_FILE_NEW},         {ctrl, 'O', ID_FILE_OPEN},        {ctrl, 'S', ID_FILE_SAVE},
        {ctrl, 'Z', ID_EDIT_UNDO},        {alt, VK_BACK, ID_EDIT_UNDO},     {ctrl, 'X', ID_EDIT_CUT},
        {shift, VK_DELETE, ID_EDIT_CUT},  {ctrl, 'C', ID_EDIT_COPY},        {ctrl, VK_INSERT, ID_EDIT_COPY},
        {ctrl, 'V', ID_EDIT_PASTE},       {shift, VK_INSERT, ID_EDIT_PASTE}, {FVIRTKEY, VK_F6, ID_NEXT_PANE},
        {shift, VK_F6, ID_PREV_PANE},
    };
    std::sort(actual.begin(), actual.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, actual);
}

class ServerWindows : public FrameTest {};

TEST_F(ServerWindows, MainWindowTitleAndStyle) {
    char title[128] = {};
    GetWindowTextA(frame_.hwnd(), title, sizeof title);
    EXPECT_STREQ("Velmora OPC Server", title);
    const LONG style = GetWindowLongW(frame_.hwnd(), GWL_STYLE);
    EXPECT_EQ(static_cast<LONG>(WS_OVERLAPPEDWINDOW), style & static_cast<LONG>(WS_OVERLAPPEDWINDOW));
}

TEST_F(ServerWindows, FrameAndChildrenCarryTheirIcons) {
    const HICON frameIcon = reinterpret_cast<HICON>(GetClassLongPtrW(frame_.hwnd(), GCLP_HICON));
    EXPECT_NE(nullptr, frameIcon);
    fw::Document* doc = OpenDocument();
    ASSERT_TRUE(doc);
    const HICON childIcon = reinterpret_cast<HICON>(GetClassLongPtrW(doc->FirstFrame()->hwnd(), GCLP_HICON));
    EXPECT_NE(nullptr, childIcon);
    EXPECT_NE(frameIcon, childIcon);
    EXPECT_EQ(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_OPCSERVER_DOC)), childIcon);
}

void ExpectAboutBox(const DialogSeen& seen) {
    ASSERT_TRUE(seen.found);
    EXPECT_EQ("About VELMORA OPC", seen.caption);
    bool text = false, ok = false, icon = false;
    int buttons = 0;
    for (const ControlSeen& c : seen.controls) {
        if (lstrcmpiA(c.className.c_str(), "Button") == 0) {
            ++buttons;
            ok = ok || (c.id == IDOK && c.text == "OK");
        } else if (lstrcmpiA(c.className.c_str(), "Static") == 0) {
            if ((c.style & SS_TYPEMASK) == SS_ICON)
                icon = icon || c.icon != nullptr;
            else
                text = text || c.text == "VELMORA OPC Server Version 1.0";
        }
    }
    EXPECT_TRUE(text);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(icon);
    EXPECT_EQ(1, buttons);
}

TEST_F(ServerWindows, AboutBoxRunsModallyAndEndsWithOk) {
    DialogWatcher watcher("About VELMORA OPC");
    CAboutDialog about;
    EXPECT_EQ(IDOK, about.DoModal(frame_.hwnd()));
    ExpectAboutBox(watcher.Result());
    EXPECT_EQ(nullptr, about.hwnd());
}

TEST_F(ServerWindows, EscapeEndsTheAboutBoxWithCancel) {
    DialogWatcher watcher("About VELMORA OPC", IDCANCEL);
    CAboutDialog about;
    EXPECT_EQ(IDCANCEL, about.DoModal(frame_.hwnd()));
    EXPECT_TRUE(watcher.Result().found);
}

TEST_F(ServerWindows, AboutCommandShowsTheBoxOwnedByTheFrame) {
    DialogWatcher watcher("About VELMORA OPC");
    Command(ID_APP_ABOUT);
    const DialogSeen& seen = watcher.Result();
    ExpectAboutBox(seen);
    EXPECT_EQ(frame_.hwnd(), seen.owner);
}

TEST_F(ServerWindows, AboutButtonOnTheToolbarShowsTheBox) {
    DialogWatcher watcher("About VELMORA OPC");
    SendMessageW(frame_.hwnd(), WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, BN_CLICKED),
                 reinterpret_cast<LPARAM>(frame_.ToolBar()));
    ExpectAboutBox(watcher.Result());
    EXPECT_TRUE(app_->UserControl());
}

}  // namespace
}  // namespace frameworktest
