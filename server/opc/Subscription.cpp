#include "Subscription.h"

#include "Group.h"
#include "HResult.h"
#include "WorkerThread.h"

#include <olectl.h>

void ReleaseUnusedMarshal(fw::ComPtr<IStream>& marshalled) {
    if (IStream* unused = marshalled.get()) {
        LARGE_INTEGER start{};
        unused->Seek(start, STREAM_SEEK_SET, nullptr);
        CoReleaseMarshalData(unused);
    }
    marshalled.reset();
}

CSubscription::CSubscription(CGroup* group, ServerContext* server, REFIID sinkIid, IUnknown* sink)
    : m_group(group), m_use(server), m_sinkIid(sinkIid), m_sink(sink) {
    // The group outlives its subscriptions, counted apart from its clients.
    group->AddWorkerHold();
}

CSubscription::~CSubscription() {
    // Only when the update thread never started: it takes the stream itself.
    ReleaseUnusedMarshal(m_marshalledSink);
    if (m_countedSubscription) m_use.get()->Budget().subscriptions.Give();
    m_group->ReleaseWorkerHold();
    m_use.reset();
}

HRESULT CSubscription::Start() {
    // Each subscription is a thread until it has ended: counted against the
    // server object's budget from here to the destructor.
    if (!m_use.get()->Budget().subscriptions.Take()) return CONNECT_E_ADVISELIMIT;
    m_countedSubscription = true;
    RETURN_IF_FAILED(CoMarshalInterThreadInterfaceInStream(m_sinkIid, m_sink.get(), m_marshalledSink.put()));
    // What fails here is the process's memory or address space.
    m_stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop) return E_OUTOFMEMORY;
    AddRef();  // the update thread's
    const fw::UniqueHandle thread(CreateWorkerThread(kWorkerThreadStack, UpdateThread, this, 0, nullptr));
    if (!thread) {
        Release();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void CSubscription::Stop() {
    m_stopping = true;
    if (m_stop) SetEvent(m_stop.get());
    // The sink proxy belongs to this thread's apartment: it goes here, not
    // on whichever thread lets go of the subscription last.
    m_sink.reset();
}

bool CSubscription::WaitForNextCycle(DWORD waitMs) const {
    return !m_stopping && WaitForSingleObject(m_stop.get(), waitMs) != WAIT_OBJECT_0;
}

DWORD WINAPI CSubscription::UpdateThread(void* param) {
    auto* self = static_cast<CSubscription*>(param);
    {
        const MtaScope apartment;
        const fw::ComPtr<IUnknown> sink = TakeMarshalled<IUnknown>(self->m_marshalledSink, self->m_sinkIid);
        self->RunUpdates(sink.get());
    }
    self->Release();  // the last act: the subscription may go with it
    return 0;
}

HRESULT CSubscription::BeginRequest(fw::ComPtr<IStream>& marshalledSink) {
    if (m_stopping || !m_sink) return E_FAIL;
    RETURN_IF_FAILED(CoMarshalInterThreadInterfaceInStream(m_sinkIid, m_sink.get(), marshalledSink.put()));
    if (!m_pending.Take()) {
        ReleaseUnusedMarshal(marshalledSink);
        return E_OUTOFMEMORY;
    }
    if (!m_use.get()->Budget().pendingRequests.Take()) {
        m_pending.Give();
        ReleaseUnusedMarshal(marshalledSink);
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void CSubscription::RequestEnded() {
    m_use.get()->Budget().pendingRequests.Give();
    m_pending.Give();
}
