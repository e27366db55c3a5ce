#include "ChildFrame.h"

#include "Application.h"
#include "MainFrame.h"

LRESULT CChildFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_MDIACTIVATE || msg == WM_DESTROY)
        if (fw::Application* app = fw::Application::Current())
            if (auto* frame = dynamic_cast<CMainFrame*>(app->MainFrame())) frame->InvalidateCommandUI();
    return fw::ChildFrame::WindowProc(msg, wp, lp);
}
