#include "FakeServerProcess.h"

#include "FakeOpcData.h"
#include "Registration.h"
#include "WineTest.h"


FakeServerProcess::FakeServerProcess() { CoCreateGuid(&clsid_); }

FakeServerProcess::~FakeServerProcess() {
    server_.reset();
    if (process_) {
        if (WaitForSingleObject(process_, 5000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
        CloseHandle(process_);
    }
}

HRESULT FakeServerProcess::Start() {
    const std::string guid = testsupport::GuidText(clsid_);
    const std::wstring wideGuid(guid.begin(), guid.end());
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, (kReadyEventPrefix + wideGuid).c_str());
    if (!ready) return HRESULT_FROM_WIN32(GetLastError());

    std::string commandLine = "\"" + testsupport::BinPath("FakeOpcServer.exe") + "\" -clsid " + guid;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        const HRESULT hr = HRESULT_FROM_WIN32(GetLastError());
        CloseHandle(ready);
        return hr;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;

    HANDLE waits[] = {ready, process_};
    const DWORD w = WaitForMultipleObjects(2, waits, FALSE, 20000);
    CloseHandle(ready);
    if (w != WAIT_OBJECT_0) return E_FAIL;
    return CoCreateInstance(clsid_, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server_.put_void());
}

void FakeServerProcess::Kill() {
    if (!process_) return;
    TerminateProcess(process_, 9);
    WaitForSingleObject(process_, 5000);
}

bool FakeServerProcess::WaitForExit(DWORD ms) {
    return process_ && WaitForSingleObject(process_, ms) == WAIT_OBJECT_0;
}
