#include "Window.h"

#include "WindowClass.h"

namespace fw {
namespace {

// The object waiting for its window: set just before a creation call, taken
// by the first message that arrives for a window without an object.
thread_local Window* t_pendingWindow = nullptr;

// A property rather than GWLP_USERDATA: it survives subclassing and leaves
// the user data free for whoever else wants it.
constexpr const wchar_t kObjectProperty[] = L"Velmora.fw.Window";

Window* Attached(HWND window) { return static_cast<Window*>(::GetPropW(window, kObjectProperty)); }

}  // namespace

Window::~Window() {
    if (hwnd_) {
        // Too late to dispatch to derived classes: cut the window loose first.
        const HWND window = hwnd_;
        ::RemovePropW(window, kObjectProperty);
        hwnd_ = nullptr;
        ::DestroyWindow(window);
    }
}

Window* Window::FromHandle(HWND window) {
    return window ? Attached(window) : nullptr;
}

HWND Window::CreateWindowFor(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x,
                             int y, int width, int height, HWND parent, HMENU menuOrId) {
    ExpectCreation();
    const HWND window = ::CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent, menuOrId,
                                          ResourceInstance(), nullptr);
    CancelExpectedCreation();
    return window;
}

void Window::ExpectCreation() { t_pendingWindow = this; }

void Window::CancelExpectedCreation() {
    if (t_pendingWindow == this) t_pendingWindow = nullptr;
}

LRESULT CALLBACK Window::StaticProc(HWND window, UINT msg, WPARAM wp, LPARAM lp) {
    Window* self = Attached(window);
    if (!self) {
        self = t_pendingWindow;
        if (!self || msg == WM_NCDESTROY) return ::DefWindowProcW(window, msg, wp, lp);
        t_pendingWindow = nullptr;
        self->hwnd_ = window;
        ::SetPropW(window, kObjectProperty, self);
    }

    ++self->depth_;
    const LRESULT result = self->WindowProc(msg, wp, lp);
    --self->depth_;

    if (msg == WM_NCDESTROY) {
        ::RemovePropW(window, kObjectProperty);
        self->hwnd_ = nullptr;
        self->finalPending_ = true;
    }
    // A window destroyed from inside one of its own handlers (a close command
    // that destroys the frame) keeps its object until that handler returns.
    if (self->finalPending_ && self->depth_ == 0) {
        self->finalPending_ = false;
        self->OnFinalMessage();
    }
    return result;
}

}  // namespace fw
