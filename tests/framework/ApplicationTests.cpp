// The application object: locks that end a COM-started program, the
// message loop, resource strings.
#include "FrameworkTest.h"

#include "WineTest.h"

namespace frameworktest {
namespace {

class ApplicationLock : public FrameTest {};

TEST_F(ApplicationLock, LastUnlockWithoutUserClosesTheMainFrameAndQuits) {
    const HWND window = frame_.hwnd();
    app_->Lock();
    EXPECT_EQ(1, app_->LockCount());
    app_->Unlock();
    EXPECT_EQ(0, app_->LockCount());
    EXPECT_EQ(nullptr, frame_.hwnd());
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(TakeQuitMessage());
}

TEST_F(ApplicationLock, UnlockLeavingALockOrUnderUserControlKeepsRunning) {
    app_->Lock();
    app_->Lock();
    app_->Unlock();
    EXPECT_EQ(1, app_->LockCount());
    EXPECT_TRUE(IsWindow(frame_.hwnd()));
    EXPECT_FALSE(TakeQuitMessage());
    app_->SetUserControl(true);
    app_->Unlock();
    EXPECT_EQ(0, app_->LockCount());
    EXPECT_TRUE(IsWindow(frame_.hwnd()));
    EXPECT_FALSE(TakeQuitMessage());
}

TEST_F(ApplicationLock, ClosingTheLastLockingDocumentEndsAComStartedProgram) {
    Log().lockApp = true;
    fw::Document* first = OpenDocument();
    fw::Document* second = OpenDocument();
    ASSERT_TRUE(first && second);
    EXPECT_EQ(2, app_->LockCount());

    first->OnCloseDocument();
    EXPECT_TRUE(IsWindow(frame_.hwnd()));
    EXPECT_FALSE(TakeQuitMessage());

    second->OnCloseDocument();
    EXPECT_EQ(0, app_->LockCount());
    EXPECT_EQ(nullptr, frame_.hwnd());
    EXPECT_TRUE(TakeQuitMessage());
    EXPECT_EQ(0, Log().live);
}

TEST_F(ApplicationLock, OnlyAMenuCommandGivesTheUserControl) {
    // A notification from a control is not the user picking a command.
    SendMessageW(frame_.hwnd(), WM_COMMAND, MAKEWPARAM(ID_VIEW_STATUS_BAR, BN_CLICKED),
                 reinterpret_cast<LPARAM>(frame_.MdiClient()));
    EXPECT_FALSE(app_->UserControl());
    Command(ID_VIEW_STATUS_BAR);
    EXPECT_TRUE(app_->UserControl());
    app_->Lock();
    app_->Unlock();
    EXPECT_TRUE(IsWindow(frame_.hwnd()));
}

// Run with scripted start-up hooks.
class ScriptedApplication : public fw::Application {
public:
    bool initResult = true;
    int exitResult = 0;
    bool useDefaultExit = true;
    int exitCalls = 0;
    bool pressCtrlN = false;
    RecordingFrame frame;

    bool InitInstance() override {
        if (!initResult) return false;
        AddDocTemplate(std::make_unique<fw::MultiDocTemplate>(
            IDR_OPCSERVER_DOC, [] { return new TestDocument; }, [] { return new fw::View; }));
        if (!frame.LoadFrame(IDR_MAINFRAME)) return false;
        SetMainFrame(&frame);
        if (pressCtrlN) PostMessageW(frame.hwnd(), WM_KEYDOWN, 'N', 1);
        PostMessageW(frame.hwnd(), WM_COMMAND, MAKEWPARAM(ID_APP_EXIT, 0), 0);
        return true;
    }
    int ExitInstance() override {
        ++exitCalls;
        return useDefaultExit ? fw::Application::ExitInstance() : exitResult;
    }
};

class ApplicationRun : public ::testing::Test {
protected:
    void SetUp() override {
        Log() = DocumentLog{};
        TakeQuitMessage();
    }
    void TearDown() override { TakeQuitMessage(); }
};

TEST_F(ApplicationRun, FailedStartReportsFailureOrTheExitCode) {
    ScriptedApplication failing;
    failing.initResult = false;
    EXPECT_EQ(1, failing.Run(GetModuleHandleW(nullptr), SW_HIDE)) << "even when the default exit says 0";
    EXPECT_EQ(1, failing.exitCalls);
    ScriptedApplication coded;
    coded.initResult = false;
    coded.useDefaultExit = false;
    coded.exitResult = 7;
    EXPECT_EQ(7, coded.Run(GetModuleHandleW(nullptr), SW_HIDE));
}

TEST_F(ApplicationRun, ExitCommandEndsTheLoopWithTheExitCode) {
    ScriptedApplication plain;
    EXPECT_EQ(0, plain.Run(GetModuleHandleW(nullptr), SW_HIDE)) << "by default the quit code";
    ScriptedApplication app;
    app.useDefaultExit = false;
    app.exitResult = 3;
    EXPECT_EQ(3, app.Run(GetModuleHandleW(nullptr), SW_HIDE));
    EXPECT_EQ(1, app.exitCalls);
    EXPECT_EQ(nullptr, app.frame.hwnd());
    EXPECT_EQ(std::vector<UINT>{ID_APP_EXIT}, app.frame.commands);
}

TEST_F(ApplicationRun, LoopTranslatesTheFramesAccelerators) {
    KeyboardStateScope keys;
    keys.Set(VK_CONTROL, 0x80);
    ScriptedApplication app;
    app.pressCtrlN = true;
    EXPECT_EQ(0, app.Run(GetModuleHandleW(nullptr), SW_HIDE));
    EXPECT_EQ(1, Log().created);  // Ctrl+N made a document before Exit closed it
    EXPECT_EQ(0, Log().live);
}

TEST(ApplicationCurrent, IsTheLiveApplication) {
    EXPECT_EQ(nullptr, fw::Application::Current());
    {
        TestApplication app;
        EXPECT_EQ(&app, fw::Application::Current());
    }
    EXPECT_EQ(nullptr, fw::Application::Current());
}

}  // namespace
}  // namespace frameworktest
