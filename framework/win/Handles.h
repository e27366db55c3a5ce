// Owners for the window-system handles the framework keeps: each closes its
// handle exactly once, with the function that matches how it was obtained.
#pragma once

#include <windows.h>

#include <utility>

#include "UniqueHandle.h"

namespace fw {

// A menu that no window owns (a window destroys its own menu with itself).
struct MenuTraits {
    using Type = HMENU;
    static void Close(HMENU menu) { ::DestroyMenu(menu); }
};
using UniqueMenu = UniqueHandleOf<MenuTraits>;

// Memory that the system allocated with LocalAlloc for the caller.
struct LocalMemTraits {
    using Type = HLOCAL;
    static void Close(HLOCAL memory) { ::LocalFree(memory); }
};
using UniqueLocal = UniqueHandleOf<LocalMemTraits>;

// A window's device context, borrowed with GetDC.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDC() {
        if (dc_) ::ReleaseDC(window_, dc_);
    }
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    HDC get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// Selects a GDI object into a DC for the life of the object.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(object ? ::SelectObject(dc, object) : nullptr) {}
    ~SelectedObject() {
        if (old_) ::SelectObject(dc_, old_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ old_;
};

}  // namespace fw
