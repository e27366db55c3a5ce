#include "DialogWatcher.h"

namespace frameworktest {
namespace {

constexpr const char* kDialogClass = "#32770";

struct FindScan {
    const std::string* caption;
    HWND found = nullptr;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param) {
    auto* scan = reinterpret_cast<FindScan*>(param);
    char cls[64] = {};
    char text[256] = {};
    GetClassNameA(window, cls, sizeof cls);
    GetWindowTextA(window, text, sizeof text);
    if (lstrcmpA(cls, kDialogClass) == 0 && *scan->caption == text && IsWindowVisible(window)) {
        scan->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectControl(HWND child, LPARAM param) {
    auto* controls = reinterpret_cast<std::vector<ControlSeen>*>(param);
    ControlSeen control;
    char cls[64] = {};
    char text[512] = {};
    GetClassNameA(child, cls, sizeof cls);
    GetWindowTextA(child, text, sizeof text);
    control.className = cls;
    control.text = text;
    control.id = GetDlgCtrlID(child);
    control.style = GetWindowLongA(child, GWL_STYLE);
    if (lstrcmpiA(cls, "Static") == 0 && (control.style & SS_TYPEMASK) == SS_ICON)
        control.icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
    controls->push_back(control);
    return TRUE;
}

BOOL CALLBACK CancelDialog(HWND window, LPARAM) {
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (lstrcmpA(cls, kDialogClass) == 0) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

}  // namespace

DialogWatcher::DialogWatcher(const char* caption, int pressId, Fill fill, DWORD timeoutMs)
    : thread_(&DialogWatcher::Watch, this, std::string(caption), pressId, std::move(fill), timeoutMs,
              GetCurrentThreadId()) {}

DialogWatcher::~DialogWatcher() {
    if (thread_.joinable()) thread_.join();
}

const DialogSeen& DialogWatcher::Result() {
    if (thread_.joinable()) thread_.join();
    return seen_;
}

void DialogWatcher::Watch(std::string caption, int pressId, Fill fill, DWORD timeoutMs, DWORD threadId) {
    const DWORD start = GetTickCount();
    FindScan scan{&caption};
    // The dialog is ready once its controls exist and it is shown.
    while (EnumThreadWindows(threadId, FindDialog, reinterpret_cast<LPARAM>(&scan)), !scan.found) {
        if (GetTickCount() - start > timeoutMs) {
            EnumThreadWindows(threadId, CancelDialog, 0);
            return;
        }
        Sleep(20);
    }
    const HWND dialog = scan.found;
    seen_.found = true;
    char text[256] = {};
    GetWindowTextA(dialog, text, sizeof text);
    seen_.caption = text;
    seen_.owner = GetWindow(dialog, GW_OWNER);
    EnumChildWindows(dialog, CollectControl, reinterpret_cast<LPARAM>(&seen_.controls));

    if (fill) fill(dialog);
    const HWND button = GetDlgItem(dialog, pressId);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(pressId, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

}  // namespace frameworktest
