#include "AdviseConnection.h"

#include "CycleSchedule.h"
#include "DataChangeSend.h"
#include "GlobalMemory.h"
#include "Group.h"
#include "HResult.h"
#include "WorkerThread.h"

#include <memory>
#include <new>

CAdviseConnection::CAdviseConnection(CGroup* group, const FORMATETC& format, DWORD advf, DWORD number,
                                     IAdviseSink* sink)
    : m_group(group), m_format(format), m_kind(group->KindOf(format.cfFormat)), m_advf(advf), m_number(number) {
    // Only the format number is ever looked at; the caller's target device
    // is gone when the call returns.
    m_format.ptd = nullptr;
    m_sink = fw::ComPtr<IAdviseSink>(sink);
}

CAdviseConnection::~CAdviseConnection() {
    Stop();
    m_transactions.JoinAll();
    if (IStream* unused = m_marshalledSink.get()) {
        // The thread never took the sink: give back the marshalled reference.
        LARGE_INTEGER start{};
        unused->Seek(start, STREAM_SEEK_SET, nullptr);
        CoReleaseMarshalData(unused);
    }
}

HRESULT CAdviseConnection::Start() {
    RETURN_IF_FAILED(CoMarshalInterThreadInterfaceInStream(IID_IAdviseSink, m_sink.get(), m_marshalledSink.put()));
    m_stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop) return HRESULT_FROM_WIN32(GetLastError());
    m_thread.reset(CreateWorkerThread(kWorkerThreadStack, UpdateThread, this, 0, &m_threadId));
    return m_thread ? S_OK : HRESULT_FROM_WIN32(GetLastError());
}

void CAdviseConnection::Stop() {
    if (!m_thread) return;
    SetEvent(m_stop.get());
    WaitForSingleObject(m_thread.get(), INFINITE);
    m_thread.reset();
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
    for (;;) {
        const DWORD n = m_group->ActiveItemCount();
        if (n > 0) {
            const DWORD size = StreamBlockSize(m_kind, n);
            // Fixed and zeroed: the unused tail of a block must not hand the
            // client stale bytes of this process.
            if (fw::UniqueGlobal block{size ? GlobalAlloc(GPTR, size) : nullptr}) {
                DWORD changed = 0;
                if (SUCCEEDED(m_group->SubscriptionCycle(m_kind, block.get(), n, &changed)) && changed > 0 && sink)
                    SendDataChange(sink.get(), m_format, block.get());
            }
        }
        // Cycles start one update period apart (see CycleSchedule).  The
        // stop request is looked at here only, so a stop never cuts into a
        // driver call or a callback.
        const DWORD wait = schedule.NextWait(m_group->Settings().updateRate);
        if (WaitForSingleObject(m_stop.get(), wait) == WAIT_OBJECT_0) break;
    }
    sink.reset();
    if (SUCCEEDED(init)) CoUninitialize();
}

HRESULT CAdviseConnection::StartTransaction(OPCDATASOURCE source, std::vector<OPCHANDLE> handles) {
    TransactionRequest request;
    request.group = m_group;
    request.kind = m_kind;
    request.format = m_format;
    request.source = source;
    request.handles = std::move(handles);
    RETURN_IF_FAILED(
        CoMarshalInterThreadInterfaceInStream(IID_IAdviseSink, m_sink.get(), request.marshalledSink.put()));
    std::unique_ptr<CAsyncTransaction> transaction(new (std::nothrow) CAsyncTransaction(std::move(request)));
    if (!transaction) return E_OUTOFMEMORY;
    return m_transactions.Start(std::move(transaction));
}
