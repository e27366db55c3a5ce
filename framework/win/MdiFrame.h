// The main window of a multiple-document program: an MDI client between the
// bars, the menu of the active document's template, and the routing of
// commands to the active document's windows.
#pragma once

#include "FrameWindow.h"

#include <windows.h>

#include <vector>

namespace fw {

class ChildFrame;

class MdiFrame : public FrameWindow {
public:
    MdiFrame();
    ~MdiFrame() override;

    HWND MdiClient() const { return client_; }

    // Makes the MDI client.  Overrides create toolbar and status bar after
    // calling the base; false fails creation.
    bool OnCreate() override;

    // Translates accelerators and MDI system keys for the message loop.
    bool PreTranslateMessage(MSG& msg) override;

    // The active MDI child, or null.
    ChildFrame* ActiveChild() const;
    // Shows the menu belonging to the active child (its template's), or the
    // frame's own when there is none.
    void UpdateFrameMenu(ChildFrame* active);

    // Window arrangement and moving between children, then the base's.
    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(UINT id, bool& enabled) override;

protected:
    const wchar_t* WindowKind() const override { return L"MdiFrame"; }
    // The active child's view, its document and the child, then the base's.
    std::vector<CommandTarget*> CommandChain() override;
    void PlaceClient(const RECT& area) override;
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    LRESULT DefProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    HWND client_ = nullptr;
};

}  // namespace fw
