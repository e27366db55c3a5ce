// IOPCBrowseServerAddressSpace of the server object.  The driver hands us a
// plain list of tag names, so the space is flat: there is no position to
// move, and browsing lists every tag whatever the filters say (a client that
// filters gets a superset and can narrow it itself; one that is refused
// would see nothing at all).
#include "HalyardDoc.h"

#include "Enumer.h"
#include "TaskMem.h"

STDMETHODIMP CHalyardDoc::QueryOrganization(OPCNAMESPACETYPE* pNameSpaceType) {
    if (!pNameSpaceType) return E_INVALIDARG;
    *pNameSpaceType = OPC_NS_FLAT;
    return S_OK;
}

STDMETHODIMP CHalyardDoc::ChangeBrowsePosition(OPCBROWSEDIRECTION, LPCWSTR) {
    // Without branches, up, down and to have nowhere to go.
    return E_FAIL;
}

STDMETHODIMP CHalyardDoc::BrowseOPCItemIDs(OPCBROWSETYPE, LPCWSTR, VARTYPE, DWORD, LPENUMSTRING* ppIString) {
    if (!ppIString) return E_INVALIDARG;
    return fw::CreateInstance<CEnumer>(IID_IEnumString, reinterpret_cast<void**>(ppIString), this);
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
