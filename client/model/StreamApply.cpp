#include "StreamApply.h"

#include "ValueText.h"

#include <cstring>
#include <unordered_map>

namespace {

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

// A value as the item's row shows it, whole.
void StoreValue(CItem& item, const std::string& text, WORD quality) {
    item.m_valueText = text;
    item.m_quality = quality;
    item.m_changed = TRUE;
}

}  // namespace

size_t ApplyDataChange(const BYTE* block, size_t size, CGroup& group) {
    const StreamReader reader(block, size, StreamKind::DataTime);
    const size_t entries = reader.EntriesInBlock();

    const ItemFinder finder(group, entries);
    size_t applied = 0;
    for (size_t k = 0; k < entries; ++k) {
        StreamEntry entry;
        if (!reader.ReadEntry(k, entry)) continue;
        CItem* item = finder.Find(entry.hClient);
        if (!item) continue;
        if (entry.valueOffset >= size) continue;
        const auto text = VariantToText(block + entry.valueOffset, size - entry.valueOffset);
        if (!text) continue;
        StoreValue(*item, text->text, entry.quality);
        ++applied;
    }
    return applied;
}

size_t ApplyItemValues(CGroup& group, DWORD count, const OPCHANDLE* clientHandles, const VARIANT* values,
                       const WORD* qualities) {
    const ItemFinder finder(group, count);
    size_t applied = 0;
    for (DWORD k = 0; k < count; ++k) {
        CItem* item = finder.Find(clientHandles[k]);
        if (!item) continue;
        StoreValue(*item, VariantToText(values[k]).text, qualities[k]);
        ++applied;
    }
    return applied;
}
