#include "OstrelApp.h"

#include "CallWatchdog.h"
#include "Dialog.h"
#include "MainFrame.h"
#include "ObjTree.h"
#include "OstrelDoc.h"
#include "OstrelResource.h"
#include "RegistryKey.h"
#include "SingleDocTemplate.h"
#include "Text.h"
#include "TimeLimitedCall.h"
#include "UniqueHandle.h"

#include <ole2.h>

#include <memory>

namespace {

constexpr int kPictureWidth = 16;
constexpr int kImageGrowth = 100;
constexpr COLORREF kTransparent = RGB(0, 255, 0);
constexpr const char* kProgramName = "OSTREL";

}  // namespace

COstrelApp* TheOstrelApp() { return dynamic_cast<COstrelApp*>(fw::Application::Current()); }

COstrelApp::COstrelApp() = default;

COstrelApp::~COstrelApp() {
    if (m_treeImages) ImageList_Destroy(m_treeImages);
}

bool COstrelApp::InitOle() {
    if (m_oleInitialised) return true;
    if (FAILED(OleInitialize(nullptr))) {
        MessageBoxW(nullptr, fw::Widen(LoadString(IDP_OLE_INIT_FAILED)).c_str(),
                    fw::Widen(LoadString(IDS_APP_TITLE)).c_str(), MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    m_oleInitialised = true;
    return true;
}

bool COstrelApp::CreateTreeImages() {
    if (!m_treeImages)
        m_treeImages = ImageList_LoadImageW(Instance(), MAKEINTRESOURCEW(IDB_OBJECT_TREE), kPictureWidth,
                                            kImageGrowth, kTransparent, IMAGE_BITMAP, LR_DEFAULTCOLOR);
    return m_treeImages != nullptr;
}

void COstrelApp::SetRegistryKey(const std::string& key) {
    m_settingsKey = "Software\\" + key + "\\" + kProgramName;
    // The key is only made here; whatever keeps settings opens it again.
    fw::UniqueRegKey settings;
    fw::CreateRegKey(HKEY_CURRENT_USER, m_settingsKey.c_str(), KEY_READ | KEY_WRITE, settings);
}

fw::SingleDocTemplate* COstrelApp::AddOstrelTemplate() {
    auto docTemplate = std::make_unique<fw::SingleDocTemplate>(
        IDR_MAINFRAME, [] { return static_cast<fw::Document*>(new COstrelDoc); },
        [] { return static_cast<fw::View*>(new CObjTree); }, [] { return static_cast<fw::SdiFrame*>(new CMainFrame); });
    fw::SingleDocTemplate* made = docTemplate.get();
    AddDocTemplate(std::move(docTemplate));
    return made;
}

fw::SingleDocTemplate* COstrelApp::Template() const {
    return dynamic_cast<fw::SingleDocTemplate*>(TemplateAt(0));
}

bool COstrelApp::InitInstance() {
    if (!InitOle()) return false;
    // Without its pictures the tree still works: the nodes show no images.
    CreateTreeImages();
    SetRegistryKey("Ostrel");
    fw::SingleDocTemplate* docTemplate = AddOstrelTemplate();

    const fw::CommandLineInfo command = fw::CommandLineInfo::Parse(m_commandLine.empty() ? GetCommandLineW() : m_commandLine.c_str());
    // The program serves no objects to other programs and registers none:
    // started for that, it has nothing to do.
    if (command.embedding || command.automation || command.regserver || command.unregister) return false;

    SetUserControl(true);
    fw::Document* document =
        command.fileName.empty() ? docTemplate->OpenNewDocument() : docTemplate->OpenDocumentFile(command.fileName);
    if (!document || !MainFrame()) return false;
    ShowWindow(MainFrame()->hwnd(), ShowCommand());
    UpdateWindow(MainFrame()->hwnd());
    return true;
}

namespace {

constexpr DWORD kLateCallsMs = 300;

CallWatchdog& ExitWatchdog() {
    static CallWatchdog watchdog([](const std::string&) { TerminateProcess(GetCurrentProcess(), 0); });
    return watchdog;
}

}  // namespace

namespace {
// Set from the first step of the way out: the limit is for the whole way.
bool g_exitLimitStarted = false;
}  // namespace

void COstrelApp::StartExitLimit() {
    if (g_exitLimitStarted) return;
    g_exitLimitStarted = true;
    ExitWatchdog().Arm(kUserCallLimitMs, "ending");
}

void COstrelApp::EndExitLimit() {
    ExitWatchdog().Disarm();
    g_exitLimitStarted = false;
}

int COstrelApp::ExitInstance() {
    // The windows (and with them the model's server references) go before OLE.
    if (fw::SingleDocTemplate* docTemplate = Template()) docTemplate->CloseAllDocuments();
    if (MainFrame() && MainFrame()->hwnd()) DestroyWindow(MainFrame()->hwnd());
    if (m_treeImages) ImageList_Destroy(m_treeImages);
    m_treeImages = nullptr;
    if (m_oleInitialised) {
        // Servers let go of this program's sinks a moment after the last
        // connection ends; those calls are taken now, while the apartment
        // stands, rather than meeting it half torn down, which Wine's COM
        // does not survive.
        const fw::UniqueHandle never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (never) WaitDispatchingCalls(never.get(), kLateCallsMs);
        OleUninitialize();
    }
    m_oleInitialised = false;
    const int exitCode = fw::Application::ExitInstance();
    EndExitLimit();
    return exitCode;
}

bool COstrelApp::OnCommand(UINT id) {
    if (id != ID_APP_ABOUT) return fw::Application::OnCommand(id);
    fw::Dialog about(IDD_ABOUTBOX);
    about.DoModal(MainFrame() ? MainFrame()->hwnd() : nullptr);
    return true;
}

bool COstrelApp::OnUpdateCommand(UINT id, bool& enabled) {
    if (id != ID_APP_ABOUT) return fw::Application::OnUpdateCommand(id, enabled);
    enabled = true;
    return true;
}
