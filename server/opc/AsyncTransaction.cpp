#include "AsyncTransaction.h"

#include "AdviseConnection.h"
#include "DataChangeSend.h"
#include "GlobalMemory.h"
#include "Group.h"
#include "Subscription.h"
#include "UniqueHandle.h"
#include "WorkerThread.h"

CAsyncTransaction::CAsyncTransaction(CAdviseConnection* connection, TransactionRequest request)
    : m_connection(connection), m_request(std::move(request)) {}

CAsyncTransaction::~CAsyncTransaction() {
    // The thread never took the sink: give back the marshalled reference.
    ReleaseUnusedMarshal(m_request.marshalledSink);
    m_connection->RequestEnded();
}

HRESULT CAsyncTransaction::Start() {
    const fw::UniqueHandle thread(CreateWorkerThread(kWorkerThreadStack, TransactionThread, this, 0, nullptr));
    if (!thread) {
        delete this;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

DWORD WINAPI CAsyncTransaction::TransactionThread(void* param) {
    static_cast<CAsyncTransaction*>(param)->Run();
    return 0;
}

void CAsyncTransaction::Run() {
    {
        const MtaScope apartment;
        const auto sink = TakeMarshalled<IAdviseSink>(m_request.marshalledSink, IID_IAdviseSink);
        Deliver(sink.get());
    }
    delete this;  // lets go of the subscription, perhaps the last hold on it
}

void CAsyncTransaction::Deliver(IAdviseSink* sink) {
    CGroup* group = m_request.group;
    const DWORD count = static_cast<DWORD>(m_request.handles.size());
    const StreamKind kind = m_request.kind;
    if (m_request.isWriteCompletion) {
        const DWORD size = StreamBlockSize(kind, count);
        fw::UniqueGlobal block(size ? GlobalAlloc(GPTR, size) : nullptr);
        bool written = false;
        {
            fw::GlobalLockScope locked(block.get());
            written = locked.data() &&
                      WriteWriteCompleteStream(locked.data(), locked.size(), group->Settings().hClientGroup,
                                               m_request.transactionId, count, m_request.handles.data(),
                                               m_request.writeErrors.data());
        }
        if (written && sink) SendDataChange(sink, m_request.format, block.get());
    } else {
        if (m_request.source == OPC_DS_DEVICE) group->DeviceRead(count, m_request.handles.data());
        fw::UniqueGlobal block;
        if (SUCCEEDED(group->StreamForHandles(kind, count, m_request.handles.data(), m_request.transactionId, block)) &&
            sink)
            SendDataChange(sink, m_request.format, block.get());
    }
}
