// A server object as the multithreaded apartment sees it: a proxy of its
// own, made once while the server answers (when it is connected), used by
// the threads of every time-limited call (TimeLimitedCall), and released on
// a thread of that apartment, as a proxy must be.  The window's thread never
// marshals anything at the moment of a call, which would itself be a call
// to a server that may have frozen.
#pragma once

#include <unknwn.h>

#include <memory>

class MtaServer {
public:
    // Marshals `server`, a proxy of the calling thread, and unmarshals it on
    // a thread of the multithreaded apartment, waiting at most `limitMs`;
    // null (with *result) when that fails.
    static std::shared_ptr<MtaServer> Make(IUnknown* server, DWORD limitMs, HRESULT* result);

    explicit MtaServer(IUnknown* proxy) : proxy_(proxy) {}
    ~MtaServer();
    MtaServer(const MtaServer&) = delete;
    MtaServer& operator=(const MtaServer&) = delete;

    // Usable on any thread of the multithreaded apartment.
    IUnknown* get() const { return proxy_; }

    // Lets go of `server` and, when nothing else holds it (no call given up
    // on still runs with it), waits up to waitMs for its proxy to be
    // released, so that a server that ends with its last client has ended,
    // or is ending, when this returns.
    static void Release(std::shared_ptr<MtaServer> server, DWORD waitMs);

private:
    IUnknown* proxy_;
};

// Starts, once per process, a thread that keeps the multithreaded apartment
// alive, so that proxies made in it outlive the threads that made them.
HRESULT KeepMultithreadedApartment();
