#include "AdviseConnection.h"

#include "AsyncTransaction.h"
#include "CycleSchedule.h"
#include "DataChangeSend.h"
#include "GlobalMemory.h"
#include "Group.h"
#include "HResult.h"
#include "WorkerThread.h"

#include <olectl.h>

#include <memory>
#include <new>

namespace {

// Gives back the reference a marshalled stream holds when nobody took it.
void ReleaseUnusedMarshal(fw::ComPtr<IStream>& marshalled) {
    if (IStream* unused = marshalled.get()) {
        LARGE_INTEGER start{};
        unused->Seek(start, STREAM_SEEK_SET, nullptr);
        CoReleaseMarshalData(unused);
    }
    marshalled.reset();
}

}  // namespace

CAdviseConnection::CAdviseConnection(CGroup* group, ServerContext* server, const FORMATETC& format, DWORD advf,
                                     DWORD number, IAdviseSink* sink)
    : m_use(server), m_groupRef(group->Identity()), m_group(group), m_format(format),
      m_kind(group->KindOf(format.cfFormat)), m_advf(advf), m_number(number), m_sink(sink) {
    // Only the format number is ever looked at; the caller's target device
    // is gone when the call returns.
    m_format.ptd = nullptr;
}

CAdviseConnection::~CAdviseConnection() {
    // Only when the update thread never started: it takes the stream itself.
    ReleaseUnusedMarshal(m_marshalledSink);
    if (m_countedSubscription) m_use.get()->Budget().subscriptions.Give();
    m_groupRef.reset();
    m_use.reset();
}

HRESULT CAdviseConnection::Start() {
    // Each subscription is a thread until it has ended: counted against the
    // server object's budget from here to the destructor.
    if (!m_use.get()->Budget().subscriptions.Take()) return CONNECT_E_ADVISELIMIT;
    m_countedSubscription = true;
    RETURN_IF_FAILED(CoMarshalInterThreadInterfaceInStream(IID_IAdviseSink, m_sink.get(), m_marshalledSink.put()));
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

void CAdviseConnection::Stop() {
    m_stopping = true;
    if (m_stop) SetEvent(m_stop.get());
    // The sink proxy belongs to this thread's apartment: it goes here, not
    // on whichever thread lets go of the subscription last.
    m_sink.reset();
}

DWORD WINAPI CAdviseConnection::UpdateThread(void* param) {
    static_cast<CAdviseConnection*>(param)->RunUpdates();
    return 0;
}

void CAdviseConnection::RunUpdates() {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    fw::ComPtr<IAdviseSink> sink;
    if (IStream* stream = m_marshalledSink.detach())
        if (FAILED(CoGetInterfaceAndReleaseStream(stream, IID_IAdviseSink, sink.put_void()))) sink.reset();

    CycleSchedule schedule;
    while (!m_stopping) {
        const DWORD n = m_group->ActiveItemCount();
        if (n > 0) {
            const DWORD size = StreamBlockSize(m_kind, n);
            // Fixed and zeroed: the unused tail of a block must not hand the
            // client stale bytes of this process.
            if (fw::UniqueGlobal block{size ? GlobalAlloc(GPTR, size) : nullptr}) {
                DWORD changed = 0;
                // A stop that came during the device read sends nothing more.
                if (SUCCEEDED(m_group->SubscriptionCycle(m_kind, block.get(), n, &changed)) && changed > 0 &&
                    sink && !m_stopping)
                    SendDataChange(sink.get(), m_format, block.get());
            }
        }
        // Cycles start one update period apart (see CycleSchedule).
        const DWORD wait = schedule.NextWait(m_group->Settings().updateRate);
        if (WaitForSingleObject(m_stop.get(), wait) == WAIT_OBJECT_0) break;
    }
    sink.reset();
    if (SUCCEEDED(init)) CoUninitialize();
    Release();  // the last act: the subscription may go with it
}

HRESULT CAdviseConnection::StartTransaction(OPCDATASOURCE source, std::vector<OPCHANDLE> handles) {
    if (m_stopping || !m_sink) return E_FAIL;
    TransactionRequest request;
    request.group = m_group;
    request.kind = m_kind;
    request.format = m_format;
    request.source = source;
    request.handles = std::move(handles);
    RETURN_IF_FAILED(
        CoMarshalInterThreadInterfaceInStream(IID_IAdviseSink, m_sink.get(), request.marshalledSink.put()));
    ServerBudget& budget = m_use.get()->Budget();
    // A request accepted is a request delivered: one that could not be
    // served is turned down here, not lost later.
    if (!m_pending.Take()) {
        ReleaseUnusedMarshal(request.marshalledSink);
        return E_OUTOFMEMORY;
    }
    if (!budget.pendingRequests.Take()) {
        m_pending.Give();
        ReleaseUnusedMarshal(request.marshalledSink);
        return E_OUTOFMEMORY;
    }
    auto* transaction = new (std::nothrow) CAsyncTransaction(this, std::move(request));
    if (!transaction) {
        ReleaseUnusedMarshal(request.marshalledSink);
        TransactionEnded();
        return E_OUTOFMEMORY;
    }
    // From here the transaction gives back what was taken, whatever happens.
    return transaction->Start();
}

void CAdviseConnection::TransactionEnded() {
    m_use.get()->Budget().pendingRequests.Give();
    m_pending.Give();
}
