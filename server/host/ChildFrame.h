// The MDI child window of a server document.  It shows nothing of its own:
// the framework's child frame, with its default creation, is all it needs.
#pragma once

#include "MdiChildFrame.h"

class CChildFrame : public fw::ChildFrame {};
