// The group's data callback (IConnectionPointContainer with one point for
// IOPCDataCallback) and the requests of IOPCAsyncIO2 that complete through
// it.
#include "Group.h"

#include "CallbackConnection.h"
#include "CallbackValues.h"
#include "ChangeTest.h"
#include "ComPtr.h"
#include "HResult.h"
#include "ServerContext.h"
#include "TaskMem.h"
#include "ValueConversion.h"

#include <olectl.h>

#include <cstring>
#include <new>
#include <vector>

namespace {

// The item's reading for a callback: remembered as sent in the tag's own
// type (the change test compares in it), handed over in the client's.
void AddCallbackValue(CItem& item, const TagReading& reading, LCID locale, const FILETIME& now,
                      CallbackValues& out) {
    VARIANT value;
    std::memset(&value, 0, sizeof value);
    HRESULT status = item.m_pTag->ValueOf(reading, &value);
    RememberSent(item.m_callbackSent, value, status);
    WORD quality = status == S_OK ? OPC_QUALITY_GOOD : OPC_QUALITY_BAD;
    if (status == S_OK && ConvertValue(value, item.DeliveredType(), locale) != S_OK) {
        status = OPC_E_BADTYPE;
        quality = OPC_QUALITY_BAD;
    }
    out.Add(item.m_hClient, value, quality, now, status);
}

}  // namespace

void CGroup::InitializeCallbackPoint() {
    m_callbackPoint.attach(new fw::ConnectionPoint<IOPCDataCallback>(this, 1, this));
    m_points.Add(m_callbackPoint);
}

void CGroup::DisconnectClients() {
    CoDisconnectObject(Identity(), 0);
    if (m_callbackPoint) CoDisconnectObject(m_callbackPoint->Identity(), 0);
}

STDMETHODIMP CGroup::EnumConnectionPoints(IEnumConnectionPoints** ppEnum) {
    return m_points.EnumConnectionPoints(ppEnum);
}

STDMETHODIMP CGroup::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    return m_points.FindConnectionPoint(riid, ppCP);
}

HRESULT CGroup::OnAdvise(DWORD cookie, IOPCDataCallback* sink) {
    // A removed group reads nothing any more; a callback would be silent.
    if (!m_pServer) return E_FAIL;
    auto* connection = new (std::nothrow) CCallbackConnection(this, m_pServer, sink, cookie);
    if (!connection) return E_OUTOFMEMORY;
    {
        // The first callback carries every active item.
        fw::Lock lock(m_itemLock);
        for (CItem* item = m_items.First(); item; item = item->m_pNext) item->m_callbackSent.due = TRUE;
    }
    const HRESULT started = connection->Start();
    if (FAILED(started)) {
        connection->Release();
        return started;
    }
    m_callback = connection;
    return S_OK;
}

void CGroup::OnUnadvise(DWORD cookie) {
    if (m_callback && m_callback->Cookie() == cookie) EndCallback();
}

void CGroup::EndCallback() {
    // A signal, not a wait (see EndConnection).
    if (CCallbackConnection* connection = m_callback) {
        m_callback = nullptr;
        connection->Stop();
        connection->Release();
    }
}

HRESULT CGroup::CollectCallbackChanges(CallbackValues& changes) {
    changes.Clear();
    if (!m_settings.active || !m_callbacksEnabled) return S_OK;
    const DWORD n = ActiveItemCount();
    if (n == 0) return S_OK;
    RETURN_IF_FAILED(ReadActiveItems());
    if (!changes.Reserve(n)) return E_OUTOFMEMORY;

    FILETIME now;
    CoFileTimeNow(&now);
    const float deadband = m_settings.percentDeadband;
    fw::Lock lock(m_itemLock);
    TagValueLock valueLock(m_items.First() ? m_items.First()->m_pTag : nullptr);
    // Items activated since the count are left for the next cycle: the
    // arrays never grow past what was reserved.
    for (CItem* item = m_items.First(); item && changes.Count() < n; item = item->m_pNext) {
        if (!item->m_active) continue;
        const TagReading reading = item->m_pTag->ReadingLocked();
        if (!HasChanged(item->m_callbackSent, item->m_pTag->m_canonicalType, reading, deadband)) continue;
        AddCallbackValue(*item, reading, m_settings.lcid, now, changes);
    }
    return S_OK;
}

HRESULT CGroup::CollectCallbackValues(const std::vector<OPCHANDLE>& handles, CallbackValues& values) {
    values.Clear();
    if (!values.Reserve(handles.size())) return E_OUTOFMEMORY;
    FILETIME now;
    CoFileTimeNow(&now);
    fw::Lock lock(m_itemLock);
    TagValueLock valueLock(m_items.First() ? m_items.First()->m_pTag : nullptr);
    for (const OPCHANDLE handle : handles) {
        // An item removed since the request was accepted has no client
        // handle to report any more: it is left out.
        CItem* item = FindItemLocked(handle);
        if (!item) continue;
        // What a read or refresh told the client counts as sent: the next
        // data change reports only what differs from it.
        AddCallbackValue(*item, item->m_pTag->ReadingLocked(), m_settings.lcid, now, values);
    }
    return S_OK;
}

STDMETHODIMP CGroup::Read(DWORD dwCount, OPCHANDLE* phServer, DWORD dwTransactionID, DWORD* pdwCancelID,
                          HRESULT** ppErrors) {
    if (!phServer || !pdwCancelID || !ppErrors) return E_INVALIDARG;
    *ppErrors = nullptr;
    *pdwCancelID = 0;
    if (dwCount == 0) return E_INVALIDARG;
    if (!m_pServer) return E_FAIL;
    if (!m_callback) return CONNECT_E_NOCONNECTION;
    auto errors = fw::TaskMemArray<HRESULT>(dwCount);
    if (!errors) return E_OUTOFMEMORY;
    CallbackRequestData data;
    std::vector<VARIANT> unused;
    RETURN_IF_FAILED(SplitKnownHandles(dwCount, phServer, nullptr, errors.get(), data.handles, unused));
    const bool allKnown = data.handles.size() == dwCount;
    if (!data.handles.empty()) {
        data.kind = CallbackRequestKind::Read;
        data.source = OPC_DS_DEVICE;
        data.transactionId = dwTransactionID;
        RETURN_IF_FAILED(m_callback->StartRequest(std::move(data), pdwCancelID));
    }
    *ppErrors = errors.release();
    return allKnown ? S_OK : S_FALSE;
}

STDMETHODIMP CGroup::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, DWORD dwTransactionID,
                           DWORD* pdwCancelID, HRESULT** ppErrors) {
    if (!phServer || !pItemValues || !pdwCancelID || !ppErrors) return E_INVALIDARG;
    *ppErrors = nullptr;
    *pdwCancelID = 0;
    if (dwCount == 0) return E_INVALIDARG;
    if (!m_pServer) return E_FAIL;
    if (!m_callback) return CONNECT_E_NOCONNECTION;
    auto errors = fw::TaskMemArray<HRESULT>(dwCount);
    if (!errors) return E_OUTOFMEMORY;
    std::vector<OPCHANDLE> known;
    std::vector<VARIANT> values;
    RETURN_IF_FAILED(SplitKnownHandles(dwCount, phServer, pItemValues, errors.get(), known, values));
    const bool allKnown = known.size() == dwCount;
    if (!known.empty()) {
        // The write is done here, on the thread that serves the group, where
        // a driver's box may run its loop safely (see WriteItems); only its
        // completion is delivered later.  The completion's place is taken
        // first, so that a write done is always reported.
        fw::ComPtr<CCallbackConnection> connection(m_callback);
        fw::ComPtr<IStream> sink;
        RETURN_IF_FAILED(connection->BeginRequest(sink));
        CallbackRequestData data;
        data.kind = CallbackRequestKind::Write;
        data.transactionId = dwTransactionID;
        HRESULT written = E_OUTOFMEMORY;
        try {
            data.clientHandles.assign(known.size(), 0);
            data.writeErrors.assign(known.size(), S_OK);
            written = WriteItems(static_cast<DWORD>(known.size()), known.data(), values.data(),
                                 data.writeErrors.data(), data.clientHandles.data());
        } catch (const std::bad_alloc&) {
        }
        if (FAILED(written)) {
            ReleaseUnusedMarshal(sink);
            connection->RequestEnded();
            return written;
        }
        RETURN_IF_FAILED(connection->LaunchRequest(std::move(sink), std::move(data), pdwCancelID));
    }
    *ppErrors = errors.release();
    return allKnown ? S_OK : S_FALSE;
}

STDMETHODIMP CGroup::Refresh2(OPCDATASOURCE dwSource, DWORD dwTransactionID, DWORD* pdwCancelID) {
    if ((dwSource != OPC_DS_CACHE && dwSource != OPC_DS_DEVICE) || !pdwCancelID) return E_INVALIDARG;
    *pdwCancelID = 0;
    if (!m_pServer) return E_FAIL;
    if (!m_callback) return CONNECT_E_NOCONNECTION;
    // An inactive group, or one without active items, has nothing to refresh.
    if (!m_settings.active) return E_FAIL;
    CallbackRequestData data;
    RETURN_IF_FAILED(ActiveHandles(data.handles));
    if (data.handles.empty()) return E_FAIL;
    data.kind = CallbackRequestKind::Refresh;
    data.source = dwSource;
    data.transactionId = dwTransactionID;
    return m_callback->StartRequest(std::move(data), pdwCancelID);
}

STDMETHODIMP CGroup::Cancel2(DWORD dwCancelID) {
    if (!m_callback) return CONNECT_E_NOCONNECTION;
    return m_callback->Cancel(dwCancelID);
}

STDMETHODIMP CGroup::SetEnable(BOOL bEnable) {
    if (!m_callback) return CONNECT_E_NOCONNECTION;
    m_callbacksEnabled = bEnable != FALSE;
    return S_OK;
}

STDMETHODIMP CGroup::GetEnable(BOOL* pbEnable) {
    if (!pbEnable) return E_INVALIDARG;
    if (!m_callback) return CONNECT_E_NOCONNECTION;
    *pbEnable = m_callbacksEnabled ? TRUE : FALSE;
    return S_OK;
}
