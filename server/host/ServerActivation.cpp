#include "ServerActivation.h"

#include "ClassFactory.h"
#include "ClientWatch.h"
#include "ComPtr.h"
#include "WindowClass.h"

namespace {

UINT CreateObjectMessage() {
    static const UINT message = RegisterWindowMessageW(L"Velmora.CreateServerObject");
    return message;
}

// Marshals the object for a client in another process.  The stub made now
// serves every later call on this interface, and Wine fixes its marshalling
// context here: marshalled for this process only, it would hand out global
// memory (data streams) as bare handles that mean nothing to the client.
HRESULT MarshalForClient(REFIID iid, IUnknown* object, IStream** out) {
    *out = nullptr;
    fw::ComPtr<IStream> stream;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.put());
    if (FAILED(hr)) return hr;
    hr = CoMarshalInterface(stream.get(), iid, object, MSHCTX_LOCAL, nullptr, MSHLFLAGS_NORMAL);
    if (FAILED(hr)) return hr;
    const LARGE_INTEGER start{};
    hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr)) {
        CoReleaseMarshalData(stream.get());
        return hr;
    }
    *out = stream.detach();
    return S_OK;
}

}  // namespace

struct ServerActivation::Request {
    DWORD clientPid = 0;
    const IID* iid = nullptr;
    HRESULT result = CO_E_SERVER_STOPPING;
    IStream* marshalled = nullptr;
};

UINT ServerActivation::ClientGoneMessage() {
    static const UINT message = RegisterWindowMessageW(L"Velmora.ClientGone");
    return message;
}

UINT ServerActivation::ResumeCloseMessage() {
    static const UINT message = RegisterWindowMessageW(L"Velmora.ResumeClose");
    return message;
}

ServerActivation::ServerActivation(ObjectFactory makeObject, ClientGoneHandler clientGone,
                                   ResumeCloseHandler resumeClose)
    : makeObject_(std::move(makeObject)), clientGone_(std::move(clientGone)), resumeClose_(std::move(resumeClose)) {}

ServerActivation::~ServerActivation() {
    Stop();
    if (hwnd()) DestroyWindow(hwnd());
}

bool ServerActivation::Start(REFCLSID clsid) {
    clsid_ = clsid;
    const wchar_t* windowClass = fw::WindowClass::Get(L"Activation", 0, 0, nullptr);
    if (!CreateWindowFor(0, windowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr)) return false;
    ready_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    stop_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready_ || !stop_) return false;
    thread_.reset(CreateThread(nullptr, 0, ActivationThread, this, 0, nullptr));
    if (!thread_) return false;
    // Registration is quick; the wait keeps the main thread's messages
    // flowing in case a creation request is already on its way.
    const HANDLE ready = ready_.get();
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &ready, FALSE, INFINITE, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (FAILED(registration_)) {
        Stop();
        return false;
    }
    return true;
}

void ServerActivation::Stop() {
    if (!thread_) return;
    SetEvent(stop_.get());
    // A creation request may be waiting on this thread meanwhile: it is
    // answered (and turned away) so that the activation thread can end.
    const HANDLE thread = thread_.get();
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (r == WAIT_OBJECT_0) break;
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    thread_.reset();
}

DWORD WINAPI ServerActivation::ActivationThread(void* param) {
    static_cast<ServerActivation*>(param)->RunActivation();
    return 0;
}

void ServerActivation::RunActivation() {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    DWORD cookie = 0;
    if (SUCCEEDED(init)) {
        // The class object answers on this thread's apartment.
        fw::ComPtr<IClassFactory> factory;
        factory.attach(new fw::ClassFactory([this](REFIID iid, void** out) { return CreateOnMainThread(iid, out); }));
        registration_ = CoRegisterClassObject(clsid_, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    } else {
        registration_ = init;
    }
    SetEvent(ready_.get());
    if (SUCCEEDED(registration_)) {
        WaitForSingleObject(stop_.get(), INFINITE);
        CoRevokeClassObject(cookie);
    }
    if (SUCCEEDED(init)) CoUninitialize();
}

HRESULT ServerActivation::CreateOnMainThread(REFIID iid, void** out) {
    Request request;
    request.clientPid = CallingProcessId();
    request.iid = &iid;
    if (WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0) return CO_E_SERVER_STOPPING;
    SendMessageW(hwnd(), CreateObjectMessage(), 0, reinterpret_cast<LPARAM>(&request));
    if (FAILED(request.result)) return request.result;
    // What the client receives is this apartment's proxy of the main
    // thread's object, which COM marshals on as a reference to the original.
    fw::ComPtr<IStream> stream;
    stream.attach(request.marshalled);
    return CoUnmarshalInterface(stream.get(), iid, out);
}

LRESULT ServerActivation::WindowProc(UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == CreateObjectMessage()) {
        auto* request = reinterpret_cast<Request*>(lp);
        if (WaitForSingleObject(stop_.get(), 0) == WAIT_OBJECT_0) return 0;  // stays CO_E_SERVER_STOPPING
        fw::ComPtr<IUnknown> object;
        request->result = makeObject_(request->clientPid, *request->iid, object.put());
        if (SUCCEEDED(request->result)) request->result = MarshalForClient(*request->iid, object.get(), &request->marshalled);
        return 0;
    }
    if (msg == ClientGoneMessage()) {
        clientGone_(static_cast<DWORD>(wp));
        return 0;
    }
    if (msg == ResumeCloseMessage()) {
        resumeClose_();
        return 0;
    }
    return DefProc(msg, wp, lp);
}
