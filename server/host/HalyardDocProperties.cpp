// IOPCItemProperties of the server object: the six standard properties of
// every tag.  They come from the tag's cache; asking for the value reads
// the tag from the device first.
#include "HalyardDoc.h"

#include "CycleSchedule.h"
#include "TagDeviceRead.h"
#include "TaskMem.h"

#include <oleauto.h>

namespace {

struct PropertyInfo {
    DWORD id;
    const wchar_t* description;
    VARTYPE type;  // VT_EMPTY: the tag's canonical type
};

constexpr PropertyInfo kProperties[] = {
    {OPC_PROPERTY_DATATYPE, L"Item Canonical DataType", VT_I2},
    {OPC_PROPERTY_VALUE, L"Item Value", VT_EMPTY},
    {OPC_PROPERTY_QUALITY, L"Item Quality", VT_I2},
    {OPC_PROPERTY_TIMESTAMP, L"Item Timestamp", VT_DATE},
    {OPC_PROPERTY_ACCESS_RIGHTS, L"Item Access Rights", VT_I4},
    {OPC_PROPERTY_SCAN_RATE, L"Server Scan Rate", VT_R4},
};
constexpr DWORD kPropertyCount = sizeof kProperties / sizeof kProperties[0];

// One property's value as the tag's cache has it.
HRESULT PropertyValue(const CRealItem& tag, DWORD id, VARIANT& out) {
    VariantInit(&out);
    switch (id) {
    case OPC_PROPERTY_DATATYPE:
        out.vt = VT_I2;
        out.iVal = static_cast<SHORT>(tag.m_canonicalType);
        return S_OK;
    case OPC_PROPERTY_VALUE: {
        const HRESULT status = tag.ReadValue(&out);
        if (status != S_OK) VariantClear(&out);
        // The value's own trouble is told by the quality property.
        return S_OK;
    }
    case OPC_PROPERTY_QUALITY: {
        VARIANT value;
        VariantInit(&value);
        const HRESULT status = tag.ReadValue(&value);
        VariantClear(&value);
        out.vt = VT_I2;
        out.iVal = static_cast<SHORT>(status == S_OK ? OPC_QUALITY_GOOD : OPC_QUALITY_BAD);
        return S_OK;
    }
    case OPC_PROPERTY_TIMESTAMP: {
        const FILETIME time = tag.ReadTime();
        SYSTEMTIME system;
        out.vt = VT_DATE;
        out.date = 0;
        if ((time.dwLowDateTime || time.dwHighDateTime) && FileTimeToSystemTime(&time, &system))
            SystemTimeToVariantTime(&system, &out.date);
        return S_OK;
    }
    case OPC_PROPERTY_ACCESS_RIGHTS:
        out.vt = VT_I4;
        out.lVal = tag.m_accessRights;
        return S_OK;
    case OPC_PROPERTY_SCAN_RATE:
        // The fastest the server reads a tag: its shortest cycle.
        out.vt = VT_R4;
        out.fltVal = static_cast<float>(kMinimumCyclePeriodMs);
        return S_OK;
    default:
        return OPC_E_INVALID_PID;
    }
}

}  // namespace

STDMETHODIMP CHalyardDoc::QueryAvailableProperties(LPWSTR szItemID, DWORD* pdwCount, DWORD** ppPropertyIDs,
                                                   LPWSTR** ppDescriptions, VARTYPE** ppvtDataTypes) {
    if (!pdwCount || !ppPropertyIDs || !ppDescriptions || !ppvtDataTypes) return E_INVALIDARG;
    *pdwCount = 0;
    *ppPropertyIDs = nullptr;
    *ppDescriptions = nullptr;
    *ppvtDataTypes = nullptr;
    if (!szItemID) return E_INVALIDARG;
    const CRealItem* tag = FindTag(szItemID);
    if (!tag) return OPC_E_UNKNOWNITEMID;
    auto ids = fw::TaskMemArray<DWORD>(kPropertyCount);
    auto descriptions = fw::TaskMemArray<LPWSTR>(kPropertyCount);
    auto types = fw::TaskMemArray<VARTYPE>(kPropertyCount);
    if (!ids || !descriptions || !types) return E_OUTOFMEMORY;
    for (DWORD i = 0; i < kPropertyCount; ++i) descriptions.get()[i] = nullptr;
    for (DWORD i = 0; i < kPropertyCount; ++i) {
        ids.get()[i] = kProperties[i].id;
        types.get()[i] = kProperties[i].type == VT_EMPTY ? tag->m_canonicalType : kProperties[i].type;
        descriptions.get()[i] = fw::TaskMemString(kProperties[i].description).release();
        if (!descriptions.get()[i]) {
            for (DWORD k = 0; k < i; ++k) CoTaskMemFree(descriptions.get()[k]);
            return E_OUTOFMEMORY;
        }
    }
    *pdwCount = kPropertyCount;
    *ppPropertyIDs = ids.release();
    *ppDescriptions = descriptions.release();
    *ppvtDataTypes = types.release();
    return S_OK;
}

STDMETHODIMP CHalyardDoc::GetItemProperties(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                            VARIANT** ppvData, HRESULT** ppErrors) {
    if (!ppvData || !ppErrors) return E_INVALIDARG;
    *ppvData = nullptr;
    *ppErrors = nullptr;
    if (!szItemID || dwCount == 0 || !pdwPropertyIDs) return E_INVALIDARG;
    CRealItem* tag = FindTag(szItemID);
    if (!tag) return OPC_E_UNKNOWNITEMID;
    auto values = fw::TaskMemArray<VARIANT>(dwCount);
    auto errors = fw::TaskMemArray<HRESULT>(dwCount);
    if (!values || !errors) return E_OUTOFMEMORY;

    // A client asking for the value gets the device's, not an old one.
    for (DWORD i = 0; i < dwCount; ++i)
        if (pdwPropertyIDs[i] == OPC_PROPERTY_VALUE) {
            if (DriverHeldByThisThread()) return HRESULT_FROM_WIN32(ERROR_BUSY);
            CRealItem* const tags[] = {tag};
            DeviceReadTags(*this, tags, 1);
            break;
        }
    HRESULT overall = S_OK;
    for (DWORD i = 0; i < dwCount; ++i) {
        errors.get()[i] = PropertyValue(*tag, pdwPropertyIDs[i], values.get()[i]);
        if (errors.get()[i] != S_OK) overall = S_FALSE;
    }
    *ppvData = values.release();
    *ppErrors = errors.release();
    return overall;
}

STDMETHODIMP CHalyardDoc::LookupItemIDs(LPWSTR szItemID, DWORD dwCount, DWORD* pdwPropertyIDs,
                                        LPWSTR** ppszNewItemIDs, HRESULT** ppErrors) {
    if (!ppszNewItemIDs || !ppErrors) return E_INVALIDARG;
    *ppszNewItemIDs = nullptr;
    *ppErrors = nullptr;
    if (!szItemID || dwCount == 0 || !pdwPropertyIDs) return E_INVALIDARG;
    if (!FindTag(szItemID)) return OPC_E_UNKNOWNITEMID;
    auto ids = fw::TaskMemArray<LPWSTR>(dwCount);
    auto errors = fw::TaskMemArray<HRESULT>(dwCount);
    if (!ids || !errors) return E_OUTOFMEMORY;
    // The six properties live on the tag itself: none is an item of its
    // own, so none has an item ID to look up.
    for (DWORD i = 0; i < dwCount; ++i) {
        ids.get()[i] = nullptr;
        errors.get()[i] = OPC_E_INVALID_PID;
    }
    *ppszNewItemIDs = ids.release();
    *ppErrors = errors.release();
    return S_FALSE;
}
