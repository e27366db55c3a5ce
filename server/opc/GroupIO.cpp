// The group's synchronous reads and writes and its device read.
#include "Group.h"

#include "ComPtr.h"
#include "TaskMem.h"
#include "TarnProtocol.h"
#include "ServerContext.h"
#include "TagDeviceRead.h"
#include "ValueConversion.h"

#include <memory>
#include <new>
#include <vector>

HRESULT CGroup::DeviceRead(DWORD count, const OPCHANDLE* handles) {
    if (count == 0) return S_OK;
    if (!handles) return E_INVALIDARG;
    std::vector<CRealItem*> tags;
    // Workers call this too, and the group may leave its server object
    // meanwhile: the pointer is taken once, under the lock that detaching
    // takes.  A worker's use keeps the object itself alive.
    ServerContext* server = nullptr;
    try {
        tags.reserve(count);
        fw::Lock lock(m_itemLock);
        server = m_pServer;
        if (!server) return E_FAIL;
        for (DWORD i = 0; i < count; ++i)
            if (CItem* item = FindItemLocked(handles[i])) tags.push_back(item->m_pTag);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return DeviceReadTags(*server, tags.data(), tags.size());
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
        HRESULT status = item->m_pTag->ReadValue(&s.vDataValue);
        // A value the driver did not deliver is not a good value.
        s.wQuality = status == S_OK ? OPC_QUALITY_GOOD : OPC_QUALITY_BAD;
        // A value the requested type cannot hold is a bad value of that type.
        if (status == S_OK && ConvertValue(s.vDataValue, item->DeliveredType(), m_settings.lcid) != S_OK) {
            status = OPC_E_BADTYPE;
            s.wQuality = OPC_QUALITY_BAD;
        }
        // The cache of an item that is not being updated is out of service.
        if (status == S_OK && dwSource == OPC_DS_CACHE && (!m_settings.active || !item->m_active))
            s.wQuality = OPC_QUALITY_OUT_OF_SERVICE;
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

HRESULT CGroup::WriteConverted(CRealItem& tag, const VARIANT& value) const {
    // The driver is handed the tag's own type, whatever the client sent.
    VARIANT canonical;
    VariantInit(&canonical);
    HRESULT hr = VariantCopy(&canonical, const_cast<VARIANT*>(&value));
    if (SUCCEEDED(hr)) hr = ConvertValue(canonical, tag.m_canonicalType, m_settings.lcid);
    else hr = OPC_E_BADTYPE;
    if (hr == S_OK) hr = tag.WriteValue(canonical);
    VariantClear(&canonical);
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
        else
            hr = WriteConverted(*tags[i], values[i]);
        if (hr == S_FALSE) hr = S_OK;  // a tag the driver does not write
        errors[i] = hr;
        if (hr != S_OK) overall = S_FALSE;
    }
    return overall;
}
