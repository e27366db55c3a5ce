#include "ChangeTest.h"

#include <cstring>

bool HasChanged(const CItem& item, const TagReading& reading) {
    if (item.m_sendNext) return true;
    if (ItemErrorFromReadStatus(reading.status) != item.m_lastStatus) return true;
    switch (item.m_pTag->m_canonicalType) {
    case VT_I2:
    case VT_BOOL:
        return reading.raw.iVal != item.m_lastValue.iVal;
    case VT_I4:
        return reading.raw.lVal != item.m_lastValue.lVal;
    case VT_R4:
        return reading.raw.fltVal != item.m_lastValue.fltVal;
    case VT_R8:
        return reading.raw.dblVal != item.m_lastValue.dblVal;
    default:
        return true;
    }
}

void RememberSent(CItem& item, const VARIANT& value, HRESULT status) {
    item.m_sendNext = FALSE;
    VariantClear(&item.m_lastValue);
    std::memcpy(&item.m_lastValue, &value, sizeof value);  // scalar types only: nothing to copy deeply
    item.m_lastStatus = status;
}
