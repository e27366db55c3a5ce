// A small out-of-process OPC server used only to prove the proxy/stub DLL:
// every method returns data that the client side can check field by field.
//
//   FakeOpcServer.exe -clsid {GUID} [-Embedding]
//
// It registers its class object for the given CLSID (a fresh one per test run,
// so a killed instance never poisons the class for another test), signals the
// event "FakeOpcServerReady<GUID>" when it serves, and ends when its last
// server object is released, or after two minutes at the latest.
#include "FakeOpcData.h"

#include "ClassFactory.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "OpcInterfaces.h"
#include "TaskMem.h"

#include <cstdio>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

namespace {

DWORD g_mainThread = 0;
bool g_startedByCom = false;

void QuitWhenUnused() {
    if (CoReleaseServerProcess() == 0) PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
}

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

// IEnumString over a fixed list of names.
class FakeStringEnum final : public fw::ComObject<FakeStringEnum, IEnumString> {
public:
    explicit FakeStringEnum(std::vector<std::wstring> names, ULONG pos = 0)
        : names_(std::move(names)), pos_(pos) {}

    STDMETHODIMP Next(ULONG celt, LPOLESTR* out, ULONG* fetched) override {
        if (!out || (celt > 1 && !fetched)) return E_INVALIDARG;
        ULONG n = 0;
        for (; n < celt && pos_ < names_.size(); ++n, ++pos_) {
            out[n] = fw::TaskMemString(names_[pos_].c_str()).release();
            if (!out[n]) {
                while (n) CoTaskMemFree(out[--n]);
                return E_OUTOFMEMORY;
            }
        }
        if (fetched) *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG celt) override {
        const ULONG left = static_cast<ULONG>(names_.size()) - pos_;
        pos_ += celt < left ? celt : left;
        return celt <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        pos_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumString** out) override {
        if (!out) return E_POINTER;
        return fw::CreateInstance<FakeStringEnum>(IID_IEnumString, reinterpret_cast<void**>(out), names_, pos_);
    }

private:
    std::vector<std::wstring> names_;
    ULONG pos_;
};

struct AddedItem {
    const FakeItem* item;
    OPCHANDLE hServer;
    OPCHANDLE hClient;
    BOOL active;
};

class FakeItemEnum final : public fw::ComObject<FakeItemEnum, IEnumOPCItemAttributes> {
public:
    explicit FakeItemEnum(std::vector<AddedItem> items, ULONG pos = 0) : items_(std::move(items)), pos_(pos) {}

    STDMETHODIMP Next(ULONG celt, OPCITEMATTRIBUTES** out, ULONG* fetched) override {
        if (!out || !fetched) return E_INVALIDARG;
        *out = nullptr;
        *fetched = 0;
        const ULONG left = static_cast<ULONG>(items_.size()) - pos_;
        const ULONG n = celt < left ? celt : left;
        auto array = fw::TaskMemArray<OPCITEMATTRIBUTES>(n);
        if (!array) return E_OUTOFMEMORY;
        for (ULONG i = 0; i < n; ++i) {
            const AddedItem& added = items_[pos_ + i];
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
        pos_ += n;
        *out = array.release();
        *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG celt) override {
        const ULONG left = static_cast<ULONG>(items_.size()) - pos_;
        pos_ += celt < left ? celt : left;
        return celt <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        pos_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumOPCItemAttributes** out) override {
        if (!out) return E_POINTER;
        return fw::CreateInstance<FakeItemEnum>(IID_IEnumOPCItemAttributes, reinterpret_cast<void**>(out),
                                                items_, pos_);
    }

private:
    std::vector<AddedItem> items_;
    ULONG pos_;
};

class FakeGroup final : public fw::ComObject<FakeGroup, IOPCGroupStateMgt, IOPCItemMgt, IOPCSyncIO> {
public:
    FakeGroup(const wchar_t* name, OPCHANDLE hClientGroup, DWORD rate)
        : name_(name ? name : L""), hClientGroup_(hClientGroup), rate_(rate) {}

    // IOPCGroupStateMgt
    STDMETHODIMP GetState(DWORD* rate, BOOL* active, LPWSTR* name, LONG* bias, FLOAT* deadband, DWORD* lcid,
                          OPCHANDLE* hClient, OPCHANDLE* hServer) override {
        if (!rate || !active || !name || !bias || !deadband || !lcid || !hClient || !hServer) return E_INVALIDARG;
        *name = fw::TaskMemString(name_.c_str()).release();
        if (!*name) return E_OUTOFMEMORY;
        *rate = rate_;
        *active = TRUE;
        *bias = -60;
        *deadband = 2.5f;
        *lcid = 0x419;
        *hClient = hClientGroup_;
        *hServer = kFakeGroupHandle;
        return S_OK;
    }
    STDMETHODIMP SetState(DWORD* requested, DWORD* revised, BOOL*, LONG*, FLOAT*, DWORD*, OPCHANDLE* hClient) override {
        if (!revised) return E_INVALIDARG;
        if (requested) rate_ = *requested < 100 ? 100 : *requested;
        if (hClient) hClientGroup_ = *hClient;
        *revised = rate_;
        return S_OK;
    }
    STDMETHODIMP SetName(LPCWSTR name) override {
        if (!name) return E_INVALIDARG;
        name_ = name;
        return S_OK;
    }
    STDMETHODIMP CloneGroup(LPCWSTR, REFIID, LPUNKNOWN* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    // IOPCItemMgt
    STDMETHODIMP AddItems(DWORD count, OPCITEMDEF* defs, OPCITEMRESULT** results, HRESULT** errors) override {
        return Resolve(count, defs, true, results, errors);
    }
    STDMETHODIMP ValidateItems(DWORD count, OPCITEMDEF* defs, BOOL, OPCITEMRESULT** results,
                               HRESULT** errors) override {
        return Resolve(count, defs, false, results, errors);
    }
    STDMETHODIMP RemoveItems(DWORD count, OPCHANDLE* handles, HRESULT** errors) override {
        return ForEachHandle(count, handles, errors, [this](size_t index) { items_.erase(items_.begin() + index); });
    }
    STDMETHODIMP SetActiveState(DWORD count, OPCHANDLE* handles, BOOL active, HRESULT** errors) override {
        return ForEachHandle(count, handles, errors, [&](size_t index) { items_[index].active = active; });
    }
    STDMETHODIMP SetClientHandles(DWORD count, OPCHANDLE* handles, OPCHANDLE* clients, HRESULT** errors) override {
        if (!clients) return E_INVALIDARG;
        DWORD i = 0;
        return ForEachHandle(count, handles, errors, [&](size_t index) { items_[index].hClient = clients[i++]; });
    }
    STDMETHODIMP SetDatatypes(DWORD count, OPCHANDLE* handles, VARTYPE*, HRESULT** errors) override {
        return ForEachHandle(count, handles, errors, [](size_t) {});
    }
    STDMETHODIMP CreateEnumerator(REFIID iid, LPUNKNOWN* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (items_.empty()) return S_FALSE;
        return fw::CreateInstance<FakeItemEnum>(iid, reinterpret_cast<void**>(out), items_);
    }

    // IOPCSyncIO
    STDMETHODIMP Read(OPCDATASOURCE source, DWORD count, OPCHANDLE* handles, OPCITEMSTATE** values,
                      HRESULT** errors) override {
        if (!values || !errors) return E_INVALIDARG;
        *values = nullptr;
        *errors = nullptr;
        if (count == 0 || !handles) return E_INVALIDARG;
        auto state = fw::TaskMemArray<OPCITEMSTATE>(count);
        auto results = fw::TaskMemArray<HRESULT>(count);
        if (!state || !results) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            OPCITEMSTATE& s = state.get()[i];
            const AddedItem* added = Find(handles[i]);
            if (!added) {
                results.get()[i] = OPC_E_INVALIDHANDLE;
                overall = S_FALSE;
                continue;
            }
            s.hClient = added->hClient;
            s.ftTimeStamp.dwLowDateTime = added->hServer;
            s.ftTimeStamp.dwHighDateTime = static_cast<DWORD>(source);
            s.wQuality = OPC_QUALITY_GOOD;
            results.get()[i] = ValueOf(*added->item, &s.vDataValue);
            if (written_.count(added->hServer)) VariantCopy(&s.vDataValue, &written_.at(added->hServer));
        }
        *values = state.release();
        *errors = results.release();
        return overall;
    }
    STDMETHODIMP Write(DWORD count, OPCHANDLE* handles, VARIANT* values, HRESULT** errors) override {
        if (!errors) return E_INVALIDARG;
        *errors = nullptr;
        if (count == 0 || !handles || !values) return E_INVALIDARG;
        auto results = fw::TaskMemArray<HRESULT>(count);
        if (!results) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            const AddedItem* added = Find(handles[i]);
            HRESULT hr = OPC_E_INVALIDHANDLE;
            if (added) {
                VARIANT converted;
                VariantInit(&converted);
                hr = VariantChangeType(&converted, &values[i], 0, added->item->type);
                if (SUCCEEDED(hr)) {
                    VariantClear(&written_[added->hServer]);
                    written_[added->hServer] = converted;
                } else {
                    hr = OPC_E_BADTYPE;
                }
            }
            results.get()[i] = hr;
            if (FAILED(hr)) overall = S_FALSE;
        }
        *errors = results.release();
        return overall;
    }

    ~FakeGroup() override {
        for (auto& entry : written_) VariantClear(&entry.second);
    }

private:
    const AddedItem* Find(OPCHANDLE h) const {
        for (const AddedItem& a : items_)
            if (a.hServer == h) return &a;
        return nullptr;
    }

    HRESULT Resolve(DWORD count, OPCITEMDEF* defs, bool add, OPCITEMRESULT** results, HRESULT** errors) {
        if (!results || !errors) return E_INVALIDARG;
        *results = nullptr;
        *errors = nullptr;
        if (count == 0 || !defs) return E_INVALIDARG;
        auto out = fw::TaskMemArray<OPCITEMRESULT>(count);
        auto codes = fw::TaskMemArray<HRESULT>(count);
        if (!out || !codes) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            const FakeItem* item = FindItem(defs[i].szItemID);
            if (!item) {
                codes.get()[i] = OPC_E_UNKNOWNITEMID;
                overall = S_FALSE;
                continue;
            }
            OPCITEMRESULT& r = out.get()[i];
            r.hServer = add ? nextHandle_++ : 0;
            r.vtCanonicalDataType = item->type;
            r.dwAccessRights = OPC_READABLE | OPC_WRITEABLE;
            // The blob comes back reversed, which proves both directions.
            if (defs[i].dwBlobSize && defs[i].pBlob) {
                r.pBlob = static_cast<BYTE*>(CoTaskMemAlloc(defs[i].dwBlobSize));
                if (r.pBlob) {
                    r.dwBlobSize = defs[i].dwBlobSize;
                    for (DWORD b = 0; b < r.dwBlobSize; ++b) r.pBlob[b] = defs[i].pBlob[r.dwBlobSize - 1 - b];
                }
            }
            if (add) items_.push_back({item, r.hServer, defs[i].hClient, defs[i].bActive});
            codes.get()[i] = S_OK;
        }
        *results = out.release();
        *errors = codes.release();
        return overall;
    }

    template <class Action>
    HRESULT ForEachHandle(DWORD count, const OPCHANDLE* handles, HRESULT** errors, Action action) {
        if (!errors) return E_INVALIDARG;
        *errors = nullptr;
        if (count == 0 || !handles) return E_INVALIDARG;
        auto codes = fw::TaskMemArray<HRESULT>(count);
        if (!codes) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            size_t index = 0;
            while (index < items_.size() && items_[index].hServer != handles[i]) ++index;
            if (index == items_.size()) {
                codes.get()[i] = OPC_E_INVALIDHANDLE;
                overall = S_FALSE;
            } else {
                action(index);
            }
        }
        *errors = codes.release();
        return overall;
    }

    std::wstring name_;
    OPCHANDLE hClientGroup_;
    DWORD rate_;
    OPCHANDLE nextHandle_ = 1;
    std::vector<AddedItem> items_;
    std::map<OPCHANDLE, VARIANT> written_;
};

class FakeServer final
    : public fw::ComObject<FakeServer, IOPCServer, IOPCCommon, IOPCBrowseServerAddressSpace, IOPCItemProperties> {
public:
    FakeServer() { CoAddRefServerProcess(); }
    ~FakeServer() override { QuitWhenUnused(); }

    // IOPCServer
    STDMETHODIMP AddGroup(LPCWSTR name, BOOL, DWORD rate, OPCHANDLE hClientGroup, LONG*, FLOAT*, DWORD,
                          OPCHANDLE* hServerGroup, DWORD* revisedRate, REFIID iid, LPUNKNOWN* out) override {
        if (!hServerGroup || !revisedRate || !out) return E_INVALIDARG;
        *out = nullptr;
        const DWORD revised = rate < 100 ? 100 : rate;
        const HRESULT hr = fw::CreateInstance<FakeGroup>(iid, reinterpret_cast<void**>(out), name, hClientGroup, revised);
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
    STDMETHODIMP GetGroupByName(LPCWSTR, REFIID, LPUNKNOWN* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
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
    STDMETHODIMP CreateGroupEnumerator(OPCENUMSCOPE, REFIID, LPUNKNOWN* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    // IOPCCommon
    STDMETHODIMP SetLocaleID(LCID lcid) override {
        locale_ = lcid;
        return S_OK;
    }
    STDMETHODIMP GetLocaleID(LCID* lcid) override {
        if (!lcid) return E_INVALIDARG;
        *lcid = locale_;
        return S_OK;
    }
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
        const bool any = !names.empty();
        const HRESULT hr = fw::CreateInstance<FakeStringEnum>(IID_IEnumString, reinterpret_cast<void**>(out), names);
        return FAILED(hr) ? hr : any ? S_OK : S_FALSE;
    }
    STDMETHODIMP GetItemID(LPWSTR dataId, LPWSTR* itemId) override {
        if (!dataId || !itemId) return E_INVALIDARG;
        *itemId = fw::TaskMemString((std::wstring(kItemIdPrefix) + dataId).c_str()).release();
        return *itemId ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP BrowseAccessPaths(LPCWSTR, LPENUMSTRING* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

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
    LCID locale_ = 0x409;
    std::wstring clientName_;
};

HRESULT CreateFakeServer(REFIID iid, void** out) { return fw::CreateInstance<FakeServer>(iid, out); }

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    CLSID clsid = GUID_NULL;
    std::wstring clsidText;
    for (int i = 1; i < argc; ++i) {
        if (_wcsicmp(argv[i], L"-clsid") == 0 && i + 1 < argc) clsidText = argv[++i];
        if (_wcsicmp(argv[i], L"-Embedding") == 0 || _wcsicmp(argv[i], L"/Embedding") == 0) g_startedByCom = true;
    }
    LocalFree(argv);
    if (clsidText.empty() || FAILED(CLSIDFromString(clsidText.c_str(), &clsid))) return 2;

    g_mainThread = GetCurrentThreadId();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;

    fw::ComPtr<IClassFactory> factory;
    factory.attach(new fw::ClassFactory(CreateFakeServer));
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(clsid, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie))) {
        CoUninitialize();
        return 4;
    }
    const std::wstring readyName = kReadyEventPrefix + clsidText;
    if (HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName.c_str())) {
        SetEvent(ready);
        CloseHandle(ready);
    }

    // Never outlive a test run that forgot us.
    SetTimer(nullptr, 0, 120000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER) break;
        DispatchMessageW(&msg);
    }
    CoRevokeClassObject(cookie);
    factory.reset();
    CoUninitialize();
    return 0;
}
