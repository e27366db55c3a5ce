// The MDI child window of a server document.  It shows nothing of its own;
// it only tells the main frame when it becomes or stops being the active
// document window, which is what the command states follow.
#pragma once

#include "MdiChildFrame.h"

class CChildFrame : public fw::ChildFrame {
protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;
};
