// "Async Cache Refresh": has the group's server send the group's cached
// values through the group's subscription.  Nothing waits for them: they
// arrive in the group's sink like any change.
#pragma once

#include "ClientRecords.h"

#include <windows.h>

// owner: the window that owns the failure message.  A group that cannot be
// reached on the server is left alone without a message.
void AsyncCacheRefresh(HWND owner, IUnknown* server, const CGroup& group);
