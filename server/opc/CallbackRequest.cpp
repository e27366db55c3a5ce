#include "CallbackRequest.h"

#include "CallbackValues.h"
#include "Group.h"
#include "WorkerThread.h"

CCallbackRequest::CCallbackRequest(CCallbackConnection* connection, CallbackRequestData data,
                                   fw::ComPtr<IStream> marshalledSink, DWORD cancelId)
    : m_connection(connection), m_group(connection->Group()), m_data(std::move(data)),
      m_marshalledSink(std::move(marshalledSink)), m_cancelId(cancelId) {}

CCallbackRequest::~CCallbackRequest() {
    // The thread never took the sink: give back the marshalled reference.
    ReleaseUnusedMarshal(m_marshalledSink);
    m_connection->RequestFinished(m_cancelId);
    m_connection->RequestEnded();
}

HRESULT CCallbackRequest::Start() {
    const fw::UniqueHandle thread(CreateWorkerThread(kWorkerThreadStack, RequestThread, this, 0, nullptr));
    if (!thread) {
        delete this;
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

bool CCallbackRequest::TryCancel() {
    long pending = kPending;
    return m_state.compare_exchange_strong(pending, kCancelled);
}

DWORD WINAPI CCallbackRequest::RequestThread(void* param) {
    static_cast<CCallbackRequest*>(param)->Run();
    return 0;
}

void CCallbackRequest::Run() {
    {
        const MtaScope apartment;
        const auto sink = TakeMarshalled<IOPCDataCallback>(m_marshalledSink, IID_IOPCDataCallback);
        if (sink) Deliver(sink.get());
    }
    delete this;  // lets go of the connection, perhaps the last hold on it
}

void CCallbackRequest::Deliver(IOPCDataCallback* sink) {
    const OPCHANDLE hGroup = m_group->Settings().hClientGroup;
    const DWORD transaction = m_data.transactionId;
    CallbackValues values;
    if (m_data.kind != CallbackRequestKind::Write) {
        const DWORD count = static_cast<DWORD>(m_data.handles.size());
        if (m_data.source == OPC_DS_DEVICE) m_group->DeviceRead(count, m_data.handles.data());
        m_group->CollectCallbackValues(m_data.handles, values);
    }
    // Past this point the request delivers; a cancel that came first is
    // answered instead of the values.
    long pending = kPending;
    if (!m_state.compare_exchange_strong(pending, kDelivering)) {
        sink->OnCancelComplete(transaction, hGroup);
        return;
    }
    switch (m_data.kind) {
    case CallbackRequestKind::Read:
        sink->OnReadComplete(transaction, hGroup, values.MasterQuality(), values.MasterError(), values.Count(),
                             values.Clients(), values.Values(), values.Qualities(), values.Times(), values.Errors());
        break;
    case CallbackRequestKind::Refresh:
        sink->OnDataChange(transaction, hGroup, values.MasterQuality(), values.MasterError(), values.Count(),
                           values.Clients(), values.Values(), values.Qualities(), values.Times(), values.Errors());
        break;
    case CallbackRequestKind::Write: {
        HRESULT master = S_OK;
        for (HRESULT error : m_data.writeErrors)
            if (error != S_OK) master = S_FALSE;
        sink->OnWriteComplete(transaction, hGroup, master, static_cast<DWORD>(m_data.clientHandles.size()),
                              m_data.clientHandles.data(), m_data.writeErrors.data());
        break;
    }
    }
}
