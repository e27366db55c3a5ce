#include "TextEncoding.h"

#include <algorithm>
#include <cstring>

std::wstring CodePageToWide(UINT codePage, const std::string& text) {
    const size_t length = std::strlen(text.c_str());
    if (length == 0) return std::wstring();
    const int needed = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(length), nullptr, 0);
    if (needed <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(length), &wide[0], needed);
    return wide;
}

std::string WideToCodePage(UINT codePage, const wchar_t* text, size_t length) {
    if (!text) return std::string();
    length = static_cast<size_t>(std::find(text, text + length, L'\0') - text);
    if (length == 0) return std::string();
    const int needed = WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return std::string();
    std::string bytes(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(codePage, 0, text, static_cast<int>(length), &bytes[0], needed, nullptr, nullptr);
    return bytes;
}

std::wstring Utf8ToWide(const std::string& text) { return CodePageToWide(CP_UTF8, text); }

std::string WideToUtf8(const wchar_t* text, size_t length) { return WideToCodePage(CP_UTF8, text, length); }

std::string WideToUtf8(const wchar_t* text) { return text ? WideToUtf8(text, wcslen(text)) : std::string(); }

std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.c_str(), text.size()); }

std::wstring AnsiToWide(const std::string& text) { return CodePageToWide(CP_ACP, text); }

std::string WideToAnsi(const wchar_t* text, size_t length) { return WideToCodePage(CP_ACP, text, length); }

std::string WideToAnsi(const wchar_t* text) { return text ? WideToAnsi(text, wcslen(text)) : std::string(); }

std::string WideToAnsi(const std::wstring& text) { return WideToAnsi(text.c_str(), text.size()); }

std::string AnsiToUtf8(const std::string& text) { return WideToUtf8(AnsiToWide(text)); }

std::optional<std::string> Utf8ToExactAnsi(const std::string& text) {
    const std::wstring wide = Utf8ToWide(text);
    std::string ansi = WideToAnsi(wide);
    // A character the code page lacks comes back as "?" or a look-alike:
    // only the round trip tells an exact form from a substitute.
    if (AnsiToWide(ansi) != wide) return std::nullopt;
    return ansi;
}
