#include "MdiFrame.h"

#include "DocTemplate.h"
#include "Document.h"
#include "MdiChildFrame.h"
#include "StandardIds.h"
#include "View.h"
#include "WindowClass.h"

namespace fw {
namespace {

// The popup of a menu bar that lists MDI children: the one holding the
// standard window-arrangement commands.
HMENU FindWindowMenu(HMENU bar) {
    if (!bar) return nullptr;
    const int count = ::GetMenuItemCount(bar);
    for (int i = 0; i < count; ++i) {
        HMENU popup = ::GetSubMenu(bar, i);
        if (!popup) continue;
        const int items = ::GetMenuItemCount(popup);
        for (int k = 0; k < items; ++k) {
            const UINT id = ::GetMenuItemID(popup, k);
            if (id >= ID_WINDOW_NEW && id <= ID_WINDOW_TILE_HORZ) return popup;
        }
    }
    return nullptr;
}

}  // namespace

MdiFrame::MdiFrame() = default;

MdiFrame::~MdiFrame() {
    // Destroyed here, while DefProc still reaches the MDI frame procedure.
    if (hwnd()) ::DestroyWindow(hwnd());
}

bool MdiFrame::OnCreate() {
    CLIENTCREATESTRUCT create = {};
    create.hWindowMenu = FindWindowMenu(DefaultMenu());
    create.idFirstChild = IDM_FIRST_MDICHILD;
    // All child styles: children are made hidden and shown once ready.
    client_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
                                WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VSCROLL |
                                    WS_HSCROLL | MDIS_ALLCHILDSTYLES,
                                0, 0, 0, 0, hwnd(), nullptr, ResourceInstance(), &create);
    return client_ != nullptr;
}

bool MdiFrame::PreTranslateMessage(MSG& msg) {
    if (!hwnd() || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    if (msg.hwnd != hwnd() && !::IsChild(hwnd(), msg.hwnd)) return false;
    if (client_ && ::TranslateMDISysAccel(client_, &msg)) return true;
    return FrameWindow::PreTranslateMessage(msg);
}

ChildFrame* MdiFrame::ActiveChild() const {
    if (!client_) return nullptr;
    const HWND active = reinterpret_cast<HWND>(::SendMessageW(client_, WM_MDIGETACTIVE, 0, 0));
    return dynamic_cast<ChildFrame*>(Window::FromHandle(active));
}

std::vector<CommandTarget*> MdiFrame::CommandChain() {
    std::vector<CommandTarget*> chain;
    if (ChildFrame* child = ActiveChild()) {
        if (View* view = child->GetView()) chain.push_back(view);
        if (Document* document = child->GetDocument()) chain.push_back(document);
        chain.push_back(child);
    }
    const std::vector<CommandTarget*> rest = FrameWindow::CommandChain();
    chain.insert(chain.end(), rest.begin(), rest.end());
    return chain;
}

void MdiFrame::UpdateFrameMenu(ChildFrame* active) {
    if (!hwnd() || !client_) return;
    HMENU menu = DefaultMenu();
    HMENU windowMenu = nullptr;
    if (active && active->GetDocument() && active->GetDocument()->Template()) {
        if (HMENU documentMenu = active->GetDocument()->Template()->Menu()) {
            menu = documentMenu;
            windowMenu = FindWindowMenu(documentMenu);
        }
    }
    if (::GetMenu(hwnd()) == menu) return;
    ::SendMessageW(client_, WM_MDISETMENU, reinterpret_cast<WPARAM>(menu), reinterpret_cast<LPARAM>(windowMenu));
    ::DrawMenuBar(hwnd());
}

void MdiFrame::PlaceClient(const RECT& area) {
    if (client_)
        ::MoveWindow(client_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

bool MdiFrame::OnCommand(UINT id) {
    const ChildFrame* active = ActiveChild();
    switch (id) {
    case ID_WINDOW_CASCADE:
        ::SendMessageW(client_, WM_MDICASCADE, 0, 0);
        return true;
    case ID_WINDOW_TILE_HORZ:
        ::SendMessageW(client_, WM_MDITILE, MDITILE_HORIZONTAL, 0);
        return true;
    case ID_WINDOW_ARRANGE:
        ::SendMessageW(client_, WM_MDIICONARRANGE, 0, 0);
        return true;
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        if (active)
            ::SendMessageW(client_, WM_MDINEXT, reinterpret_cast<WPARAM>(active->hwnd()), id == ID_PREV_PANE);
        return true;
    default:
        return FrameWindow::OnCommand(id);
    }
}

bool MdiFrame::OnUpdateCommand(UINT id, bool& enabled) {
    switch (id) {
    case ID_WINDOW_CASCADE:
    case ID_WINDOW_TILE_HORZ:
    case ID_WINDOW_ARRANGE:
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        enabled = ActiveChild() != nullptr;
        return true;
    default:
        return FrameWindow::OnUpdateCommand(id, enabled);
    }
}

LRESULT MdiFrame::DefProc(UINT msg, WPARAM wp, LPARAM lp) { return ::DefFrameProcW(hwnd(), client_, msg, wp, lp); }

LRESULT MdiFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCDESTROY) client_ = nullptr;
    return FrameWindow::WindowProc(msg, wp, lp);
}

}  // namespace fw
