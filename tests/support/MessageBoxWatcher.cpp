#include "MessageBoxWatcher.h"

#include <vector>

namespace testsupport {
namespace {

constexpr const char* kDialogClass = "#32770";

HWND FindBox(const char* caption) { return FindWindowA(kDialogClass, caption); }

struct ChildScan {
    std::string text;
    HWND okButton = nullptr;
    HWND anyButton = nullptr;
    int buttons = 0;
    HICON icon = nullptr;
};

BOOL CALLBACK ScanChild(HWND child, LPARAM param) {
    auto* scan = reinterpret_cast<ChildScan*>(param);
    char cls[64] = {};
    GetClassNameA(child, cls, sizeof cls);
    // Read wide and kept as UTF-8: a message may name a file whose name the
    // ANSI code page cannot show.
    wchar_t wide[2048] = {};
    const int length = GetWindowTextW(child, wide, 2048);
    char text[3 * 2048 + 1] = {};
    WideCharToMultiByte(CP_UTF8, 0, wide, length, text, sizeof text - 1, nullptr, nullptr);
    if (lstrcmpiA(cls, "Button") == 0) {
        ++scan->buttons;
        if (!scan->anyButton) scan->anyButton = child;
        if (GetDlgCtrlID(child) == IDOK) scan->okButton = child;
    } else if (lstrcmpiA(cls, "Static") == 0) {
        const LONG style = GetWindowLongA(child, GWL_STYLE);
        if ((style & SS_TYPEMASK) == SS_ICON) {
            scan->icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        } else if (text[0] && scan->text.empty()) {
            scan->text = text;
        }
    }
    return TRUE;
}

UINT IconKind(HICON icon) {
    if (!icon) return 0;
    struct Known { LPCSTR id; UINT kind; } const known[] = {
        {IDI_WARNING, MB_ICONWARNING}, {IDI_ERROR, MB_ICONERROR},
        {IDI_INFORMATION, MB_ICONINFORMATION}, {IDI_QUESTION, MB_ICONQUESTION}};
    for (const Known& k : known)
        if (LoadIconA(nullptr, k.id) == icon) return k.kind;
    return 0;
}

}  // namespace

std::optional<MessageBoxSeen> WaitForMessageBox(const char* caption, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    HWND box = nullptr;
    while (!(box = FindBox(caption))) {
        if (GetTickCount() - start > timeoutMs) return std::nullopt;
        Sleep(20);
    }
    // The text is set while the box initialises; give it a moment to appear.
    ChildScan scan;
    for (int tries = 0; tries < 50; ++tries) {
        scan = ChildScan{};
        EnumChildWindows(box, ScanChild, reinterpret_cast<LPARAM>(&scan));
        if (scan.buttons > 0 && !scan.text.empty()) break;
        Sleep(20);
    }

    MessageBoxSeen seen;
    char title[512] = {};
    GetWindowTextA(box, title, sizeof title);
    seen.caption = title;
    seen.text = scan.text;
    seen.icon = IconKind(scan.icon);

    HWND button = scan.okButton ? scan.okButton : scan.anyButton;
    if (button)
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
    else
        PostMessageA(box, WM_COMMAND, IDOK, 0);

    const DWORD closing = GetTickCount();
    while (IsWindow(box) && GetTickCount() - closing < 5000) Sleep(10);
    return seen;
}

bool NoMessageBoxFor(const char* caption, DWORD ms) {
    const DWORD start = GetTickCount();
    do {
        if (FindBox(caption)) return false;
        Sleep(20);
    } while (GetTickCount() - start < ms);
    return !FindBox(caption);
}

}  // namespace testsupport
