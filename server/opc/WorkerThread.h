// The server's threads per group, per subscription and per asynchronous
// request.  Each thread's stack is reserved whole when it starts, at the
// program's default unless told otherwise: with the linker's 2 MB a 32-bit
// process serving a thousand subscribed groups would need 4 GB of address
// space for stacks alone.  Pages are committed only as a thread uses them, so a small
// reservation costs nothing but the headroom.
#pragma once

#include <windows.h>

// Group threads only wait for their quit message.
constexpr SIZE_T kGroupThreadStack = 64 * 1024;
// Update and transaction threads call the driver and the client's sink.
constexpr SIZE_T kWorkerThreadStack = 256 * 1024;

inline HANDLE CreateWorkerThread(SIZE_T stackReservation, LPTHREAD_START_ROUTINE start, void* param, DWORD flags,
                                 DWORD* threadId) {
    return CreateThread(nullptr, stackReservation, start, param, flags | STACK_SIZE_PARAM_IS_A_RESERVATION, threadId);
}
