// Turns a typed text into a value of an item's type, for writing.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

// Fills `out` (initialised here) with `text` read as `type`:
// - integers (decimal, octal after a leading 0, hexadecimal after 0x) for
//   VT_I1, VT_UI1, VT_I2, VT_UI2, VT_I4, VT_UI4, VT_INT, VT_UINT, VT_I8,
//   VT_UI8 and type 12, within the type's range;
// - VARIANT_TRUE or VARIANT_FALSE for VT_BOOL from TRUE, FALSE, 1 or 0;
// - floating point for VT_R4 and VT_R8;
// - VT_CY, VT_DATE and VT_DECIMAL as the user's locale writes them;
// - the whole text for VT_BSTR;
// - one-dimensional arrays of these as "{1, 2, 3}".
// The number must be the whole text: blanks alone, or text after it, do not
// read.  False, with the reason, when the text does not read as the type or
// does not fit it; `out` is then empty and nothing must be sent.
bool TextToValue(const std::string& text, VARTYPE type, VARIANT* out, std::string* why);
