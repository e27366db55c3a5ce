// The windows of the multiple-document interface in one include: main frame,
// child frames, views, dialogs and the command routing they share.
#pragma once

#include "MdiChildFrame.h"
#include "CommandTarget.h"
#include "Dialog.h"
#include "MdiFrame.h"
#include "StandardIds.h"
#include "View.h"
