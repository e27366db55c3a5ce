#include "TagTable.h"

#include "LinkedList.h"

#include <new>

bool TagTable::Append(CRealItem* tag) {
    try {
        byName_.emplace(tag->m_name, tag);  // a name listed before keeps its first tag
    } catch (const std::bad_alloc&) {
        return false;
    }
    tag->m_pNext = nullptr;
    (last_ ? last_->m_pNext : first_) = tag;
    last_ = tag;
    tag->m_index = ++count_;
    tag->m_valueLock = &valueLock_;
    return true;
}

CRealItem* TagTable::Find(const wchar_t* name) const {
    if (!name) return nullptr;
    const auto found = byName_.find(name);
    return found == byName_.end() ? nullptr : found->second;
}

void TagTable::Clear() {
    byName_.clear();
    DeleteLinkedList(first_);
    last_ = nullptr;
    count_ = 0;
}
