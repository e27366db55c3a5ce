// The main window of a multiple-document program: menu, accelerators, MDI
// client, toolbar and status bar, and the routing of commands to the active
// document's windows and the application.
#pragma once

#include "CommandTarget.h"
#include "Handles.h"
#include "Window.h"

#include <windows.h>

#include <string>
#include <vector>

namespace fw {

class ChildFrame;

class MdiFrame : public Window, public CommandTarget {
public:
    MdiFrame();
    ~MdiFrame() override;

    // Creates the frame from resource resourceId: class icon, caption (first
    // line of the string), menu and accelerators of that id, overlapped-window
    // style, created hidden.  false on failure.
    bool LoadFrame(UINT resourceId);
    HWND MdiClient() const { return client_; }
    HWND ToolBar() const { return toolBar_; }
    HWND StatusBar() const { return statusBar_; }
    UINT ResourceId() const { return resourceId_; }

    // The frame's own menu (shown with no document active).  A template's
    // menu replaces it while one of the template's documents is active.
    HMENU DefaultMenu() const { return defaultMenu_.get(); }

    // Window creation hook: the base makes the MDI client.  Overrides create
    // toolbar and status bar after calling the base; false fails creation.
    virtual bool OnCreate();

    // Creates the toolbar with one button per command id (ID_SEPARATOR makes
    // a gap), the images taken in order from bitmap resourceId (16 x 15
    // pixels each).  Tool tips come from the second line of the string with
    // the command's id, as do fly-by texts from its first line.
    bool CreateToolBar(UINT resourceId, const UINT* buttons, int buttonCount);
    // Creates the status bar with one pane per indicator: ID_SEPARATOR is the
    // message pane, any other id the string shown in that pane (the lock-key
    // indicators only while their key is on).
    bool CreateStatusBar(const UINT* indicators, int count);
    // Text of the message pane; IdleMessage() when nothing else is shown.
    void SetMessageText(const std::string& text);
    std::string IdleMessage() const;

    // Closes the main window: closes every document, destroys the frame (the
    // main frame posts the quit message as it goes).
    void CloseFrame();

    // Translates accelerators and MDI system keys for the message loop.
    bool PreTranslateMessage(MSG& msg);

    // Recomputes enabled and checked states of menu items and toolbar buttons,
    // and the indicator panes, now (the message loop does so when idle).
    void UpdateCommandUI();

    // The active MDI child, or null.
    ChildFrame* ActiveChild() const;
    // Enabled state of a command as the command targets report it; ids no
    // target owns are disabled.
    bool CommandEnabled(UINT id);
    // Hands a command to the first target that handles it.
    bool RouteCommand(UINT id);
    // Shows the menu belonging to the active child (its template's), or the
    // frame's own when there is none.
    void UpdateFrameMenu(ChildFrame* active);

    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(UINT id, bool& enabled) override;
    bool OnUpdateCheck(UINT id, bool& checked) override;

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
    LRESULT DefProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    std::vector<CommandTarget*> CommandChain();
    bool CommandChecked(UINT id, bool& checked);
    LRESULT OnWmCommand(WPARAM wp, LPARAM lp);
    // Tool tips and fly-by texts of the toolbar; false for anything else.
    bool OnNotify(const NMHDR& header);
    void OnMenuSelect(UINT id, UINT flags, HMENU menu);
    void UpdateMenuItems(HMENU menu);
    void UpdateToolBarButtons();
    void UpdateIndicators();
    void ToggleBar(HWND bar);
    void RecalcLayout();
    std::string CommandText(UINT id, int line) const;

    HWND client_ = nullptr;
    HWND toolBar_ = nullptr;
    HWND statusBar_ = nullptr;
    UniqueMenu defaultMenu_;
    // Loaded from resources: the system frees it with the module.
    HACCEL accelerators_ = nullptr;
    UINT resourceId_ = 0;
    std::vector<UINT> indicators_;
    std::vector<int> paneWidths_;
    std::vector<std::wstring> paneTexts_;
    std::wstring tipText_;
    bool closing_ = false;
};

}  // namespace fw
