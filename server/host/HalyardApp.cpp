#include "HalyardApp.h"

#include "ComPtr.h"
#include "DocTemplate.h"
#include "HalyardDoc.h"
#include "HalyardView.h"
#include "ChildFrame.h"
#include "MainFrame.h"
#include "OpcConstants.h"
#include "Registration.h"
#include "RegistryKey.h"
#include "ServerIdentity.h"
#include "Text.h"
#include "resource.h"

#include <ole2.h>

#include <algorithm>
#include <vector>

namespace {

CHalyardApp* g_app = nullptr;


constexpr UINT kIdsOleInitFailed = 100;
constexpr UINT kMainFrameResource = 128;
constexpr UINT kDocumentResource = 129;
constexpr const char* kSettingsKey = "Software\\Velmora OPC server\\VELMORA_OPC";

std::string ModulePath() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n);
}

// Each creation request makes a new document through the template: one
// process serves every client, one document per server object.  The
// document watches its client's process when the request names one.
HRESULT CreateServerObject(DWORD clientPid, REFIID iid, IUnknown** out) {
    fw::MultiDocTemplate* docTemplate = TheApp().DocTemplate(0);
    if (!docTemplate) return E_UNEXPECTED;
    auto* doc = static_cast<CHalyardDoc*>(docTemplate->OpenNewDocument());
    if (!doc) return E_OUTOFMEMORY;
    doc->WatchClient(clientPid);
    // The creation reference goes with this call: from here on the client's
    // references keep the document, and a failed query closes it again.
    fw::ComPtr<IUnknown> creation;
    creation.attach(doc->Identity());
    return doc->QueryInterface(iid, reinterpret_cast<void**>(out));
}

// The documents a client process had are closed once it has ended: nobody
// would ever release them.
void CloseDocumentsOfClient(DWORD clientPid) {
    fw::MultiDocTemplate* docTemplate = TheApp().DocTemplate(0);
    if (!docTemplate) return;
    std::vector<CHalyardDoc*> orphans;
    for (fw::Document* d : docTemplate->Documents()) {
        auto* doc = static_cast<CHalyardDoc*>(d);
        if (doc->ClientProcessId() == clientPid) orphans.push_back(doc);
    }
    for (CHalyardDoc* doc : orphans) doc->OnClientGone();
}

// Deferred closes go on once their call has returned or their last worker
// has let go.  The list may change under the walk: each document is looked
// for again before it is touched.
void ResumeDeferredCloses() {
    fw::MultiDocTemplate* docTemplate = TheApp().DocTemplate(0);
    if (!docTemplate) return;
    const std::vector<fw::Document*> snapshot = docTemplate->Documents();
    for (fw::Document* d : snapshot) {
        const auto& current = docTemplate->Documents();
        if (std::find(current.begin(), current.end(), d) != current.end()) static_cast<CHalyardDoc*>(d)->ResumeClose();
    }
}

}  // namespace

CHalyardApp& TheApp() { return *g_app; }

CHalyardApp::CHalyardApp() : m_activation(CreateServerObject, CloseDocumentsOfClient, ResumeDeferredCloses) { g_app = this; }

CHalyardApp::~CHalyardApp() { g_app = nullptr; }

bool CHalyardApp::InitInstance() {
    if (FAILED(OleInitialize(nullptr))) {
        MessageBoxW(nullptr, fw::Widen(LoadString(kIdsOleInitFailed)).c_str(), fw::Widen(LoadString(IDS_APP_TITLE)).c_str(),
                    MB_OK | MB_ICONEXCLAMATION);
        return false;
    }
    m_oleInitialised = true;

    fw::UniqueRegKey settings;
    fw::CreateRegKey(HKEY_CURRENT_USER, kSettingsKey, KEY_WRITE, settings);

    AddDocTemplate(std::make_unique<fw::MultiDocTemplate>(
        kDocumentResource, [] { return static_cast<fw::Document*>(new CHalyardDoc); },
        [] { return static_cast<fw::View*>(new CHalyardView); },
        [] { return static_cast<fw::ChildFrame*>(new CChildFrame); }));

    const fw::CommandLineInfo command = fw::CommandLineInfo::Parse(GetCommandLineW());
    const std::string exePath = ModulePath();
    if (command.regserver) {
        m_commandExitCode = SUCCEEDED(RegisterServer(exePath)) ? 0 : 1;
        return false;
    }
    if (command.unregister) {
        const HRESULT hr = UnregisterServer(exePath);
        MessageBoxW(nullptr, fw::Widen(LoadString(SUCCEEDED(hr) ? IDS_UNREG_DONE : IDS_UNREG_FAILED)).c_str(),
                    fw::Widen(LoadString(IDS_APP_TITLE)).c_str(), MB_OK | MB_ICONINFORMATION);
        m_commandExitCode = SUCCEEDED(hr) ? 0 : 1;
        return false;
    }

    auto owned = std::make_unique<CMainFrame>();
    if (!owned->LoadFrame(kMainFrameResource)) return false;
    CMainFrame* frame = owned.get();
    AdoptMainFrame(std::move(owned));
    // Documents go into the main frame: clients are let in once it exists.
    if (!m_activation.Start(CLSID_VelmoraOpcServer)) return false;

    if (command.embedding || command.automation) {
        ShowWindow(frame->hwnd(), SW_MINIMIZE);
        UpdateWindow(frame->hwnd());
        return true;
    }

    // Started by a person: keep the registration current, then one document.
    SetUserControl(true);
    RegisterServer(exePath);
    if (!DocTemplate(0)->OpenNewDocument()) return false;
    ShowWindow(frame->hwnd(), ShowCommand());
    UpdateWindow(frame->hwnd());
    return true;
}

void CHalyardApp::OnIdle() {
    if (auto* frame = dynamic_cast<CMainFrame*>(MainFrame()))
        if (frame->hwnd()) frame->UpdateCommandUIIfStale();
}

bool CHalyardApp::IdleWorkPending() const {
    auto* frame = dynamic_cast<CMainFrame*>(MainFrame());
    return frame && frame->hwnd() && frame->IsCommandUIStale();
}

int CHalyardApp::ExitInstance() {
    m_activation.Stop();
    if (m_oleInitialised) OleUninitialize();
    m_oleInitialised = false;
    return 0;
}
