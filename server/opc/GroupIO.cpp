// The group's synchronous reads and writes and its device read.
#include "Group.h"

#include "ComPtr.h"
#include "TaskMem.h"
#include "TarnProtocol.h"
#include "ServerContext.h"

#include <memory>
#include <new>
#include <vector>

HRESULT CGroup::DeviceRead(DWORD count, const OPCHANDLE* handles) {
    if (count == 0) return S_OK;
    if (!handles) return E_INVALIDARG;

    std::unique_ptr<tarn::TarnIoItem[]> elements(new (std::nothrow) tarn::TarnIoItem[count]());
    std::unique_ptr<CRealItem*[]> tags(new (std::nothrow) CRealItem*[count]());
    // The driver writes into copies; the tags take them under their value
    // lock afterwards, so no reader sees a value half written.
    std::unique_ptr<VARIANT[]> values(new (std::nothrow) VARIANT[count]);
    if (!elements || !tags || !values) return E_OUTOFMEMORY;

    int32_t filled = 0;
    // Workers call this too, and the group may leave its server object
    // meanwhile: the pointer is taken once, under the lock that detaching
    // takes.  A worker's use keeps the object itself alive.
    ServerContext* server = nullptr;
    {
        fw::Lock lock(m_itemLock);
        server = m_pServer;
        if (!server || !server->HasDriver()) return E_FAIL;
        // One hold of the value lock for the whole batch: the tags of a
        // group all belong to the one table of its server object.
        TagValueLock valueLock(m_items.First() ? m_items.First()->m_pTag : nullptr);
        for (DWORD i = 0; i < count; ++i) {
            CItem* item = FindItemLocked(handles[i]);
            if (!item || item->m_pTag->m_ioMode != kDeviceTag) continue;
            CRealItem* tag = item->m_pTag;
            tarn::TarnIoItem& e = elements[filled];
            e.address = tag->m_address;
            e.device = tag->m_device;
            e.number = tag->m_addressNumber;
            e.param = tag->m_addressParam;
            e.type = tarn::TarnTypeFromVarType(tag->m_canonicalType);
            values[filled] = tag->ReadingLocked().raw;
            values[filled].vt = tag->m_canonicalType;
            e.value = &values[filled];
            tags[filled++] = tag;
        }
    }

    tarn::TarnRequest request{server->DriverContext(), tarn::OpcBlockRead, filled, 0, elements.get()};
    request.count = filled;
    // A driver write further down this thread's stack holds the driver (its
    // box dispatched this call): the driver is not entered a second time.
    if (server->DriverHeldByThisThread()) return HRESULT_FROM_WIN32(ERROR_BUSY);
    const DriverStatus rc = server->SendToDriver(request);

    // A failed block read marks every tag of it with the block's status.
    TagValueLock valueLock(filled ? tags[0] : nullptr);
    for (int32_t i = 0; i < filled; ++i)
        tags[i]->StoreReadingLocked(values[i], Succeeded(rc) ? DriverStatus{elements[i].status} : rc);
    return S_OK;
}

STDMETHODIMP CGroup::Read(OPCDATASOURCE dwSource, DWORD dwCount, OPCHANDLE* phServer, OPCITEMSTATE** ppItemValues,
                          HRESULT** ppErrors) {
    if ((dwSource != OPC_DS_CACHE && dwSource != OPC_DS_DEVICE) || !phServer || !ppItemValues || !ppErrors)
        return E_INVALIDARG;
    *ppItemValues = nullptr;
    *ppErrors = nullptr;
    if (dwCount == 0) return E_INVALIDARG;
    if (!m_pServer) return E_FAIL;
    auto states = fw::TaskMemArray<OPCITEMSTATE>(dwCount);
    auto errors = fw::TaskMemArray<HRESULT>(dwCount);
    if (!states || !errors) return E_OUTOFMEMORY;

    if (dwSource == OPC_DS_DEVICE) {
        const HRESULT hr = DeviceRead(dwCount, phServer);
        if (FAILED(hr)) return hr;
    }

    FILETIME now;
    CoFileTimeNow(&now);
    fw::Lock lock(m_itemLock);
    for (DWORD i = 0; i < dwCount; ++i) {
        OPCITEMSTATE& s = states.get()[i];
        VariantInit(&s.vDataValue);
        CItem* item = FindItemLocked(phServer[i]);
        if (!item) {
            errors.get()[i] = OPC_E_UNKNOWNITEMID;
            continue;
        }
        s.hClient = item->m_hClient;
        s.ftTimeStamp = now;
        const HRESULT status = item->m_pTag->ReadValue(&s.vDataValue);
        // A value the driver did not deliver is not a good value.
        s.wQuality = status == S_OK ? OPC_QUALITY_GOOD : OPC_QUALITY_BAD;
        errors.get()[i] = status;
    }
    *ppItemValues = states.release();
    *ppErrors = errors.release();
    return S_OK;
}

STDMETHODIMP CGroup::Write(DWORD dwCount, OPCHANDLE* phServer, VARIANT* pItemValues, HRESULT** ppErrors) {
    if (!phServer || !pItemValues || !ppErrors) return E_INVALIDARG;
    *ppErrors = nullptr;
    if (dwCount == 0) return E_INVALIDARG;
    if (!m_pServer) return E_FAIL;
    auto errors = fw::TaskMemArray<HRESULT>(dwCount);
    if (!errors) return E_OUTOFMEMORY;
    const HRESULT hr = WriteItems(dwCount, phServer, pItemValues, errors.get(), nullptr);
    if (FAILED(hr)) return hr;
    *ppErrors = errors.release();
    return hr;
}

HRESULT CGroup::WriteItems(DWORD count, const OPCHANDLE* handles, const VARIANT* values, HRESULT* errors,
                           OPCHANDLE* clientHandles) {
    // A driver write may show a box, whose loop dispatches further calls:
    // one of them may remove this group or close its server object.  The
    // group stays alive through its own reference, the server object's
    // close waits for the call's end, and the values not yet sent are not.
    const fw::ComPtr<IUnknown> self(Identity());
    ServerContext* server = m_pServer;
    if (!server) return E_FAIL;
    const ModalCallScope modal(server);

    // Look the tags up under the lock, write outside it: a driver write may
    // wait for a person to close a message box.
    std::vector<CRealItem*> tags;
    try {
        tags.assign(count, nullptr);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    {
        fw::Lock lock(m_itemLock);
        for (DWORD i = 0; i < count; ++i) {
            CItem* item = FindItemLocked(handles[i]);
            if (!item) continue;
            tags[i] = item->m_pTag;
            if (clientHandles) clientHandles[i] = item->m_hClient;
        }
    }
    HRESULT overall = S_OK;
    for (DWORD i = 0; i < count; ++i) {
        HRESULT hr;
        if (!m_pServer || server->CloseRequested())
            hr = RPC_E_DISCONNECTED;
        else if (!tags[i])
            hr = OPC_E_UNKNOWNITEMID;
        else if (values[i].vt != tags[i]->m_canonicalType)
            hr = OPC_E_BADTYPE;
        else
            hr = tags[i]->WriteValue(values[i]);
        if (hr == S_FALSE) hr = S_OK;  // a tag the driver does not write
        errors[i] = hr;
        if (hr != S_OK) overall = S_FALSE;
    }
    return overall;
}
