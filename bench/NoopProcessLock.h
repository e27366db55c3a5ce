// Ties the no-op server's process to its objects: it ends with the last one.
#pragma once

#include <objbase.h>

namespace bench {

// The thread that runs the no-op server's message loop.
inline DWORD g_noopMainThread = 0;

class NoopProcessLock {
public:
    NoopProcessLock() { CoAddRefServerProcess(); }
    ~NoopProcessLock() {
        if (CoReleaseServerProcess() == 0) PostThreadMessageW(g_noopMainThread, WM_QUIT, 0, 0);
    }
    NoopProcessLock(const NoopProcessLock&) = delete;
    NoopProcessLock& operator=(const NoopProcessLock&) = delete;
};

}  // namespace bench
