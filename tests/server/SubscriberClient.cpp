// A client process for the tests that end a client abruptly or hand its
// object on.  The first argument names an event it signals once it is ready;
// a second picks what it does:
//   (none)          makes a server object with a subscribed group of the
//                   simulation's tags, keeps asynchronous refreshes coming and
//                   serves its sink until it is killed;
//   write           subscribes a group of Name0 and writes a value to it
//                   synchronously, which waits on the
//                   driver's box until the box is closed (the tests kill the
//                   client meanwhile);
//   marshal <file>  marshals its server object into <file> for another
//                   process, and ends.
#include "ComObject.h"
#include "ComPtr.h"
#include "OpcInterfaces.h"
#include "TaskMemResults.h"
#include "UniqueHandle.h"
#include "Variant.h"

#include <objbase.h>

#include <string>
#include <vector>

namespace {

class CountingSink final : public fw::ComObject<CountingSink, IAdviseSink> {
public:
    STDMETHODIMP_(void) OnDataChange(FORMATETC*, STGMEDIUM*) override { ++streams; }
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}
    long streams = 0;
};

void Pump(DWORD ms) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

bool SignalReady(const wchar_t* eventName) {
    const fw::UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName));
    return ready && SetEvent(ready.get());
}

HRESULT CreateServer(fw::ComPtr<IOPCServer>& server) {
    CLSID clsid;
    const HRESULT hr = CLSIDFromProgID(L"Velmora.VelmoraOPC.1", &clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.put_void());
}

// Adds an active group with these tags; their server handles and types come back.
HRESULT AddTags(IOPCServer* server, const wchar_t* groupName, DWORD rate, const std::vector<const wchar_t*>& tags,
                fw::ComPtr<IOPCItemMgt>& items, std::vector<OPCHANDLE>* handles = nullptr,
                std::vector<VARTYPE>* types = nullptr) {
    OPCHANDLE hGroup = 0;
    DWORD revised = 0;
    HRESULT hr = server->AddGroup(groupName, TRUE, rate, 1, nullptr, nullptr, 0, &hGroup, &revised, IID_IOPCItemMgt,
                                  reinterpret_cast<LPUNKNOWN*>(items.put()));
    if (FAILED(hr)) return hr;
    std::vector<OPCITEMDEF> defs(tags.size());
    for (size_t i = 0; i < tags.size(); ++i) {
        defs[i].szAccessPath = const_cast<LPWSTR>(L"");
        defs[i].szItemID = const_cast<LPWSTR>(tags[i]);
        defs[i].bActive = TRUE;
        defs[i].hClient = static_cast<OPCHANDLE>(i);
    }
    fw::TaskMemPtr<OPCITEMRESULT> results;
    fw::TaskMemPtr<HRESULT> errors;
    hr = items->AddItems(static_cast<DWORD>(defs.size()), defs.data(), fw::OutPtr(results), fw::OutPtr(errors));
    if (hr != S_OK) return FAILED(hr) ? hr : E_FAIL;
    for (size_t i = 0; i < defs.size(); ++i) {
        const fw::TaskMemPtr<BYTE> blob(results.get()[i].pBlob);
        if (handles) handles->push_back(results.get()[i].hServer);
        if (types) types->push_back(results.get()[i].vtCanonicalDataType);
    }
    return S_OK;
}

// Subscribes the group to a sink of this thread, which then counts its streams.
HRESULT AdviseCounting(IOPCItemMgt* items, fw::ComPtr<CountingSink>& sink, DWORD* connection) {
    fw::ComPtr<IDataObject> data;
    HRESULT hr = items->QueryInterface(IID_IDataObject, data.put_void());
    if (FAILED(hr)) return hr;
    sink.attach(new CountingSink);
    FORMATETC fe{static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATDATATIME")), nullptr,
                 DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return data->DAdvise(&fe, 0, sink.get(), connection);
}

int Subscribe(const wchar_t* eventName) {
    fw::ComPtr<IOPCServer> server;
    if (FAILED(CreateServer(server))) return 3;
    fw::ComPtr<IOPCItemMgt> items;
    if (FAILED(AddTags(server.get(), L"Doomed", 100, {L"Name0", L"Name1", L"Name2", L"Name3", L"Name4"}, items)))
        return 4;
    fw::ComPtr<CountingSink> sink;
    DWORD connection = 0;
    if (FAILED(AdviseCounting(items.get(), sink, &connection))) return 7;
    fw::ComPtr<IOPCAsyncIO> async;
    if (FAILED(items.query(async))) return 8;
    while (sink->streams == 0) Pump(10);

    if (!SignalReady(eventName)) return 9;
    for (;;) {
        DWORD transaction = 0;
        async->Refresh(connection, OPC_DS_DEVICE, &transaction);
        Pump(20);
    }
}

int WriteName0(const wchar_t* eventName) {
    fw::ComPtr<IOPCServer> server;
    if (FAILED(CreateServer(server))) return 3;
    fw::ComPtr<IOPCItemMgt> items;
    std::vector<OPCHANDLE> handles;
    std::vector<VARTYPE> types;
    if (FAILED(AddTags(server.get(), L"Writer", 100, {L"Name0"}, items, &handles, &types))) return 4;
    // Subscribed as well: while the box is up, the subscription's next
    // update waits for the driver the write holds.
    fw::ComPtr<CountingSink> sink;
    DWORD connection = 0;
    if (FAILED(AdviseCounting(items.get(), sink, &connection))) return 7;
    while (sink->streams == 0) Pump(10);
    fw::ComPtr<IOPCSyncIO> io;
    if (FAILED(items.query(io))) return 5;
    // A value of the tag's own type, so that the driver takes it.
    fw::Variant value;
    value.put()->vt = VT_I4;
    value.in()->lVal = 7;
    if (FAILED(VariantChangeType(value.in(), value.in(), 0, types[0]))) return 6;

    if (!SignalReady(eventName)) return 9;
    fw::TaskMemPtr<HRESULT> errors;
    return SUCCEEDED(io->Write(1, handles.data(), value.in(), fw::OutPtr(errors))) ? 0 : 10;
}

int MarshalServer(const wchar_t* eventName, const wchar_t* path) {
    fw::ComPtr<IOPCServer> server;
    if (FAILED(CreateServer(server))) return 3;
    fw::ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return 4;
    if (FAILED(CoMarshalInterface(stream.get(), IID_IOPCServer, server.get(), MSHCTX_LOCAL, nullptr,
                                  MSHLFLAGS_NORMAL)))
        return 5;
    STATSTG stat{};
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME))) return 6;
    std::vector<BYTE> bytes(static_cast<size_t>(stat.cbSize.QuadPart));
    const LARGE_INTEGER start{};
    ULONG read = 0;
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
        FAILED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) || read != bytes.size())
        return 7;

    const HANDLE created = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    fw::UniqueHandle file(created == INVALID_HANDLE_VALUE ? nullptr : created);
    DWORD written = 0;
    if (!file || !WriteFile(file.get(), bytes.data(), read, &written, nullptr) || written != read) return 8;
    file.reset();
    return SignalReady(eventName) ? 0 : 9;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 1;
    const std::wstring mode = argc > 2 ? argv[2] : L"";
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int rc = 1;
    if (mode.empty())
        rc = Subscribe(argv[1]);
    else if (mode == L"write")
        rc = WriteName0(argv[1]);
    else if (mode == L"marshal" && argc > 3)
        rc = MarshalServer(argv[1], argv[3]);
    CoUninitialize();
    return rc;
}
