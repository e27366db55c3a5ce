// The server's main window: an MDI frame with a toolbar (About) and a status
// bar (message pane and lock-key indicators).
#pragma once

#include "MdiFrame.h"

class CMainFrame : public fw::MdiFrame {
public:
    // About lives here rather than in the application object: the frame is
    // the About box's owner and the command is the toolbar's only button.
    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(UINT id, bool& enabled) override;

    // The idle refresh of the command states, made only when they may have
    // changed since the last one: after a message for the frame or one of its
    // windows (the user's input, a bar shown or hidden), or when a document
    // window became or stopped being the active one.  Clients' calls arrive
    // as messages for COM's own window and change no command state but by
    // opening or closing a document; a refresh after each of them would cost
    // the caller more than the call, one trip to the window system per menu
    // item and button.
    void UpdateCommandUIIfStale();
    void InvalidateCommandUI() { m_commandUIStale = true; }
    bool IsCommandUIStale() const { return m_commandUIStale; }
    bool PreTranslateMessage(MSG& msg) override;

protected:
    bool OnCreate() override;

private:
    // The frame itself, or a window inside it or owned by it.
    bool IsFrameWindow(HWND window) const;

    bool m_commandUIStale = true;
};
