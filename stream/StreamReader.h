// Reads a data-change stream of OPC DA 1.0 that came from another process
// and is trusted in nothing: every read is checked against the block.
#pragma once

#include "DataStream.h"

struct StreamEntry {
    OPCHANDLE hClient = 0;
    WORD quality = 0;
    DWORD valueOffset = 0;  // from the start of the block, as the stream says
    FILETIME timeStamp{};   // zero for the format without time stamps
};

class StreamReader {
public:
    // Entries are read in the layout of kind (Data or DataTime).
    StreamReader(const void* block, size_t blockSize, StreamKind kind);

    // The header's item count; 0 when the block cannot hold a header.
    DWORD ItemCount() const;
    // How many of those entries lie wholly inside the block.
    size_t EntriesInBlock() const;
    // Entry `index`; false when it lies outside the block.
    bool ReadEntry(size_t index, StreamEntry& entry) const;

private:
    const BYTE* block_;
    size_t size_;
    StreamKind kind_;
};
