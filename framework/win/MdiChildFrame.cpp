#include "MdiChildFrame.h"

#include "Document.h"
#include "MdiFrame.h"
#include "StandardIds.h"
#include "Text.h"
#include "View.h"
#include "WindowClass.h"

namespace fw {

ChildFrame::ChildFrame() = default;

ChildFrame::~ChildFrame() {
    // Deleted while the window still exists (a failed creation, or an owner
    // tearing down): the window must not delete us a second time.
    ownsSelf_ = false;
    if (document_) document_->DetachFrame(this);
    document_ = nullptr;
    DestroyFrame();
}

MdiFrame* ChildFrame::Frame() const {
    if (!hwnd()) return nullptr;
    const HWND client = ::GetParent(hwnd());
    return dynamic_cast<MdiFrame*>(Window::FromHandle(client ? ::GetParent(client) : nullptr));
}

bool ChildFrame::Create(MdiFrame& frame, const std::string& title, UINT iconId, std::unique_ptr<View> view) {
    view_ = std::move(view);
    const wchar_t* className =
        WindowClass::Get(L"MdiChild", iconId, CS_DBLCLKS, reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    if (!className || !frame.MdiClient()) return false;

    const std::wstring caption = Widen(title);
    MDICREATESTRUCTW create = {};
    create.szClass = className;
    create.szTitle = caption.c_str();
    create.hOwner = ResourceInstance();
    create.x = create.y = create.cx = create.cy = CW_USEDEFAULT;
    // Hidden until the document is ready: the template shows it afterwards.
    create.style = WS_CHILD | WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    ExpectCreation();
    const HWND window = reinterpret_cast<HWND>(
        ::SendMessageW(frame.MdiClient(), WM_MDICREATE, 0, reinterpret_cast<LPARAM>(&create)));
    CancelExpectedCreation();
    if (!window || window != hwnd()) return false;
    ownsSelf_ = true;
    return true;
}

void ChildFrame::DestroyFrame() {
    if (const HWND window = hwnd())
        ::SendMessageW(::GetParent(window), WM_MDIDESTROY, reinterpret_cast<WPARAM>(window), 0);
}

LRESULT ChildFrame::DefProc(UINT msg, WPARAM wp, LPARAM lp) { return ::DefMDIChildProcW(hwnd(), msg, wp, lp); }

LRESULT ChildFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        if (!view_ || !view_->Create(hwnd(), IDW_PANE_FIRST)) return -1;
        break;
    case WM_SIZE:
        // DefMDIChildProc must see WM_SIZE too (maximising depends on it).
        if (view_ && view_->hwnd())
            ::MoveWindow(view_->hwnd(), 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        break;
    case WM_SETFOCUS: {
        const LRESULT result = DefProc(msg, wp, lp);
        if (view_ && view_->hwnd()) ::SetFocus(view_->hwnd());
        return result;
    }
    case WM_MDIACTIVATE: {
        const LRESULT result = DefProc(msg, wp, lp);
        const HWND activated = reinterpret_cast<HWND>(lp);
        if (MdiFrame* frame = Frame()) {
            if (activated == hwnd())
                frame->UpdateFrameMenu(this);
            else if (!activated)
                frame->UpdateFrameMenu(nullptr);
        }
        return result;
    }
    case WM_CLOSE:
        // The system close of a document window closes the document, as File
        // Close does; the document then destroys this window.
        if (Document* document = document_) {
            document->OnCloseDocument();
            return 0;
        }
        break;
    default:
        break;
    }
    return DefProc(msg, wp, lp);
}

void ChildFrame::OnFinalMessage() {
    if (document_) document_->DetachFrame(this);
    document_ = nullptr;
    if (ownsSelf_) delete this;
}

bool ChildFrame::OnCommand(UINT id) {
    if (id != ID_FILE_CLOSE || !document_) return false;
    document_->OnCloseDocument();  // destroys this frame: touch nothing after
    return true;
}

bool ChildFrame::OnUpdateCommand(UINT id, bool& enabled) {
    if (id != ID_FILE_CLOSE) return false;
    enabled = document_ != nullptr;
    return true;
}

}  // namespace fw
