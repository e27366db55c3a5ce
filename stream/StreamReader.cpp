#include "StreamReader.h"

#include <cstddef>
#include <cstring>

static_assert(offsetof(OPCGROUPHEADER, dwItemCount) == 4, "item count of the group header");
static_assert(offsetof(OPCITEMHEADER1, dwValueOffset) == 4 && offsetof(OPCITEMHEADER1, wQuality) == 8 &&
                  offsetof(OPCITEMHEADER1, ftTimeStampItem) == 12,
              "entry with time layout");
static_assert(offsetof(OPCITEMHEADER2, dwValueOffset) == 4 && offsetof(OPCITEMHEADER2, wQuality) == 8,
              "entry layout");

StreamReader::StreamReader(const void* block, size_t blockSize, StreamKind kind)
    : block_(static_cast<const BYTE*>(block)), size_(block ? blockSize : 0), kind_(kind) {}

DWORD StreamReader::ItemCount() const {
    if (size_ < kStreamHeaderSize) return 0;
    OPCGROUPHEADER header;
    std::memcpy(&header, block_, sizeof header);
    return header.dwItemCount;
}

size_t StreamReader::EntriesInBlock() const {
    const size_t entrySize = StreamEntrySize(kind_);
    if (entrySize == 0 || size_ < kStreamHeaderSize) return 0;
    // A count larger than the block holds cannot be honoured past its end.
    const size_t fitting = (size_ - kStreamHeaderSize) / entrySize;
    const DWORD count = ItemCount();
    return count < fitting ? count : fitting;
}

bool StreamReader::ReadEntry(size_t index, StreamEntry& entry) const {
    if (index >= EntriesInBlock()) return false;
    const BYTE* at = block_ + kStreamHeaderSize + index * StreamEntrySize(kind_);
    entry = StreamEntry{};
    if (kind_ == StreamKind::DataTime) {
        OPCITEMHEADER1 raw;
        std::memcpy(&raw, at, sizeof raw);
        entry.hClient = raw.hClient;
        entry.valueOffset = raw.dwValueOffset;
        entry.quality = raw.wQuality;
        entry.timeStamp = raw.ftTimeStampItem;
    } else {
        OPCITEMHEADER2 raw;
        std::memcpy(&raw, at, sizeof raw);
        entry.hClient = raw.hClient;
        entry.valueOffset = raw.dwValueOffset;
        entry.quality = raw.wQuality;
    }
    return true;
}
