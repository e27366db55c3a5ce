// The group's data-change side: IDataObject with its subscriptions, the
// subscription cycle with its change test, and the streams for GetData and
// for asynchronous completions.
#include "Group.h"

#include "AdviseConnection.h"
#include "ChangeTest.h"
#include "GlobalMemory.h"
#include "HResult.h"
#include "ServerContext.h"
#include "StreamFormats.h"

#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace {

// The value of a reading as a stream carries it: every byte not set is zero.
HRESULT TagValueOf(const CRealItem& tag, const TagReading& reading, VARIANT& value) {
    std::memset(&value, 0, sizeof value);
    return tag.ValueOf(reading, &value);
}

HRESULT ReadTagValue(const CRealItem& tag, VARIANT& value) { return TagValueOf(tag, tag.Reading(), value); }


}  // namespace

StreamKind CGroup::KindOf(CLIPFORMAT format) const {
    if (format == StreamFormatData()) return StreamKind::Data;
    if (format == StreamFormatDataTime()) return StreamKind::DataTime;
    if (format == StreamFormatWriteComplete()) return StreamKind::WriteComplete;
    return StreamKind::Other;
}

HRESULT CGroup::ActiveHandles(std::vector<OPCHANDLE>& handles) {
    handles.clear();
    fw::Lock lock(m_itemLock);
    try {
        for (CItem* item = m_items.First(); item; item = item->m_pNext)
            if (item->m_active) handles.push_back(item->ServerHandle());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CGroup::ReadActiveItems() {
    std::vector<OPCHANDLE> active;
    RETURN_IF_FAILED(ActiveHandles(active));
    return DeviceRead(static_cast<DWORD>(active.size()), active.data());
}

DWORD CGroup::ActiveItemCount() {
    fw::Lock lock(m_itemLock);
    DWORD n = 0;
    for (CItem* item = m_items.First(); item; item = item->m_pNext)
        if (item->m_active) ++n;
    return n;
}

HRESULT CGroup::SubscriptionCycle(StreamKind kind, HGLOBAL block, DWORD n, DWORD* changed) {
    *changed = 0;
    fw::GlobalLockScope locked(block);
    if (!locked.data()) return E_FAIL;

    const HRESULT read = ReadActiveItems();
    if (FAILED(read)) return read;

    FILETIME now;
    CoFileTimeNow(&now);
    fw::Lock lock(m_itemLock);
    // Items may have been added or activated since the block was sized:
    // the stream never holds more than the block was made for.  Each item's
    // reading is taken once, so what is tested is what is sent even while
    // another group's device read refreshes the same tags.
    std::vector<std::pair<CItem*, TagReading>>& changes = m_cycleChanges;
    changes.clear();
    try {
        changes.reserve(n);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    {
        TagValueLock valueLock(m_items.First() ? m_items.First()->m_pTag : nullptr);
        for (CItem* item = m_items.First(); item && changes.size() < n; item = item->m_pNext) {
            if (!item->m_active) continue;
            const TagReading reading = item->m_pTag->ReadingLocked();
            if (HasChanged(item->m_streamSent, item->m_pTag->m_canonicalType, reading)) changes.emplace_back(item, reading);
        }
    }
    const DWORD count = static_cast<DWORD>(changes.size());

    // A cycle without changes sends nothing and takes no number: the
    // streams a client sees count up without gaps.
    if (count == 0) return S_OK;
    StreamWriter writer(locked.data(), locked.size(), kind);
    if (!writer.Fits(count)) return E_FAIL;
    writer.WriteHeader(StreamBlockSize(kind, n), count, m_settings.hClientGroup, NextStreamId());
    for (DWORD index = 0; index < count; ++index) {
        CItem* item = changes[index].first;
        VARIANT value;
        const HRESULT status = TagValueOf(*item->m_pTag, changes[index].second, value);
        if (writer.CarriesEntries())
            writer.WriteEntry(index, item->m_hClient, status == S_OK ? OPC_QUALITY_GOOD : OPC_QUALITY_BAD, now, value);
        RememberSent(item->m_streamSent, value, status);
    }
    *changed = count;
    return S_OK;
}

HRESULT CGroup::WriteStreamForHandles(StreamKind kind, HGLOBAL block, DWORD count, const OPCHANDLE* handles) {
    fw::GlobalLockScope locked(block);
    if (!locked.data()) return E_FAIL;
    StreamWriter writer(locked.data(), locked.size(), kind);
    if (!writer.Fits(count)) return E_FAIL;

    FILETIME now;
    CoFileTimeNow(&now);
    fw::Lock lock(m_itemLock);
    writer.WriteHeader(StreamBlockSize(kind, count), count, m_settings.hClientGroup, NextStreamId());
    if (!writer.CarriesEntries()) return S_OK;
    for (DWORD i = 0; i < count; ++i) {
        VARIANT value;
        std::memset(&value, 0, sizeof value);
        CItem* item = FindItemLocked(handles[i]);
        if (!item) {
            // A handle the group does not know (never added, or removed since
            // the request) keeps its place with no client handle, an empty
            // value and bad quality.
            writer.WriteEntry(i, 0, OPC_QUALITY_BAD, now, value);
            continue;
        }
        ReadTagValue(*item->m_pTag, value);
        writer.WriteEntry(i, item->m_hClient, OPC_QUALITY_GOOD, now, value);
    }
    return S_OK;
}

STDMETHODIMP CGroup::GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) {
    if (!pformatetcIn || !pmedium) return E_INVALIDARG;
    if (!m_pServer) return E_FAIL;
    const StreamKind kind = KindOf(pformatetcIn->cfFormat);

    const HRESULT read = ReadActiveItems();
    if (FAILED(read)) return read;

    FILETIME now;
    CoFileTimeNow(&now);
    fw::Lock lock(m_itemLock);
    const DWORD n = ActiveItemCount();
    const DWORD size = StreamBlockSize(kind, n);
    if (size == 0) return E_OUTOFMEMORY;

    // A caller in this process may hand over its own block.  Through the
    // proxy the medium is an out parameter and arrives empty: then the block
    // is ours, as the stub expects, and it frees it after sending.  Blocks
    // start zeroed: what a stream leaves unused carries nothing of ours.
    const bool callersBlock = pmedium->tymed == TYMED_HGLOBAL && pmedium->hGlobal;
    fw::UniqueGlobal ownBlock(callersBlock ? nullptr : GlobalAlloc(GPTR, size));
    const HGLOBAL block = callersBlock ? pmedium->hGlobal : ownBlock.get();
    if (!block) return callersBlock ? E_FAIL : E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    {
        fw::GlobalLockScope locked(block);
        StreamWriter writer(locked.data(), locked.size(), kind);
        if (!locked.data()) {
            hr = E_FAIL;
        } else if (!writer.Fits(n)) {
            hr = STG_E_MEDIUMFULL;  // nothing written
        } else {
            writer.WriteHeader(size, n, m_settings.hClientGroup, NextStreamId());
            DWORD index = 0;
            for (CItem* item = m_items.First(); item && index < n; item = item->m_pNext) {
                if (!item->m_active) continue;
                VARIANT value;
                const HRESULT status = ReadTagValue(*item->m_pTag, value);
                if (writer.CarriesEntries())
                    writer.WriteEntry(index, item->m_hClient, status == S_OK ? OPC_QUALITY_GOOD : OPC_QUALITY_BAD,
                                      now, value);
                RememberSent(item->m_streamSent, value, status);
                ++index;
            }
        }
    }
    if (FAILED(hr)) return hr;
    if (!callersBlock) {
        pmedium->tymed = TYMED_HGLOBAL;
        pmedium->hGlobal = ownBlock.release();
        pmedium->pUnkForRelease = nullptr;
    }
    return S_OK;
}

STDMETHODIMP CGroup::GetDataHere(FORMATETC*, STGMEDIUM*) { return E_NOTIMPL; }
STDMETHODIMP CGroup::QueryGetData(FORMATETC*) { return E_NOTIMPL; }
STDMETHODIMP CGroup::GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) { return E_NOTIMPL; }
STDMETHODIMP CGroup::SetData(FORMATETC*, STGMEDIUM*, BOOL) { return E_NOTIMPL; }
STDMETHODIMP CGroup::EnumFormatEtc(DWORD, IEnumFORMATETC** ppenumFormatEtc) {
    if (ppenumFormatEtc) *ppenumFormatEtc = nullptr;
    return E_NOTIMPL;
}
STDMETHODIMP CGroup::EnumDAdvise(IEnumSTATDATA** ppenumAdvise) {
    if (ppenumAdvise) *ppenumAdvise = nullptr;
    return E_NOTIMPL;
}

CAdviseConnection* CGroup::FindConnection(DWORD number) const {
    for (CAdviseConnection* c = m_pFirstConnection; c; c = c->m_pNext)
        if (c->Number() == number) return c;
    return nullptr;
}

STDMETHODIMP CGroup::DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) {
    if (!pformatetc || !pAdvSink || !pdwConnection) return E_INVALIDARG;
    // A removed group reads nothing any more; a subscription would be silent.
    if (!m_pServer) return E_FAIL;

    DWORD number = ++m_lastConnection;
    while (number == 0 || FindConnection(number)) number = ++m_lastConnection;
    auto* connection = new (std::nothrow) CAdviseConnection(this, m_pServer, *pformatetc, advf, number, pAdvSink);
    if (!connection) return E_OUTOFMEMORY;
    // Listed only once it runs: a subscription that could not start is no
    // subscription, and its number must not be handed out.
    const HRESULT started = connection->Start();
    if (FAILED(started)) {
        connection->Release();
        return started;
    }
    CAdviseConnection** link = &m_pFirstConnection;
    while (*link) link = &(*link)->m_pNext;
    *link = connection;
    *pdwConnection = number;
    return S_OK;
}

void CGroup::EndConnection(CAdviseConnection* connection) {
    // A signal, not a wait: this may be a call from inside the very
    // callback the update thread is making, or one dispatched while a
    // driver write holds the lock that thread waits for (see ServerContext).
    connection->m_pNext = nullptr;
    connection->Stop();
    connection->Release();
}

STDMETHODIMP CGroup::DUnadvise(DWORD dwConnection) {
    CAdviseConnection** link = &m_pFirstConnection;
    while (*link && (*link)->Number() != dwConnection) link = &(*link)->m_pNext;
    if (!*link) return E_FAIL;
    CAdviseConnection* connection = *link;
    *link = connection->m_pNext;
    EndConnection(connection);
    return S_OK;
}

void CGroup::RemoveAllConnections() {
    while (CAdviseConnection* connection = m_pFirstConnection) {
        m_pFirstConnection = connection->m_pNext;
        EndConnection(connection);
    }
    EndCallback();
    // The advised sinks are proxies of this thread's apartment: they go here.
    if (m_callbackPoint) m_callbackPoint->DisconnectAll();
}
