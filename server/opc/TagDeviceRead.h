// One block read of tags through the driver: the tags' cached values and
// read statuses are refreshed from the device.
#pragma once

#include "RealItem.h"
#include "ServerContext.h"

#include <cstddef>

// Tags of the server object's table; those that are no device tags are left
// out.  E_FAIL without a driver, HRESULT_FROM_WIN32(ERROR_BUSY) on a thread
// that is inside a driver request already (a driver's box dispatched the
// call): the driver is not entered twice.  A failed block read marks every
// tag of it with the block's status and still returns S_OK.
HRESULT DeviceReadTags(ServerContext& server, CRealItem* const* tags, size_t count);
