#include "DialogWatcher.h"

#include <gtest/gtest.h>

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
    if (ClassOf(window) == kDialogClass) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

BOOL CALLBACK CancelOwnedBox(HWND window, LPARAM owner) {
    if (ClassOf(window) == kDialogClass && GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner))
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    return TRUE;
}

}  // namespace

std::string ItemText(HWND dialog, int id) {
    char text[512] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::wstring WideText(HWND window) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], static_cast<int>(text.size()))));
    return text;
}

std::string ClassOf(HWND window) {
    char cls[64] = {};
    GetClassNameA(window, cls, sizeof cls);
    return cls;
}

HWND WaitForFocus(HWND dialog, HWND wanted, DWORD ms) {
    const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
    const DWORD start = GetTickCount();
    for (;;) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(thread, &info);
        if (info.hwndFocus == wanted || GetTickCount() - start > ms) return info.hwndFocus;
        Sleep(10);
    }
}

void CancelBoxesOwnedBy(HWND dialog) {
    EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), CancelOwnedBox, reinterpret_cast<LPARAM>(dialog));
}

RefusalSeen PressOkExpectingRefusal(HWND dialog, int id, const char* caption) {
    RefusalSeen seen;
    seen.control = id;
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    seen.box = testsupport::WaitForMessageBox(caption, 5000);
    if (!seen.box) CancelBoxesOwnedBy(dialog);  // one under another title
    const HWND field = GetDlgItem(dialog, id);
    seen.focused = WaitForFocus(dialog, field, 2000) == field;
    SendMessageA(field, EM_GETSEL, reinterpret_cast<WPARAM>(&seen.selStart), reinterpret_cast<LPARAM>(&seen.selEnd));
    seen.textLength = GetWindowTextLengthA(field);
    seen.dialogOpen = IsWindow(dialog) && IsWindowVisible(dialog);
    return seen;
}

void ExpectRefusal(const RefusalSeen& seen, const char* message) {
    SCOPED_TRACE("control " + std::to_string(seen.control));
    ASSERT_TRUE(seen.box.has_value()) << "no message box: " << message;
    EXPECT_EQ(message, seen.box->text);
    EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), seen.box->icon);
    EXPECT_TRUE(seen.dialogOpen);
    EXPECT_TRUE(seen.focused) << "the refused field gets the focus";
    EXPECT_EQ(0u, seen.selStart);
    EXPECT_EQ(static_cast<DWORD>(seen.textLength), seen.selEnd) << "with its text selected";
}

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
