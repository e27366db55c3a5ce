// The walk over a server's address space, against a flat space in this
// process: item IDs that the ANSI code page cannot carry are counted and
// left out, never handed on changed.
#include "ComObject.h"
#include "Enumerator.h"
#include "OpcInterfaces.h"
#include "ServerConnections.h"
#include "TaskMem.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class FlatSpace final : public fw::ComObject<FlatSpace, IOPCBrowseServerAddressSpace> {
public:
    explicit FlatSpace(std::vector<std::wstring> ids) : ids_(std::move(ids)) {}

    STDMETHODIMP QueryOrganization(OPCNAMESPACETYPE* type) override {
        *type = OPC_NS_FLAT;
        return S_OK;
    }
    STDMETHODIMP ChangeBrowsePosition(OPCBROWSEDIRECTION, LPCWSTR) override { return E_FAIL; }
    STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR, VARTYPE, DWORD, LPENUMSTRING* out) override {
        std::vector<std::wstring> names;
        if (type != OPC_BRANCH) names = ids_;
        const HRESULT hr = fw::MakeEnumerator<IEnumString>(names, IID_IEnumString, reinterpret_cast<void**>(out));
        return FAILED(hr) ? hr : names.empty() ? S_FALSE : S_OK;
    }
    STDMETHODIMP GetItemID(LPWSTR name, LPWSTR* id) override {
        *id = fw::TaskMemString(name).release();
        return *id ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP BrowseAccessPaths(LPCWSTR, LPENUMSTRING* out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }

private:
    std::vector<std::wstring> ids_;
};

TEST(BrowseWalk, IdsTheCodePageCannotCarryAreCountedNotChanged) {
    if (GetACP() == CP_UTF8) GTEST_SKIP() << "every ID fits a UTF-8 code page";
    fw::ComPtr<FlatSpace> space;
    space.attach(new FlatSpace({L"Tank1", L"\xD83D\xDE00.level", L"Tank2"}));
    std::vector<std::string> seen;
    size_t unrepresentable = 0;
    ForEachItemIdBelow(space.get(), [&](const std::string& id) { seen.push_back(id); }, &unrepresentable);
    EXPECT_EQ((std::vector<std::string>{"Tank1", "Tank2"}), seen);
    EXPECT_EQ(1u, unrepresentable);
}

}  // namespace
