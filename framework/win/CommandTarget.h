// Something that handles menu, toolbar and accelerator commands by id.  The
// main frame asks, in order, the active child's view, the active child frame,
// the frame itself and the application; the first that owns an id wins.
#pragma once

#include <windows.h>

namespace fw {

class CommandTarget {
public:
    virtual ~CommandTarget() = default;
    // Carries out command id; true when handled.
    virtual bool OnCommand(UINT id) { (void)id; return false; }
    // Enabled state of command id for menus, toolbars and accelerators; false
    // means "not mine".  An id that no target owns is shown grayed, so a
    // target that handles an id in OnCommand must own it here as well.
    virtual bool OnUpdateCommand(UINT id, bool& enabled) { (void)id; (void)enabled; return false; }
    // Check mark of command id; false when this target does not check it.
    virtual bool OnUpdateCheck(UINT id, bool& checked) { (void)id; (void)checked; return false; }
};

}  // namespace fw
