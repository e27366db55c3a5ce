// The group's asynchronous reads and refreshes: each request becomes a
// transaction whose thread sends the values through a subscription.
#include "Group.h"

#include "AdviseConnection.h"
#include "ComPtr.h"
#include "HResult.h"
#include "TaskMem.h"

#include <memory>
#include <new>
#include <vector>

HRESULT CGroup::StartTransaction(DWORD connectionNumber, OPCDATASOURCE source, DWORD count,
                                 const OPCHANDLE* handles, DWORD* transactionId) {
    CAdviseConnection* connection = FindConnection(connectionNumber);
    if (!connection) return E_FAIL;
    std::vector<OPCHANDLE> copied;
    try {
        copied.assign(handles, handles + count);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // The number is the stream counter's, taken now: the client learns it
    // from the call and finds it again in the completion's header.
    const DWORD id = NextStreamId();
    RETURN_IF_FAILED(connection->StartTransaction(source, std::move(copied), id));
    *transactionId = id;
    return S_OK;
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
    const HRESULT hr = StartTransaction(dwConnection, dwSource, dwCount, phServer, pTransactionID);
    if (FAILED(hr)) return hr;
    for (DWORD i = 0; i < dwCount; ++i) errors.get()[i] = hr;
    *ppErrors = errors.release();
    return hr;
}

STDMETHODIMP CGroup::Write(DWORD dwConnection, DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues,
                           DWORD* pTransactionID, HRESULT** ppErrors) {
    if (!phServer || !pItemValues || !pTransactionID || !ppErrors || dwConnection == 0) return E_FAIL;
    *ppErrors = nullptr;
    *pTransactionID = 0;
    if (dwCount == 0) return E_FAIL;
    if (!m_pServer) return E_FAIL;
    // The outcome travels as a write-complete stream: only a subscription
    // in that format can carry it.
    CAdviseConnection* connection = FindConnection(dwConnection);
    if (!connection || connection->Kind() != StreamKind::WriteComplete) return E_FAIL;
    auto errors = fw::TaskMemArray<HRESULT>(dwCount);
    if (!errors) return E_OUTOFMEMORY;
    std::vector<OPCHANDLE> valid, clients;
    std::vector<VARIANT> values;
    const HRESULT checked = SplitKnownHandles(dwCount, phServer, pItemValues, errors.get(), valid, values);
    if (FAILED(checked)) return checked;
    if (valid.empty()) {
        *ppErrors = errors.release();
        return S_FALSE;
    }
    // The place for the completion is taken before anything is written: a
    // write that was done is always reported.
    fw::ComPtr<IStream> sink;
    RETURN_IF_FAILED(connection->BeginRequest(sink));
    std::vector<HRESULT> results;
    try {
        clients.assign(valid.size(), 0);
        results.assign(valid.size(), S_OK);
    } catch (const std::bad_alloc&) {
        ReleaseUnusedMarshal(sink);
        connection->RequestEnded();
        return E_OUTOFMEMORY;
    }
    const DWORD transaction = NextStreamId();
    const HRESULT written = WriteItems(static_cast<DWORD>(valid.size()), valid.data(), values.data(), results.data(),
                                       clients.data());
    if (FAILED(written)) {
        ReleaseUnusedMarshal(sink);
        connection->RequestEnded();
        return written;
    }
    // The connection may have ended while a driver's box was up; what was
    // written is still reported if it can be, and the call's result says so.
    const HRESULT launched =
        connection->LaunchWriteCompletion(std::move(sink), transaction, std::move(clients), std::move(results));
    if (FAILED(launched)) return launched;
    *pTransactionID = transaction;
    const bool allKnown = valid.size() == dwCount;
    *ppErrors = errors.release();
    return allKnown ? S_OK : S_FALSE;
}

HRESULT CGroup::SplitKnownHandles(DWORD count, const OPCHANDLE* handles, const VARIANT* values, HRESULT* errors,
                                  std::vector<OPCHANDLE>& known, std::vector<VARIANT>& knownValues) {
    known.clear();
    knownValues.clear();
    try {
        fw::Lock lock(m_itemLock);
        for (DWORD i = 0; i < count; ++i) {
            errors[i] = FindItemLocked(handles[i]) ? S_OK : OPC_E_INVALIDHANDLE;
            if (errors[i] != S_OK) continue;
            known.push_back(handles[i]);
            // Shallow copies: the caller's values outlive the call's use.
            if (values) knownValues.push_back(values[i]);
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

STDMETHODIMP CGroup::Refresh(DWORD dwConnection, OPCDATASOURCE dwSource, DWORD* pTransactionID) {
    if ((dwSource != OPC_DS_CACHE && dwSource != OPC_DS_DEVICE) || !pTransactionID || dwConnection == 0)
        return E_FAIL;
    *pTransactionID = 0;
    if (!m_pServer) return E_FAIL;
    std::vector<OPCHANDLE> active;
    RETURN_IF_FAILED(ActiveHandles(active));
    return StartTransaction(dwConnection, dwSource, static_cast<DWORD>(active.size()), active.data(),
                            pTransactionID);
}

STDMETHODIMP CGroup::Cancel(DWORD) { return E_FAIL; }
