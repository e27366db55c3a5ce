// The server's threads per group, per subscription and per asynchronous
// request.  Each thread's stack is reserved whole when it starts, at the
// program's default unless told otherwise: with the linker's 2 MB a 32-bit
// process serving a thousand subscribed groups would need 4 GB of address
// space for stacks alone.  Pages are committed only as a thread uses them, so a small
// reservation costs nothing but the headroom.
#pragma once

#include <windows.h>
#include <objbase.h>

// Group threads only wait for their quit message.
constexpr SIZE_T kGroupThreadStack = 64 * 1024;
// Update and transaction threads call the driver and the client's sink.
constexpr SIZE_T kWorkerThreadStack = 256 * 1024;

// A worker thread's place in the multithreaded apartment, for its life.
class MtaScope {
public:
    MtaScope() : init_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~MtaScope() {
        if (SUCCEEDED(init_)) CoUninitialize();
    }
    MtaScope(const MtaScope&) = delete;
    MtaScope& operator=(const MtaScope&) = delete;

private:
    HRESULT init_;
};

inline HANDLE CreateWorkerThread(SIZE_T stackReservation, LPTHREAD_START_ROUTINE start, void* param, DWORD flags,
                                 DWORD* threadId) {
    return CreateThread(nullptr, stackReservation, start, param, flags | STACK_SIZE_PARAM_IS_A_RESERVATION, threadId);
}
