#include "StreamApply.h"

#include "ValueText.h"

#include <cstring>

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

// The first item of the list with the handle, as the list is ordered: the
// group hands out each handle once, so there is only one in practice.
CItem* FindItem(CGroup& group, OPCHANDLE hClient) {
    for (const auto& item : group.m_items)
        if (item->m_hClient == hClient) return item.get();
    return nullptr;
}

}  // namespace

size_t ApplyDataChange(const BYTE* block, size_t size, CGroup& group) {
    if (!block || size < kStreamGroupHeaderSize) return 0;
    const DWORD itemCount = ReadDword(block + kStreamItemCountOffset);
    // Only the entries that lie inside the block are read; a count larger
    // than that cannot be honoured past the end.
    const size_t fitting = (size - kStreamGroupHeaderSize) / kStreamTimedEntrySize;
    const size_t entries = itemCount < fitting ? itemCount : fitting;

    size_t applied = 0;
    for (size_t k = 0; k < entries; ++k) {
        const BYTE* entry = block + kStreamGroupHeaderSize + k * kStreamTimedEntrySize;
        CItem* item = FindItem(group, ReadDword(entry + kStreamEntryClientOffset));
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
