#include "AsyncTransaction.h"

#include "AdviseConnection.h"
#include "Group.h"
#include "WorkerThread.h"

#include <cstring>

CAsyncTransaction::CAsyncTransaction(CAdviseConnection* connection, OPCDATASOURCE source)
    : m_connection(connection), m_source(source) {}

CAsyncTransaction::~CAsyncTransaction() {
    if (IStream* unused = m_marshalledSink.get()) {
        LARGE_INTEGER start{};
        unused->Seek(start, STREAM_SEEK_SET, nullptr);
        CoReleaseMarshalData(unused);
    }
}

HRESULT CAsyncTransaction::SetHandles(DWORD count, const OPCHANDLE* handles) {
    m_handles = fw::TaskMemArray<OPCHANDLE>(count);
    if (!m_handles) return E_OUTOFMEMORY;
    if (count) std::memcpy(m_handles.get(), handles, count * sizeof(OPCHANDLE));
    m_count = count;
    return S_OK;
}

HANDLE CAsyncTransaction::DuplicateThreadHandle() const {
    HANDLE copy = nullptr;
    if (!m_thread || !DuplicateHandle(GetCurrentProcess(), m_thread.get(), GetCurrentProcess(), &copy, SYNCHRONIZE,
                                      FALSE, 0))
        return nullptr;
    return copy;
}

HRESULT CAsyncTransaction::Start() {
    const HRESULT hr =
        CoMarshalInterThreadInterfaceInStream(IID_IAdviseSink, m_connection->Sink(), m_marshalledSink.put());
    if (FAILED(hr)) return hr;
    // The thread owns the transaction and may end it at once: it waits until
    // the handle is stored and the transaction is listed.
    m_thread.reset(CreateWorkerThread(kWorkerThreadStack, TransactionThread, this, CREATE_SUSPENDED, &m_threadId));
    if (!m_thread) return E_OUTOFMEMORY;
    m_connection->AppendTransaction(this);
    ResumeThread(m_thread.get());
    return S_OK;
}

DWORD WINAPI CAsyncTransaction::TransactionThread(void* param) {
    static_cast<CAsyncTransaction*>(param)->Run();
    return 0;
}

void CAsyncTransaction::Run() {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    fw::ComPtr<IAdviseSink> sink;
    if (IStream* stream = m_marshalledSink.detach())
        if (FAILED(CoGetInterfaceAndReleaseStream(stream, IID_IAdviseSink, sink.put_void()))) sink.reset();

    CGroup* group = m_connection->Group();
    if (m_source == OPC_DS_DEVICE) group->DeviceRead(m_count, m_handles.get());
    const StreamKind kind = m_connection->Kind();
    const DWORD size = StreamBlockSize(kind, m_count);
    if (HGLOBAL block = size ? GlobalAlloc(GPTR, size) : nullptr) {
        if (SUCCEEDED(group->WriteStreamForHandles(kind, block, m_count, m_handles.get())) && sink)
            SendDataChange(sink.get(), m_connection->Format(), block);
        GlobalFree(block);
    }
    sink.reset();
    if (SUCCEEDED(init)) CoUninitialize();

    // Whoever removes the connection waits for this thread to end, so the
    // connection outlives this call.
    m_connection->RemoveTransaction(this);
    delete this;
}
