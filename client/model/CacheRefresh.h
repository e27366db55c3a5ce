// Asks a group's server to send the group's values again through the
// group's data-change subscription, from its cache.  The values arrive later
// in the group's sink, like any other change.
#pragma once

#include "ClientRecords.h"

#include <optional>

// The result of IOPCAsyncIO::Refresh (IOPCAsyncIO2::Refresh2 for a group
// subscribed through the OPC 2.0 data callback), or nothing when the group could not be
// reached (no IOPCServer, or no group of that name on the server).
std::optional<HRESULT> RequestCacheRefresh(IUnknown* server, const CGroup& group);
