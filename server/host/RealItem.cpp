#include "RealItem.h"

#include "HalyardDoc.h"
#include "TarnProtocol.h"

#include <cstring>

CRealItem::CRealItem() { VariantInit(&m_value); }

CRealItem::~CRealItem() { VariantClear(&m_value); }

HRESULT CRealItem::ReadValue(VARIANT* out) const {
    if (!out) return E_INVALIDARG;
    if (m_ioMode != kDeviceTag) {
        out->vt = m_canonicalType;
        return S_OK;
    }
    const LONG status = m_readStatus;
    switch (m_canonicalType) {
    case VT_I2:
    case VT_BOOL:
        if (status == 0) out->iVal = m_value.iVal;
        break;
    case VT_I4:
    case VT_R4:
        if (status == 0) out->lVal = m_value.lVal;
        break;
    case VT_R8:
        if (status == 0) out->dblVal = m_value.dblVal;
        break;
    default:
        return E_FAIL;
    }
    out->vt = m_canonicalType;
    return status;
}

HRESULT CRealItem::WriteValue(const VARIANT& value) {
    if (m_ioMode != kDeviceTag) return S_FALSE;
    if (!m_pDocument || !m_pDocument->HasDriver()) return E_FAIL;
    tarn::TarnIoItem element{};
    element.address = m_address;
    element.device = m_device;
    element.number = m_addressNumber;
    element.param = m_addressParam;
    element.type = tarn::TarnTypeFromVarType(m_canonicalType);
    // The driver only reads the value it is given.
    element.value = const_cast<tagVARIANT*>(&value);
    tarn::TarnRequest request{m_pDocument->DriverContext(), tarn::OpcWrite, 0, 1, &element};
    // The driver's answer does not change what the caller learns: the value
    // shows up, or not, with the next device read.
    m_pDocument->SendLocked(request);
    return S_OK;
}
