// Values between a tag's canonical type and the type a client asked for:
// reads deliver in the requested type, writes arrive in any type that
// converts to the tag's.  The system's conversion (VariantChangeTypeEx)
// with the group's locale does the work; its failures become the OPC codes
// a client understands.
#pragma once

#include <windows.h>
#include <oaidl.h>

// OPC_E_BADTYPE when no value of the canonical type can ever become the
// requested type (arrays, interfaces, unknown types); S_OK otherwise, even
// when a particular value may not fit.  VT_EMPTY asks for the canonical type.
HRESULT CheckRequestedType(VARTYPE canonical, VARTYPE requested);

// The type values are delivered in: the requested one, or the canonical one
// when none was asked for.
inline VARTYPE DeliveredType(VARTYPE canonical, VARTYPE requested) {
    return requested == VT_EMPTY ? canonical : requested;
}

// Converts value in place to type; S_OK, or OPC_E_RANGE when it does not fit
// the type, or OPC_E_BADTYPE when it cannot be converted (value then empty).
HRESULT ConvertValue(VARIANT& value, VARTYPE type, LCID locale);
