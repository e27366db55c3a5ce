// The window inside a child frame that presents the document.
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

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    friend class ChildFrame;
    friend class Document;
    friend class MultiDocTemplate;
    bool Create(HWND parent);
    Document* document_ = nullptr;
};

}  // namespace fw
