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
#include "ValueConversion.h"

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

// The items of one stream with their values, converted to the types the
// client asked for; the values are owned and cleared here.
class CGroup::StreamItems {
public:
    StreamItems() = default;
    ~StreamItems() {
        for (Entry& entry : entries) VariantClear(&entry.value);
    }
    StreamItems(const StreamItems&) = delete;
    StreamItems& operator=(const StreamItems&) = delete;

    struct Entry {
        OPCHANDLE hClient;
        WORD quality;
        VARIANT value;
    };
    bool Reserve(size_t n) {
        try {
            entries.reserve(n);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    // Takes the value over; within the reservation this never allocates.
    void Add(OPCHANDLE hClient, WORD quality, VARIANT& value) {
        entries.push_back({hClient, quality, value});
        extraBytes += StreamValueExtra(value);
        std::memset(&value, 0, sizeof value);
    }
    // The item's value from a reading, in the type the client gets it: a
    // value that cannot be converted goes as an empty, bad one.
    // An asynchronous completion reports its values good whatever the
    // tag's read status (statusDecides false), as it always has.
    void AddReading(const CItem& item, const TagReading& reading, LCID locale, bool statusDecides = true) {
        VARIANT value;
        const HRESULT read = TagValueOf(*item.m_pTag, reading, value);
        WORD quality = read == S_OK || !statusDecides ? OPC_QUALITY_GOOD : OPC_QUALITY_BAD;
        if (quality == OPC_QUALITY_GOOD && ConvertValue(value, item.DeliveredType(), locale) != S_OK) {
            std::memset(&value, 0, sizeof value);
            quality = OPC_QUALITY_BAD;
        }
        Add(item.m_hClient, quality, value);
    }

    std::vector<Entry> entries;
    size_t extraBytes = 0;
};

HRESULT CGroup::WriteStream(StreamKind kind, void* data, size_t size, DWORD dwSize, DWORD transactionId,
                            const StreamItems& items) {
    StreamWriter writer(data, size, kind);
    const DWORD count = static_cast<DWORD>(items.entries.size());
    const size_t extra = writer.CarriesEntries() ? items.extraBytes : 0;
    if (!writer.WriteHeader(dwSize, count, m_settings.hClientGroup, transactionId, extra)) return STG_E_MEDIUMFULL;
    if (!writer.CarriesEntries()) return S_OK;
    FILETIME now;
    CoFileTimeNow(&now);
    for (DWORD i = 0; i < count; ++i) {
        const StreamItems::Entry& entry = items.entries[i];
        if (!writer.WriteEntry(i, entry.hClient, entry.quality, now, entry.value)) return E_FAIL;
    }
    return S_OK;
}

HRESULT CGroup::BuildStream(StreamKind kind, DWORD sizedFor, DWORD transactionId, const StreamItems& items,
                            fw::UniqueGlobal& stream) {
    // The block is sized as for sizedFor items of 16-byte values, and grows
    // by what string values take beyond that.  Zeroed: the unused tail must
    // not hand the client stale bytes of this process.
    const DWORD base = StreamBlockSize(kind, sizedFor);
    const bool entries = kind == StreamKind::Data || kind == StreamKind::DataTime;
    const unsigned long long size = base + (entries ? items.extraBytes : 0);
    if (base == 0 || size > 0xFFFFFFFFull) return E_OUTOFMEMORY;
    stream.reset(GlobalAlloc(GPTR, static_cast<SIZE_T>(size)));
    if (!stream) return E_OUTOFMEMORY;
    fw::GlobalLockScope locked(stream.get());
    if (!locked.data()) return E_FAIL;
    return WriteStream(kind, locked.data(), locked.size(), static_cast<DWORD>(size), transactionId, items);
}

HRESULT CGroup::SubscriptionCycle(StreamKind kind, fw::UniqueGlobal& stream, DWORD* changed) {
    *changed = 0;
    stream.reset();
    // An inactive group reports nothing, on either kind of subscription.
    if (!m_settings.active) return S_OK;
    const DWORD n = ActiveItemCount();
    if (n == 0) return S_OK;

    const HRESULT read = ReadActiveItems();
    if (FAILED(read)) return read;

    StreamItems items;
    if (!items.Reserve(n)) return E_OUTOFMEMORY;
    {
        fw::Lock lock(m_itemLock);
        // Items may have been added or activated since the count: the stream
        // never holds more than n.  Each item's reading is taken once, so
        // what is tested is what is sent even while another group's device
        // read refreshes the same tags.
        TagValueLock valueLock(m_items.First() ? m_items.First()->m_pTag : nullptr);
        for (CItem* item = m_items.First(); item && items.entries.size() < n; item = item->m_pNext) {
            if (!item->m_active) continue;
            const TagReading reading = item->m_pTag->ReadingLocked();
            if (!HasChanged(item->m_streamSent, item->m_pTag->m_canonicalType, reading)) continue;
            VARIANT sent;
            const HRESULT status = TagValueOf(*item->m_pTag, reading, sent);
            RememberSent(item->m_streamSent, sent, status);
            items.AddReading(*item, reading, m_settings.lcid);
        }
    }
    // A cycle without changes sends nothing and takes no number: the
    // streams a client sees count up without gaps.
    if (items.entries.empty()) return S_OK;
    RETURN_IF_FAILED(BuildStream(kind, n, NextStreamId(), items, stream));
    *changed = static_cast<DWORD>(items.entries.size());
    return S_OK;
}

HRESULT CGroup::StreamForHandles(StreamKind kind, DWORD count, const OPCHANDLE* handles, DWORD transactionId,
                                 fw::UniqueGlobal& stream) {
    StreamItems items;
    if (!items.Reserve(count)) return E_OUTOFMEMORY;
    {
        fw::Lock lock(m_itemLock);
        for (DWORD i = 0; i < count; ++i) {
            CItem* item = FindItemLocked(handles[i]);
            if (!item) {
                // A handle the group does not know (never added, or removed
                // since the request) keeps its place with no client handle,
                // an empty value and bad quality.
                VARIANT empty;
                std::memset(&empty, 0, sizeof empty);
                items.Add(0, OPC_QUALITY_BAD, empty);
                continue;
            }
            items.AddReading(*item, item->m_pTag->Reading(), m_settings.lcid, false);
        }
    }
    return BuildStream(kind, count, transactionId, items, stream);
}

STDMETHODIMP CGroup::GetData(FORMATETC* pformatetcIn, STGMEDIUM* pmedium) {
    if (!pformatetcIn || !pmedium) return E_INVALIDARG;
    if (!m_pServer) return E_FAIL;
    const StreamKind kind = KindOf(pformatetcIn->cfFormat);

    const HRESULT read = ReadActiveItems();
    if (FAILED(read)) return read;

    StreamItems items;
    DWORD n = 0;
    {
        fw::Lock lock(m_itemLock);
        n = ActiveItemCount();
        if (!items.Reserve(n)) return E_OUTOFMEMORY;
        for (CItem* item = m_items.First(); item && items.entries.size() < n; item = item->m_pNext) {
            if (!item->m_active) continue;
            VARIANT sent;
            const TagReading reading = item->m_pTag->Reading();
            const HRESULT status = TagValueOf(*item->m_pTag, reading, sent);
            RememberSent(item->m_streamSent, sent, status);
            items.AddReading(*item, reading, m_settings.lcid);
        }
    }

    // A caller in this process may hand over its own block.  Through the
    // proxy the medium is an out parameter and arrives empty: then the block
    // is ours, as the stub expects, and it frees it after sending.
    const bool callersBlock = pmedium->tymed == TYMED_HGLOBAL && pmedium->hGlobal;
    if (callersBlock) {
        fw::GlobalLockScope locked(pmedium->hGlobal);
        if (!locked.data()) return E_FAIL;
        const DWORD size = StreamBlockSize(kind, n);
        return WriteStream(kind, locked.data(), locked.size(), size, NextStreamId(), items);
    }
    fw::UniqueGlobal block;
    RETURN_IF_FAILED(BuildStream(kind, n, NextStreamId(), items, block));
    pmedium->tymed = TYMED_HGLOBAL;
    pmedium->hGlobal = block.release();
    pmedium->pUnkForRelease = nullptr;
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
