// Registry set-up for cross-process COM tests: the proxy/stub DLL and local
// servers, undone when the test ends so that tests do not leak into each other.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// Loads the DLL and calls its DllRegisterServer (what regsvr32 does).
HRESULT RegisterComDll(const std::string& path);
// Loads the DLL and calls its DllUnregisterServer.
HRESULT UnregisterComDll(const std::string& path);

// Registers the build's OPC proxy/stub DLL once per process.
HRESULT RegisterOpcProxy();

// A LocalServer32 class registration that lasts as long as the object.
class LocalServerRegistration {
public:
    LocalServerRegistration(const CLSID& clsid, const std::string& commandLine);
    ~LocalServerRegistration();
    LocalServerRegistration(const LocalServerRegistration&) = delete;
    LocalServerRegistration& operator=(const LocalServerRegistration&) = delete;
    HRESULT result() const { return hr_; }

private:
    std::string key_;
    HRESULT hr_;
};

// "{xxxxxxxx-...}" of a GUID.
std::string GuidText(const GUID& guid);

// Text of a registry value under HKEY_CLASSES_ROOT, or empty when absent.
std::string ClassesRootValue(const std::string& subKey, const char* valueName = nullptr);

}  // namespace testsupport
