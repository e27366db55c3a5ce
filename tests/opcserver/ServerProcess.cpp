#include "ServerProcess.h"

#include "ComPtr.h"
#include "UniqueHandle.h"

namespace testserver {
namespace {

constexpr UINT kGuardMs = 120000;

DWORD g_servingThread = 0;

void SignalReady(const std::wstring& name) {
    if (name.empty()) return;
    if (const fw::UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, name.c_str())); ready)
        SetEvent(ready.get());
}

void RunMessageLoop() {
    const UINT_PTR guard = SetTimer(nullptr, 0, kGuardMs, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.wParam == guard && !msg.lParam) break;
        DispatchMessageW(&msg);
    }
}

}  // namespace

ProcessReference::ProcessReference() : held_(g_servingThread != 0) {
    if (held_) CoAddRefServerProcess();
}

ProcessReference::~ProcessReference() {
    if (held_ && CoReleaseServerProcess() == 0) PostThreadMessageW(g_servingThread, WM_QUIT, 0, 0);
}

int Serve(const ServedClass& served) {
    g_servingThread = GetCurrentThreadId();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return kComFailed;
    int exitCode = kServed;
    {
        fw::ComPtr<IClassFactory> factory;
        factory.attach(new fw::ClassFactory(served.create));
        DWORD cookie = 0;
        if (SUCCEEDED(CoRegisterClassObject(served.clsid, factory.get(), CLSCTX_LOCAL_SERVER, served.registration,
                                            &cookie))) {
            SignalReady(served.readyEvent);
            RunMessageLoop();
            CoRevokeClassObject(cookie);
        } else {
            exitCode = kClassNotRegistered;
        }
    }
    CoUninitialize();
    return exitCode;
}

}  // namespace testserver
