// A driver request made on a worker thread.  A write waits in a modal
// message box until someone closes it; the test thread stays free to be that
// someone.
#pragma once

#include <windows.h>

#include <cstdint>

#include "TarnProtocol.h"
#include "UniqueHandle.h"

namespace drivertest {

class BlockingCall {
public:
    // Starts the call at once.  The request's buffers must outlive the object.
    BlockingCall(tarn::TarnMainProc entry, const tarn::TarnRequest& request);
    // Closes whatever box the worker still shows, then waits for it: a test
    // that failed half-way must not leave a thread inside the driver while
    // the fixture unloads it.
    ~BlockingCall();
    BlockingCall(const BlockingCall&) = delete;
    BlockingCall& operator=(const BlockingCall&) = delete;

    // True once the call has returned (waiting up to timeoutMs for it).
    bool WaitDone(DWORD timeoutMs);
    // The driver's answer; meaningful once WaitDone has returned true.
    int32_t result() const { return result_; }

private:
    static DWORD WINAPI Run(void* self);

    tarn::TarnMainProc entry_;
    tarn::TarnRequest request_;
    volatile LONG result_ = -1;
    fw::UniqueHandle thread_;
    DWORD threadId_ = 0;
};

}  // namespace drivertest
