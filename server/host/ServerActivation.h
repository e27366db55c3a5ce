// Where clients create server objects.  The class factory lives in the
// multithreaded apartment, on a thread of its own: only there does the RPC
// runtime tell a call's client process, which each new server object is
// given so that it can close when that process ends.  Documents and their
// windows belong to the main thread, which makes each object on request and
// hands it back marshalled.
#pragma once

#include "UniqueHandle.h"
#include "Window.h"

#include <objbase.h>

#include <functional>

class ServerActivation final : public fw::Window {
public:
    // Makes a server object for a client process (0 = unknown) on the main
    // thread and answers its QueryInterface for iid.
    using ObjectFactory = std::function<HRESULT(DWORD clientPid, REFIID iid, IUnknown** out)>;
    // Runs on the main thread when a watched client process has ended.
    using ClientGoneHandler = std::function<void(DWORD clientPid)>;

    // Runs on the main thread when a server object's deferred close may go on.
    using ResumeCloseHandler = std::function<void()>;

    ServerActivation(ObjectFactory makeObject, ClientGoneHandler clientGone, ResumeCloseHandler resumeClose);
    ~ServerActivation() override;

    // Creates the main thread's request window and registers the class
    // object from the activation thread.  Call on the main thread.
    bool Start(REFCLSID clsid);
    // Revokes the class object and ends the activation thread.
    void Stop();

    // Window and message that report a client's end (see ClientWatch).
    HWND NotifyWindow() const { return hwnd(); }
    static UINT ClientGoneMessage();
    // Posted to NotifyWindow() from any thread (see ServerContext).
    static UINT ResumeCloseMessage();

protected:
    LRESULT WindowProc(UINT msg, WPARAM wp, LPARAM lp) override;

private:
    struct Request;
    static DWORD WINAPI ActivationThread(void* param);
    void RunActivation();
    // Called on the activation thread for each CreateInstance.
    HRESULT CreateOnMainThread(REFIID iid, void** out);

    ObjectFactory makeObject_;
    ClientGoneHandler clientGone_;
    ResumeCloseHandler resumeClose_;
    CLSID clsid_{};
    fw::UniqueHandle thread_;
    fw::UniqueHandle ready_;
    fw::UniqueHandle stop_;
    HRESULT registration_ = E_FAIL;
};
