// Calls to a server that a user waits for, with a time limit.  A server
// whose process is frozen never answers, and a COM call from the window's
// thread cannot be abandoned safely once it has left.  So the call runs on a
// thread of its own, in the multithreaded apartment, on that apartment's
// proxy of the server object (MtaServer, made while the server still
// answered), and the waiting thread gives up after the limit.  While it waits, the waiting thread goes on dispatching
// incoming COM calls (data changes, shutdown requests) and painting.  An
// abandoned call finishes on its own thread whenever the server answers, or
// fails when it dies; it writes only into its own job.
#pragma once

#include <windows.h>

#include <memory>

class MtaServer;

// The limit of a call a user waits for.
constexpr DWORD kUserCallLimitMs = 10000;

// The result of a call the server did not answer within its limit.
constexpr HRESULT kCallTimedOut = HRESULT_FROM_WIN32(ERROR_TIMEOUT);

// What a time-limited call does with the server object; it keeps its own
// results, which the caller reads only after a result other than
// kCallTimedOut.
class ServerJob {
public:
    virtual ~ServerJob() = default;
    // On the call's own thread; `server` is a proxy for that thread.
    virtual HRESULT Run(IUnknown* server) = 0;
};

// Waits up to limitMs for `handle` while this thread's apartment goes on
// dispatching incoming COM calls and paint; input waits, so no other
// command starts meanwhile.  S_OK once signalled, kCallTimedOut after the
// limit.
HRESULT WaitDispatchingCalls(HANDLE handle, DWORD limitMs);

// Runs `job` with the server object, and waits at most `limitMs` for it.
// The job's result, or kCallTimedOut (E_POINTER without a server).
HRESULT RunWithTimeLimit(std::shared_ptr<MtaServer> server, DWORD limitMs, std::shared_ptr<ServerJob> job);
