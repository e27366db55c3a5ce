#include "Enumer.h"

#include "Group.h"
#include "TaskMem.h"

#include <cstring>

CEnumer::CEnumer(CGroup* group, ULONG position) : m_group(group), m_itemPosition(position) { m_group->AddRef(); }

CEnumer::~CEnumer() { m_group->Release(); }

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

    for (ULONG k = 0; k < n; ++k, item = item->m_pNext) {
        OPCITEMATTRIBUTES& a = array.get()[k];
        VariantInit(&a.vEUInfo);
        CRealItem* tag = item->m_pTag;
        a.szItemID = fw::TaskMemString(tag->m_name.c_str()).release();
        if (!a.szItemID) {
            for (ULONG j = 0; j < k; ++j) {
                CoTaskMemFree(array.get()[j].szItemID);
                CoTaskMemFree(array.get()[j].pBlob);
            }
            return E_OUTOFMEMORY;
        }
        a.bActive = item->m_active;
        a.hClient = item->m_hClient;
        a.hServer = static_cast<OPCHANDLE>(tag->m_index);
        a.dwAccessRights = static_cast<DWORD>(tag->m_accessRights);
        if (!item->m_blob.empty()) {
            a.pBlob = static_cast<BYTE*>(CoTaskMemAlloc(item->m_blob.size()));
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
    *ppItemArray = array.release();
    return n < celt ? S_FALSE : S_OK;
}

STDMETHODIMP CEnumer::Skip(ULONG celt) {
    const ULONG count = static_cast<ULONG>(m_group->ItemCount());
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
