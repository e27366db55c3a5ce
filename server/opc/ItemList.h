// A group's items in the order they were added, with an index beside the
// list: the first item of each server handle.  Item lookups by handle were
// walks of the list, which made a call with n handles on a group of n items
// cost n * n / 2 steps; the list keeps its order and every caller still
// finds the first item with a handle (a tag added twice gives two items with
// one handle).
#pragma once

#include "Item.h"

#include <cstddef>
#include <unordered_map>

class ItemList {
public:
    ItemList() = default;
    ~ItemList() { Clear(); }
    ItemList(const ItemList&) = delete;
    ItemList& operator=(const ItemList&) = delete;

    CItem* First() const { return first_; }
    size_t Count() const { return count_; }

    // Appends an item, which the list owns from then on; false (and nothing
    // changed) when there is no memory for the index.
    bool Append(CItem* item);
    // The first item in list order with this server handle; null when none.
    CItem* Find(OPCHANDLE handle) const;
    // Takes an item of the list out and deletes it.
    void Remove(CItem* item);
    // Deletes every item.
    void Clear();

private:
    // The items of one handle, in list order, linked through m_pNextSameHandle.
    struct Chain {
        CItem* first = nullptr;
        CItem* last = nullptr;
    };

    CItem* first_ = nullptr;
    CItem* last_ = nullptr;
    size_t count_ = 0;
    std::unordered_map<OPCHANDLE, Chain> byHandle_;
};
