#include "SdiFrame.h"

#include "Document.h"
#include "StandardIds.h"
#include "Text.h"
#include "View.h"

#include <algorithm>

namespace fw {

SdiFrame::SdiFrame() = default;

SdiFrame::~SdiFrame() {
    // Destroyed here, while the window still reaches this class's handlers.
    if (hwnd()) ::DestroyWindow(hwnd());
}

void SdiFrame::SetCreateContext(Document* document, ViewFactory makeView) {
    document_ = document;
    makeView_ = std::move(makeView);
}

View* SdiFrame::CreateView(std::unique_ptr<View> view, HWND parent, UINT id) {
    if (!view || !parent || !view->Create(parent, id)) return nullptr;
    View* made = view.get();
    views_.push_back(std::move(view));
    if (document_) document_->AddView(made);
    if (!activeView_) activeView_ = made;
    return made;
}

View* SdiFrame::CreateContextView(HWND parent, UINT id) {
    if (!makeView_) return nullptr;
    return CreateView(std::unique_ptr<View>(makeView_()), parent, id);
}

std::vector<View*> SdiFrame::Views() const {
    std::vector<View*> views;
    for (const auto& view : views_) views.push_back(view.get());
    return views;
}

void SdiFrame::SetActiveView(View* view) {
    const auto owned = std::find_if(views_.begin(), views_.end(), [view](const auto& v) { return v.get() == view; });
    if (owned != views_.end()) activeView_ = view;
}

void SdiFrame::SetClientWindow(HWND window) {
    clientWindow_ = window;
    RecalcLayout();
}

void SdiFrame::AttachDocument(Document* document) {
    document_ = document;
    if (document)
        for (const auto& view : views_) document->AddView(view.get());
    UpdateTitle();
}

void SdiFrame::UpdateTitle() {
    if (!hwnd()) return;
    std::string caption = FrameTitle();
    if (document_ && !document_->Title().empty())
        caption = caption.empty() ? document_->Title() : document_->Title() + " - " + caption;
    ::SetWindowTextW(hwnd(), Widen(caption).c_str());
}

bool SdiFrame::OnCreate() { return OnCreateClient(); }

bool SdiFrame::OnCreateClient() {
    View* view = CreateContextView(hwnd(), IDW_PANE_FIRST);
    if (!view) return false;
    SetClientWindow(view->hwnd());
    return true;
}

std::vector<CommandTarget*> SdiFrame::CommandChain() {
    // The view holding the focus (itself or one of its controls) is the one
    // the user works in.
    if (const HWND focus = ::GetFocus())
        for (const auto& view : views_)
            if (view->hwnd() && (view->hwnd() == focus || ::IsChild(view->hwnd(), focus))) activeView_ = view.get();
    std::vector<CommandTarget*> chain;
    if (activeView_ && activeView_->hwnd()) chain.push_back(activeView_);
    if (document_) chain.push_back(document_);
    const std::vector<CommandTarget*> rest = FrameWindow::CommandChain();
    chain.insert(chain.end(), rest.begin(), rest.end());
    return chain;
}

void SdiFrame::PlaceClient(const RECT& area) {
    if (clientWindow_)
        ::MoveWindow(clientWindow_, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
}

void SdiFrame::ActivateNextView(bool backwards) {
    std::vector<View*> shown;
    for (const auto& view : views_)
        if (view->hwnd() && ::IsWindowVisible(view->hwnd())) shown.push_back(view.get());
    if (shown.empty()) return;
    auto at = std::find(shown.begin(), shown.end(), activeView_);
    size_t index = at == shown.end() ? 0 : static_cast<size_t>(at - shown.begin());
    index = backwards ? (index + shown.size() - 1) % shown.size() : (index + 1) % shown.size();
    activeView_ = shown[index];
    ::SetFocus(activeView_->hwnd());
}

bool SdiFrame::OnCommand(UINT id) {
    switch (id) {
    case ID_FILE_SAVE:
        if (document_) document_->DoFileSave();
        return true;
    case ID_FILE_SAVE_AS:
        if (document_) document_->DoFileSaveAs();
        return true;
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        ActivateNextView(id == ID_PREV_PANE);
        return true;
    default:
        return FrameWindow::OnCommand(id);
    }
}

bool SdiFrame::OnUpdateCommand(UINT id, bool& enabled) {
    switch (id) {
    case ID_FILE_SAVE:
    case ID_FILE_SAVE_AS:
        enabled = document_ != nullptr;
        return true;
    case ID_NEXT_PANE:
    case ID_PREV_PANE:
        enabled = views_.size() > 1;
        return true;
    default:
        return FrameWindow::OnUpdateCommand(id, enabled);
    }
}

LRESULT SdiFrame::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SETFOCUS:
        if (activeView_ && activeView_->hwnd()) {
            ::SetFocus(activeView_->hwnd());
            return 0;
        }
        break;
    case WM_NCDESTROY: {
        const LRESULT result = FrameWindow::WindowProc(msg, wp, lp);
        // The view windows went before the frame's: their objects go now,
        // leaving the document they showed.
        activeView_ = nullptr;
        clientWindow_ = nullptr;
        views_.clear();
        return result;
    }
    default:
        break;
    }
    return FrameWindow::WindowProc(msg, wp, lp);
}

}  // namespace fw
