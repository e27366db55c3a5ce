#include "MainFrame.h"

#include "ObjTree.h"
#include "OstrelApp.h"
#include "OstrelDoc.h"
#include "OstrelResource.h"
#include "OstrelView.h"

#include <memory>
#include <string>

namespace {

constexpr UINT_PTR kConnectionCheckTimer = 1;
constexpr UINT kConnectionCheckMs = 5000;

const UINT kToolBarButtons[] = {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_SEPARATOR, ID_APP_ABOUT, ID_CONTEXT_HELP};
const UINT kIndicators[] = {ID_SEPARATOR, ID_INDICATOR_CAP, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};

bool IsHelpCommand(UINT id) { return id == ID_HELP_FINDER || id == ID_HELP || id == ID_CONTEXT_HELP; }

// The help file beside the program, named after it.
std::wstring HelpFilePath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring help(path, length < MAX_PATH ? length : MAX_PATH);
    const size_t dot = help.find_last_of(L'.');
    if (dot != std::wstring::npos && help.find_last_of(L"\\/") < dot) help.erase(dot);
    return help + L".HLP";
}

}  // namespace

CObjTree* CMainFrame::Tree() const {
    const std::vector<fw::View*> views = Views();
    return views.empty() ? nullptr : dynamic_cast<CObjTree*>(views.front());
}

COstrelView* CMainFrame::List() const {
    const std::vector<fw::View*> views = Views();
    return views.size() < 2 ? nullptr : dynamic_cast<COstrelView*>(views[1]);
}

bool CMainFrame::OnCommand(UINT id) {
    if (!IsHelpCommand(id)) return fw::SdiFrame::OnCommand(id);
    // The help content is not part of the program; the platform says so
    // when the file is missing.
    ::WinHelpW(hwnd(), HelpFilePath().c_str(), id == ID_HELP_FINDER ? HELP_FINDER : HELP_CONTEXT, 0);
    return true;
}

bool CMainFrame::OnUpdateCommand(UINT id, bool& enabled) {
    if (!IsHelpCommand(id)) return fw::SdiFrame::OnUpdateCommand(id, enabled);
    enabled = true;
    return true;
}

bool CMainFrame::OnCreate() {
    if (!fw::SdiFrame::OnCreate()) return false;
    if (!CreateToolBar(IDR_MAINFRAME, kToolBarButtons, ARRAYSIZE(kToolBarButtons))) return false;
    // Without the timer a dead server goes unnoticed, nothing worse.
    SetTimer(hwnd(), kConnectionCheckTimer, kConnectionCheckMs, nullptr);
    return CreateStatusBar(kIndicators, ARRAYSIZE(kIndicators));
}

LRESULT CMainFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_TIMER && wp == kConnectionCheckTimer) {
        if (COstrelView* list = List())
            if (auto* doc = dynamic_cast<COstrelDoc*>(list->GetDocument())) doc->Model().CheckConnections();
        return 0;
    }
    if (msg == WM_DESTROY) {
        KillTimer(hwnd(), kConnectionCheckTimer);
        // Before the views go, and the model's connections with them: a
        // server that does not answer must not keep the program alive.
        COstrelApp::StartExitLimit();
    }
    return fw::SdiFrame::WindowProc(msg, wp, lp);
}

bool CMainFrame::OnCreateClient() {
    if (!m_splitter.Create(hwnd(), 2, IDW_PANE_FIRST)) return false;
    m_splitter.SetColumnInfo(0, kTreeWidth, 0);
    fw::View* tree = CreateContextView(m_splitter.hwnd(), fw::Splitter::PaneId(0));
    fw::View* list = CreateView(std::make_unique<COstrelView>(), m_splitter.hwnd(), fw::Splitter::PaneId(1));
    if (!tree || !list) return false;
    SetActiveView(tree);
    SetClientWindow(m_splitter.hwnd());
    m_splitter.RecalcLayout();
    return true;
}
