#include "Registration.h"

#include "RegistryKey.h"
#include "WineTest.h"

#include <objbase.h>

#include <cstdio>

namespace testsupport {
namespace {

using RegisterProc = HRESULT(STDAPICALLTYPE*)();

HRESULT CallDllExport(const std::string& path, const char* exportName) {
    HMODULE dll = LoadLibraryA(path.c_str());
    if (!dll) return HRESULT_FROM_WIN32(GetLastError());
    auto proc = reinterpret_cast<RegisterProc>(reinterpret_cast<void*>(GetProcAddress(dll, exportName)));
    const HRESULT hr = proc ? proc() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    FreeLibrary(dll);
    return hr;
}

}  // namespace

HRESULT RegisterComDll(const std::string& path) { return CallDllExport(path, "DllRegisterServer"); }

HRESULT UnregisterComDll(const std::string& path) { return CallDllExport(path, "DllUnregisterServer"); }

HRESULT RegisterOpcProxy() {
    static const HRESULT hr = RegisterComDll(BinPath("VELMORA_OPCPS.dll"));
    return hr;
}

std::string GuidText(const GUID& guid) {
    char text[64];
    std::snprintf(text, sizeof text, "{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned long>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

LocalServerRegistration::LocalServerRegistration(const CLSID& clsid, const std::string& commandLine)
    : key_("CLSID\\" + GuidText(clsid)), hr_(S_OK) {
    const std::string sub = key_ + "\\LocalServer32";
    fw::UniqueRegKey key;
    LONG rc = fw::CreateRegKey(HKEY_CLASSES_ROOT, sub.c_str(), KEY_WRITE, key);
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(commandLine.c_str()),
                            static_cast<DWORD>(commandLine.size() + 1));
    hr_ = HRESULT_FROM_WIN32(rc);
}

LocalServerRegistration::~LocalServerRegistration() { RegDeleteTreeA(HKEY_CLASSES_ROOT, key_.c_str()); }

std::string ClassesRootValue(const std::string& subKey, const char* valueName) {
    char value[1024];
    DWORD size = sizeof value;
    if (RegGetValueA(HKEY_CLASSES_ROOT, subKey.c_str(), valueName, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
        return std::string();
    return value;
}

}  // namespace testsupport
