// The data callback of a group (IOPCDataCallback, advised through the
// group's connection point): the update thread that sends each period's
// changes with OnDataChange, and the requests of IOPCAsyncIO2 that complete
// through the same sink, each with a cancel ID of its own.
#pragma once

#include "OpcInterfaces.h"
#include "Subscription.h"
#include "Sync.h"

#include <map>
#include <vector>

class CCallbackRequest;

enum class CallbackRequestKind { Read, Refresh, Write };

// What a request of IOPCAsyncIO2 needs, fixed when it is made.
struct CallbackRequestData {
    CallbackRequestKind kind = CallbackRequestKind::Read;
    OPCDATASOURCE source = OPC_DS_DEVICE;
    DWORD transactionId = 0;
    // Read and refresh: the server handles to send, in order.
    std::vector<OPCHANDLE> handles;
    // Write: done already; its outcome per item, by client handle.
    std::vector<OPCHANDLE> clientHandles;
    std::vector<HRESULT> writeErrors;
};

class CCallbackConnection final : public CSubscription {
public:
    CCallbackConnection(CGroup* group, ServerContext* server, IOPCDataCallback* sink, DWORD cookie);

    DWORD Cookie() const { return m_cookie; }

    // Starts a request whose completion goes to this sink; *cancelId is the
    // number Cancel takes (see BeginRequest for what is refused).
    HRESULT StartRequest(CallbackRequestData data, DWORD* cancelId);
    // The same for a caller that has taken the request's place with
    // BeginRequest already (a write, done between the two).
    HRESULT LaunchRequest(fw::ComPtr<IStream> marshalledSink, CallbackRequestData data, DWORD* cancelId);
    // S_OK when the request had not completed yet: it then answers with
    // OnCancelComplete instead.  E_FAIL when it has completed or is unknown.
    HRESULT Cancel(DWORD cancelId);
    // A request is over; from its own thread.
    void RequestFinished(DWORD cancelId);

private:
    void RunUpdates(IUnknown* sink) override;

    const DWORD m_cookie;
    fw::CriticalSection m_requestLock;
    std::map<DWORD, CCallbackRequest*> m_requests;  // not yet finished, by cancel ID
    DWORD m_lastCancelId = 0;
};
