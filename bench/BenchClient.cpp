#include "BenchClient.h"

#include "BenchTags.h"

namespace bench {

HRESULT CreateBenchServer(fw::ComPtr<IOPCServer>& server) {
    CLSID clsid;
    const HRESULT hr = CLSIDFromProgID(L"Velmora.VelmoraOPC.1", &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.put_void());
}

HRESULT AddBenchGroup(IOPCServer* server, const std::wstring& name, DWORD rate, OPCHANDLE clientGroup,
                      fw::ComPtr<IOPCItemMgt>& items, OPCHANDLE* serverGroup) {
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    const HRESULT hr = server->AddGroup(name.c_str(), TRUE, rate, clientGroup, nullptr, nullptr, 0x409, &handle,
                                        &revised, IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(items.put()));
    if (serverGroup) *serverGroup = handle;
    return hr;
}

BenchItemDefs::BenchItemDefs(int first, int count, bool active)
    : names_(static_cast<size_t>(count)), defs_(static_cast<size_t>(count)) {
    for (int i = 0; i < count; ++i) {
        names_[i] = BenchTagName((first + i) % kBenchTagCount);
        OPCITEMDEF& def = defs_[i];
        def.szAccessPath = const_cast<LPWSTR>(L"");
        def.szItemID = const_cast<LPWSTR>(names_[i].c_str());
        def.bActive = active ? TRUE : FALSE;
        def.hClient = static_cast<OPCHANDLE>(i + 1);
        def.vtRequestedDataType = VT_EMPTY;
    }
}

HRESULT AddBenchItems(IOPCItemMgt* items, BenchItemDefs& defs, std::vector<OPCHANDLE>* handles) {
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    HRESULT hr = items->AddItems(defs.Count(), defs.Data(), &results, &errors);
    if (handles) handles->clear();
    if (results && errors) {
        for (DWORD i = 0; i < defs.Count(); ++i) {
            if (errors[i] != S_OK) hr = E_FAIL;
            if (handles) handles->push_back(results[i].hServer);
            CoTaskMemFree(results[i].pBlob);
        }
    }
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    return hr;
}

HRESULT SetItemsActive(IOPCItemMgt* items, std::vector<OPCHANDLE>& handles, bool active) {
    HRESULT* errors = nullptr;
    const HRESULT hr =
        items->SetActiveState(static_cast<DWORD>(handles.size()), handles.data(), active ? TRUE : FALSE, &errors);
    CoTaskMemFree(errors);
    return hr;
}

std::vector<OPCHANDLE> SpreadHandles(const std::vector<OPCHANDLE>& handles, size_t n) {
    if (n >= handles.size()) return handles;
    std::vector<OPCHANDLE> spread;
    for (size_t i = 0; i < n; ++i) spread.push_back(handles[i * handles.size() / n]);
    return spread;
}

CLIPFORMAT DataTimeFormat() {
    static const auto format = static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATDATATIME"));
    return format;
}

}  // namespace bench
