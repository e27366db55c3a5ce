// The client's text encodings.  Every std::string of the model, the windows
// and the console is UTF-8; the system and COM take UTF-16; the ANSI code
// page appears only where a document file's 100-byte fields, the registry's
// 8-bit names or the clipboard's CF_TEXT hold it.
//
// None of these conversions cuts: a value, an item ID, a path or a line of
// output is converted whole.  Each input ends at its first NUL, as the
// fields and strings it comes from do.
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

// Any code page <-> UTF-16.
std::wstring CodePageToWide(UINT codePage, const std::string& text);
std::string WideToCodePage(UINT codePage, const wchar_t* text, size_t length);

// The model's UTF-8 <-> UTF-16.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const wchar_t* text, size_t length);
std::string WideToUtf8(const wchar_t* text);  // null gives ""
std::string WideToUtf8(const std::wstring& text);

// The ANSI code page <-> UTF-16 and UTF-8.
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const wchar_t* text, size_t length);
std::string WideToAnsi(const wchar_t* text);  // null gives ""
std::string WideToAnsi(const std::wstring& text);
std::string AnsiToUtf8(const std::string& text);

// The ANSI form of a UTF-8 text when the code page holds every one of its
// characters exactly (no "?", no look-alike); empty otherwise.
std::optional<std::string> Utf8ToExactAnsi(const std::string& text);
