// Starts FakeOpcServer.exe under a fresh class ID and connects to it.
#pragma once

#include "ComPtr.h"
#include "OpcInterfaces.h"
#include "UniqueHandle.h"

#include <string>

class FakeServerProcess {
public:
    FakeServerProcess();
    ~FakeServerProcess();
    FakeServerProcess(const FakeServerProcess&) = delete;
    FakeServerProcess& operator=(const FakeServerProcess&) = delete;

    // Launches the server and creates one server object; S_OK or the failure.
    HRESULT Start();
    IOPCServer* server() const { return server_.get(); }
    HANDLE process() const { return process_.get(); }
    const CLSID& clsid() const { return clsid_; }
    void Kill();
    // Waits for the server to end by itself; false when it is still running.
    bool WaitForExit(DWORD ms);
    void ReleaseServer() { server_.reset(); }

private:
    CLSID clsid_{};
    fw::UniqueHandle process_;
    fw::ComPtr<IOPCServer> server_;
};
