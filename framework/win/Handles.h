// Owners for the window-system handles the framework keeps: each closes its
// handle exactly once, with the function that matches how it was obtained.
#pragma once

#include <windows.h>

#include <utility>

namespace fw {

template <class Traits>
class UniqueHandleOf {
public:
    using Type = typename Traits::Type;
    UniqueHandleOf() = default;
    explicit UniqueHandleOf(Type value) : value_(value) {}
    UniqueHandleOf(UniqueHandleOf&& o) noexcept : value_(o.release()) {}
    UniqueHandleOf& operator=(UniqueHandleOf&& o) noexcept {
        reset(o.release());
        return *this;
    }
    UniqueHandleOf(const UniqueHandleOf&) = delete;
    UniqueHandleOf& operator=(const UniqueHandleOf&) = delete;
    ~UniqueHandleOf() { reset(); }

    Type get() const { return value_; }
    explicit operator bool() const { return value_ != Type{}; }
    Type release() { return std::exchange(value_, Type{}); }
    void reset(Type value = Type{}) {
        if (Type old = std::exchange(value_, value)) Traits::Close(old);
    }

private:
    Type value_{};
};

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
