#include "Document.h"

#include "Application.h"
#include "MdiChildFrame.h"
#include "DocTemplate.h"
#include "MdiFrame.h"
#include "Text.h"
#include "View.h"

#include <algorithm>

namespace fw {

Document::Document() = default;

Document::~Document() {
    DestroyFrames();
    if (template_) template_->RemoveDocument(this);
}

void Document::OnCloseDocument() {
    if (closing_) return;
    closing_ = true;
    DestroyFrames();
    if (MultiDocTemplate* owner = template_) {
        template_ = nullptr;
        owner->RemoveDocument(this);
    }
    delete this;
}

void Document::DestroyFrames() {
    // The frames are cut loose first: a frame whose destruction is deferred
    // (closed from inside one of its own handlers) must not reach back into
    // a document that is gone by then.
    std::vector<ChildFrame*> frames;
    frames.swap(frames_);
    for (ChildFrame* frame : frames) {
        frame->document_ = nullptr;
        if (View* view = frame->GetView()) view->document_ = nullptr;
    }
    for (ChildFrame* frame : frames) frame->DestroyFrame();

    // Losing the active child may leave the frame with no child at all.
    if (!frames.empty())
        if (Application* app = Application::Current())
            if (MdiFrame* main = app->MainFrame())
                if (main->hwnd()) main->UpdateFrameMenu(main->ActiveChild());
}

void Document::DetachFrame(ChildFrame* frame) {
    frames_.erase(std::remove(frames_.begin(), frames_.end(), frame), frames_.end());
}

void Document::SetTitle(const std::string& title) {
    title_ = title;
    const std::wstring caption = Widen(title);
    for (ChildFrame* frame : frames_)
        if (frame->hwnd()) ::SetWindowTextW(frame->hwnd(), caption.c_str());
}

void Document::ActivateFirstFrame() {
    ChildFrame* frame = FirstFrame();
    if (!frame || !frame->hwnd()) return;
    const HWND child = frame->hwnd();
    if (!::IsWindowVisible(child)) ::ShowWindow(child, SW_SHOW);
    ::SendMessageW(::GetParent(child), WM_MDIACTIVATE, reinterpret_cast<WPARAM>(child), 0);

    if (MdiFrame* main = frame->Frame()) {
        const HWND top = main->hwnd();
        if (::IsWindowVisible(top) && !::IsIconic(top)) ::BringWindowToTop(top);
    }
}

}  // namespace fw
