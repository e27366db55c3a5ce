#include "FrameworkTest.h"

#include "WineTest.h"

#include <commctrl.h>

#include <cstring>

namespace frameworktest {
namespace {

// Common controls (toolbar, status bar) are registered once for the process,
// as Application::Run does for the programs.
class CommonControlsEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&controls);
    }
};
const ::testing::Environment* const g_environment =
    ::testing::AddGlobalTestEnvironment(new CommonControlsEnvironment);

}  // namespace

DocumentLog& Log() {
    static DocumentLog log;
    return log;
}

TestDocument::TestDocument() {
    ++Log().created;
    ++Log().live;
    if (Log().lockApp) {
        fw::Application::Current()->Lock();
        locked_ = true;
    }
}

TestDocument::~TestDocument() {
    --Log().live;
    if (locked_) fw::Application::Current()->Unlock();
}

bool TestDocument::OnNewDocument() { return !Log().failNew && fw::Document::OnNewDocument(); }

bool TestDocument::OnOpenDocument(const std::string& path) {
    Log().opened.push_back(path);
    return true;
}

void TestDocument::OnCloseDocument() {
    ++Log().closeCalls;
    fw::Document::OnCloseDocument();
}

void FrameTest::SetUp() {
    Log() = DocumentLog{};
    TakeQuitMessage();
    app_ = std::make_unique<TestApplication>();
    app_->AddDocTemplate(std::make_unique<fw::MultiDocTemplate>(
        IDR_OPCSERVER_DOC, [] { return new TestDocument; }, [] { return new fw::View; }));
    ASSERT_TRUE(frame_.LoadFrame(IDR_MAINFRAME));
    app_->SetMainFrame(&frame_);
    ShowWindow(frame_.hwnd(), SW_SHOWNORMAL);
    testsupport::PumpMessages(0);
}

void FrameTest::TearDown() {
    if (frame_.hwnd()) frame_.CloseFrame();
    testsupport::PumpMessages(0);
    TakeQuitMessage();
    app_.reset();
}

fw::Document* FrameTest::OpenDocument() { return Template().OpenNewDocument(); }

HWND FrameTest::ActiveChildWindow() const {
    return reinterpret_cast<HWND>(SendMessageW(frame_.MdiClient(), WM_MDIGETACTIVE, 0, 0));
}

bool TakeQuitMessage() {
    MSG msg;
    return PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
}

std::string MenuText(HMENU menu, int position) {
    char text[256] = {};
    GetMenuStringA(menu, static_cast<UINT>(position), text, sizeof text, MF_BYPOSITION);
    return text;
}

HMENU Popup(HMENU bar, const char* text) {
    const int count = GetMenuItemCount(bar);
    for (int i = 0; i < count; ++i)
        if (MenuText(bar, i) == text) return GetSubMenu(bar, i);
    return nullptr;
}

bool IsGrayed(HMENU menu, UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_GRAYED) != 0; }

bool IsChecked(HMENU menu, UINT id) { return (GetMenuState(menu, id, MF_BYCOMMAND) & MF_CHECKED) != 0; }

std::string StatusPaneText(HWND statusBar, int pane) {
    char text[256] = {};
    const LRESULT length = SendMessageA(statusBar, SB_GETTEXTLENGTHA, pane, 0);
    if (LOWORD(length) >= sizeof text) return "<too long>";
    SendMessageA(statusBar, SB_GETTEXTA, pane, reinterpret_cast<LPARAM>(text));
    return text;
}

KeyboardStateScope::KeyboardStateScope() {
    GetKeyboardState(saved_);
    memcpy(current_, saved_, sizeof current_);
}

KeyboardStateScope::~KeyboardStateScope() { SetKeyboardState(saved_); }

void KeyboardStateScope::Set(int key, BYTE state) {
    current_[key] = state;
    SetKeyboardState(current_);
}

}  // namespace frameworktest
