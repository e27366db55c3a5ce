#include "ItemList.h"

#include "LinkedList.h"

#include <new>

bool ItemList::Append(CItem* item) {
    Chain* chain = nullptr;
    try {
        chain = &byHandle_[item->ServerHandle()];
    } catch (const std::bad_alloc&) {
        return false;
    }
    item->m_pNext = nullptr;
    item->m_pPrev = last_;
    item->m_pNextSameHandle = nullptr;
    (last_ ? last_->m_pNext : first_) = item;
    last_ = item;
    (chain->last ? chain->last->m_pNextSameHandle : chain->first) = item;
    chain->last = item;
    ++count_;
    return true;
}

CItem* ItemList::Find(OPCHANDLE handle) const {
    const auto found = byHandle_.find(handle);
    return found == byHandle_.end() ? nullptr : found->second.first;
}

void ItemList::Remove(CItem* item) {
    (item->m_pPrev ? item->m_pPrev->m_pNext : first_) = item->m_pNext;
    (item->m_pNext ? item->m_pNext->m_pPrev : last_) = item->m_pPrev;

    const auto found = byHandle_.find(item->ServerHandle());
    if (found != byHandle_.end()) {
        Chain& chain = found->second;
        CItem* before = nullptr;
        for (CItem* i = chain.first; i && i != item; i = i->m_pNextSameHandle) before = i;
        (before ? before->m_pNextSameHandle : chain.first) = item->m_pNextSameHandle;
        if (chain.last == item) chain.last = before;
        if (!chain.first) byHandle_.erase(found);
    }
    --count_;
    delete item;
}

void ItemList::Clear() {
    DeleteLinkedList(first_);
    last_ = nullptr;
    count_ = 0;
    byHandle_.clear();
}
