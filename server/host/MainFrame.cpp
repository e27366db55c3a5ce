#include "MainFrame.h"

#include "AboutDialog.h"
#include "resource.h"

namespace {

const UINT kToolBarButtons[] = {ID_APP_ABOUT};
const UINT kIndicators[] = {ID_SEPARATOR, ID_INDICATOR_CAP, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};

}  // namespace

bool CMainFrame::OnCreate() {
    if (!fw::MdiFrame::OnCreate()) return false;
    if (!CreateToolBar(IDR_MAINFRAME, kToolBarButtons, ARRAYSIZE(kToolBarButtons))) return false;
    return CreateStatusBar(kIndicators, ARRAYSIZE(kIndicators));
}

bool CMainFrame::OnCommand(UINT id) {
    if (id != ID_APP_ABOUT) return fw::MdiFrame::OnCommand(id);
    CAboutDialog about;
    about.DoModal(hwnd());
    return true;
}

bool CMainFrame::OnUpdateCommand(UINT id, bool& enabled) {
    if (id != ID_APP_ABOUT) return fw::MdiFrame::OnUpdateCommand(id, enabled);
    enabled = true;
    return true;
}

bool CMainFrame::PreTranslateMessage(MSG& msg) {
    if (!msg.hwnd || IsFrameWindow(msg.hwnd)) m_commandUIStale = true;
    return fw::MdiFrame::PreTranslateMessage(msg);
}

bool CMainFrame::IsFrameWindow(HWND window) const {
    // GetParent, unlike IsChild, answers from this process's own window data
    // also for COM's message-only window, which every client call is for.
    for (HWND w = window; w; w = GetParent(w))
        if (w == hwnd()) return true;
    return false;
}

void CMainFrame::UpdateCommandUIIfStale() {
    if (!m_commandUIStale) return;
    m_commandUIStale = false;
    UpdateCommandUI();
}
