// A window that presents a document: inside an MDI child frame, or in the
// client area of a single-document frame (directly or in a splitter pane).
#pragma once

#include "CommandTarget.h"
#include "Window.h"

#include <windows.h>

namespace fw {

class Document;

class View : public Window, public CommandTarget {
public:
    View() = default;
    ~View() override;
    Document* GetDocument() const { return document_; }
    // Drawing hook; the default draws nothing.
    virtual void OnDraw(HDC dc) { (void)dc; }
    // Runs once the document is ready to be shown (after a new or opened
    // document); the default is an update without a hint.
    virtual void OnInitialUpdate() { OnUpdate(nullptr, 0, nullptr); }
    // The document changed (sender: the view that changed it, or null; hint
    // and hintObject as given to Document::UpdateAllViews, 0 and null when
    // anything may have changed); the default repaints.
    virtual void OnUpdate(View* sender, LPARAM hint, void* hintObject);

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    friend class ChildFrame;
    friend class Document;
    friend class SdiFrame;
    // Creates the window as child `id` of parent, filling its client area.
    bool Create(HWND parent, UINT id);
    Document* document_ = nullptr;
};

}  // namespace fw
