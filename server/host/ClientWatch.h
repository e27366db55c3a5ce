// Learns that a client process has ended.  COM under Wine never runs down a
// dead client's references (Windows does, minutes later), so a server
// object would outlive its client with all its groups and threads.  The
// watch waits on the client's process and posts one message to a window of
// the main thread when it ends.
#pragma once

#include "UniqueHandle.h"

#include <windows.h>

class ClientWatch {
public:
    ClientWatch() = default;
    ~ClientWatch() { Stop(); }
    ClientWatch(const ClientWatch&) = delete;
    ClientWatch& operator=(const ClientWatch&) = delete;

    // Starts waiting on process `pid`; false when it cannot be opened (it has
    // ended already, or we may not wait on it).  On its end, `message` is
    // posted to `notify` with the process id as wParam.
    bool Start(DWORD pid, HWND notify, UINT message);
    // Withdraws the wait; returns once no notification is under way.
    void Stop();
    DWORD ProcessId() const { return pid_; }

private:
    static void CALLBACK Ended(void* param, BOOLEAN timedOut);

    DWORD pid_ = 0;
    HWND notify_ = nullptr;
    UINT message_ = 0;
    fw::UniqueHandle process_;
    HANDLE wait_ = nullptr;
};

// Process id of the caller of the COM call being served on this thread, 0
// when the runtime cannot say (calls served on a single-threaded
// apartment's thread, or in-process calls).
DWORD CallingProcessId();
