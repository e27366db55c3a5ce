// The group's data-change side: IDataObject with its subscriptions, the
// subscription cycle with its change test, and the streams for GetData and
// for asynchronous completions.
#include "Group.h"

#include "AdviseConnection.h"
#include "../host/HalyardApp.h"
#include "../host/HalyardDoc.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

// Whether an item must go into the next stream: it was never sent, or its
// tag's status or value differs from what was last sent.  Values compare
// exactly, in the tag's own type; no deadband applies.
bool HasChanged(const CItem& item) {
    if (item.m_sendNext) return true;
    const CRealItem& tag = *item.m_pTag;
    if (tag.m_readStatus != item.m_lastStatus) return true;
    switch (tag.m_canonicalType) {
    case VT_I2:
    case VT_BOOL:
        return tag.m_value.iVal != item.m_lastValue.iVal;
    case VT_I4:
        return tag.m_value.lVal != item.m_lastValue.lVal;
    case VT_R4:
        return tag.m_value.fltVal != item.m_lastValue.fltVal;
    case VT_R8:
        return tag.m_value.dblVal != item.m_lastValue.dblVal;
    default:
        return true;
    }
}

// The tag's value as a stream carries it: every byte not set is zero.
HRESULT ReadTagValue(const CRealItem& tag, VARIANT& value) {
    std::memset(&value, 0, sizeof value);
    return tag.ReadValue(&value);
}

// Remembers what a stream told the client about the item.
void RememberSent(CItem& item, const VARIANT& value, HRESULT status) {
    item.m_sendNext = FALSE;
    VariantClear(&item.m_lastValue);
    std::memcpy(&item.m_lastValue, &value, sizeof value);  // scalar types only: nothing to copy deeply
    item.m_lastStatus = status;
}

// Holds a global memory block locked for the scope.
class LockedBlock {
public:
    explicit LockedBlock(HGLOBAL block) : block_(block), data_(block ? GlobalLock(block) : nullptr) {}
    ~LockedBlock() {
        if (data_) GlobalUnlock(block_);
    }
    LockedBlock(const LockedBlock&) = delete;
    LockedBlock& operator=(const LockedBlock&) = delete;
    void* data() const { return data_; }
    size_t size() const { return data_ ? GlobalSize(block_) : 0; }

private:
    HGLOBAL block_;
    void* data_;
};

}  // namespace

StreamKind CGroup::KindOf(CLIPFORMAT format) const {
    if (format == StreamFormatData()) return StreamKind::Data;
    if (format == StreamFormatDataTime()) return StreamKind::DataTime;
    if (format == StreamFormatWriteComplete()) return StreamKind::WriteComplete;
    return StreamKind::Other;
}

std::vector<OPCHANDLE> CGroup::ActiveHandles() {
    std::vector<OPCHANDLE> handles;
    fw::Lock lock(m_itemLock);
    for (CItem* item = m_items.First(); item; item = item->m_pNext)
        if (item->m_active) handles.push_back(item->ServerHandle());
    return handles;
}

HRESULT CGroup::ReadActiveItems() {
    const std::vector<OPCHANDLE> active = ActiveHandles();
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
    LockedBlock locked(block);
    if (!locked.data()) return E_FAIL;

    const HRESULT read = ReadActiveItems();
    if (FAILED(read)) return read;

    FILETIME now;
    CoFileTimeNow(&now);
    fw::Lock lock(m_itemLock);
    // Items may have been added or activated since the block was sized:
    // the stream never holds more than the block was made for.
    DWORD count = 0;
    for (CItem* item = m_items.First(); item && count < n; item = item->m_pNext)
        if (item->m_active && HasChanged(*item)) ++count;

    // A cycle without changes sends nothing and takes no number: the
    // streams a client sees count up without gaps.
    if (count == 0) return S_OK;
    StreamWriter writer(locked.data(), locked.size(), kind);
    if (!writer.Fits(count)) return E_FAIL;
    writer.WriteHeader(StreamBlockSize(kind, n), count, m_settings.hClientGroup, NextStreamId());
    DWORD index = 0;
    for (CItem* item = m_items.First(); item && index < count; item = item->m_pNext) {
        if (!item->m_active || !HasChanged(*item)) continue;
        VARIANT value;
        const HRESULT status = ReadTagValue(*item->m_pTag, value);
        if (writer.CarriesEntries())
            writer.WriteEntry(index, item->m_hClient, status == S_OK ? OPC_QUALITY_GOOD : OPC_QUALITY_BAD, now, value);
        RememberSent(*item, value, status);
        ++index;
    }
    *changed = count;
    return S_OK;
}

HRESULT CGroup::WriteStreamForHandles(StreamKind kind, HGLOBAL block, DWORD count, const OPCHANDLE* handles) {
    LockedBlock locked(block);
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
    HGLOBAL block = callersBlock ? pmedium->hGlobal : GlobalAlloc(GPTR, size);
    if (!block) return callersBlock ? E_FAIL : E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    {
        LockedBlock locked(block);
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
                RememberSent(*item, value, status);
                ++index;
            }
        }
    }
    if (FAILED(hr)) {
        if (!callersBlock) GlobalFree(block);
        return hr;
    }
    if (!callersBlock) {
        pmedium->tymed = TYMED_HGLOBAL;
        pmedium->hGlobal = block;
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
    auto* connection = new (std::nothrow) CAdviseConnection(this, *pformatetc, advf, number, pAdvSink);
    if (!connection) return E_OUTOFMEMORY;
    CAdviseConnection** link = &m_pFirstConnection;
    while (*link) link = &(*link)->m_pNext;
    *link = connection;
    *pdwConnection = number;
    return connection->Start();
}

STDMETHODIMP CGroup::DUnadvise(DWORD dwConnection) {
    CAdviseConnection** link = &m_pFirstConnection;
    while (*link && (*link)->Number() != dwConnection) link = &(*link)->m_pNext;
    if (!*link) return E_FAIL;
    CAdviseConnection* connection = *link;
    connection->Stop();
    *link = connection->m_pNext;
    delete connection;  // waits for its pending transactions
    return S_OK;
}

void CGroup::RemoveAllConnections() {
    while (CAdviseConnection* connection = m_pFirstConnection) {
        connection->Stop();
        m_pFirstConnection = connection->m_pNext;
        delete connection;
    }
}
