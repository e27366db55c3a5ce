#include "MdiFrame.h"

#include "Application.h"
#include "MdiChildFrame.h"
#include "DocTemplate.h"
#include "Document.h"
#include "StandardIds.h"
#include "Text.h"
#include "View.h"
#include "WindowClass.h"

#include <commctrl.h>

namespace fw {
namespace {

constexpr int kButtonWidth = 16;
constexpr int kButtonHeight = 15;
// Breathing room around an indicator's text inside its pane.
constexpr int kPanePadding = 12;
// Ids at and above this are the system's (window menu, MDI window list).
constexpr UINT kFirstSystemId = 0xF000;

HMENU HandleOf(WPARAM wp) { return reinterpret_cast<HMENU>(wp); }

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

// Lock key shown by an indicator pane, or 0 for a pane always shown.
int LockKeyOf(UINT indicator) {
    switch (indicator) {
    case ID_INDICATOR_CAP: return VK_CAPITAL;
    case ID_INDICATOR_NUM: return VK_NUMLOCK;
    case ID_INDICATOR_SCRL: return VK_SCROLL;
    default: return 0;
    }
}

bool HasStyle(HWND window, DWORD style) {
    return window && (static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)) & style) != 0;
}

int HeightOf(HWND window) {
    RECT r = {};
    ::GetWindowRect(window, &r);
    return r.bottom - r.top;
}

}  // namespace

MdiFrame::MdiFrame() = default;

MdiFrame::~MdiFrame() {
    if (hwnd()) ::DestroyWindow(hwnd());
}

bool MdiFrame::LoadFrame(UINT resourceId) {
    if (hwnd()) return false;
    resourceId_ = resourceId;
    const HINSTANCE instance = ResourceInstance();

    std::string title;
    if (Application* app = Application::Current()) title = app->LoadString(resourceId);
    title = title.substr(0, title.find('\n'));

    defaultMenu_.reset(::LoadMenuW(instance, MAKEINTRESOURCEW(resourceId)));
    accelerators_ = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(resourceId));

    const wchar_t* className =
        WindowClass::Get(L"MdiFrame", resourceId, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    if (!className) return false;
    return CreateWindowFor(0, className, Widen(title).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                           defaultMenu_.get()) != nullptr;
}

bool MdiFrame::OnCreate() {
    CLIENTCREATESTRUCT create = {};
    create.hWindowMenu = FindWindowMenu(defaultMenu_.get());
    create.idFirstChild = IDM_FIRST_MDICHILD;
    // All child styles: children are made hidden and shown once ready.
    client_ = ::CreateWindowExW(WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
                                WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_VSCROLL |
                                    WS_HSCROLL | MDIS_ALLCHILDSTYLES,
                                0, 0, 0, 0, hwnd(), nullptr, ResourceInstance(), &create);
    return client_ != nullptr;
}

bool MdiFrame::CreateToolBar(UINT resourceId, const UINT* buttons, int buttonCount) {
    toolBar_ = ::CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS |
                                     CCS_TOP,
                                 0, 0, 0, 0, hwnd(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDW_TOOLBAR)),
                                 ResourceInstance(), nullptr);
    if (!toolBar_) return false;
    ::SendMessageW(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    ::SendMessageW(toolBar_, TB_SETBITMAPSIZE, 0, MAKELPARAM(kButtonWidth, kButtonHeight));

    int images = 0;
    for (int i = 0; i < buttonCount; ++i)
        if (buttons[i] != ID_SEPARATOR) ++images;
    TBADDBITMAP bitmap = {ResourceInstance(), resourceId};
    if (images > 0 && ::SendMessageW(toolBar_, TB_ADDBITMAP, images, reinterpret_cast<LPARAM>(&bitmap)) < 0)
        return false;

    std::vector<TBBUTTON> items;
    int image = 0;
    for (int i = 0; i < buttonCount; ++i) {
        TBBUTTON button = {};
        if (buttons[i] == ID_SEPARATOR) {
            button.fsStyle = BTNS_SEP;
        } else {
            button.iBitmap = image++;
            button.idCommand = static_cast<int>(buttons[i]);
            button.fsState = TBSTATE_ENABLED;
            button.fsStyle = BTNS_BUTTON;
        }
        items.push_back(button);
    }
    if (!items.empty() &&
        !::SendMessageW(toolBar_, TB_ADDBUTTONSW, items.size(), reinterpret_cast<LPARAM>(items.data())))
        return false;
    ::SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
    return true;
}

bool MdiFrame::CreateStatusBar(const UINT* indicators, int count) {
    statusBar_ = ::CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0,
                                   0, hwnd(), reinterpret_cast<HMENU>(static_cast<UINT_PTR>(IDW_STATUS_BAR)),
                                   ResourceInstance(), nullptr);
    if (!statusBar_ || count <= 0) return statusBar_ != nullptr;

    indicators_.assign(indicators, indicators + count);
    paneWidths_.assign(static_cast<size_t>(count), 0);
    paneTexts_.assign(static_cast<size_t>(count), std::wstring());
    {
        // Panes are as wide as their text with the lock key on, so the bar does
        // not shift when a key is toggled.
        WindowDC dc(statusBar_);
        SelectedObject font(dc.get(), reinterpret_cast<HGDIOBJ>(::SendMessageW(statusBar_, WM_GETFONT, 0, 0)));
        for (int i = 0; i < count; ++i) {
            if (indicators[i] == ID_SEPARATOR) continue;
            const std::wstring text = Widen(CommandText(indicators[i], 0));
            SIZE extent = {};
            ::GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent);
            paneWidths_[static_cast<size_t>(i)] = extent.cx + kPanePadding;
        }
    }
    RecalcLayout();
    SetMessageText(IdleMessage());
    UpdateIndicators();
    return true;
}

std::string MdiFrame::IdleMessage() const {
    const std::string text = CommandText(IDS_IDLE_MESSAGE, 0);
    return text.empty() ? "Ready" : text;
}

void MdiFrame::SetMessageText(const std::string& text) {
    if (!statusBar_) return;
    for (size_t i = 0; i < indicators_.size(); ++i) {
        if (indicators_[i] != ID_SEPARATOR) continue;
        const std::wstring wide = Widen(text);
        ::SendMessageW(statusBar_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(wide.c_str()));
        return;
    }
}

std::string MdiFrame::CommandText(UINT id, int line) const {
    Application* app = Application::Current();
    if (!app) return std::string();
    const std::string text = app->LoadString(id);
    size_t start = 0;
    for (int i = 0; i < line; ++i) {
        start = text.find('\n', start);
        if (start == std::string::npos) return std::string();
        ++start;
    }
    const size_t end = text.find('\n', start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void MdiFrame::CloseFrame() {
    if (!hwnd() || closing_) return;
    closing_ = true;
    Application* app = Application::Current();
    if (app && (app->MainFrame() == this || !app->MainFrame())) app->CloseAllDocuments();
    if (hwnd()) ::DestroyWindow(hwnd());
    closing_ = false;
}

bool MdiFrame::PreTranslateMessage(MSG& msg) {
    if (!hwnd() || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    if (msg.hwnd != hwnd() && !::IsChild(hwnd(), msg.hwnd)) return false;
    if (client_ && ::TranslateMDISysAccel(client_, &msg)) return true;
    return accelerators_ && ::TranslateAcceleratorW(hwnd(), accelerators_, &msg);
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
        chain.push_back(child);
    }
    chain.push_back(this);
    if (Application* app = Application::Current()) chain.push_back(app);
    return chain;
}

bool MdiFrame::CommandEnabled(UINT id) {
    for (CommandTarget* target : CommandChain()) {
        bool enabled = false;
        if (target->OnUpdateCommand(id, enabled)) return enabled;
    }
    return false;
}

bool MdiFrame::CommandChecked(UINT id, bool& checked) {
    for (CommandTarget* target : CommandChain())
        if (target->OnUpdateCheck(id, checked)) return true;
    return false;
}

bool MdiFrame::RouteCommand(UINT id) {
    // The first handler may close a document and with it the child frame and
    // view asked first: nothing of the chain is touched after it returns.
    for (CommandTarget* target : CommandChain())
        if (target->OnCommand(id)) return true;
    return false;
}

void MdiFrame::UpdateFrameMenu(ChildFrame* active) {
    if (!hwnd() || !client_) return;
    HMENU menu = defaultMenu_.get();
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

void MdiFrame::UpdateCommandUI() {
    if (!hwnd()) return;
    UpdateMenuItems(::GetMenu(hwnd()));
    UpdateToolBarButtons();
    UpdateIndicators();
}

void MdiFrame::UpdateMenuItems(HMENU menu) {
    if (!menu) return;
    const int count = ::GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        MENUITEMINFOW info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_ID | MIIM_SUBMENU | MIIM_FTYPE;
        if (!::GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info)) continue;
        if (info.hSubMenu) {
            UpdateMenuItems(info.hSubMenu);
            continue;
        }
        if ((info.fType & MFT_SEPARATOR) || info.wID == 0 || info.wID >= kFirstSystemId) continue;
        const UINT position = MF_BYPOSITION;
        ::EnableMenuItem(menu, static_cast<UINT>(i), position | (CommandEnabled(info.wID) ? MF_ENABLED : MF_GRAYED));
        bool checked = false;
        if (CommandChecked(info.wID, checked))
            ::CheckMenuItem(menu, static_cast<UINT>(i), position | (checked ? MF_CHECKED : MF_UNCHECKED));
    }
}

void MdiFrame::UpdateToolBarButtons() {
    if (!toolBar_) return;
    const int count = static_cast<int>(::SendMessageW(toolBar_, TB_BUTTONCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        TBBUTTON button = {};
        ::SendMessageW(toolBar_, TB_GETBUTTON, i, reinterpret_cast<LPARAM>(&button));
        if (button.fsStyle & BTNS_SEP) continue;
        const UINT id = static_cast<UINT>(button.idCommand);
        ::SendMessageW(toolBar_, TB_ENABLEBUTTON, id, MAKELPARAM(CommandEnabled(id) ? TRUE : FALSE, 0));
        bool checked = false;
        if (CommandChecked(id, checked))
            ::SendMessageW(toolBar_, TB_CHECKBUTTON, id, MAKELPARAM(checked ? TRUE : FALSE, 0));
    }
}

void MdiFrame::UpdateIndicators() {
    if (!statusBar_) return;
    for (size_t i = 0; i < indicators_.size(); ++i) {
        const UINT id = indicators_[i];
        if (id == ID_SEPARATOR) continue;
        const int key = LockKeyOf(id);
        const bool on = key == 0 || (::GetKeyState(key) & 1) != 0;
        std::wstring text = on ? Widen(CommandText(id, 0)) : std::wstring();
        if (text == paneTexts_[i]) continue;
        ::SendMessageW(statusBar_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(text.c_str()));
        paneTexts_[i] = std::move(text);
    }
}

void MdiFrame::ToggleBar(HWND bar) {
    ::ShowWindow(bar, HasStyle(bar, WS_VISIBLE) ? SW_HIDE : SW_SHOWNA);
    RecalcLayout();
}

void MdiFrame::RecalcLayout() {
    if (!hwnd()) return;
    RECT area = {};
    ::GetClientRect(hwnd(), &area);
    if (HasStyle(toolBar_, WS_VISIBLE)) {
        ::SendMessageW(toolBar_, TB_AUTOSIZE, 0, 0);
        area.top += HeightOf(toolBar_);
    }
    if (HasStyle(statusBar_, WS_VISIBLE)) {
        ::SendMessageW(statusBar_, WM_SIZE, 0, 0);
        area.bottom -= HeightOf(statusBar_);
        if (!indicators_.empty()) {
            // Right edges, laid out from the right; the last pane also holds
            // the size grip and the message pane takes what is left.
            RECT bar = {};
            ::GetClientRect(statusBar_, &bar);
            std::vector<int> edges(indicators_.size());
            edges.back() = -1;
            int edge = bar.right - ::GetSystemMetrics(SM_CXVSCROLL);
            for (size_t i = indicators_.size() - 1; i > 0; --i) {
                edge -= paneWidths_[i];
                edges[i - 1] = edge > 0 ? edge : 0;
            }
            ::SendMessageW(statusBar_, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
        }
    }
    if (client_)
        ::MoveWindow(client_, area.left, area.top, area.right - area.left,
                     area.bottom > area.top ? area.bottom - area.top : 0, TRUE);
}

bool MdiFrame::OnCommand(UINT id) {
    const ChildFrame* active = ActiveChild();
    switch (id) {
    case ID_APP_EXIT:
        CloseFrame();
        return true;
    case ID_VIEW_TOOLBAR:
        if (!toolBar_) return false;
        ToggleBar(toolBar_);
        return true;
    case ID_VIEW_STATUS_BAR:
        if (!statusBar_) return false;
        ToggleBar(statusBar_);
        return true;
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
        return false;
    }
}

bool MdiFrame::OnUpdateCommand(UINT id, bool& enabled) {
    switch (id) {
    case ID_APP_EXIT:
        enabled = true;
        return true;
    case ID_VIEW_TOOLBAR:
        enabled = toolBar_ != nullptr;
        return true;
    case ID_VIEW_STATUS_BAR:
        enabled = statusBar_ != nullptr;
        return true;
    case ID_WINDOW_CASCADE:
    case ID_WINDOW_TILE_HORZ:
    case ID_WINDOW_ARRANGE:
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        enabled = ActiveChild() != nullptr;
        return true;
    default:
        return false;
    }
}

bool MdiFrame::OnUpdateCheck(UINT id, bool& checked) {
    switch (id) {
    case ID_VIEW_TOOLBAR:
        checked = HasStyle(toolBar_, WS_VISIBLE);
        return toolBar_ != nullptr;
    case ID_VIEW_STATUS_BAR:
        checked = HasStyle(statusBar_, WS_VISIBLE);
        return statusBar_ != nullptr;
    default:
        return false;
    }
}

LRESULT MdiFrame::DefProc(UINT msg, WPARAM wp, LPARAM lp) { return ::DefFrameProcW(hwnd(), client_, msg, wp, lp); }

LRESULT MdiFrame::OnWmCommand(WPARAM wp, LPARAM lp) {
    const UINT id = LOWORD(wp);
    const UINT source = HIWORD(wp);
    const HWND control = reinterpret_cast<HWND>(lp);

    // Control notifications and the system's own ids (MDI window list,
    // maximised child's window menu) belong to DefFrameProc.
    if ((control && control != toolBar_) || id >= kFirstSystemId) return DefProc(WM_COMMAND, wp, lp);

    // An accelerator fires whatever the menu shows: ask again, and drop it
    // when the command is disabled now.
    if (source == 1 && !CommandEnabled(id)) return 0;

    // Picking a menu item, pressing an accelerator or a toolbar button is the
    // user working with the program: it no longer ends with its last client.
    if (source == 0 || source == 1)
        if (Application* app = Application::Current()) app->SetUserControl(true);

    if (RouteCommand(id)) return 0;
    return DefProc(WM_COMMAND, wp, lp);
}

bool MdiFrame::OnNotify(const NMHDR& header) {
    switch (header.code) {
    case TTN_GETDISPINFOW: {
        auto& info = const_cast<NMTTDISPINFOW&>(reinterpret_cast<const NMTTDISPINFOW&>(header));
        if (info.uFlags & TTF_IDISHWND) return false;
        tipText_ = Widen(CommandText(static_cast<UINT>(header.idFrom), 1));
        info.lpszText = &tipText_[0];
        info.szText[0] = L'\0';
        info.hinst = nullptr;
        return true;
    }
    case TBN_HOTITEMCHANGE: {
        const auto& hot = reinterpret_cast<const NMTBHOTITEM&>(header);
        if (hot.dwFlags & HICF_LEAVING) {
            SetMessageText(IdleMessage());
        } else {
            const std::string prompt = CommandText(static_cast<UINT>(hot.idNew), 0);
            SetMessageText(prompt.empty() ? IdleMessage() : prompt);
        }
        return true;
    }
    default:
        return false;
    }
}

void MdiFrame::OnMenuSelect(UINT id, UINT flags, HMENU menu) {
    // 0xFFFF with no menu: the menu closed.
    if ((flags == 0xFFFF && !menu) || (flags & (MF_POPUP | MF_SEPARATOR | MF_SYSMENU)) || id >= kFirstSystemId) {
        SetMessageText(IdleMessage());
        return;
    }
    const std::string prompt = CommandText(id, 0);
    SetMessageText(prompt.empty() ? IdleMessage() : prompt);
}

LRESULT MdiFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        if (!OnCreate()) return -1;
        return 0;
    case WM_SIZE:
        // Not DefFrameProc: it would stretch the MDI client over the bars.
        RecalcLayout();
        return 0;
    case WM_COMMAND:
        return OnWmCommand(wp, lp);
    case WM_NOTIFY:
        if (lp && OnNotify(*reinterpret_cast<const NMHDR*>(lp))) return 0;
        break;
    case WM_INITMENUPOPUP:
        if (!HIWORD(lp)) UpdateMenuItems(HandleOf(wp));
        return 0;
    case WM_MENUSELECT:
        OnMenuSelect(LOWORD(wp), HIWORD(wp), reinterpret_cast<HMENU>(lp));
        break;
    case WM_EXITMENULOOP:
        SetMessageText(IdleMessage());
        break;
    case WM_CLOSE:
        CloseFrame();
        return 0;
    case WM_DESTROY: {
        // Whatever menu is showing belongs to us or to a template, which
        // destroy their own: the window must not take one with it.
        ::SetMenu(hwnd(), nullptr);
        Application* app = Application::Current();
        if (app && app->MainFrame() == this) ::PostQuitMessage(0);
        break;
    }
    case WM_NCDESTROY:
        client_ = toolBar_ = statusBar_ = nullptr;
        break;
    default:
        break;
    }
    return DefProc(msg, wp, lp);
}

}  // namespace fw
