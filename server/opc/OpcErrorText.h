// Texts for result codes, as the server's GetErrorString methods give them:
// the OPC codes in their standard English wording, every other code in the
// system's words.
#pragma once

#include <windows.h>

#include <string>

// The standard English text of an OPC result code; empty for other codes.
std::wstring OpcErrorText(HRESULT code);

// The text for code in task memory, which the caller frees: the OPC text,
// else the system's message (without its line break), else
// "Unknown error 0x%08X".  The caller has already refused locales other than
// English and the system default; 0x409 is asked of the system as English
// where it has that, any other locale as the default language.
// E_INVALIDARG for a null text, E_OUTOFMEMORY when the text cannot be made.
HRESULT ErrorStringFor(HRESULT code, LCID locale, LPWSTR* text);
