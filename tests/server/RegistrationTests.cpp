// Registration on a machine shared with other OPC programs: the class in both
// DA categories and under its version-independent ProgID, and a proxy/stub
// registration that takes and removes only the interfaces that are its own.
#include "ServerTest.h"

#include "MessageBoxWatcher.h"
#include "OpcConstants.h"
#include "Processes.h"
#include "Registration.h"
#include "RegistryKey.h"

#include <comcat.h>

#include <thread>

namespace {

using fw::ComPtr;

std::string ServerCommand(const char* option) {
    return "\"" + testsupport::BinPath(kServerExe) + "\" " + option;
}

// /UnregServer reports its result in a message box, which is answered here.
int Unregister() {
    int rc = -2;
    std::thread run([&] { rc = testsupport::RunToEnd(ServerCommand("/UnregServer"), 30000); });
    const auto box = testsupport::WaitForMessageBox("VELMORA_OPC", 20000);
    run.join();
    EXPECT_TRUE(box.has_value()) << "/UnregServer showed no message box";
    return rc;
}

bool KeyExists(const std::string& key) {
    fw::UniqueRegKey h;
    return fw::OpenRegKey(HKEY_CLASSES_ROOT, key.c_str(), KEY_READ, h) == ERROR_SUCCESS;
}

LONG SetDefault(const std::string& key, const std::string& value) {
    fw::UniqueRegKey h;
    LONG rc = fw::CreateRegKey(HKEY_CLASSES_ROOT, key.c_str(), KEY_WRITE, h);
    if (rc == ERROR_SUCCESS)
        rc = RegSetValueExA(h.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    return rc;
}

std::string InterfaceKey(REFIID iid) { return "Interface\\" + testsupport::GuidText(iid); }

// S_OK when the class is registered as implementing the category.
HRESULT ClassIsOfCategory(REFCLSID clsid, const CATID& catid) {
    ComPtr<ICatInformation> categories;
    const HRESULT hr = CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_ICatInformation, categories.put_void());
    if (FAILED(hr)) return hr;
    CATID implemented = catid;
    return categories->IsClassOfCategories(clsid, 1, &implemented, 0, nullptr);
}

std::wstring CategoryDescription(const CATID& catid) {
    ComPtr<ICatInformation> categories;
    if (FAILED(CoCreateInstance(CLSID_StdComponentCategoriesMgr, nullptr, CLSCTX_INPROC_SERVER, IID_ICatInformation,
                                categories.put_void())))
        return L"<no category manager>";
    LPWSTR text = nullptr;
    if (FAILED(categories->GetCategoryDesc(catid, 0x409, &text))) return L"<none>";
    const std::wstring description = text;
    CoTaskMemFree(text);
    return description;
}

// An interface key as found, put back when the test ends, and the server
// registered again for the tests that follow, however the test ended.
class InterfaceKeyRestorer {
public:
    explicit InterfaceKeyRestorer(const std::string& key)
        : key_(key),
          existed_(KeyExists(key)),
          name_(testsupport::ClassesRootValue(key)),
          methods_(testsupport::ClassesRootValue(key + "\\NumMethods")),
          proxy_(testsupport::ClassesRootValue(key + "\\ProxyStubClsid32")) {}
    ~InterfaceKeyRestorer() {
        RegDeleteTreeA(HKEY_CLASSES_ROOT, key_.c_str());
        RegDeleteKeyA(HKEY_CLASSES_ROOT, key_.c_str());
        if (existed_) {
            EXPECT_EQ(ERROR_SUCCESS, SetDefault(key_, name_));
            if (!methods_.empty()) {
                EXPECT_EQ(ERROR_SUCCESS, SetDefault(key_ + "\\NumMethods", methods_));
            }
            if (!proxy_.empty()) {
                EXPECT_EQ(ERROR_SUCCESS, SetDefault(key_ + "\\ProxyStubClsid32", proxy_));
            }
        }
        // Under a loaded Wine session a start now and then fails outright.
        int rc = -1;
        for (int attempt = 0; attempt < 3 && rc != 0; ++attempt)
            rc = testsupport::RunToEnd(ServerCommand("/RegServer"), 60000);
        EXPECT_EQ(0, rc) << "the server could not be registered again";
    }
    InterfaceKeyRestorer(const InterfaceKeyRestorer&) = delete;
    InterfaceKeyRestorer& operator=(const InterfaceKeyRestorer&) = delete;

private:
    std::string key_;
    bool existed_;
    std::string name_, methods_, proxy_;
};

using RegistrationAmongOthers = ServerTest;

TEST_F(RegistrationAmongOthers, ClassIsInBothDaCategoriesAndUnderItsVersionIndependentProgId) {
    CLSID clsid;
    ASSERT_EQ(S_OK, ServerClsid(&clsid));
    for (const auto& [catid, description] : {std::pair{CATID_OPCDAServer10, L"OPC Data Access Servers Version 1.0"},
                                             std::pair{CATID_OPCDAServer20, L"OPC Data Access Servers Version 2.0"}}) {
        SCOPED_TRACE(testsupport::GuidText(catid));
        EXPECT_EQ(S_OK, ClassIsOfCategory(clsid, catid));
        EXPECT_EQ(description, CategoryDescription(catid));
    }

    const std::string clsidKey = "CLSID\\" + testsupport::GuidText(clsid);
    EXPECT_EQ("Velmora.VelmoraOPC", testsupport::ClassesRootValue(clsidKey + "\\VersionIndependentProgID"));
    EXPECT_EQ("Velmora.VelmoraOPC.1", testsupport::ClassesRootValue("Velmora.VelmoraOPC\\CurVer"));
    CLSID found = CLSID_NULL;
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"Velmora.VelmoraOPC", &found));
    EXPECT_TRUE(IsEqualCLSID(clsid, found)) << testsupport::GuidText(found);
}

TEST_F(RegistrationAmongOthers, InterfacesOfAnotherProxyAreLeftAloneAndOnlyOursAreRemoved) {
    CLSID clsid;
    ASSERT_EQ(S_OK, ServerClsid(&clsid));
    const std::string theirs = InterfaceKey(IID_IOPCPublicGroupStateMgt);
    const std::string ours = InterfaceKey(IID_IOPCServerPublicGroups);
    const InterfaceKeyRestorer restorer(theirs);

    // As another vendor's installation leaves it.
    const std::string otherProxy = "{0B1C5A2E-7D34-4F0B-9E61-3A2F8C4D5E70}";
    ASSERT_EQ(ERROR_SUCCESS, SetDefault(theirs + "\\ProxyStubClsid32", otherProxy));

    ASSERT_EQ(0, testsupport::RunToEnd(ServerCommand("/RegServer"), 60000));
    EXPECT_EQ(otherProxy, testsupport::ClassesRootValue(theirs + "\\ProxyStubClsid32"));
    EXPECT_EQ("IOPCServerPublicGroups", testsupport::ClassesRootValue(ours));
    EXPECT_EQ("5", testsupport::ClassesRootValue(ours + "\\NumMethods"));
    const std::string proxy = testsupport::ClassesRootValue(ours + "\\ProxyStubClsid32");
    ASSERT_FALSE(proxy.empty());
    const std::string proxyServer = "CLSID\\" + proxy + "\\InprocServer32";
    EXPECT_NE(std::string::npos, testsupport::ClassesRootValue(proxyServer).find("VELMORA_OPCPS.dll"))
        << testsupport::ClassesRootValue(proxyServer);
    EXPECT_EQ("Both", testsupport::ClassesRootValue(proxyServer, "ThreadingModel"));

    EXPECT_EQ(0, Unregister());
    EXPECT_EQ(otherProxy, testsupport::ClassesRootValue(theirs + "\\ProxyStubClsid32"));
    EXPECT_FALSE(KeyExists(ours));
    EXPECT_FALSE(KeyExists("CLSID\\" + proxy));
    EXPECT_FALSE(KeyExists("Velmora.VelmoraOPC"));
    EXPECT_NE(S_OK, ClassIsOfCategory(clsid, CATID_OPCDAServer10));
    EXPECT_NE(S_OK, ClassIsOfCategory(clsid, CATID_OPCDAServer20));
}

}  // namespace
