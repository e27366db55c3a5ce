// OSTREL's main window: a single-document frame with the menu, toolbar and
// status bar of resource 128, and the object tree as its client area.
#pragma once

#include "SdiFrame.h"

class CObjTree;

class CMainFrame : public fw::SdiFrame {
public:
    // The tree pane (the frame's first view).
    CObjTree* Tree() const;

protected:
    // Toolbar (New, Open, Save, About) and status bar (message pane and the
    // CAPS, NUM and SCRL indicators) around the client area; false when
    // either cannot be made.
    bool OnCreate() override;
};
