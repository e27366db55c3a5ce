#include "Enumer.h"

#include "Group.h"
#include "TaskMem.h"
#include "ServerContext.h"

#include <cstring>
#include <vector>

CEnumer::CEnumer(CGroup* group, ULONG position)
    : m_group(group), m_keepAlive(group->Identity()), m_itemPosition(position) {}

CEnumer::CEnumer(ServerContext* server, BrowseFilter filter, ULONG position)
    : m_server(server), m_keepAlive(server->ServerIdentity()), m_filter(std::move(filter)), m_itemPosition(position) {
    m_server->AddTagEnumerator(this);
}

CEnumer::~CEnumer() {
    if (m_server) m_server->RemoveTagEnumerator(this);
}

void CEnumer::ServerClosed() {
    m_server = nullptr;
    // The closing server object is destroyed by its own close, whatever its
    // count: our reference goes with it and must not be released later.
    if (!m_group) m_keepAlive.detach();
}

STDMETHODIMP CEnumer::QueryInterface(REFIID iid, void** out) {
    // A client that asks a name enumerator for item attributes (or the other
    // way round) would get calls that have nothing to walk.
    if (out && IsEqualIID(iid, m_group ? IID_IEnumString : IID_IEnumOPCItemAttributes)) {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    return Base::QueryInterface(iid, out);
}

ULONG CEnumer::Count() const {
    if (m_group) return static_cast<ULONG>(m_group->ItemCount());
    if (!m_server) return 0;
    ULONG count = 0;
    for (const CRealItem* tag = m_server->FirstTag(); tag; tag = tag->m_pNext)
        if (Listed(*tag)) ++count;
    return count;
}

bool CEnumer::Listed(const CRealItem& tag) const {
    return m_filter.Accepts(tag.m_name, tag.m_canonicalType, static_cast<DWORD>(tag.m_accessRights));
}

STDMETHODIMP CEnumer::Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray, ULONG* pceltFetched) {
    if (!ppItemArray) return E_POINTER;
    if (celt != 1 && !pceltFetched) return E_POINTER;
    if (pceltFetched) *pceltFetched = 0;
    *ppItemArray = nullptr;

    fw::Lock lock(m_group->ItemLock());
    CItem* item = m_group->FirstItemLocked();
    for (ULONG skipped = 0; item && skipped < m_itemPosition; ++skipped) item = item->m_pNext;
    if (!item) return S_FALSE;

    ULONG remaining = 0;
    for (CItem* i = item; i; i = i->m_pNext) ++remaining;
    const ULONG n = celt < remaining ? celt : remaining;
    if (n == 0) return S_FALSE;
    auto array = fw::TaskMemArray<OPCITEMATTRIBUTES>(n);
    if (!array) return E_OUTOFMEMORY;
    // The names and blobs stay ours until the whole array is handed over.
    std::vector<fw::TaskMemPtr<wchar_t>> names(n);
    std::vector<fw::TaskMemPtr<BYTE>> blobs(n);

    for (ULONG k = 0; k < n; ++k, item = item->m_pNext) {
        OPCITEMATTRIBUTES& a = array.get()[k];
        VariantInit(&a.vEUInfo);
        CRealItem* tag = item->m_pTag;
        names[k] = fw::TaskMemString(tag->m_name.c_str());
        if (!names[k]) return E_OUTOFMEMORY;
        a.szItemID = names[k].get();
        a.bActive = item->m_active;
        a.hClient = item->m_hClient;
        a.hServer = item->ServerHandle();
        a.dwAccessRights = static_cast<DWORD>(tag->m_accessRights);
        if (!item->m_blob.empty()) {
            blobs[k].reset(static_cast<BYTE*>(CoTaskMemAlloc(item->m_blob.size())));
            a.pBlob = blobs[k].get();
            if (a.pBlob) {
                std::memcpy(a.pBlob, item->m_blob.data(), item->m_blob.size());
                a.dwBlobSize = static_cast<DWORD>(item->m_blob.size());
            }
        }
        a.vtRequestedDataType = item->m_requestedType;
        a.vtCanonicalDataType = tag->m_canonicalType;
        a.dwEUType = OPC_NOENUM;
    }
    m_itemPosition += n;
    if (pceltFetched) *pceltFetched = n;
    for (auto& name : names) name.release();
    for (auto& blob : blobs) blob.release();
    *ppItemArray = array.release();
    return n < celt ? S_FALSE : S_OK;
}

STDMETHODIMP CEnumer::Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) {
    if (!rgelt) return E_POINTER;
    if (celt != 1 && !pceltFetched) return E_POINTER;
    if (pceltFetched) *pceltFetched = 0;
    // Nothing asked, nothing to give: every one of the zero names was returned.
    if (celt == 0) return S_OK;
    for (ULONG i = 0; i < celt; ++i) rgelt[i] = nullptr;

    // The tag table is built when the document is made and stays until it
    // goes, so it is walked without a lock.
    if (!m_server) return E_FAIL;
    const CRealItem* tag = m_server->FirstTag();
    for (ULONG skipped = 0; tag;) {
        if (Listed(*tag)) {
            if (skipped == m_itemPosition) break;
            ++skipped;
        }
        tag = tag->m_pNext;
    }
    // Up to celt names; S_OK only when all celt were filled (the stub hands
    // a remote caller exactly as many as the count says).
    ULONG fetched = 0;
    for (; tag && fetched < celt; tag = tag->m_pNext) {
        if (!Listed(*tag)) continue;
        rgelt[fetched] = fw::TaskMemString(tag->m_name.c_str()).release();
        if (!rgelt[fetched]) {
            for (ULONG k = 0; k < fetched; ++k) {
                CoTaskMemFree(rgelt[k]);
                rgelt[k] = nullptr;
            }
            return E_OUTOFMEMORY;
        }
        ++fetched;
    }
    m_itemPosition += fetched;
    if (pceltFetched) *pceltFetched = fetched;
    return fetched == celt ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumer::Clone(IEnumString** ppenum) {
    if (!ppenum) return E_POINTER;
    *ppenum = nullptr;
    if (!m_server) return E_FAIL;
    return fw::CreateInstance<CEnumer>(IID_IEnumString, reinterpret_cast<void**>(ppenum), m_server, m_filter,
                                       m_itemPosition);
}

STDMETHODIMP CEnumer::Skip(ULONG celt) {
    const ULONG count = Count();
    const ULONG left = m_itemPosition < count ? count - m_itemPosition : 0;
    m_itemPosition += celt < left ? celt : left;
    return celt <= left ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumer::Reset() {
    m_itemPosition = 0;
    return S_OK;
}

STDMETHODIMP CEnumer::Clone(IEnumOPCItemAttributes** ppEnumItemAttributes) {
    if (!ppEnumItemAttributes) return E_POINTER;
    return fw::CreateInstance<CEnumer>(IID_IEnumOPCItemAttributes, reinterpret_cast<void**>(ppEnumItemAttributes),
                                       m_group, m_itemPosition);
}
