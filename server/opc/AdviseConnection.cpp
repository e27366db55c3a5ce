#include "AdviseConnection.h"

#include "AsyncTransaction.h"
#include "CycleSchedule.h"
#include "Group.h"
#include "WorkerThread.h"

void SendDataChange(IAdviseSink* sink, const FORMATETC& format, HGLOBAL block) {
    FORMATETC sent = format;
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = block;
    medium.pUnkForRelease = nullptr;
    // Delivered synchronously; the proxy copies the block, so the caller
    // frees it afterwards whatever the client did.
    sink->OnDataChange(&sent, &medium);
}

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
    WaitForTransactions();
    if (IStream* unused = m_marshalledSink.get()) {
        // The thread never took the sink: give back the marshalled reference.
        LARGE_INTEGER start{};
        unused->Seek(start, STREAM_SEEK_SET, nullptr);
        CoReleaseMarshalData(unused);
    }
}

HRESULT CAdviseConnection::Start() {
    HRESULT hr = CoMarshalInterThreadInterfaceInStream(IID_IAdviseSink, m_sink.get(), m_marshalledSink.put());
    if (FAILED(hr)) return E_FAIL;
    m_stop.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_stop) return E_FAIL;
    m_thread.reset(CreateWorkerThread(kWorkerThreadStack, UpdateThread, this, 0, &m_threadId));
    return m_thread ? S_OK : E_FAIL;
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
            if (HGLOBAL block = size ? GlobalAlloc(GPTR, size) : nullptr) {
                DWORD changed = 0;
                if (SUCCEEDED(m_group->SubscriptionCycle(m_kind, block, n, &changed)) && changed > 0 && sink)
                    SendDataChange(sink.get(), m_format, block);
                GlobalFree(block);
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

void CAdviseConnection::AppendTransaction(CAsyncTransaction* transaction) {
    fw::Lock lock(m_transactionLock);
    CAsyncTransaction* last = m_pTransactions;
    while (last && last->m_pNext) last = last->m_pNext;
    transaction->m_pPrev = last;
    transaction->m_pNext = nullptr;
    if (last)
        last->m_pNext = transaction;
    else
        m_pTransactions = transaction;
}

void CAdviseConnection::RemoveTransaction(CAsyncTransaction* transaction) {
    fw::Lock lock(m_transactionLock);
    if (transaction->m_pPrev)
        transaction->m_pPrev->m_pNext = transaction->m_pNext;
    else if (m_pTransactions == transaction)
        m_pTransactions = transaction->m_pNext;
    if (transaction->m_pNext) transaction->m_pNext->m_pPrev = transaction->m_pPrev;
    transaction->m_pNext = transaction->m_pPrev = nullptr;
}

void CAdviseConnection::WaitForTransactions() {
    for (;;) {
        HANDLE thread = nullptr;
        {
            fw::Lock lock(m_transactionLock);
            if (!m_pTransactions) return;
            thread = m_pTransactions->DuplicateThreadHandle();
        }
        if (!thread) {
            Sleep(1);  // no handle to wait on: let the thread get on with it
            continue;
        }
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
}
