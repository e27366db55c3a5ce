#include "TimeLimitedCall.h"

#include "MtaServer.h"
#include "UniqueHandle.h"

#include <objbase.h>

#include <new>
#include <utility>

namespace {

// Shared by the waiting thread and the call's thread: whichever lets go
// last frees it, so an abandoned call never writes into freed memory.
struct CallState {
    std::shared_ptr<ServerJob> job;
    std::shared_ptr<MtaServer> server;
    fw::UniqueHandle done;
    HRESULT result = E_FAIL;
};

DWORD WINAPI CallThread(void* parameter) {
    std::unique_ptr<std::shared_ptr<CallState>> owned(static_cast<std::shared_ptr<CallState>*>(parameter));
    CallState& state = **owned;
    const HRESULT joined = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    state.result = SUCCEEDED(joined) ? state.job->Run(state.server->get()) : joined;
    SetEvent(state.done.get());
    // Let go inside the apartment: the last holder of the server releases
    // its proxy.
    owned.reset();
    if (SUCCEEDED(joined)) CoUninitialize();
    return 0;
}

}  // namespace

HRESULT WaitDispatchingCalls(HANDLE handle, DWORD limitMs) {
    DWORD signalled = 0;
    const HRESULT waited = CoWaitForMultipleHandles(0, limitMs, 1, &handle, &signalled);
    return waited == RPC_S_CALLPENDING ? kCallTimedOut : waited;
}

HRESULT RunWithTimeLimit(std::shared_ptr<MtaServer> server, DWORD limitMs, std::shared_ptr<ServerJob> job) {
    if (!job || !server) return E_POINTER;
    auto state = std::make_shared<CallState>();
    state->job = std::move(job);
    state->server = std::move(server);
    state->done.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!state->done) return HRESULT_FROM_WIN32(GetLastError());
    auto* forThread = new (std::nothrow) std::shared_ptr<CallState>(state);
    if (!forThread) return E_OUTOFMEMORY;
    fw::UniqueHandle thread(CreateThread(nullptr, 0, CallThread, forThread, 0, nullptr));
    if (!thread) {
        delete forThread;
        return HRESULT_FROM_WIN32(GetLastError());
    }
    const HRESULT waited = WaitDispatchingCalls(state->done.get(), limitMs);
    return FAILED(waited) ? waited : state->result;
}
