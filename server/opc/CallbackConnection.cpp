#include "CallbackConnection.h"

#include "CallbackRequest.h"
#include "CallbackValues.h"
#include "CycleSchedule.h"
#include "Group.h"

#include <new>

CCallbackConnection::CCallbackConnection(CGroup* group, ServerContext* server, IOPCDataCallback* sink, DWORD cookie)
    : CSubscription(group, server, IID_IOPCDataCallback, sink), m_cookie(cookie) {}

void CCallbackConnection::RunUpdates(IUnknown* unknownSink) {
    auto* sink = static_cast<IOPCDataCallback*>(unknownSink);
    CallbackValues changes;
    CycleSchedule schedule;
    do {
        changes.Clear();
        // A stop that came during the device read sends nothing more.  A
        // client that has gone makes the call fail; the group's owner ends
        // the subscription when it notices the client's end.
        if (sink && SUCCEEDED(m_group->CollectCallbackChanges(changes)) && changes.Count() > 0 && !Stopping())
            sink->OnDataChange(0, m_group->Settings().hClientGroup, changes.MasterQuality(), changes.MasterError(),
                               changes.Count(), changes.Clients(), changes.Values(), changes.Qualities(),
                               changes.Times(), changes.Errors());
    } while (WaitForNextCycle(schedule.NextWait(m_group->Settings().updateRate)));
}

HRESULT CCallbackConnection::StartRequest(CallbackRequestData data, DWORD* cancelId) {
    *cancelId = 0;
    fw::ComPtr<IStream> marshalledSink;
    const HRESULT begun = BeginRequest(marshalledSink);
    if (FAILED(begun)) return begun;
    return LaunchRequest(std::move(marshalledSink), std::move(data), cancelId);
}

HRESULT CCallbackConnection::LaunchRequest(fw::ComPtr<IStream> marshalledSink, CallbackRequestData data,
                                           DWORD* cancelId) {
    *cancelId = 0;
    // The ID is listed before the request runs, so that Cancel finds it
    // from the moment the client could know it.
    DWORD id = 0;
    {
        fw::Lock lock(m_requestLock);
        id = ++m_lastCancelId;
        while (id == 0 || m_requests.count(id)) id = ++m_lastCancelId;
        try {
            m_requests.emplace(id, nullptr);
        } catch (const std::bad_alloc&) {
            id = 0;
        }
    }
    CCallbackRequest* request =
        id ? new (std::nothrow) CCallbackRequest(this, std::move(data), std::move(marshalledSink), id) : nullptr;
    if (!request) {
        if (id) RequestFinished(id);
        ReleaseUnusedMarshal(marshalledSink);
        RequestEnded();
        return E_OUTOFMEMORY;
    }
    {
        fw::Lock lock(m_requestLock);
        m_requests[id] = request;
    }
    // A request that cannot start is gone, and so is its ID.
    const HRESULT started = request->Start();
    if (SUCCEEDED(started)) *cancelId = id;
    return started;
}

HRESULT CCallbackConnection::Cancel(DWORD cancelId) {
    fw::Lock lock(m_requestLock);
    const auto found = m_requests.find(cancelId);
    if (found == m_requests.end() || !found->second) return E_FAIL;
    return found->second->TryCancel() ? S_OK : E_FAIL;
}

void CCallbackConnection::RequestFinished(DWORD cancelId) {
    fw::Lock lock(m_requestLock);
    m_requests.erase(cancelId);
}
