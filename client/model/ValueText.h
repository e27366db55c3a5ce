// Display texts of values and the client's conversions between ANSI and
// UTF-16 text.
//
// Every result is a string of its own, owned by the caller: the program runs
// on one thread today, but a text that the next conversion overwrites is a
// trap for the first caller who keeps two at once.  Results are cut to at
// most kMaxConvertedText characters, never inside a character, which is as
// long as a display text or converted name has ever been.
#pragma once

#include <windows.h>
#include <oaidl.h>

#include <cstddef>
#include <optional>
#include <string>

constexpr size_t kMaxConvertedText = 199;

// A value as the user sees it, with the type the value had.
struct VariantText {
    std::string text;
    VARTYPE type = VT_EMPTY;
};

// The size of a value in a data-change stream: the 32-bit VARIANT (type,
// three reserved words, eight bytes of data), also in a 64-bit program.
constexpr size_t kStreamVariantSize = 16;

// A VARIANT held in memory ("plain form"): a VT_BSTR is read through its
// pointer.  VT_I2 and VT_I4 as "%i", VT_R4 and VT_R8 as "%f" where six
// decimals show them to their precision and otherwise as the shortest text
// that reads back as the same value ("1e-50"), VT_BOOL and
// type 12 as "TRUE"/"FALSE" from their 16-bit value, anything else
// (arrays and references included) as "???".
VariantText VariantToText(const VARIANT& value);

// A value inside a data-change stream ("stream form"): `value` is the start
// of the 16-byte VARIANT and `available` the bytes from there to the end of
// the block.  A VT_BSTR is read from the block itself (its byte length at
// +16, the characters from +20), never through the pointer that the server
// left in the VARIANT, which means nothing in this process.  Empty when the
// value or its characters would run past the end of the block.
std::optional<VariantText> VariantToText(const BYTE* value, size_t available);

// ANSI code page <-> UTF-16.  The input ends at its first NUL.
std::wstring AnsiToWide(const std::string& text);
std::string WideToAnsi(const wchar_t* text);  // null gives ""
std::string WideToAnsi(const wchar_t* text, size_t length);
std::string WideToAnsi(const std::wstring& text);

// Conversions that are never cut, for text that is data rather than a
// display: values to write, paths, the console's output.
std::wstring AnsiToWideWhole(const std::string& text);
std::string WideToUtf8(const wchar_t* text, size_t length);
std::string AnsiToUtf8(const std::string& text);

// The same conversions for any code page (the ANSI ones pass CP_ACP), so
// that the cutting of multi-byte text is the same on every machine.
std::wstring CodePageToWide(UINT codePage, const std::string& text);
std::string WideToCodePage(UINT codePage, const wchar_t* text, size_t length);
