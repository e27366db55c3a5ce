#include "OpcErrorText.h"

#include "OpcConstants.h"
#include "TaskMem.h"

#include <cstdio>
#include <cwchar>
#include <new>
#include <vector>

namespace {

struct CodeText {
    HRESULT code;
    const wchar_t* text;
};

constexpr HRESULT Code(unsigned long value) { return static_cast<HRESULT>(value); }

// The standard's wording, word for word, except for OPC_S_INUSE: there the
// standard says "bering referenced", a typo, and clients show these texts to
// the people running them.
constexpr CodeText kOpcTexts[] = {
    {OPC_E_INVALIDHANDLE, L"The value of the handle is invalid."},
    {OPC_E_BADTYPE,
     L"The server cannot convert the data between the specified format and/or requested data type and the "
     L"canonical data type."},
    {OPC_E_PUBLIC, L"The requested operation cannot be done on a public group."},
    {OPC_E_BADRIGHTS, L"The item's access rights do not allow the operation."},
    {OPC_E_UNKNOWNITEMID,
     L"The item ID is not defined in the server address space or no longer exists in the server address space."},
    {OPC_E_INVALIDITEMID, L"The item ID does not conform to the server's syntax."},
    {OPC_E_INVALIDFILTER, L"The filter string was not valid."},
    {OPC_E_UNKNOWNPATH, L"The item's access path is not known to the server."},
    {OPC_E_RANGE, L"The value was out of range."},
    {OPC_E_DUPLICATENAME, L"Duplicate name not allowed."},
    {OPC_S_UNSUPPORTEDRATE,
     L"The server does not support the requested data rate but will use the closest available rate."},
    {OPC_S_CLAMP, L"A value passed to write was accepted but the output was clamped."},
    {OPC_S_INUSE, L"The operation cannot be performed because the object is being referenced."},
    {OPC_E_INVALIDCONFIGFILE, L"The server's configuration file is an invalid format."},
    {OPC_E_NOTFOUND, L"The requested object (e.g. a public group) was not found."},
    {OPC_E_INVALID_PID, L"The specified property ID is not valid for the item."},
    // Data Access 3.0 and complex data: our interface headers name none of them.
    {Code(0xC0040400) /* OPC_E_DEADBANDNOTSET */, L"The item deadband has not been set for this item."},
    {Code(0xC0040401) /* OPC_E_DEADBANDNOTSUPPORTED */, L"The item does not support deadband."},
    {Code(0xC0040402) /* OPC_E_NOBUFFERING */,
     L"The server does not support buffering of data items that are collected at a faster rate than the group "
     L"update rate."},
    {Code(0xC0040403) /* OPC_E_INVALIDCONTINUATIONPOINT */, L"The continuation point is not valid."},
    {Code(0x00040404) /* OPC_S_DATAQUEUEOVERFLOW */,
     L"Not every detected change has been returned since the server's buffer reached its limit and had to purge "
     L"out the oldest data."},
    {Code(0xC0040405) /* OPC_E_RATENOTSET */, L"There is no sampling rate set for the specified item."},
    {Code(0xC0040406) /* OPC_E_NOTSUPPORTED */, L"The server does not support writing of quality and/or timestamp."},
    {Code(0xC0040407) /* OPCCPX_E_TYPE_CHANGED */, L"The dictionary and/or type description for the item has changed."},
    {Code(0xC0040408) /* OPCCPX_E_FILTER_DUPLICATE */, L"A data filter item with the specified name already exists."},
    {Code(0xC0040409) /* OPCCPX_E_FILTER_INVALID */,
     L"The data filter value does not conform to the server's syntax."},
    {Code(0xC004040A) /* OPCCPX_E_FILTER_ERROR */,
     L"An error occurred when the filter value was applied to the source data."},
    {Code(0x0004040B) /* OPCCPX_S_FILTER_NO_DATA */,
     L"The item value is empty because the data filter has excluded all fields."},
};

const wchar_t* FindOpcText(HRESULT code) {
    for (const CodeText& entry : kOpcTexts)
        if (entry.code == code) return entry.text;
    return nullptr;
}

// The system's message for code in one language, its trailing line break
// and blanks cut off; empty when the system has none.
std::wstring SystemTextIn(DWORD code, DWORD language) {
    std::vector<wchar_t> buffer(512);
    for (;;) {
        const DWORD length =
            FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, language,
                           buffer.data(), static_cast<DWORD>(buffer.size()), nullptr);
        if (length) {
            std::wstring text(buffer.data(), length);
            text.erase(text.find_last_not_of(L" \t\r\n") + 1);
            return text;
        }
        // Messages are at most 64K characters.
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() >= 0x10000) return {};
        buffer.resize(buffer.size() * 2);
    }
}

// English where asked for and the system has it, else the default language.
std::wstring SystemText(DWORD code, LCID locale) {
    if (LANGIDFROMLCID(locale) == 0x409) {
        std::wstring english = SystemTextIn(code, 0x409);
        if (!english.empty()) return english;
    }
    return SystemTextIn(code, 0);
}

std::wstring SystemTextFor(HRESULT code, LCID locale) {
    std::wstring text = SystemText(static_cast<DWORD>(code), locale);
    // A Win32 error wrapped as an HRESULT means what the Win32 error means,
    // and some systems list the message only under the plain number.
    if (text.empty() && HRESULT_FACILITY(code) == FACILITY_WIN32)
        text = SystemText(static_cast<DWORD>(HRESULT_CODE(code)), locale);
    return text;
}

}  // namespace

std::wstring OpcErrorText(HRESULT code) {
    const wchar_t* text = FindOpcText(code);
    return text ? text : L"";
}

HRESULT ErrorStringFor(HRESULT code, LCID locale, LPWSTR* text) {
    if (!text) return E_INVALIDARG;
    *text = nullptr;
    fw::TaskMemPtr<wchar_t> result;
    if (const wchar_t* opc = FindOpcText(code)) {
        result = fw::TaskMemString(opc);
    } else {
        try {
            std::wstring words = SystemTextFor(code, locale);
            if (words.empty()) {
                wchar_t unknown[32];
                std::swprintf(unknown, 32, L"Unknown error 0x%08X", static_cast<unsigned>(code));
                words = unknown;
            }
            result = fw::TaskMemString(words.c_str());
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
    }
    if (!result) return E_OUTOFMEMORY;
    *text = result.release();
    return S_OK;
}
