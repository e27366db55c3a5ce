// IOPCBrowseServerAddressSpace of the server object.  The driver hands us a
// plain list of tag names, so the space is flat: there is no position to
// move, there are no branches, and the leaves are the tags, filtered by
// name pattern, data type and access rights as the standard says.
#include "HalyardDoc.h"

#include "Enumer.h"
#include "HResult.h"
#include "TaskMem.h"

#include <new>

STDMETHODIMP CHalyardDoc::QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) {
    if (!pNameSpaceType) return E_INVALIDARG;
    *pNameSpaceType = OPC_NS_FLAT;
    return S_OK;
}

STDMETHODIMP CHalyardDoc::ChangeBrowsePosition(OPCBROWSEDIRECTION, LPCWSTR) {
    // Without branches, up, down and to have nowhere to go.
    return E_FAIL;
}

STDMETHODIMP CHalyardDoc::BrowseOPCItemIDs(OPCBROWSETYPE dwBrowseFilterType, LPCWSTR szFilterCriteria,
                                           VARTYPE vtDataTypeFilter, DWORD dwAccessRightsFilter,
                                           LPENUMSTRING* ppIString) {
    if (!ppIString) return E_INVALIDARG;
    *ppIString = nullptr;
    if (dwBrowseFilterType != OPC_BRANCH && dwBrowseFilterType != OPC_LEAF && dwBrowseFilterType != OPC_FLAT)
        return E_INVALIDARG;
    BrowseFilter filter;
    try {
        filter.pattern = szFilterCriteria ? szFilterCriteria : L"";
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    filter.dataType = vtDataTypeFilter;
    filter.accessRights = dwAccessRightsFilter;
    filter.branchesOnly = dwBrowseFilterType == OPC_BRANCH;
    bool any = false;
    for (const CRealItem* tag = FirstTag(); tag && !any; tag = tag->m_pNext)
        any = filter.Accepts(tag->m_name, tag->m_canonicalType, static_cast<DWORD>(tag->m_accessRights));
    RETURN_IF_FAILED(fw::CreateInstance<CEnumer>(IID_IEnumString, reinterpret_cast<void**>(ppIString), this,
                                                 std::move(filter)));
    // An empty enumerator is still handed out; S_FALSE says it is empty.
    return any ? S_OK : S_FALSE;
}

STDMETHODIMP CHalyardDoc::GetItemID(LPWSTR szItemDataID, LPWSTR* szItemID) {
    if (!szItemID) return E_INVALIDARG;
    *szItemID = nullptr;
    if (!szItemDataID) return E_INVALIDARG;
    // In a flat space a browsed name already is the full item ID; it is not
    // looked up, as a name that is no tag fails where it is used (AddItems).
    auto copy = fw::TaskMemString(szItemDataID);
    if (!copy) return E_OUTOFMEMORY;
    *szItemID = copy.release();
    return S_OK;
}

STDMETHODIMP CHalyardDoc::BrowseAccessPaths(LPCWSTR, LPENUMSTRING* ppIString) {
    if (ppIString) *ppIString = nullptr;
    return E_NOTIMPL;
}
