#include "ValueConversion.h"

#include "OpcConstants.h"

#include <cstring>

namespace {

// The system's default where a group gave no locale of its own.
LCID ConversionLocale(LCID locale) { return locale ? locale : LOCALE_SYSTEM_DEFAULT; }

}  // namespace

HRESULT CheckRequestedType(VARTYPE canonical, VARTYPE requested) {
    if (requested == VT_EMPTY || requested == canonical) return S_OK;
    // A zero of the canonical type stands for every value of it: whatever
    // cannot take that cannot take any (strings are empty, not zero).
    VARIANT sample;
    VariantInit(&sample);
    sample.vt = canonical;
    if (canonical == VT_BSTR) sample.bstrVal = SysAllocString(L"");
    const HRESULT hr = ConvertValue(sample, requested, LOCALE_SYSTEM_DEFAULT);
    VariantClear(&sample);
    return hr == OPC_E_BADTYPE ? OPC_E_BADTYPE : S_OK;
}

HRESULT ConvertValue(VARIANT& value, VARTYPE type, LCID locale) {
    if (value.vt == type) return S_OK;
    VARIANT converted;
    VariantInit(&converted);
    const HRESULT hr = VariantChangeTypeEx(&converted, &value, ConversionLocale(locale), 0, type);
    VariantClear(&value);
    if (FAILED(hr)) return hr == DISP_E_OVERFLOW ? OPC_E_RANGE : OPC_E_BADTYPE;
    std::memcpy(&value, &converted, sizeof value);
    return S_OK;
}
