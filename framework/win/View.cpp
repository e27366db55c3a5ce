#include "View.h"

#include "Document.h"
#include "StandardIds.h"
#include "WindowClass.h"

namespace fw {
namespace {

class PaintScope {
public:
    explicit PaintScope(HWND window) : window_(window) { dc_ = ::BeginPaint(window, &paint_); }
    ~PaintScope() { ::EndPaint(window_, &paint_); }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC dc() const { return dc_; }

private:
    HWND window_;
    PAINTSTRUCT paint_ = {};
    HDC dc_ = nullptr;
};

}  // namespace

View::~View() {
    if (document_) document_->RemoveView(this);
}

void View::OnUpdate(View* sender, LPARAM hint, void* hintObject) {
    (void)sender;
    (void)hint;
    (void)hintObject;
    if (hwnd()) ::InvalidateRect(hwnd(), nullptr, TRUE);
}

bool View::Create(HWND parent, UINT id) {
    const wchar_t* className =
        WindowClass::Get(L"View", 0, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    if (!className) return false;
    RECT area = {};
    ::GetClientRect(parent, &area);
    return CreateWindowFor(0, className, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0,
                           area.right, area.bottom, parent,
                           reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id))) != nullptr;
}

LRESULT View::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        PaintScope paint(hwnd());
        OnDraw(paint.dc());
        return 0;
    }
    return DefProc(msg, wp, lp);
}

}  // namespace fw
