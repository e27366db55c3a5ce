#include "Group.h"

#include "Enumer.h"
#include "TaskMem.h"
#include "ServerContext.h"

#include <memory>
#include <new>

CGroup::CGroup() {
    // Without memory for it the group has no data callback, which a client
    // learns from FindConnectionPoint.
    try {
        InitializeCallbackPoint();
    } catch (const std::bad_alloc&) {
        m_callbackPoint.reset();
    }
}

CGroup::~CGroup() {
    RemoveAllConnections();
    FreeItems();
}

void CGroup::Initialize(const GroupSettings& settings, ServerContext* server) {
    m_settings = settings;
    m_pServer = server;
}

void CGroup::AttachThread(fw::UniqueHandle thread, DWORD threadId) {
    m_thread = std::move(thread);
    m_threadId = threadId;
}

void CGroup::Shutdown() {
    // Subscriptions are told to end; their threads may run on for a cycle,
    // holding the server object through their use of it.
    RemoveAllConnections();
    if (m_thread) {
        PostThreadMessageW(m_threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(m_thread.get(), INFINITE);
        m_thread.reset();
    }
    DetachServer();
}

bool CGroup::HeldByClients() {
    // The count as AddRef reports it, less the probe's own reference and
    // the server list's.
    const ULONG total = Identity()->AddRef();
    Identity()->Release();
    return static_cast<long>(total) - 2 > m_workerHolds.load();
}

void CGroup::DetachServer() {
    fw::Lock lock(m_itemLock);
    m_pServer = nullptr;
}

void CGroup::FreeItems() {
    fw::Lock lock(m_itemLock);
    m_items.Clear();
}

CItem* CGroup::FirstItem() {
    fw::Lock lock(m_itemLock);
    return m_items.First();
}

size_t CGroup::ItemCount() {
    fw::Lock lock(m_itemLock);
    return m_items.Count();
}

CItem* CGroup::FindItemLocked(OPCHANDLE handle) const { return m_items.Find(handle); }

HRESULT CGroup::ResolveItems(DWORD count, const OPCITEMDEF* defs, bool add, OPCITEMRESULT** results,
                             HRESULT** errors) {
    if (!results || !errors) return E_INVALIDARG;
    *results = nullptr;
    *errors = nullptr;
    if (count == 0 || !defs) return E_INVALIDARG;
    if (!m_pServer) return E_FAIL;
    auto resultArray = fw::TaskMemArray<OPCITEMRESULT>(count);
    auto errorArray = fw::TaskMemArray<HRESULT>(count);
    if (!resultArray || !errorArray) return E_OUTOFMEMORY;

    HRESULT overall = S_OK;
    for (DWORD i = 0; i < count; ++i) {
        const OPCITEMDEF& def = defs[i];
        CRealItem* tag = m_pServer->FindTag(def.szItemID);
        if (!tag) {
            errorArray.get()[i] = OPC_E_UNKNOWNITEMID;
            overall = S_FALSE;
            continue;
        }
        if (add) {
            const HRESULT added = AddItem(def, tag);
            if (added != S_OK) {
                errorArray.get()[i] = added;
                overall = S_FALSE;
                continue;
            }
        }
        OPCITEMRESULT& r = resultArray.get()[i];
        r.hServer = static_cast<OPCHANDLE>(tag->m_index);
        r.vtCanonicalDataType = tag->m_canonicalType;
        r.dwAccessRights = static_cast<DWORD>(tag->m_accessRights);
        errorArray.get()[i] = S_OK;
    }
    *results = resultArray.release();
    *errors = errorArray.release();
    return overall;
}

HRESULT CGroup::AddItem(const OPCITEMDEF& def, CRealItem* tag) {
    // Items and their blobs count against the server object's budget: one
    // client must not take the process's last memory (see ServerBudget).
    ServerBudget& budget = m_pServer->Budget();
    const size_t blobBytes = def.pBlob ? def.dwBlobSize : 0;
    if (!budget.items.Take()) return E_OUTOFMEMORY;
    if (!budget.blobBytes.Take(blobBytes)) {
        budget.items.Give();
        return E_OUTOFMEMORY;
    }
    std::unique_ptr<CItem> item(new (std::nothrow) CItem);
    bool stored = false;
    if (item) {
        item->m_pTag = tag;
        item->m_active = def.bActive;
        item->m_hClient = def.hClient;
        item->m_requestedType = def.vtRequestedDataType;
        try {
            if (blobBytes) item->m_blob.assign(def.pBlob, def.pBlob + blobBytes);
            stored = true;
        } catch (const std::bad_alloc&) {
        }
    }
    if (stored) {
        fw::Lock lock(m_itemLock);
        if (m_items.Append(item.get())) {
            item.release();
            return S_OK;
        }
    }
    budget.blobBytes.Give(blobBytes);
    budget.items.Give();
    return E_OUTOFMEMORY;
}

void CGroup::ReturnToBudget(const CItem& item) {
    // Called with the item lock held; a group that has left its server
    // object has nothing to give back to.
    if (!m_pServer) return;
    ServerBudget& budget = m_pServer->Budget();
    budget.blobBytes.Give(item.m_blob.size());
    budget.items.Give();
}

STDMETHODIMP CGroup::AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults,
                              HRESULT** ppErrors) {
    return ResolveItems(dwCount, pItemArray, true, ppAddResults, ppErrors);
}

STDMETHODIMP CGroup::ValidateItems(DWORD dwCount, OPCITEMDEF* pItemArray, BOOL, OPCITEMRESULT** ppValidationResults,
                                   HRESULT** ppErrors) {
    return ResolveItems(dwCount, pItemArray, false, ppValidationResults, ppErrors);
}

namespace {

// Runs action on the first item of each handle; per-item OPC_E_UNKNOWNITEMID
// for handles without one.
template <class Action>
HRESULT ForEachHandle(fw::CriticalSection& lock, const ItemList& items, DWORD count, const OPCHANDLE* handles,
                      HRESULT** errors, Action action) {
    if (!handles || !errors) return E_INVALIDARG;
    *errors = nullptr;
    if (count == 0) return E_INVALIDARG;
    auto errorArray = fw::TaskMemArray<HRESULT>(count);
    if (!errorArray) return E_OUTOFMEMORY;
    HRESULT overall = S_OK;
    fw::Lock guard(lock);
    for (DWORD i = 0; i < count; ++i) {
        CItem* item = items.Find(handles[i]);
        if (!item) {
            errorArray.get()[i] = OPC_E_UNKNOWNITEMID;
            overall = S_FALSE;
            continue;
        }
        action(item, i);
        errorArray.get()[i] = S_OK;
    }
    *errors = errorArray.release();
    return overall;
}

}  // namespace

STDMETHODIMP CGroup::RemoveItems(DWORD dwCount, OPCHANDLE* phServer, HRESULT** ppErrors) {
    return ForEachHandle(m_itemLock, m_items, dwCount, phServer, ppErrors,
                         [this](CItem* item, DWORD) {
                             ReturnToBudget(*item);
                             m_items.Remove(item);
                         });
}

STDMETHODIMP CGroup::SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive, HRESULT** ppErrors) {
    // An item made active is sent to the data callback at its next cycle.
    return ForEachHandle(m_itemLock, m_items, dwCount, phServer, ppErrors, [bActive](CItem* item, DWORD) {
        if (bActive && !item->m_active) item->m_callbackSent.due = TRUE;
        item->m_active = bActive;
    });
}

STDMETHODIMP CGroup::SetClientHandles(DWORD dwCount, OPCHANDLE* phServer, OPCHANDLE* phClient, HRESULT** ppErrors) {
    // Client handles travel in every data stream; a new one must take effect.
    if (!phClient) return E_INVALIDARG;
    return ForEachHandle(m_itemLock, m_items, dwCount, phServer, ppErrors,
                         [phClient](CItem* item, DWORD i) { item->m_hClient = phClient[i]; });
}

STDMETHODIMP CGroup::SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes,
                                  HRESULT** ppErrors) {
    // Values always travel in the tag's canonical type; the requested type
    // is recorded for the item attributes only.
    if (!pRequestedDatatypes) return E_INVALIDARG;
    return ForEachHandle(m_itemLock, m_items, dwCount, phServer, ppErrors,
                         [pRequestedDatatypes](CItem* item, DWORD i) {
                             item->m_requestedType = pRequestedDatatypes[i];
                         });
}

STDMETHODIMP CGroup::CreateEnumerator(REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_INVALIDARG;
    *ppUnk = nullptr;
    return fw::CreateInstance<CEnumer>(riid, reinterpret_cast<void**>(ppUnk), this);
}

STDMETHODIMP CGroup::GetState(DWORD* pUpdateRate, BOOL* pActive, LPWSTR* ppName, LONG* pTimeBias,
                              FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup,
                              OPCHANDLE* phServerGroup) {
    if (!pUpdateRate || !pActive || !ppName || !pTimeBias || !pPercentDeadband || !pLCID || !phClientGroup ||
        !phServerGroup)
        return E_INVALIDARG;
    *ppName = fw::TaskMemString(m_settings.name.c_str()).release();
    if (!*ppName) return E_FAIL;
    *pUpdateRate = m_settings.updateRate;
    *pActive = m_settings.active;
    *pTimeBias = m_settings.timeBias;
    *pPercentDeadband = m_settings.percentDeadband;
    *pLCID = m_settings.lcid;
    *phClientGroup = m_settings.hClientGroup;
    *phServerGroup = m_settings.hServerGroup;
    return S_OK;
}

STDMETHODIMP CGroup::SetState(DWORD*, DWORD* pRevisedUpdateRate, BOOL*, LONG*, FLOAT*, DWORD*, OPCHANDLE*) {
    // The group's state is fixed when it is added; the revised rate tells the
    // client which rate stays in force.
    if (pRevisedUpdateRate) *pRevisedUpdateRate = m_settings.updateRate;
    return S_OK;
}

STDMETHODIMP CGroup::SetName(LPCWSTR) { return S_OK; }

STDMETHODIMP CGroup::CloneGroup(LPCWSTR, REFIID, LPUNKNOWN* ppUnk) {
    // No clone is made, so success would hand the client a null interface.
    if (ppUnk) *ppUnk = nullptr;
    return E_NOTIMPL;
}
