// One data-change subscription of a group: the client's sink, the stream
// format it asked for, and the update thread that reads the group's active
// tags once per update period and sends what changed.
//
// The group's list and the update thread each hold a reference, and so does
// every asynchronous request made through the subscription.  Ending the
// subscription only signals: the update thread finishes its cycle (or the
// client's callback it is in) and lets go, and the last reference, on
// whatever thread, deletes the object.  Nothing here ever waits for a
// thread (see ServerContext).
#pragma once

#include "ComPtr.h"
#include "DataStream.h"
#include "OpcInterfaces.h"
#include "ServerBudget.h"
#include "ServerContext.h"
#include "UniqueHandle.h"

#include <objidl.h>

#include <atomic>
#include <vector>

class CGroup;

class CAdviseConnection {
public:
    // The group's caller's thread; the server use is taken from it.
    CAdviseConnection(CGroup* group, ServerContext* server, const FORMATETC& format, DWORD advf, DWORD number,
                      IAdviseSink* sink);
    CAdviseConnection(const CAdviseConnection&) = delete;
    CAdviseConnection& operator=(const CAdviseConnection&) = delete;

    void AddRef() { ++m_refs; }
    void Release() {
        if (--m_refs == 0) delete this;
    }

    // Marshals the sink for the update thread and starts it.
    HRESULT Start();
    // Ends the subscription without waiting: no callback starts after this
    // returns, and no request is taken any more.  The update thread ends
    // once its cycle, or the callback it is in, is over.  Called on the
    // thread that received DAdvise, where the client's sink lives.
    void Stop();

    DWORD Number() const { return m_number; }
    StreamKind Kind() const { return m_kind; }
    bool Stopping() const { return m_stopping.load(); }

    // Starts an asynchronous read of the handles whose completion goes to
    // this subscription's sink.  Refused with E_OUTOFMEMORY while as many
    // requests as allowed are undelivered, and with E_FAIL once stopping.
    HRESULT StartTransaction(OPCDATASOURCE source, std::vector<OPCHANDLE> handles);
    // A transaction has delivered (or given up); from its own thread.
    void TransactionEnded();

    CAdviseConnection* m_pNext = nullptr;

private:
    ~CAdviseConnection();
    static DWORD WINAPI UpdateThread(void* param);
    void RunUpdates();

    // Declared first, so it goes last: what the members below free may still
    // read the server object's tags.
    WorkerUse m_use;
    fw::ComPtr<IUnknown> m_groupRef;
    CGroup* m_group;
    FORMATETC m_format;
    StreamKind m_kind;
    DWORD m_advf;
    DWORD m_number;
    // The client's sink as DAdvise received it; only that thread uses it.
    fw::ComPtr<IAdviseSink> m_sink;
    fw::ComPtr<IStream> m_marshalledSink;
    fw::UniqueHandle m_stop;
    std::atomic<bool> m_stopping{false};
    std::atomic<long> m_refs{1};
    bool m_countedSubscription = false;
    BoundedCount m_pending{server_limits::kPendingRequestsPerSubscription};
};
