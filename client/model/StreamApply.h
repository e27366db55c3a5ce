// Applies one "OPCSTMFORMATDATATIME" data-change stream to a group's items.
// Pure logic over a block of bytes, so it is tested without a server.
#pragma once

#include "ClientRecords.h"
#include "StreamReader.h"

#include <cstddef>

// For each entry of the stream: finds the group's item with the entry's
// client handle and stores the value's display text (cut to the item's
// field), the quality and the changed mark.  The block comes from another
// process and is trusted in nothing: entries past the end of the block,
// values or string characters outside it, and client handles of no item
// are skipped, and every other entry still applies.  Time stamps are not
// read.  Returns the number of entries applied (an item named twice counts
// twice and keeps the later value).
size_t ApplyDataChange(const BYTE* block, size_t size, CGroup& group);

// The same for values delivered as arrays (the OPC DA 2.0 data callback):
// entry k is clientHandles[k], values[k], qualities[k].  Returns the number
// applied.
size_t ApplyItemValues(CGroup& group, DWORD count, const OPCHANDLE* clientHandles, const VARIANT* values,
                       const WORD* qualities);
