// One asynchronous read or refresh: the requested handles and the thread
// that reads them if asked, writes one stream and sends it through the
// connection's sink.
#pragma once

#include "ComPtr.h"
#include "OpcInterfaces.h"
#include "TaskMem.h"
#include "UniqueHandle.h"

#include <objidl.h>

class CAdviseConnection;

class CAsyncTransaction {
public:
    CAsyncTransaction(CAdviseConnection* connection, OPCDATASOURCE source);
    ~CAsyncTransaction();
    CAsyncTransaction(const CAsyncTransaction&) = delete;
    CAsyncTransaction& operator=(const CAsyncTransaction&) = delete;

    // Copies the handles into memory the transaction owns.
    HRESULT SetHandles(DWORD count, const OPCHANDLE* handles);
    // Marshals the connection's sink for the transaction thread (on the
    // thread that received the request) and starts the thread, which from
    // then on owns and ends the transaction.
    HRESULT Start();

    // Links of the connection's transaction list.
    CAsyncTransaction* m_pNext = nullptr;
    CAsyncTransaction* m_pPrev = nullptr;
    // Duplicate of the thread handle, for those who wait for the end.
    HANDLE DuplicateThreadHandle() const;

private:
    static DWORD WINAPI TransactionThread(void* param);
    void Run();

    CAdviseConnection* m_connection;
    OPCDATASOURCE m_source;
    DWORD m_count = 0;
    fw::TaskMemPtr<OPCHANDLE> m_handles;
    fw::ComPtr<IStream> m_marshalledSink;
    fw::UniqueHandle m_thread;
    DWORD m_threadId = 0;
};
