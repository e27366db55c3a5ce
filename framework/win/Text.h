// The framework keeps text in std::string as UTF-8, so that every character
// survives, and talks to the window system in UTF-16; these convert between
// the two, whole.  Text that a third party hands over in the ANSI code page
// (a driver's labels) is converted from CP_ACP by its receiver, never
// passed in as if it were UTF-8.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

std::wstring Widen(const std::string& text);
std::string Narrow(const wchar_t* text, int length = -1);
inline std::string Narrow(const std::wstring& text) { return Narrow(text.c_str(), static_cast<int>(text.size())); }

// Text of a window (caption, control text).
std::string WindowText(HWND window);

}  // namespace fw
