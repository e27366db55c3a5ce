// A group's reference to one tag: the client's handle and active flag, and
// what was last sent to the client for it.
#pragma once

#include "ChangeTest.h"
#include "RealItem.h"
#include "OpcInterfaces.h"

#include <windows.h>
#include <oaidl.h>

#include <vector>

// Tag positions are 32-bit signed and positive, so no tag has a handle from
// here on: the handles of further items of one tag start here.
constexpr OPCHANDLE kFirstExtraItemHandle = 0x80000000u;

class CItem {
public:
    CItem() = default;
    CItem(const CItem&) = delete;
    CItem& operator=(const CItem&) = delete;

    // The first item of a tag in a group takes the tag's table position as
    // its handle; further items of the same tag get handles of their own
    // (see kFirstExtraItemHandle), so every handle names one item.
    OPCHANDLE ServerHandle() const { return m_hServer; }
    // The type the client gets the item's values in.
    VARTYPE DeliveredType() const {
        return m_requestedType == VT_EMPTY ? m_pTag->m_canonicalType : m_requestedType;
    }

    // Links of the group's ItemList: the list in the order items were added,
    // and the items with the same server handle.
    CItem* m_pNext = nullptr;
    CItem* m_pPrev = nullptr;
    CItem* m_pNextSameHandle = nullptr;
    CRealItem* m_pTag = nullptr;
    OPCHANDLE m_hServer = 0;
    BOOL m_active = FALSE;
    OPCHANDLE m_hClient = 0;
    std::vector<BYTE> m_blob;
    VARTYPE m_requestedType = VT_EMPTY;
    // What the group's data streams last sent, and what its data callback
    // last sent: each path reports every change to its own client.
    SentValue m_streamSent;
    SentValue m_callbackSent;
};
