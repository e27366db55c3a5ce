#include "MtaServer.h"

#include "TimeLimitedCall.h"
#include "UniqueHandle.h"

#include <objbase.h>

#include <mutex>
#include <new>
#include <utility>

namespace {

DWORD WINAPI KeeperThread(void* ready) {
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    SetEvent(static_cast<HANDLE>(ready));
    if (FAILED(hr)) return 1;
    // Never leaves: the apartment lives as long as the process.
    for (;;) Sleep(INFINITE);
}

// Shared by the connecting thread and the unmarshalling thread: whichever
// lets go last frees it, and a proxy nobody took any more is released then,
// still inside the apartment.
struct Unmarshal {
    ~Unmarshal() {
        if (proxy) proxy->Release();
        if (stream) stream->Release();
    }
    IStream* stream = nullptr;
    IUnknown* proxy = nullptr;
    HRESULT result = E_FAIL;
    fw::UniqueHandle done;
};

DWORD WINAPI UnmarshalThread(void* parameter) {
    std::unique_ptr<std::shared_ptr<Unmarshal>> owned(static_cast<std::shared_ptr<Unmarshal>*>(parameter));
    Unmarshal& work = **owned;
    const HRESULT joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (SUCCEEDED(joined)) {
        work.result = CoGetInterfaceAndReleaseStream(std::exchange(work.stream, nullptr), IID_IUnknown,
                                                     reinterpret_cast<void**>(&work.proxy));
    } else {
        work.result = joined;
    }
    SetEvent(work.done.get());
    owned.reset();
    if (SUCCEEDED(joined)) CoUninitialize();
    return 0;
}

DWORD WINAPI ReleaseThread(void* proxy) {
    if (SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {
        static_cast<IUnknown*>(proxy)->Release();
        CoUninitialize();
    }
    return 0;
}

}  // namespace

HRESULT KeepMultithreadedApartment() {
    static std::once_flag once;
    static HRESULT started = E_FAIL;
    std::call_once(once, [] {
        fw::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!ready) return;
        fw::UniqueHandle thread(CreateThread(nullptr, 0, KeeperThread, ready.get(), 0, nullptr));
        if (!thread) return;
        WaitForSingleObject(ready.get(), INFINITE);
        started = S_OK;
    });
    return started;
}

std::shared_ptr<MtaServer> MtaServer::Make(IUnknown* server, DWORD limitMs, HRESULT* result) {
    HRESULT ignored;
    if (!result) result = &ignored;
    *result = server ? KeepMultithreadedApartment() : E_POINTER;
    if (FAILED(*result)) return nullptr;
    auto work = std::make_shared<Unmarshal>();
    work->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!work->done) {
        *result = HRESULT_FROM_WIN32(GetLastError());
        return nullptr;
    }
    *result = CoMarshalInterThreadInterfaceInStream(IID_IUnknown, server, &work->stream);
    if (FAILED(*result)) return nullptr;
    auto* forThread = new (std::nothrow) std::shared_ptr<Unmarshal>(work);
    fw::UniqueHandle thread(forThread ? CreateThread(nullptr, 0, UnmarshalThread, forThread, 0, nullptr) : nullptr);
    if (!thread) {
        *result = forThread ? HRESULT_FROM_WIN32(GetLastError()) : E_OUTOFMEMORY;
        delete forThread;
        CoReleaseMarshalData(work->stream);
        return nullptr;
    }
    *result = WaitDispatchingCalls(work->done.get(), limitMs);
    if (FAILED(*result)) return nullptr;
    *result = work->result;
    if (FAILED(*result) || !work->proxy) return nullptr;
    return std::make_shared<MtaServer>(std::exchange(work->proxy, nullptr));
}

void MtaServer::Release(std::shared_ptr<MtaServer> server, DWORD waitMs) {
    if (!server || server.use_count() != 1 || !server->proxy_) return;
    fw::UniqueHandle thread(CreateThread(nullptr, 0, ReleaseThread, server->proxy_, 0, nullptr));
    if (!thread) return;  // the destructor tries again
    server->proxy_ = nullptr;
    // A release still under way after waitMs finishes on its own thread.
    (void)WaitDispatchingCalls(thread.get(), waitMs);
}

MtaServer::~MtaServer() {
    if (!proxy_) return;
    // Released on a thread of the proxy's apartment; nobody waits for it,
    // so a frozen server holds up only that thread.
    HANDLE thread = CreateThread(nullptr, 0, ReleaseThread, proxy_, 0, nullptr);
    if (thread)
        CloseHandle(thread);
    else
        ReleaseThread(proxy_);
}
