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

protected:
    bool OnCreate() override;
};
