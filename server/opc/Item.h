// A group's reference to one tag: the client's handle and active flag, and
// what was last sent to the client for it.
#pragma once

#include "ChangeTest.h"
#include "RealItem.h"
#include "OpcInterfaces.h"

#include <windows.h>
#include <oaidl.h>

#include <vector>

class CItem {
public:
    CItem() = default;
    CItem(const CItem&) = delete;
    CItem& operator=(const CItem&) = delete;

    // Items have no handle of their own: the tag's table position is it.
    OPCHANDLE ServerHandle() const { return static_cast<OPCHANDLE>(m_pTag->m_index); }

    // Links of the group's ItemList: the list in the order items were added,
    // and the items with the same server handle.
    CItem* m_pNext = nullptr;
    CItem* m_pPrev = nullptr;
    CItem* m_pNextSameHandle = nullptr;
    CRealItem* m_pTag = nullptr;
    BOOL m_active = FALSE;
    OPCHANDLE m_hClient = 0;
    std::vector<BYTE> m_blob;
    VARTYPE m_requestedType = VT_EMPTY;
    // What the group's data streams last sent, and what its data callback
    // last sent: each path reports every change to its own client.
    SentValue m_streamSent;
    SentValue m_callbackSent;
};
