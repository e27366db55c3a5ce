// What every main window of the framework has, whether it shows many
// documents (MdiFrame) or one (SdiFrame): menu and accelerators from one
// resource id, toolbar and status bar, fly-by texts and tool tips, and the
// routing and enabling of commands along a chain of command targets.
#pragma once

#include "CommandTarget.h"
#include "Handles.h"
#include "Window.h"

#include <windows.h>

#include <string>
#include <vector>

namespace fw {

class FrameWindow : public Window, public CommandTarget {
public:
    FrameWindow();
    ~FrameWindow() override;

    // Creates the frame from resource resourceId: class icon, caption (first
    // line of the string), menu and accelerators of that id, overlapped-window
    // style, created hidden.  false on failure.
    bool LoadFrame(UINT resourceId);
    HWND ToolBar() const { return toolBar_; }
    HWND StatusBar() const { return statusBar_; }
    UINT ResourceId() const { return resourceId_; }
    // The caption the frame was loaded with (first line of its string).
    const std::string& FrameTitle() const { return frameTitle_; }

    // The frame's own menu, loaded from its resource id.
    HMENU DefaultMenu() const { return defaultMenu_.get(); }

    // Window creation hook: the frame's client window.  Overrides create
    // toolbar and status bar after calling the base; false fails creation.
    virtual bool OnCreate() { return true; }

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

    // Translates the frame's accelerators for the message loop.
    virtual bool PreTranslateMessage(MSG& msg);

    // Recomputes enabled and checked states of menu items and toolbar buttons,
    // and the indicator panes, now (the message loop does so when idle).
    void UpdateCommandUI();

    // Enabled state of a command as the command targets report it; ids no
    // target owns are disabled.
    bool CommandEnabled(UINT id);
    // Hands a command to the first target that handles it.
    bool RouteCommand(UINT id);

    // Exit, and showing or hiding the bars.
    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(UINT id, bool& enabled) override;
    bool OnUpdateCheck(UINT id, bool& checked) override;

protected:
    // Name part of the frame's window class.
    virtual const wchar_t* WindowKind() const { return L"Frame"; }
    // The targets asked for a command, first to last.  The base gives the
    // frame itself and the application; frames put their document's windows
    // in front.
    virtual std::vector<CommandTarget*> CommandChain();
    // Places the client window in the area the bars leave free.
    virtual void PlaceClient(const RECT& area) { (void)area; }
    // Lays out bars and client window again (after a size change, or a bar
    // shown or hidden).
    void RecalcLayout();
    HACCEL Accelerators() const { return accelerators_; }

    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    bool CommandChecked(UINT id, bool& checked);
    LRESULT OnWmCommand(WPARAM wp, LPARAM lp);
    // Tool tips and fly-by texts of the toolbar; false for anything else.
    bool OnNotify(const NMHDR& header);
    void OnMenuSelect(UINT id, UINT flags, HMENU menu);
    void UpdateMenuItems(HMENU menu);
    void UpdateToolBarButtons();
    void UpdateIndicators();
    void ToggleBar(HWND bar);
    std::string CommandText(UINT id, int line) const;

    HWND toolBar_ = nullptr;
    HWND statusBar_ = nullptr;
    UniqueMenu defaultMenu_;
    // Loaded from resources: the system frees it with the module.
    HACCEL accelerators_ = nullptr;
    UINT resourceId_ = 0;
    std::string frameTitle_;
    std::vector<UINT> indicators_;
    std::vector<int> paneWidths_;
    std::vector<std::wstring> paneTexts_;
    std::wstring tipText_;
    bool closing_ = false;
};

}  // namespace fw
