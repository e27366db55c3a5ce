// One request of IOPCAsyncIO2 (read, refresh, or the completion of a write
// already done): its thread reads the tags if asked and calls the client's
// OnReadComplete, OnDataChange or OnWriteComplete, or OnCancelComplete when
// the client cancelled it first.  It owns itself and holds its callback
// connection (and through it the group and the server object) until then.
#pragma once

#include "CallbackConnection.h"
#include "ComPtr.h"

#include <atomic>

class CCallbackRequest {
public:
    // Takes a reference on the connection, whose pending count already
    // holds this request.
    CCallbackRequest(CCallbackConnection* connection, CallbackRequestData data, fw::ComPtr<IStream> marshalledSink,
                     DWORD cancelId);
    CCallbackRequest(const CCallbackRequest&) = delete;
    CCallbackRequest& operator=(const CCallbackRequest&) = delete;

    // Starts the thread; on failure the request is gone as well.
    HRESULT Start();
    // True when the request had not begun to deliver: it will answer with
    // OnCancelComplete.  Called under the connection's request lock.
    bool TryCancel();

private:
    enum State : long { kPending, kCancelled, kDelivering };

    ~CCallbackRequest();
    static DWORD WINAPI RequestThread(void* param);
    void Run();
    void Deliver(IOPCDataCallback* sink);

    fw::ComPtr<CCallbackConnection> m_connection;
    CGroup* m_group;
    CallbackRequestData m_data;
    fw::ComPtr<IStream> m_marshalledSink;
    const DWORD m_cancelId;
    std::atomic<long> m_state{kPending};
};
