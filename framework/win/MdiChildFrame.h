// An MDI child window showing one document through one view.
#pragma once

#include "CommandTarget.h"
#include "Window.h"

#include <windows.h>

#include <memory>
#include <string>

namespace fw {

class Document;
class MdiFrame;
class View;

// Made on the heap by a document template; the object deletes itself when
// its window goes.
class ChildFrame : public Window, public CommandTarget {
public:
    ChildFrame();
    ~ChildFrame() override;

    Document* GetDocument() const { return document_; }
    View* GetView() const { return view_.get(); }
    // The main frame whose MDI client holds this child.
    MdiFrame* Frame() const;

    // Has the MDI client destroy this window (and with it this object).
    void DestroyFrame();

    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(UINT id, bool& enabled) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    LRESULT DefProc(UINT msg, WPARAM wp, LPARAM lp) override;
    void OnFinalMessage() override;

private:
    friend class MultiDocTemplate;
    friend class Document;
    // Creates the (hidden) window in frame's MDI client with the view inside.
    bool Create(MdiFrame& frame, const std::string& title, UINT iconId, std::unique_ptr<View> view);

    Document* document_ = nullptr;
    std::unique_ptr<View> view_;
    bool ownsSelf_ = false;
};

}  // namespace fw
