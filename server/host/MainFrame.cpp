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
