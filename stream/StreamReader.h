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
    // How many of those entries can be trusted: each lies wholly inside the
    // block, after the header and before every value that it or an earlier
    // entry points to.  A header that counts more entries than were written
    // (whose "entries" would be value bytes) or an entry pointing into the
    // entries is trusted up to the first such entry, not beyond.
    size_t EntriesInBlock() const { return usable_; }
    // Entry `index`; false when it lies outside the block.
    bool ReadEntry(size_t index, StreamEntry& entry) const;

private:
    void Read(size_t index, StreamEntry& entry) const;

    const BYTE* block_;
    size_t size_;
    StreamKind kind_;
    size_t usable_ = 0;
};
