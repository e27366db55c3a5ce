#include "FrameWindow.h"

#include "Application.h"
#include "StandardIds.h"
#include "Text.h"
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

FrameWindow::FrameWindow() = default;

FrameWindow::~FrameWindow() {
    if (hwnd()) ::DestroyWindow(hwnd());
}

bool FrameWindow::LoadFrame(UINT resourceId) {
    if (hwnd()) return false;
    resourceId_ = resourceId;
    const HINSTANCE instance = ResourceInstance();

    std::string title;
    if (Application* app = Application::Current()) title = app->LoadString(resourceId);
    frameTitle_ = title.substr(0, title.find('\n'));

    defaultMenu_.reset(::LoadMenuW(instance, MAKEINTRESOURCEW(resourceId)));
    accelerators_ = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(resourceId));

    const wchar_t* className =
        WindowClass::Get(WindowKind(), resourceId, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    if (!className) return false;
    return CreateWindowFor(0, className, Widen(frameTitle_).c_str(), WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                           defaultMenu_.get()) != nullptr;
}

bool FrameWindow::CreateToolBar(UINT resourceId, const UINT* buttons, int buttonCount) {
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

bool FrameWindow::CreateStatusBar(const UINT* indicators, int count) {
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

std::string FrameWindow::IdleMessage() const {
    const std::string text = CommandText(IDS_IDLE_MESSAGE, 0);
    return text.empty() ? "Ready" : text;
}

void FrameWindow::SetMessageText(const std::string& text) {
    if (!statusBar_) return;
    for (size_t i = 0; i < indicators_.size(); ++i) {
        if (indicators_[i] != ID_SEPARATOR) continue;
        const std::wstring wide = Widen(text);
        ::SendMessageW(statusBar_, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(wide.c_str()));
        return;
    }
}

std::string FrameWindow::CommandText(UINT id, int line) const {
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

void FrameWindow::CloseFrame() {
    if (!hwnd() || closing_) return;
    closing_ = true;
    Application* app = Application::Current();
    if (app && (app->MainFrame() == this || !app->MainFrame())) app->CloseAllDocuments();
    if (hwnd()) ::DestroyWindow(hwnd());
    closing_ = false;
}

bool FrameWindow::PreTranslateMessage(MSG& msg) {
    if (!hwnd() || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    if (msg.hwnd != hwnd() && !::IsChild(hwnd(), msg.hwnd)) return false;
    return accelerators_ && ::TranslateAcceleratorW(hwnd(), accelerators_, &msg);
}

std::vector<CommandTarget*> FrameWindow::CommandChain() {
    std::vector<CommandTarget*> chain;
    chain.push_back(this);
    if (Application* app = Application::Current()) chain.push_back(app);
    return chain;
}

bool FrameWindow::CommandEnabled(UINT id) {
    for (CommandTarget* target : CommandChain()) {
        bool enabled = false;
        if (target->OnUpdateCommand(id, enabled)) return enabled;
    }
    return false;
}

bool FrameWindow::CommandChecked(UINT id, bool& checked) {
    for (CommandTarget* target : CommandChain())
        if (target->OnUpdateCheck(id, checked)) return true;
    return false;
}

bool FrameWindow::RouteCommand(UINT id) {
    // The first handler may close a document and with it the windows asked
    // first: nothing of the chain is touched after it returns.
    for (CommandTarget* target : CommandChain())
        if (target->OnCommand(id)) return true;
    return false;
}

void FrameWindow::UpdateCommandUI() {
    if (!hwnd()) return;
    UpdateMenuItems(::GetMenu(hwnd()));
    UpdateToolBarButtons();
    UpdateIndicators();
}

void FrameWindow::UpdateMenuItems(HMENU menu) {
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

void FrameWindow::UpdateToolBarButtons() {
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

void FrameWindow::UpdateIndicators() {
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

void FrameWindow::ToggleBar(HWND bar) {
    ::ShowWindow(bar, HasStyle(bar, WS_VISIBLE) ? SW_HIDE : SW_SHOWNA);
    RecalcLayout();
}

void FrameWindow::RecalcLayout() {
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
    if (area.bottom < area.top) area.bottom = area.top;
    PlaceClient(area);
}

bool FrameWindow::OnCommand(UINT id) {
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
    default:
        return false;
    }
}

bool FrameWindow::OnUpdateCommand(UINT id, bool& enabled) {
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
    default:
        return false;
    }
}

bool FrameWindow::OnUpdateCheck(UINT id, bool& checked) {
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

LRESULT FrameWindow::OnWmCommand(WPARAM wp, LPARAM lp) {
    const UINT id = LOWORD(wp);
    const UINT source = HIWORD(wp);
    const HWND control = reinterpret_cast<HWND>(lp);

    // Control notifications and the system's own ids (an MDI window list, a
    // maximised child's window menu) belong to the default procedure.
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

bool FrameWindow::OnNotify(const NMHDR& header) {
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

void FrameWindow::OnMenuSelect(UINT id, UINT flags, HMENU menu) {
    // 0xFFFF with no menu: the menu closed.
    if ((flags == 0xFFFF && !menu) || (flags & (MF_POPUP | MF_SEPARATOR | MF_SYSMENU)) || id >= kFirstSystemId) {
        SetMessageText(IdleMessage());
        return;
    }
    const std::string prompt = CommandText(id, 0);
    SetMessageText(prompt.empty() ? IdleMessage() : prompt);
}

LRESULT FrameWindow::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        if (!OnCreate()) return -1;
        return 0;
    case WM_SIZE:
        // Not the default procedure: an MDI frame's would stretch its client
        // over the bars.
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
        toolBar_ = statusBar_ = nullptr;
        break;
    default:
        break;
    }
    return DefProc(msg, wp, lp);
}

}  // namespace fw
