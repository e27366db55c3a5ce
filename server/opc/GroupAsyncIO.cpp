// The group's asynchronous reads and refreshes: each request becomes a
// transaction whose thread sends the values through a subscription.
#include "Group.h"

#include "AdviseConnection.h"
#include "HResult.h"
#include "TaskMem.h"

#include <memory>
#include <new>
#include <vector>

HRESULT CGroup::StartTransaction(DWORD connectionNumber, OPCDATASOURCE source, DWORD count,
                                 const OPCHANDLE* handles) {
    CAdviseConnection* connection = FindConnection(connectionNumber);
    if (!connection) return E_FAIL;
    std::vector<OPCHANDLE> copied;
    try {
        copied.assign(handles, handles + count);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return connection->StartTransaction(source, std::move(copied));
}

STDMETHODIMP CGroup::Read(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer,
                          DWORD* pTransactionID, HRESULT** ppErrors) {
    if ((dwSource != OPC_DS_CACHE && dwSource != OPC_DS_DEVICE) || !phServer || !pTransactionID || !ppErrors ||
        dwConnection == 0)
        return E_FAIL;
    *ppErrors = nullptr;
    if (dwCount == 0) return E_FAIL;
    auto errors = fw::TaskMemArray<HRESULT>(dwCount);
    if (!errors) return E_OUTOFMEMORY;
    *pTransactionID = 0;
    if (!m_pServer) return E_FAIL;

    // The handles are looked at when the completion is written, not here:
    // every entry carries the outcome of starting the request.
    const HRESULT hr = StartTransaction(dwConnection, dwSource, dwCount, phServer);
    if (FAILED(hr)) return hr;
    for (DWORD i = 0; i < dwCount; ++i) errors.get()[i] = hr;
    *ppErrors = errors.release();
    return hr;
}

STDMETHODIMP CGroup::Write(DWORD, DWORD, OPCHANDLE*, VARIANT*, DWORD* pTransactionID, HRESULT** ppErrors) {
    if (pTransactionID) *pTransactionID = 0;
    if (ppErrors) *ppErrors = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CGroup::Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) {
    if ((dwSource != OPC_DS_CACHE && dwSource != OPC_DS_DEVICE) || !pTransactionID || dwConnection == 0)
        return E_FAIL;
    *pTransactionID = 0;
    if (!m_pServer) return E_FAIL;
    std::vector<OPCHANDLE> active;
    RETURN_IF_FAILED(ActiveHandles(active));
    return StartTransaction(dwConnection, dwSource, static_cast<DWORD>(active.size()), active.data());
}

STDMETHODIMP CGroup::Cancel(DWORD) { return E_FAIL; }
