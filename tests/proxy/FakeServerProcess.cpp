#include "FakeServerProcess.h"

#include "FakeOpcData.h"
#include "Registration.h"
#include "WineTest.h"


FakeServerProcess::FakeServerProcess() { CoCreateGuid(&clsid_); }

FakeServerProcess::~FakeServerProcess() {
    server_.reset();
    if (process_ && WaitForSingleObject(process_.get(), 5000) != WAIT_OBJECT_0) TerminateProcess(process_.get(), 1);
}

HRESULT FakeServerProcess::Start() {
    const std::string guid = testsupport::GuidText(clsid_);
    const std::wstring wideGuid(guid.begin(), guid.end());
    fw::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, (kReadyEventPrefix + wideGuid).c_str()));
    if (!ready) return HRESULT_FROM_WIN32(GetLastError());

    std::string commandLine = "\"" + testsupport::BinPath("FakeOpcServer.exe") + "\" -clsid " + guid;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return HRESULT_FROM_WIN32(GetLastError());
    process_.reset(pi.hProcess);
    fw::UniqueHandle thread(pi.hThread);
    thread.reset();  // only the process is waited on

    HANDLE waits[] = {ready.get(), process_.get()};
    const DWORD w = WaitForMultipleObjects(2, waits, FALSE, 20000);
    ready.reset();
    if (w != WAIT_OBJECT_0) return E_FAIL;
    return CoCreateInstance(clsid_, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server_.put_void());
}

void FakeServerProcess::Kill() {
    if (!process_) return;
    TerminateProcess(process_.get(), 9);
    WaitForSingleObject(process_.get(), 5000);
}

bool FakeServerProcess::WaitForExit(DWORD ms) {
    return process_ && WaitForSingleObject(process_.get(), ms) == WAIT_OBJECT_0;
}
