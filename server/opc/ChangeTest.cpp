#include "ChangeTest.h"

#include <cmath>
#include <cstring>

namespace {

// The numeric value of the scalar types the deadband knows; false for others.
bool NumberOf(VARTYPE type, const VARIANT& v, double& out) {
    switch (type) {
    case VT_I1: out = v.cVal; return true;
    case VT_UI1: out = v.bVal; return true;
    case VT_I2: out = v.iVal; return true;
    case VT_UI2: out = v.uiVal; return true;
    case VT_I4: out = v.lVal; return true;
    case VT_UI4: out = v.ulVal; return true;
    case VT_INT: out = v.intVal; return true;
    case VT_UINT: out = v.uintVal; return true;
    case VT_I8: out = static_cast<double>(v.llVal); return true;
    case VT_UI8: out = static_cast<double>(v.ullVal); return true;
    case VT_R4: out = v.fltVal; return true;
    case VT_R8: out = v.dblVal; return true;
    default: return false;
    }
}

bool Differs(VARTYPE type, const VARIANT& last, const VARIANT& now) {
    switch (type) {
    case VT_I2:
    case VT_BOOL:
        return now.iVal != last.iVal;
    case VT_I4:
        return now.lVal != last.lVal;
    case VT_R4:
        return now.fltVal != last.fltVal;
    case VT_R8:
        return now.dblVal != last.dblVal;
    default:
        return true;
    }
}

}  // namespace

bool HasChanged(const SentValue& sent, VARTYPE type, const TagReading& reading, float deadbandPercent) {
    if (sent.due) return true;
    if (ItemErrorFromReadStatus(reading.status) != sent.status) return true;
    if (!Differs(type, sent.value, reading.raw)) return false;
    double last = 0, now = 0;
    if (deadbandPercent <= 0.0f || !NumberOf(type, sent.value, last) || !NumberOf(type, reading.raw, now))
        return true;
    // NaN on either side is always a change: it compares false to everything.
    return !(std::fabs(now - last) <= deadbandPercent / 100.0 * std::fabs(last));
}

void RememberSent(SentValue& sent, const VARIANT& value, HRESULT status) {
    sent.due = FALSE;
    VariantClear(&sent.value);
    std::memcpy(&sent.value, &value, sizeof value);  // scalar types only: nothing to copy deeply
    sent.status = status;
}
