// Base of the framework's own windows: ties an HWND to its C++ object and
// routes the window procedure to a virtual member.
#pragma once

#include <windows.h>

namespace fw {

class Window {
public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND hwnd() const { return hwnd_; }

    // The framework object of one of our windows, or null for other windows.
    static Window* FromHandle(HWND window);

protected:
    // Creates the window with CreateWindowExW; the object is attached before
    // the first message arrives, so WM_NCCREATE and WM_CREATE reach it.
    HWND CreateWindowFor(DWORD exStyle, const wchar_t* className, const wchar_t* title, DWORD style, int x,
                         int y, int width, int height, HWND parent, HMENU menuOrId);
    // For windows that another window creates on our behalf (an MDI client
    // making a child on WM_MDICREATE): attach this object to whichever of our
    // window classes' windows receives its first message next on this thread.
    void ExpectCreation();
    // Withdraws ExpectCreation when the creation call failed before any
    // message arrived.
    void CancelExpectedCreation();

    virtual LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) { return DefProc(msg, wp, lp); }
    virtual LRESULT DefProc(UINT msg, WPARAM wp, LPARAM lp) { return ::DefWindowProcW(hwnd_, msg, wp, lp); }
    // Runs once the window is gone and no message of it is still being
    // handled further up the stack, so an override may delete the object.
    virtual void OnFinalMessage() {}

private:
    friend class WindowClass;
    static LRESULT CALLBACK StaticProc(HWND window, UINT msg, WPARAM wp, LPARAM lp);

    HWND hwnd_ = nullptr;
    // Messages of this window being handled right now (nested sends count).
    int depth_ = 0;
    bool finalPending_ = false;
};

}  // namespace fw
