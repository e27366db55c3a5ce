// A small out-of-process OPC server used only to prove the proxy/stub DLL:
// every method returns data that the client side can check field by field.
//
//   FakeOpcServer.exe -clsid {GUID} [-Embedding]
//
// It registers its class object for the given CLSID (a fresh one per test run,
// so a killed instance never poisons the class for another test), signals the
// event "FakeOpcServerReady<GUID>" when it serves, and ends when the last
// object it handed out is released, or after two minutes at the latest.
#include "FakeOpcData.h"

#include "ComObject.h"
#include "NotImplemented.h"
#include "OpcInterfaces.h"
#include "ServerProcess.h"
#include "StringEnumerator.h"
#include "TaskMem.h"
#include "TestGroup.h"

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace {

using testserver::NotImplemented;

bool g_startedByCom = false;


const FakeItem* FindItem(const wchar_t* id) {
    if (!id) return nullptr;
    for (const FakeItem& item : kFakeItems)
        if (std::wcscmp(item.id, id) == 0) return &item;
    return nullptr;
}

HRESULT ValueOf(const FakeItem& item, VARIANT* out) {
    VariantInit(out);
    switch (item.type) {
    case VT_R8: out->vt = VT_R8; out->dblVal = item.number; return S_OK;
    case VT_I4: out->vt = VT_I4; out->lVal = static_cast<LONG>(item.number); return S_OK;
    case VT_BSTR:
        out->vt = VT_BSTR;
        out->bstrVal = SysAllocString(item.text);
        return out->bstrVal ? S_OK : E_OUTOFMEMORY;
    default: return E_FAIL;
    }
}

struct AddedItem {
    const FakeItem* item;
    OPCHANDLE hServer;
    OPCHANDLE hClient;
    BOOL active;
};

class FakeItemEnum final : public testserver::ListEnumerator<FakeItemEnum, IEnumOPCItemAttributes, AddedItem> {
public:
    using ListEnumerator::ListEnumerator;

    STDMETHODIMP Next(ULONG celt, OPCITEMATTRIBUTES** out, ULONG* fetched) override {
        if (!out || !fetched) return E_INVALIDARG;
        *out = nullptr;
        *fetched = 0;
        const ULONG n = std::min(celt, Left());
        auto array = fw::TaskMemArray<OPCITEMATTRIBUTES>(n);
        if (!array) return E_OUTOFMEMORY;
        for (ULONG i = 0; i < n; ++i) {
            const AddedItem& added = elements_[position_ + i];
            OPCITEMATTRIBUTES& a = array.get()[i];
            a.szAccessPath = fw::TaskMemString(L"").release();
            a.szItemID = fw::TaskMemString(added.item->id).release();
            a.bActive = added.active;
            a.hClient = added.hClient;
            a.hServer = added.hServer;
            a.dwAccessRights = OPC_READABLE | OPC_WRITEABLE;
            a.vtRequestedDataType = VT_EMPTY;
            a.vtCanonicalDataType = added.item->type;
            a.dwEUType = OPC_ANALOG;
            a.vEUInfo.vt = VT_R8;
            a.vEUInfo.dblVal = added.item->number * 10;
        }
        position_ += n;
        *out = array.release();
        *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }
};

class FakeGroup final : public testserver::TestGroup<FakeGroup, AddedItem> {
public:
    using TestGroup::TestGroup;
    ~FakeGroup() override {
        for (auto& entry : written_) VariantClear(&entry.second);
    }

    STDMETHODIMP CreateEnumerator(REFIID iid, LPUNKNOWN* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (items_.items().empty()) return S_FALSE;
        return fw::CreateInstance<FakeItemEnum>(iid, reinterpret_cast<void**>(out), items_.items());
    }

    // The blob comes back reversed, which proves both directions.
    static HRESULT Lookup(const OPCITEMDEF& def, OPCITEMRESULT& result, AddedItem& added) {
        const FakeItem* item = FindItem(def.szItemID);
        if (!item) return OPC_E_UNKNOWNITEMID;
        added.item = item;
        result.vtCanonicalDataType = item->type;
        result.dwAccessRights = OPC_READABLE | OPC_WRITEABLE;
        if (def.dwBlobSize && def.pBlob) {
            result.pBlob = static_cast<BYTE*>(CoTaskMemAlloc(def.dwBlobSize));
            if (result.pBlob) {
                result.dwBlobSize = def.dwBlobSize;
                std::reverse_copy(def.pBlob, def.pBlob + def.dwBlobSize, result.pBlob);
            }
        }
        return S_OK;
    }
    // The time stamp carries the server handle and the data source, so that
    // the client can tell both arrived.
    HRESULT Fill(const AddedItem& added, OPCDATASOURCE source, OPCITEMSTATE& s) {
        s.hClient = added.hClient;
        s.ftTimeStamp.dwLowDateTime = added.hServer;
        s.ftTimeStamp.dwHighDateTime = static_cast<DWORD>(source);
        s.wQuality = OPC_QUALITY_GOOD;
        const auto written = written_.find(added.hServer);
        if (written != written_.end()) return VariantCopy(&s.vDataValue, &written->second);
        return ValueOf(*added.item, &s.vDataValue);
    }
    VARTYPE TypeOf(const AddedItem& added) { return added.item->type; }
    HRESULT Store(const AddedItem& added, VARIANT& value) { return VariantCopy(&written_[added.hServer], &value); }

private:
    std::map<OPCHANDLE, VARIANT> written_;
};

class FakeServer final
    : public fw::ComObject<FakeServer, IOPCServer, IOPCCommon, IOPCBrowseServerAddressSpace, IOPCItemProperties> {
public:
    // IOPCServer
    STDMETHODIMP AddGroup(LPCWSTR name, BOOL, DWORD rate, OPCHANDLE hClientGroup, LONG*, FLOAT*, DWORD,
                          OPCHANDLE* hServerGroup, DWORD* revisedRate, REFIID iid, LPUNKNOWN* out) override {
        if (!hServerGroup || !revisedRate || !out) return E_INVALIDARG;
        *out = nullptr;
        const DWORD revised = rate < 100 ? 100 : rate;
        // Bias, deadband, locale and activity differ from what the tests send,
        // so that their arrival proves the way back.
        const HRESULT hr = fw::CreateInstance<FakeGroup>(
            iid, reinterpret_cast<void**>(out),
            testserver::GroupState{name ? name : L"", revised, TRUE, -60, 2.5f, 0x419, hClientGroup, kFakeGroupHandle});
        if (FAILED(hr)) return hr;
        *hServerGroup = kFakeGroupHandle;
        *revisedRate = revised;
        return revised == rate ? S_OK : OPC_S_UNSUPPORTEDRATE;
    }
    STDMETHODIMP GetErrorString(HRESULT error, LCID locale, LPWSTR* text) override {
        if (!text) return E_INVALIDARG;
        wchar_t buffer[128];
        std::swprintf(buffer, 128, kServerErrorFormat, static_cast<unsigned long>(error),
                      static_cast<unsigned long>(locale));
        *text = fw::TaskMemString(buffer).release();
        return *text ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP GetGroupByName(LPCWSTR, REFIID, LPUNKNOWN* out) override { return NotImplemented(out); }
    STDMETHODIMP GetStatus(OPCSERVERSTATUS** status) override {
        if (!status) return E_INVALIDARG;
        auto s = fw::TaskMemArray<OPCSERVERSTATUS>(1);
        if (!s) return E_OUTOFMEMORY;
        s->ftStartTime.dwLowDateTime = 1;
        s->ftCurrentTime.dwLowDateTime = 2;
        s->ftLastUpdateTime.dwHighDateTime = 3;
        s->dwServerState = OPC_STATUS_RUNNING;
        s->dwGroupCount = 4;
        s->dwBandWidth = 0xFFFFFFFF;
        s->wMajorVersion = 1;
        s->wMinorVersion = 2;
        s->wBuildNumber = 345;
        std::wstring vendor = g_startedByCom ? kVendorStartedByCom : kVendorStartedByHand;
        if (!clientName_.empty()) vendor += L"; client " + clientName_;
        s->szVendorInfo = fw::TaskMemString(vendor.c_str()).release();
        if (!s->szVendorInfo) return E_OUTOFMEMORY;
        *status = s.release();
        return S_OK;
    }
    STDMETHODIMP RemoveGroup(OPCHANDLE group, BOOL) override {
        return group == kFakeGroupHandle ? S_OK : E_INVALIDARG;
    }
    STDMETHODIMP CreateGroupEnumerator(OPCENUMSCOPE, REFIID, LPUNKNOWN* out) override { return NotImplemented(out); }

    // IOPCCommon
    STDMETHODIMP SetLocaleID(LCID) override { return E_NOTIMPL; }
    STDMETHODIMP GetLocaleID(LCID*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryAvailableLocaleIDs(DWORD* count, LCID** lcids) override {
        if (!count || !lcids) return E_INVALIDARG;
        auto list = fw::TaskMemArray<LCID>(2);
        if (!list) return E_OUTOFMEMORY;
        list.get()[0] = 0x409;
        list.get()[1] = 0x419;
        *count = 2;
        *lcids = list.release();
        return S_OK;
    }
    STDMETHODIMP GetErrorString(HRESULT error, LPWSTR* text) override {
        if (!text) return E_INVALIDARG;
        wchar_t buffer[64];
        std::swprintf(buffer, 64, kCommonErrorFormat, static_cast<unsigned long>(error));
        *text = fw::TaskMemString(buffer).release();
        return *text ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP SetClientName(LPCWSTR name) override {
        if (!name) return E_INVALIDARG;
        clientName_ = name;
        return S_OK;
    }

    // IOPCBrowseServerAddressSpace
    STDMETHODIMP QueryOrganization(OPCNAMESPACETYPE* type) override {
        if (!type) return E_INVALIDARG;
        *type = OPC_NS_FLAT;
        return S_OK;
    }
    STDMETHODIMP ChangeBrowsePosition(OPCBROWSEDIRECTION, LPCWSTR) override { return E_FAIL; }
    STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE, LPCWSTR filter, VARTYPE, DWORD, LPENUMSTRING* out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        std::vector<std::wstring> names;
        const size_t n = filter ? std::wcslen(filter) : 0;
        for (const FakeItem& item : kFakeItems)
            if (n == 0 || std::wcsncmp(item.id, filter, n) == 0) names.push_back(item.id);
        return testserver::EnumerateNames(std::move(names), out);
    }
    STDMETHODIMP GetItemID(LPWSTR dataId, LPWSTR* itemId) override {
        if (!dataId || !itemId) return E_INVALIDARG;
        *itemId = fw::TaskMemString((std::wstring(kItemIdPrefix) + dataId).c_str()).release();
        return *itemId ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP BrowseAccessPaths(LPCWSTR, LPENUMSTRING* out) override { return NotImplemented(out); }

    // IOPCItemProperties
    STDMETHODIMP QueryAvailableProperties(LPWSTR id, DWORD* count, DWORD** ids, LPWSTR** descriptions,
                                          VARTYPE** types) override {
        if (!count || !ids || !descriptions || !types) return E_INVALIDARG;
        *count = 0;
        *ids = nullptr;
        *descriptions = nullptr;
        *types = nullptr;
        const FakeItem* item = FindItem(id);
        if (!item) return OPC_E_UNKNOWNITEMID;
        auto idList = fw::TaskMemArray<DWORD>(2);
        auto textList = fw::TaskMemArray<LPWSTR>(2);
        auto typeList = fw::TaskMemArray<VARTYPE>(2);
        if (!idList || !textList || !typeList) return E_OUTOFMEMORY;
        idList.get()[0] = OPC_PROPERTY_DATATYPE;
        idList.get()[1] = OPC_PROPERTY_VALUE;
        textList.get()[0] = fw::TaskMemString(kPropertyDataTypeText).release();
        textList.get()[1] = fw::TaskMemString(kPropertyValueText).release();
        typeList.get()[0] = VT_I2;
        typeList.get()[1] = item->type;
        *count = 2;
        *ids = idList.release();
        *descriptions = textList.release();
        *types = typeList.release();
        return S_OK;
    }
    STDMETHODIMP GetItemProperties(LPWSTR id, DWORD count, DWORD* propertyIds, VARIANT** values,
                                   HRESULT** errors) override {
        if (!values || !errors || !propertyIds) return E_INVALIDARG;
        *values = nullptr;
        *errors = nullptr;
        const FakeItem* item = FindItem(id);
        if (!item) return OPC_E_UNKNOWNITEMID;
        auto data = fw::TaskMemArray<VARIANT>(count);
        auto codes = fw::TaskMemArray<HRESULT>(count);
        if (!data || !codes) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            if (propertyIds[i] == OPC_PROPERTY_DATATYPE) {
                data.get()[i].vt = VT_I2;
                data.get()[i].iVal = static_cast<SHORT>(item->type);
            } else if (propertyIds[i] == OPC_PROPERTY_VALUE) {
                codes.get()[i] = ValueOf(*item, &data.get()[i]);
            } else {
                codes.get()[i] = OPC_E_INVALID_PID;
                overall = S_FALSE;
            }
        }
        *values = data.release();
        *errors = codes.release();
        return overall;
    }
    STDMETHODIMP LookupItemIDs(LPWSTR id, DWORD count, DWORD* propertyIds, LPWSTR** newIds,
                               HRESULT** errors) override {
        if (!newIds || !errors || !propertyIds) return E_INVALIDARG;
        *newIds = nullptr;
        *errors = nullptr;
        if (!FindItem(id)) return OPC_E_UNKNOWNITEMID;
        auto names = fw::TaskMemArray<LPWSTR>(count);
        auto codes = fw::TaskMemArray<HRESULT>(count);
        if (!names || !codes) return E_OUTOFMEMORY;
        for (DWORD i = 0; i < count; ++i) {
            wchar_t buffer[96];
            std::swprintf(buffer, 96, L"%ls.property%lu", id, static_cast<unsigned long>(propertyIds[i]));
            names.get()[i] = fw::TaskMemString(buffer).release();
        }
        *newIds = names.release();
        *errors = codes.release();
        return S_OK;
    }

private:
    testserver::ProcessReference process_;
    std::wstring clientName_;
};

HRESULT CreateFakeServer(REFIID iid, void** out) { return fw::CreateInstance<FakeServer>(iid, out); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring clsidText;
    for (int i = 1; i < argc; ++i) {
        if (_wcsicmp(argv[i], L"-clsid") == 0 && i + 1 < argc) clsidText = argv[++i];
        if (_wcsicmp(argv[i], L"-Embedding") == 0 || _wcsicmp(argv[i], L"/Embedding") == 0) g_startedByCom = true;
    }
    LocalFree(argv);
    testserver::ServedClass served;
    if (clsidText.empty() || FAILED(CLSIDFromString(clsidText.c_str(), &served.clsid))) return 2;
    served.create = CreateFakeServer;
    served.readyEvent = kReadyEventPrefix + clsidText;
    return testserver::Serve(served);
}
