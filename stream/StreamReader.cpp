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
    : block_(static_cast<const BYTE*>(block)), size_(block ? blockSize : 0), kind_(kind) {
    const size_t entrySize = StreamEntrySize(kind_);
    if (entrySize == 0 || size_ < kStreamHeaderSize) return;
    const DWORD count = ItemCount();
    size_t firstValue = size_;  // the lowest value offset of the entries taken
    for (size_t k = 0; k < count; ++k) {
        const size_t end = kStreamHeaderSize + (k + 1) * entrySize;
        if (end > size_ || end > firstValue) break;
        StreamEntry entry;
        Read(k, entry);
        if (entry.valueOffset < end) break;
        if (entry.valueOffset < firstValue) firstValue = entry.valueOffset;
        usable_ = k + 1;
    }
}

DWORD StreamReader::ItemCount() const {
    if (size_ < kStreamHeaderSize) return 0;
    OPCGROUPHEADER header;
    std::memcpy(&header, block_, sizeof header);
    return header.dwItemCount;
}

bool StreamReader::ReadEntry(size_t index, StreamEntry& entry) const {
    if (index >= usable_) return false;
    Read(index, entry);
    return true;
}

void StreamReader::Read(size_t index, StreamEntry& entry) const {
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
}
