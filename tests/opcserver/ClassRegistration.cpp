#include "ClassRegistration.h"

#include "RegistryKey.h"

#include <string>

namespace testserver {
namespace {

std::wstring ClsidKey(const CLSID& clsid) {
    wchar_t text[64] = {};
    StringFromGUID2(clsid, text, 64);
    return L"CLSID\\" + std::wstring(text);
}

// Creates the key and sets its default value.
LONG SetDefaultValue(const std::wstring& key, const std::wstring& value) {
    fw::UniqueRegKey handle;
    HKEY created = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &created, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    handle.reset(created);
    return RegSetValueExW(handle.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

}  // namespace

HRESULT RegisterLocalServer(const LocalServerClass& server) {
    wchar_t path[MAX_PATH] = {};
    if (!GetModuleFileNameW(nullptr, path, MAX_PATH)) return HRESULT_FROM_WIN32(GetLastError());
    std::wstring command = L"\"" + std::wstring(path) + L"\"";
    if (*server.arguments) command += L" " + std::wstring(server.arguments);
    const std::wstring progId = server.progId;
    const std::wstring clsidKey = ClsidKey(server.clsid);
    const std::wstring clsidText = clsidKey.substr(clsidKey.find(L'{'));
    const std::pair<std::wstring, std::wstring> values[] = {
        {progId, server.description},
        {progId + L"\\CLSID", clsidText},
        {progId + L"\\OPC", L""},
        {clsidKey, server.description},
        {clsidKey + L"\\LocalServer32", command},
        {clsidKey + L"\\ProgID", progId},
    };
    for (const auto& value : values)
        if (const LONG rc = SetDefaultValue(value.first, value.second); rc != ERROR_SUCCESS)
            return HRESULT_FROM_WIN32(rc);
    return S_OK;
}

HRESULT UnregisterLocalServer(const LocalServerClass& server) {
    HRESULT result = S_OK;
    for (const std::wstring& key : {std::wstring(server.progId), ClsidKey(server.clsid)}) {
        const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) result = HRESULT_FROM_WIN32(rc);
        // RegDeleteTree may leave the emptied key itself behind.
        RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    }
    return result;
}

}  // namespace testserver
