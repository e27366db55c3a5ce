// Turns a typed text into a value of an item's type, for writing.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <string>

// Fills `out` (initialised here) with `text` read as `type`: integers for
// VT_I2, VT_I4, VT_BOOL and type 12 (decimal, octal after a leading 0,
// hexadecimal after 0x), floating point for VT_R4 and VT_R8, the whole text
// for VT_BSTR.  False, with the reason, when the text does not read as the
// type or does not fit it; `out` is then empty and nothing must be sent.
bool TextToValue(const std::string& text, VARTYPE type, VARIANT* out, std::string* why);
