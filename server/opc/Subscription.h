// What every subscription of a group shares, whatever the client's sink:
// the sink, the update thread that runs the subscription's cycles, its place
// in the server object's budget and its bound on pending requests.
//
// The group's list and the update thread each hold a reference, and so does
// every asynchronous request made through the subscription.  Ending the
// subscription only signals: the update thread finishes its cycle (or the
// client's callback it is in) and lets go, and the last reference, on
// whatever thread, deletes the object.  Nothing here ever waits for a
// thread (see ServerContext).
#pragma once

#include "ComPtr.h"
#include "ServerBudget.h"
#include "ServerContext.h"
#include "UniqueHandle.h"

#include <objidl.h>

#include <atomic>

class CGroup;

// Gives back the reference a marshalled stream holds when nobody took it.
void ReleaseUnusedMarshal(fw::ComPtr<IStream>& marshalled);
// Takes the sink marshalled for this thread (the stream is used up); null
// when there is none or it cannot be had.
template <class Sink>
fw::ComPtr<Sink> TakeMarshalled(fw::ComPtr<IStream>& marshalled, REFIID iid) {
    fw::ComPtr<Sink> sink;
    if (IStream* stream = marshalled.detach())
        if (FAILED(CoGetInterfaceAndReleaseStream(stream, iid, sink.put_void()))) sink.reset();
    return sink;
}

class CSubscription {
public:
    CSubscription(const CSubscription&) = delete;
    CSubscription& operator=(const CSubscription&) = delete;

    void AddRef() { ++m_refs; }
    void Release() {
        if (--m_refs == 0) delete this;
    }

    // Marshals the sink for the update thread and starts it.
    HRESULT Start();
    // Ends the subscription without waiting: no callback starts after this
    // returns, and no request is taken any more.  Called on the thread that
    // received the sink, where the sink's proxy lives.
    void Stop();
    bool Stopping() const { return m_stopping.load(); }

    // The sink marshalled for a request's own thread, with a place among the
    // pending requests taken: E_FAIL once stopping, E_OUTOFMEMORY while as
    // many requests as allowed are undelivered.  A request accepted is a
    // request delivered: one that could not be served is turned down here.
    HRESULT BeginRequest(fw::ComPtr<IStream>& marshalledSink);
    // A request has delivered (or given up); from its own thread.
    void RequestEnded();

    CGroup* Group() const { return m_group; }

protected:
    // The group's caller's thread; the server use is taken from it.
    CSubscription(CGroup* group, ServerContext* server, REFIID sinkIid, IUnknown* sink);
    virtual ~CSubscription();

    // The update thread's work until the subscription stops; sink is the
    // client's sink for this thread (null when it could not be had), of the
    // interface given at construction.
    virtual void RunUpdates(IUnknown* sink) = 0;
    // Waits until the next cycle is due; false once the subscription stops.
    bool WaitForNextCycle(DWORD waitMs) const;

    CGroup* const m_group;

private:
    static DWORD WINAPI UpdateThread(void* param);

    // Declared first, so it goes last: what the members below free may still
    // read the server object's tags.
    WorkerUse m_use;
    const IID m_sinkIid;
    // The client's sink as it arrived; only that thread uses it.
    fw::ComPtr<IUnknown> m_sink;
    fw::ComPtr<IStream> m_marshalledSink;
    fw::UniqueHandle m_stop;
    std::atomic<bool> m_stopping{false};
    std::atomic<long> m_refs{1};
    bool m_countedSubscription = false;
    BoundedCount m_pending{server_limits::kPendingRequestsPerSubscription};
};
