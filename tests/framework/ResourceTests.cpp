// The server's resources as the program loads them: strings, accelerators,
// icons and the About box.
#include "FrameworkTest.h"

#include "AboutDialog.h"
#include "DialogWatcher.h"
#include "Text.h"

#include <algorithm>
#include <tuple>
#include <utility>

namespace frameworktest {
namespace {

TEST(ServerStrings, StartUpStatusBarAndUnregistrationStrings) {
    TestApplication app;
    const std::pair<UINT, const char*> strings[] = {
        {100, "OLE initialization failed.  Make sure that the OLE libraries are the correct version."},
        {128, "Velmora OPC Server"},
        {129, "\nOPC Server\nOPC Server\n\n\nVELMORAOPC.Document\nOPC Server"},
        {57344, "VELMORA_OPC"},
        {0xE001, "Ready"},
        {0xE701, "CAP"},
        {0xE702, "NUM"},
        {0xE703, "SCRL"},
        {IDS_UNREG_DONE, "System registry entries have been removed and the INI file (if any) was deleted."},
        {IDS_UNREG_FAILED, "Not all of the system registry entries (or INI file) were removed."},
        {0x7ABC, ""},  // a missing string
    };
    for (const auto& s : strings) EXPECT_EQ(s.second, app.LoadString(s.first)) << s.first;
}

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

TEST_F(ServerWindows, MainWindowTitleStyleAndIconsOfFrameAndChildren) {
    EXPECT_EQ("Velmora OPC Server", fw::WindowText(frame_.hwnd()));
    const LONG style = GetWindowLongW(frame_.hwnd(), GWL_STYLE);
    EXPECT_EQ(static_cast<LONG>(WS_OVERLAPPEDWINDOW), style & static_cast<LONG>(WS_OVERLAPPEDWINDOW));

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

TEST_F(ServerWindows, AboutBoxRunsModallyAndEndsWithOkOrCancel) {
    for (int button : {IDOK, IDCANCEL}) {
        SCOPED_TRACE(button);
        DialogWatcher watcher("About VELMORA OPC", button);
        CAboutDialog about;
        EXPECT_EQ(button, about.DoModal(frame_.hwnd()));
        ExpectAboutBox(watcher.Result());
        EXPECT_EQ(nullptr, about.hwnd());
    }
}

// From the menu or the toolbar button, owned by the frame.
TEST_F(ServerWindows, AboutCommandShowsTheBox) {
    for (LPARAM from : {LPARAM{0}, reinterpret_cast<LPARAM>(frame_.ToolBar())}) {
        SCOPED_TRACE(from ? "toolbar" : "menu");
        DialogWatcher watcher("About VELMORA OPC");
        SendMessageW(frame_.hwnd(), WM_COMMAND, MAKEWPARAM(ID_APP_ABOUT, from ? BN_CLICKED : 0), from);
        const DialogSeen& seen = watcher.Result();
        ExpectAboutBox(seen);
        EXPECT_EQ(frame_.hwnd(), seen.owner);
        EXPECT_TRUE(app_->UserControl());
    }
}

}  // namespace
}  // namespace frameworktest
