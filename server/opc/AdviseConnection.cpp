#include "AdviseConnection.h"

#include "AsyncTransaction.h"
#include "CycleSchedule.h"
#include "DataChangeSend.h"
#include "GlobalMemory.h"
#include "Group.h"

#include <new>

CAdviseConnection::CAdviseConnection(CGroup* group, ServerContext* server, const FORMATETC& format, DWORD advf,
                                     DWORD number, IAdviseSink* sink)
    : CSubscription(group, server, IID_IAdviseSink, sink), m_format(format), m_kind(group->KindOf(format.cfFormat)),
      m_advf(advf), m_number(number) {
    // Only the format number is ever looked at; the caller's target device
    // is gone when the call returns.
    m_format.ptd = nullptr;
}

void CAdviseConnection::RunUpdates(IUnknown* unknownSink) {
    auto* sink = static_cast<IAdviseSink*>(unknownSink);
    CycleSchedule schedule;
    do {
        fw::UniqueGlobal stream;
        DWORD changed = 0;
        // A stop that came during the device read sends nothing more.
        if (SUCCEEDED(m_group->SubscriptionCycle(m_kind, stream, &changed)) && changed > 0 && sink && !Stopping())
            SendDataChange(sink, m_format, stream.get());
        // Cycles start one update period apart (see CycleSchedule).
    } while (WaitForNextCycle(schedule.NextWait(m_group->Settings().updateRate)));
}

namespace {

// Hands a transaction its request, or gives back what BeginRequest took.
HRESULT Launch(CAdviseConnection* connection, TransactionRequest request) {
    auto* transaction = new (std::nothrow) CAsyncTransaction(connection, std::move(request));
    if (!transaction) {
        ReleaseUnusedMarshal(request.marshalledSink);
        connection->RequestEnded();
        return E_OUTOFMEMORY;
    }
    // From here the transaction gives back what was taken, whatever happens.
    return transaction->Start();
}

}  // namespace

HRESULT CAdviseConnection::StartTransaction(OPCDATASOURCE source, std::vector<OPCHANDLE> handles,
                                            DWORD transactionId) {
    TransactionRequest request;
    const HRESULT begun = BeginRequest(request.marshalledSink);
    if (FAILED(begun)) return begun;
    request.group = m_group;
    request.kind = m_kind;
    request.format = m_format;
    request.source = source;
    request.transactionId = transactionId;
    request.handles = std::move(handles);
    return Launch(this, std::move(request));
}

HRESULT CAdviseConnection::LaunchWriteCompletion(fw::ComPtr<IStream> marshalledSink, DWORD transactionId,
                                                 std::vector<OPCHANDLE> clientHandles, std::vector<HRESULT> errors) {
    TransactionRequest request;
    request.marshalledSink = std::move(marshalledSink);
    request.group = m_group;
    request.kind = StreamKind::WriteComplete;
    request.format = m_format;
    request.isWriteCompletion = true;
    request.transactionId = transactionId;
    request.handles = std::move(clientHandles);
    request.writeErrors = std::move(errors);
    return Launch(this, std::move(request));
}
