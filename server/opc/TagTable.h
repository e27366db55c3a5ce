// A server object's tags in the driver's order, with an index beside the
// list: the first tag of each name.  AddItems and ValidateItems look every
// item ID up by name, and a walk of the list for each made adding n items of
// an n-tag driver cost n * n / 2 string comparisons.  The list keeps its
// order (a tag's position is its server handle) and a lookup still finds
// the first tag with a name, as a driver may name two tags alike.
#pragma once

#include "RealItem.h"
#include "Sync.h"

#include <cstdint>
#include <string_view>
#include <unordered_map>

class TagTable {
public:
    TagTable() = default;
    ~TagTable() { Clear(); }
    TagTable(const TagTable&) = delete;
    TagTable& operator=(const TagTable&) = delete;

    CRealItem* First() const { return first_; }
    int32_t Count() const { return count_; }

    // Appends a named tag, which the table owns from then on; its position
    // (1-based) becomes its index.  False (and nothing changed) when there
    // is no memory for the index.
    bool Append(CRealItem* tag);
    // The first tag with this name; null when none (or no name).
    CRealItem* Find(const wchar_t* name) const;
    // Deletes every tag.
    void Clear();

    // Guards every tag's cached value and read status.  Device reads of
    // different groups store into the same tags while synchronous reads,
    // subscription cycles and GetData of other groups copy them out: one
    // lock of the table, held only to copy a few bytes and never across a
    // driver call, makes each reading whole (a VT_R8 is two stores on i686)
    // without making a cache read wait for a device.  The driver lock stays
    // what serialises the driver; the group's item lock what guards its list.
    fw::CriticalSection& ValueLock() { return valueLock_; }

private:
    CRealItem* first_ = nullptr;
    CRealItem* last_ = nullptr;
    int32_t count_ = 0;
    fw::CriticalSection valueLock_;
    // Keys view the tags' own names, which never change once listed.
    std::unordered_map<std::wstring_view, CRealItem*> byName_;
};
