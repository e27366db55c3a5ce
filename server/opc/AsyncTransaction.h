// One asynchronous read, refresh or write completion of IOPCAsyncIO: the
// thread that reads the requested handles if asked, writes one stream and
// sends it to the sink of the subscription it was made for.  The transaction owns itself: its
// thread delivers, gives back its place among the subscription's pending
// requests and deletes it.  It holds the subscription (and through it the
// group and the server object) until then, so a subscription ended
// meanwhile still sees every accepted request delivered.
#pragma once

#include "ComPtr.h"
#include "DataStream.h"
#include "OpcInterfaces.h"

#include <objidl.h>

#include <vector>

class CGroup;
class CAdviseConnection;

// Everything a transaction needs, fixed when it is made.
struct TransactionRequest {
    CGroup* group = nullptr;
    StreamKind kind = StreamKind::Other;
    FORMATETC format{};
    OPCDATASOURCE source = OPC_DS_CACHE;
    // Server handles to read, or for a write completion the client handles.
    std::vector<OPCHANDLE> handles;
    // A write completion: the write is done, its outcome per item is here.
    bool isWriteCompletion = false;
    DWORD transactionId = 0;
    std::vector<HRESULT> writeErrors;
    // The subscription's sink, marshalled for the transaction's thread.
    fw::ComPtr<IStream> marshalledSink;
};

class CAsyncTransaction {
public:
    // Takes a reference on the subscription, whose pending count already
    // holds this request.
    CAsyncTransaction(CAdviseConnection* connection, TransactionRequest request);
    CAsyncTransaction(const CAsyncTransaction&) = delete;
    CAsyncTransaction& operator=(const CAsyncTransaction&) = delete;

    // Starts the thread; on failure the transaction is gone as well.
    HRESULT Start();

private:
    ~CAsyncTransaction();
    static DWORD WINAPI TransactionThread(void* param);
    void Run();
    void Deliver(IAdviseSink* sink);

    fw::ComPtr<CAdviseConnection> m_connection;
    TransactionRequest m_request;
};
