#include "Document.h"

#include "Application.h"
#include "DocTemplate.h"
#include "FrameWindow.h"
#include "MdiChildFrame.h"
#include "MdiFrame.h"
#include "Text.h"
#include "View.h"

#include <algorithm>

namespace fw {
namespace {

std::string FileNameOf(const std::string& path) {
    const size_t slash = path.find_last_of("\\/:");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A file that Save may overwrite without asking: named with its folder (a
// bare name only proposes itself), present, and neither read-only nor a
// folder.
bool IsWritableFile(const std::string& path) {
    if (path.find_first_of("\\/:") == std::string::npos) return false;
    const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) == 0;
}

}  // namespace

Document::Document() = default;

Document::~Document() {
    DestroyFrames();
    DetachViews();
    if (template_) template_->RemoveDocument(this);
}

bool Document::OnNewDocument() {
    pathName_.clear();
    modified_ = false;
    return true;
}

void Document::OnCloseDocument() {
    if (closing_) return;
    closing_ = true;
    DestroyFrames();
    DetachViews();
    if (DocumentTemplate* owner = template_) {
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
        if (View* view = frame->GetView()) RemoveView(view);
    }
    for (ChildFrame* frame : frames) frame->DestroyFrame();

    // Losing the active child may leave the frame with no child at all.
    if (!frames.empty())
        if (Application* app = Application::Current())
            if (auto* main = dynamic_cast<MdiFrame*>(app->MainFrame()))
                if (main->hwnd()) main->UpdateFrameMenu(main->ActiveChild());
}

void Document::AddView(View* view) {
    if (!view || view->document_ == this) return;
    if (view->document_) view->document_->RemoveView(view);
    view->document_ = this;
    views_.push_back(view);
}

void Document::RemoveView(View* view) {
    if (!view) return;
    views_.erase(std::remove(views_.begin(), views_.end(), view), views_.end());
    if (view->document_ == this) view->document_ = nullptr;
}

void Document::DetachViews() {
    std::vector<View*> views;
    views.swap(views_);
    for (View* view : views) view->document_ = nullptr;
}

void Document::DetachFrame(ChildFrame* frame) {
    frames_.erase(std::remove(frames_.begin(), frames_.end(), frame), frames_.end());
}

void Document::UpdateAllViews(View* sender, LPARAM hint, void* hintObject) {
    // A view's update may make or drop views: work from a snapshot and only
    // on views that are still ours.
    const std::vector<View*> snapshot = views_;
    for (View* view : snapshot)
        if (view != sender && std::find(views_.begin(), views_.end(), view) != views_.end())
            view->OnUpdate(sender, hint, hintObject);
}

void Document::SetTitle(const std::string& title) {
    title_ = title;
    const std::wstring caption = Widen(title);
    for (ChildFrame* frame : frames_)
        if (frame->hwnd()) ::SetWindowTextW(frame->hwnd(), caption.c_str());
    if (template_) template_->OnTitleChanged(*this);
}

void Document::SetPathName(const std::string& path, bool retitle) {
    pathName_ = path;
    if (retitle) SetTitle(FileNameOf(path));
}

bool Document::DoSave(const std::string& path) {
    if (path.empty() || !OnSaveDocument(path)) return false;
    SetPathName(path);
    modified_ = false;
    return true;
}

bool Document::DoFileSave() {
    if (IsWritableFile(pathName_)) return DoSave(pathName_);
    return DoFileSaveAs();
}

bool Document::DoFileSaveAs() {
    if (!template_) return false;
    Application* app = Application::Current();
    const HWND owner = app && app->MainFrame() ? app->MainFrame()->hwnd() : nullptr;
    std::string path = pathName_.empty() ? title_ : pathName_;
    return template_->PromptFileName(owner, true, path) && DoSave(path);
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
