// The main window of a single-document program: the document's views fill
// the area between the bars (one view, or panes of a window such as a
// splitter), the frame's caption names the document, and commands go to the
// active view, the document, the frame and the application in that order.
#pragma once

#include "FrameWindow.h"

#include <windows.h>

#include <functional>
#include <memory>
#include <vector>

namespace fw {

class Document;
class View;

class SdiFrame : public FrameWindow {
public:
    using ViewFactory = std::function<View*()>;

    SdiFrame();
    ~SdiFrame() override;

    // What the client area is made for: the document its views show and the
    // template's view factory.  Set by the template before LoadFrame.
    void SetCreateContext(Document* document, ViewFactory makeView);
    Document* GetDocument() const { return document_; }

    // Makes `view` a window (child `id` of parent: the frame or a window
    // inside it) showing the frame's document; the frame owns it.  The first
    // view made becomes the active view.  Null when the window cannot be made.
    View* CreateView(std::unique_ptr<View> view, HWND parent, UINT id);
    // The same with a view from the template's factory.
    View* CreateContextView(HWND parent, UINT id);
    // The views, in the order they were made.
    std::vector<View*> Views() const;

    // The view that gets the focus and the commands first.
    View* ActiveView() const { return activeView_; }
    void SetActiveView(View* view);

    // The window that fills the area between the bars: a view, or a window
    // holding several.
    void SetClientWindow(HWND window);
    HWND ClientWindow() const { return clientWindow_; }

    // Caption "<document title> - <frame title>", or the frame title alone
    // while no document is shown.
    void UpdateTitle();

    // Save and Save As of the document; the next and previous view.
    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(UINT id, bool& enabled) override;

protected:
    // Makes the client area (OnCreateClient).  Overrides create toolbar and
    // status bar after calling the base; false fails creation.
    bool OnCreate() override;
    // Makes the windows between the bars; the default is one view from the
    // template's factory.  false fails creation.
    virtual bool OnCreateClient();

    const wchar_t* WindowKind() const override { return L"SdiFrame"; }
    // The active view and the document, then the base's.
    std::vector<CommandTarget*> CommandChain() override;
    void PlaceClient(const RECT& area) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    friend class SingleDocTemplate;
    // Shows another document in the existing views (null: none).
    void AttachDocument(Document* document);
    void ActivateNextView(bool backwards);

    Document* document_ = nullptr;
    ViewFactory makeView_;
    std::vector<std::unique_ptr<View>> views_;
    View* activeView_ = nullptr;
    HWND clientWindow_ = nullptr;
};

}  // namespace fw
