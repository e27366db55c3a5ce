#include "RealItem.h"

#include "ServerContext.h"
#include "TarnProtocol.h"

#include <cstring>

CRealItem::CRealItem() { VariantInit(&m_value); }

CRealItem::~CRealItem() { VariantClear(&m_value); }

TagReading CRealItem::Reading() const {
    TagValueLock lock(this);
    return ReadingLocked();
}

void CRealItem::StoreReading(const VARIANT& raw, DriverStatus status) {
    FILETIME now;
    CoFileTimeNow(&now);
    TagValueLock lock(this);
    StoreReadingLocked(raw, status, now);
}

void CRealItem::StoreReadingLocked(const VARIANT& raw, DriverStatus status, const FILETIME& when) {
    // Scalar types only: the bytes are the value, nothing to copy deeply.
    m_value = raw;
    m_readStatus = status;
    m_readTime = when;
}

FILETIME CRealItem::ReadTime() const {
    TagValueLock lock(this);
    return m_readTime;
}

HRESULT CRealItem::ReadValue(VARIANT* out) const {
    if (!out) return E_INVALIDARG;
    return ValueOf(Reading(), out);
}

HRESULT CRealItem::ValueOf(const TagReading& reading, VARIANT* out) const {
    if (!out) return E_INVALIDARG;
    if (m_ioMode != kDeviceTag) {
        out->vt = m_canonicalType;
        return S_OK;
    }
    const bool delivered = Succeeded(reading.status);
    switch (m_canonicalType) {
    case VT_I2:
    case VT_BOOL:
        if (delivered) out->iVal = reading.raw.iVal;
        break;
    case VT_I4:
    case VT_R4:
        if (delivered) out->lVal = reading.raw.lVal;
        break;
    case VT_R8:
        if (delivered) out->dblVal = reading.raw.dblVal;
        break;
    default:
        return E_FAIL;
    }
    out->vt = m_canonicalType;
    return ItemErrorFromReadStatus(reading.status);
}

HRESULT CRealItem::WriteValue(const VARIANT& value) {
    if (m_ioMode != kDeviceTag) return S_FALSE;
    if (!m_pContext || !m_pContext->HasDriver()) return E_FAIL;
    // Called from inside another write's box: the driver is not reentrant.
    if (m_pContext->DriverHeldByThisThread()) return HRESULT_FROM_WIN32(ERROR_BUSY);
    tarn::TarnIoItem element{};
    element.address = m_address;
    element.device = m_device;
    element.number = m_addressNumber;
    element.param = m_addressParam;
    element.type = tarn::TarnTypeFromVarType(m_canonicalType);
    // The driver only reads the value it is given.
    element.value = const_cast<tagVARIANT*>(&value);
    tarn::TarnRequest request{m_pContext->DriverContext(), tarn::OpcWrite, 0, 1, &element};
    // The driver's answer does not change what the caller learns: the value
    // shows up, or not, with the next device read.
    m_pContext->SendToDriver(request);
    return S_OK;
}
