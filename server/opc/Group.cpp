#include "Group.h"

#include "Enumer.h"
#include "HResult.h"
#include "ValueConversion.h"
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
        HRESULT error = tag ? CheckRequestedType(tag->m_canonicalType, def.vtRequestedDataType) : OPC_E_UNKNOWNITEMID;
        OPCHANDLE handle = tag ? static_cast<OPCHANDLE>(tag->m_index) : 0;
        if (error == S_OK && add) error = AddItem(def, tag, &handle);
        errorArray.get()[i] = error;
        if (error != S_OK) {
            overall = S_FALSE;
            continue;
        }
        OPCITEMRESULT& r = resultArray.get()[i];
        r.hServer = handle;
        r.vtCanonicalDataType = tag->m_canonicalType;
        r.dwAccessRights = static_cast<DWORD>(tag->m_accessRights);
    }
    *results = resultArray.release();
    *errors = errorArray.release();
    return overall;
}

OPCHANDLE CGroup::NewItemHandleLocked(const CRealItem& tag) {
    const auto tagHandle = static_cast<OPCHANDLE>(tag.m_index);
    if (!m_items.Find(tagHandle)) return tagHandle;
    // A further item of the tag: a handle no tag position can equal, and no
    // item of the group holds.
    for (;;) {
        if (m_nextExtraHandle < kFirstExtraItemHandle) m_nextExtraHandle = kFirstExtraItemHandle;  // wrapped
        const OPCHANDLE handle = m_nextExtraHandle++;
        if (!m_items.Find(handle)) return handle;
    }
}

HRESULT CGroup::AddItem(const OPCITEMDEF& def, CRealItem* tag, OPCHANDLE* handle) {
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
        item->m_hServer = NewItemHandleLocked(*tag);
        if (m_items.Append(item.get())) {
            *handle = item.release()->m_hServer;
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

// Runs action on the item of each handle, which gives the item's result;
// per-item OPC_E_UNKNOWNITEMID for handles without one.
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
        errorArray.get()[i] = action(item, i);
        if (errorArray.get()[i] != S_OK) overall = S_FALSE;
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
                             return S_OK;
                         });
}

STDMETHODIMP CGroup::SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive, HRESULT** ppErrors) {
    // An item made active is sent to the data callback at its next cycle.
    return ForEachHandle(m_itemLock, m_items, dwCount, phServer, ppErrors, [bActive](CItem* item, DWORD) {
        if (bActive && !item->m_active) item->m_callbackSent.due = TRUE;
        item->m_active = bActive;
        return S_OK;
    });
}

STDMETHODIMP CGroup::SetClientHandles(DWORD dwCount, OPCHANDLE* phServer, OPCHANDLE* phClient, HRESULT** ppErrors) {
    // Client handles travel in every data stream; a new one must take effect.
    if (!phClient) return E_INVALIDARG;
    return ForEachHandle(m_itemLock, m_items, dwCount, phServer, ppErrors,
                         [phClient](CItem* item, DWORD i) {
                             item->m_hClient = phClient[i];
                             return S_OK;
                         });
}

STDMETHODIMP CGroup::SetDatatypes(DWORD dwCount, OPCHANDLE* phServer, VARTYPE* pRequestedDatatypes,
                                  HRESULT** ppErrors) {
    // Values travel in the requested type from the next read or report on;
    // a type no value of the tag can take is refused for that item.
    if (!pRequestedDatatypes) return E_INVALIDARG;
    return ForEachHandle(m_itemLock, m_items, dwCount, phServer, ppErrors,
                         [pRequestedDatatypes](CItem* item, DWORD i) {
                             const HRESULT usable =
                                 CheckRequestedType(item->m_pTag->m_canonicalType, pRequestedDatatypes[i]);
                             if (usable == S_OK) item->m_requestedType = pRequestedDatatypes[i];
                             return usable;
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

STDMETHODIMP CGroup::SetState(DWORD* pRequestedUpdateRate, DWORD* pRevisedUpdateRate, BOOL* pActive,
                              LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD* pLCID, OPCHANDLE* phClientGroup) {
    if (!pRevisedUpdateRate) return E_INVALIDARG;
    // A deadband is a percentage; NaN fails both tests.
    if (pPercentDeadband && !(*pPercentDeadband >= 0.0f && *pPercentDeadband <= 100.0f)) return E_INVALIDARG;
    if (!m_pServer) return E_FAIL;
    {
        // Workers read the state while they cycle; they see it whole.
        fw::Lock lock(m_itemLock);
        if (pRequestedUpdateRate) m_settings.updateRate = *pRequestedUpdateRate;
        if (pActive) {
            // A group made active reports every active item again on both
            // paths: what its clients saw stood still meanwhile.
            if (*pActive && !m_settings.active)
                for (CItem* item = m_items.First(); item; item = item->m_pNext) {
                    item->m_streamSent.due = TRUE;
                    item->m_callbackSent.due = TRUE;
                }
            m_settings.active = *pActive ? TRUE : FALSE;
        }
        if (pTimeBias) m_settings.timeBias = *pTimeBias;
        if (pPercentDeadband) m_settings.percentDeadband = *pPercentDeadband;
        if (pLCID) m_settings.lcid = *pLCID;
        if (phClientGroup) m_settings.hClientGroup = *phClientGroup;
    }
    // Every rate is kept as asked; the cycles themselves are never shorter
    // than the system's timers allow (see CycleSchedule).
    *pRevisedUpdateRate = m_settings.updateRate;
    return S_OK;
}

STDMETHODIMP CGroup::SetName(LPCWSTR szName) {
    if (!szName || !*szName) return E_INVALIDARG;
    const std::wstring name(szName);
    if (name.size() > kMaxGroupName) return E_INVALIDARG;
    if (!m_pServer) return E_FAIL;
    if (name == m_settings.name) return S_OK;
    if (m_pServer->GroupNameInUse(name)) return OPC_E_DUPLICATENAME;
    try {
        m_settings.name = name;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

STDMETHODIMP CGroup::CloneGroup(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_INVALIDARG;
    *ppUnk = nullptr;
    if (!m_pServer) return E_FAIL;
    return m_pServer->CloneGroup(*this, szName, riid, ppUnk);
}

HRESULT CGroup::CopyItemsFrom(CGroup& source) {
    struct Copy {
        CRealItem* tag;
        OPCITEMDEF def;
        std::vector<BYTE> blob;
    };
    std::vector<Copy> copies;
    try {
        fw::Lock lock(source.m_itemLock);
        for (CItem* item = source.m_items.First(); item; item = item->m_pNext) {
            Copy copy{item->m_pTag, {}, item->m_blob};
            copy.def.bActive = item->m_active;
            copy.def.hClient = item->m_hClient;
            copy.def.vtRequestedDataType = item->m_requestedType;
            copies.push_back(std::move(copy));
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    for (Copy& copy : copies) {
        copy.def.dwBlobSize = static_cast<DWORD>(copy.blob.size());
        copy.def.pBlob = copy.blob.empty() ? nullptr : copy.blob.data();
        OPCHANDLE handle = 0;
        RETURN_IF_FAILED(AddItem(copy.def, copy.tag, &handle));
    }
    return S_OK;
}
