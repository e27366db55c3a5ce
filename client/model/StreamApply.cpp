#include "StreamApply.h"

#include "ValueText.h"

#include <cstring>
#include <unordered_map>

namespace {

DWORD ReadDword(const BYTE* at) {
    DWORD value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

WORD ReadWord(const BYTE* at) {
    WORD value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Finds the first item of the group's list with a client handle, as the list
// is ordered.  A stream names many items, so for more than one entry the
// handles are indexed once per stream instead of walking the list per entry;
// the index keeps the first item of each handle, as the walk would find it.
class ItemFinder {
public:
    ItemFinder(CGroup& group, size_t entries) : group_(group) {
        if (entries < 2) return;
        index_.reserve(group.m_items.size());
        for (const auto& item : group.m_items) index_.emplace(item->m_hClient, item.get());
    }

    CItem* Find(OPCHANDLE hClient) const {
        if (!index_.empty()) {
            const auto found = index_.find(hClient);
            return found == index_.end() ? nullptr : found->second;
        }
        for (const auto& item : group_.m_items)
            if (item->m_hClient == hClient) return item.get();
        return nullptr;
    }

private:
    CGroup& group_;
    std::unordered_map<OPCHANDLE, CItem*> index_;
};

}  // namespace

size_t ApplyDataChange(const BYTE* block, size_t size, CGroup& group) {
    if (!block || size < kStreamGroupHeaderSize) return 0;
    const DWORD itemCount = ReadDword(block + kStreamItemCountOffset);
    // Only the entries that lie inside the block are read; a count larger
    // than that cannot be honoured past the end.
    const size_t fitting = (size - kStreamGroupHeaderSize) / kStreamTimedEntrySize;
    const size_t entries = itemCount < fitting ? itemCount : fitting;

    const ItemFinder finder(group, entries);
    size_t applied = 0;
    for (size_t k = 0; k < entries; ++k) {
        const BYTE* entry = block + kStreamGroupHeaderSize + k * kStreamTimedEntrySize;
        CItem* item = finder.Find(ReadDword(entry + kStreamEntryClientOffset));
        if (!item) continue;
        const size_t valueOffset = ReadDword(entry + kStreamEntryValueOffset);
        if (valueOffset >= size) continue;
        const auto text = VariantToText(block + valueOffset, size - valueOffset);
        if (!text) continue;
        item->m_valueText = FitTextField(text->text);
        item->m_quality = ReadWord(entry + kStreamEntryQualityOffset);
        item->m_changed = TRUE;
        ++applied;
    }
    return applied;
}
