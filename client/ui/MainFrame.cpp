#include "MainFrame.h"

#include "ObjTree.h"
#include "OstrelResource.h"

namespace {

const UINT kToolBarButtons[] = {ID_FILE_NEW, ID_FILE_OPEN, ID_FILE_SAVE, ID_SEPARATOR, ID_APP_ABOUT};
const UINT kIndicators[] = {ID_SEPARATOR, ID_INDICATOR_CAP, ID_INDICATOR_NUM, ID_INDICATOR_SCRL};

}  // namespace

CObjTree* CMainFrame::Tree() const {
    const std::vector<fw::View*> views = Views();
    return views.empty() ? nullptr : dynamic_cast<CObjTree*>(views.front());
}

bool CMainFrame::OnCreate() {
    // The client area (the template's first view, the tree) comes from the
    // base; a pane holding more views would be made there as well.
    if (!fw::SdiFrame::OnCreate()) return false;
    if (!CreateToolBar(IDR_MAINFRAME, kToolBarButtons, ARRAYSIZE(kToolBarButtons))) return false;
    return CreateStatusBar(kIndicators, ARRAYSIZE(kIndicators));
}
