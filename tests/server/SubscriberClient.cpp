// A client process for the tests that end a client abruptly: it makes a
// server object with a subscribed group of the simulation's tags, keeps
// asynchronous refreshes coming, signals the event named on its command
// line, and serves its sink until it is killed.
#include "ComObject.h"
#include "ComPtr.h"
#include "OpcInterfaces.h"
#include "UniqueHandle.h"

#include <objbase.h>

#include <string>

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

int Run(const wchar_t* eventName) {
    CLSID clsid;
    if (FAILED(CLSIDFromProgID(L"Velmora.VelmoraOPC.1", &clsid))) return 2;
    fw::ComPtr<IOPCServer> server;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.put_void()))) return 3;
    OPCHANDLE hGroup = 0;
    DWORD revised = 0;
    fw::ComPtr<IOPCItemMgt> items;
    if (FAILED(server->AddGroup(L"Doomed", TRUE, 100, 1, nullptr, nullptr, 0, &hGroup, &revised, IID_IOPCItemMgt,
                                reinterpret_cast<LPUNKNOWN*>(items.put()))))
        return 4;
    OPCITEMDEF defs[5] = {};
    const wchar_t* names[5] = {L"Name0", L"Name1", L"Name2", L"Name3", L"Name4"};
    for (int i = 0; i < 5; ++i) {
        defs[i].szAccessPath = const_cast<LPWSTR>(L"");
        defs[i].szItemID = const_cast<LPWSTR>(names[i]);
        defs[i].bActive = TRUE;
        defs[i].hClient = static_cast<OPCHANDLE>(i);
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    if (FAILED(items->AddItems(5, defs, &results, &errors))) return 5;
    CoTaskMemFree(results);
    CoTaskMemFree(errors);

    fw::ComPtr<IDataObject> data;
    if (FAILED(items.query(data))) return 6;
    auto* sink = new CountingSink;
    fw::ComPtr<IAdviseSink> sinkRef;
    sinkRef.attach(sink);
    FORMATETC fe{static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATDATATIME")), nullptr,
                 DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD connection = 0;
    if (FAILED(data->DAdvise(&fe, 0, sink, &connection))) return 7;
    fw::ComPtr<IOPCAsyncIO> async;
    if (FAILED(items.query(async))) return 8;
    while (sink->streams == 0) Pump(10);

    {
        const fw::UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName));
        if (!ready) return 9;
        SetEvent(ready.get());
    }
    for (;;) {
        DWORD transaction = 0;
        async->Refresh(connection, OPC_DS_DEVICE, &transaction);
        Pump(20);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) return 1;
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    const int rc = Run(argv[1]);
    CoUninitialize();
    return rc;
}
