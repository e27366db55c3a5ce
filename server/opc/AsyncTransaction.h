// One asynchronous read or refresh: the requested handles and the thread
// that reads them if asked, writes one stream and sends it to the sink of
// the subscription it was made for.
#pragma once

#include "ComPtr.h"
#include "DataStream.h"
#include "OpcInterfaces.h"
#include "UniqueHandle.h"

#include <objidl.h>

#include <atomic>
#include <vector>

class CGroup;

// Everything a transaction needs, fixed when it is made: it never reaches
// back into the subscription.
struct TransactionRequest {
    CGroup* group = nullptr;
    StreamKind kind = StreamKind::Other;
    FORMATETC format{};
    OPCDATASOURCE source = OPC_DS_CACHE;
    std::vector<OPCHANDLE> handles;
    // The subscription's sink, marshalled for the transaction's thread.
    fw::ComPtr<IStream> marshalledSink;
};

class CAsyncTransaction {
public:
    explicit CAsyncTransaction(TransactionRequest request);
    // Only once the thread has ended (TransactionList joins it first).
    ~CAsyncTransaction();
    CAsyncTransaction(const CAsyncTransaction&) = delete;
    CAsyncTransaction& operator=(const CAsyncTransaction&) = delete;

    HRESULT Start();
    bool Finished() const { return m_finished.load(); }
    HANDLE Thread() const { return m_thread.get(); }

private:
    static DWORD WINAPI TransactionThread(void* param);
    void Run();

    TransactionRequest m_request;
    fw::UniqueHandle m_thread;
    std::atomic<bool> m_finished{false};
};
