#include "Registration.h"

#include "ServerIdentity.h"
#include "OpcConstants.h"
#include "ComPtr.h"
#include "HResult.h"
#include "RegistryKey.h"

#include <comcat.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>

namespace {

std::string ClsidText() {
    wchar_t wide[64];
    StringFromGUID2(CLSID_VelmoraOpcServer, wide, 64);
    char text[64];
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
}

HRESULT SetValue(const std::string& key, const char* name, const std::string& value) {
    fw::UniqueRegKey h;
    LONG rc = fw::CreateRegKey(HKEY_CLASSES_ROOT, key.c_str(), KEY_WRITE, h);
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExA(h.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    return HRESULT_FROM_WIN32(rc);
}

HRESULT DeleteTree(const std::string& key) {
    const LONG rc = RegDeleteTreeA(HKEY_CLASSES_ROOT, key.c_str());
    if (rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND) {
        RegDeleteKeyA(HKEY_CLASSES_ROOT, key.c_str());
        return S_OK;
    }
    return HRESULT_FROM_WIN32(rc);
}

std::string Beside(const std::string& exePath, const char* file) {
    const size_t slash = exePath.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : exePath.substr(0, slash + 1)) + file;
}

using DllRegisterProc = HRESULT(STDAPICALLTYPE*)();

HRESULT CallProxyExport(const std::string& exePath, const char* exportName) {
    HMODULE dll = LoadLibraryA(Beside(exePath, kProxyStubDll).c_str());
    if (!dll) return HRESULT_FROM_WIN32(GetLastError());
    auto proc = reinterpret_cast<DllRegisterProc>(reinterpret_cast<void*>(GetProcAddress(dll, exportName)));
    const HRESULT hr = proc ? proc() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    FreeLibrary(dll);
    return hr;
}

HRESULT WithCategories(HRESULT (*action)(ICatRegister*)) {
    fw::ComPtr<ICatRegister> categories;
    RETURN_IF_FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_ICatRegister, categories.put_void()));
    return action(categories.get());
}

// The server answers DA 1.0 and DA 2.0 clients alike; clients browse for
// either category.
struct ServerCategory {
    const CATID& catid;
    const wchar_t* description;
};
const ServerCategory kServerCategories[] = {
    {CATID_OPCDAServer10, OPC_CATEGORY_DESCRIPTION_DA10},
    {CATID_OPCDAServer20, OPC_CATEGORY_DESCRIPTION_DA20},
};
constexpr ULONG kServerCategoryCount = sizeof kServerCategories / sizeof kServerCategories[0];

HRESULT RegisterCategories(ICatRegister* categories) {
    CATEGORYINFO info[kServerCategoryCount]{};
    CATID implemented[kServerCategoryCount];
    for (ULONG i = 0; i < kServerCategoryCount; ++i) {
        info[i].catid = kServerCategories[i].catid;
        info[i].lcid = 0x409;
        wcsncpy(info[i].szDescription, kServerCategories[i].description, 127);
        implemented[i] = kServerCategories[i].catid;
    }
    // A class joins only categories that exist: on a machine without
    // another OPC server neither does yet.
    RETURN_IF_FAILED(categories->RegisterCategories(kServerCategoryCount, info));
    return categories->RegisterClassImplCategories(CLSID_VelmoraOpcServer, kServerCategoryCount, implemented);
}

HRESULT UnregisterCategories(ICatRegister* categories) {
    CATID implemented[kServerCategoryCount];
    for (ULONG i = 0; i < kServerCategoryCount; ++i) implemented[i] = kServerCategories[i].catid;
    return categories->UnRegisterClassImplCategories(CLSID_VelmoraOpcServer, kServerCategoryCount, implemented);
}

// Removes the version-independent ProgID only while it leads to our class:
// another product may have taken the name since.
HRESULT DeleteVersionIndependentProgId() {
    char clsid[64] = {};
    DWORD size = sizeof clsid;
    const std::string key = std::string(kServerVersionIndependentProgId) + "\\CLSID";
    if (RegGetValueA(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, clsid, &size) !=
            ERROR_SUCCESS ||
        _stricmp(clsid, ClsidText().c_str()) != 0)
        return S_OK;
    return DeleteTree(kServerVersionIndependentProgId);
}

HRESULT FirstFailure(HRESULT a, HRESULT b) { return FAILED(a) ? a : b; }

}  // namespace

HRESULT RegisterServer(const std::string& exePath) {
    const std::string clsidKey = "CLSID\\" + ClsidText();
    HRESULT hr = S_OK;
    hr = FirstFailure(hr, SetValue(clsidKey, nullptr, kServerTypeName));
    // Unquoted, as the server reads its own folder back from this entry.
    hr = FirstFailure(hr, SetValue(clsidKey + "\\LocalServer32", nullptr, exePath));
    hr = FirstFailure(hr, SetValue(clsidKey + "\\ProgID", nullptr, kServerProgId));
    hr = FirstFailure(hr, SetValue(clsidKey + "\\VersionIndependentProgID", nullptr, kServerVersionIndependentProgId));
    hr = FirstFailure(hr, SetValue(kServerProgId, nullptr, kServerTypeName));
    hr = FirstFailure(hr, SetValue(std::string(kServerProgId) + "\\CLSID", nullptr, ClsidText()));
    // Client tools find OPC DA 1.0 servers by this key.
    hr = FirstFailure(hr, SetValue(std::string(kServerProgId) + "\\OPC\\Vendor", nullptr, kServerVendor));
    hr = FirstFailure(hr, SetValue(kServerVersionIndependentProgId, nullptr, kServerTypeName));
    hr = FirstFailure(hr, SetValue(std::string(kServerVersionIndependentProgId) + "\\CLSID", nullptr, ClsidText()));
    hr = FirstFailure(hr, SetValue(std::string(kServerVersionIndependentProgId) + "\\CurVer", nullptr, kServerProgId));
    hr = FirstFailure(hr, SetValue(kServerFileType, nullptr, kServerTypeName));
    hr = FirstFailure(hr, SetValue(std::string(kServerFileType) + "\\CLSID", nullptr, ClsidText()));
    hr = FirstFailure(hr, WithCategories(RegisterCategories));
    hr = FirstFailure(hr, CallProxyExport(exePath, "DllRegisterServer"));
    return hr;
}

HRESULT UnregisterServer(const std::string& exePath) {
    HRESULT hr = S_OK;
    hr = FirstFailure(hr, WithCategories(UnregisterCategories));
    hr = FirstFailure(hr, DeleteTree("CLSID\\" + ClsidText()));
    hr = FirstFailure(hr, DeleteTree(kServerProgId));
    hr = FirstFailure(hr, DeleteVersionIndependentProgId());
    hr = FirstFailure(hr, DeleteTree(kServerFileType));
    hr = FirstFailure(hr, CallProxyExport(exePath, "DllUnregisterServer"));
    return hr;
}
