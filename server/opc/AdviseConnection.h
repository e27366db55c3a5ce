// One data-change subscription of a group: the client's sink, the stream
// format it asked for, and the update thread that reads the group's active
// tags once per update period and sends what changed.
#pragma once

#include "ComPtr.h"
#include "DataStream.h"
#include "OpcInterfaces.h"
#include "TransactionList.h"
#include "UniqueHandle.h"

#include <objidl.h>

#include <vector>

class CGroup;

class CAdviseConnection {
public:
    CAdviseConnection(CGroup* group, const FORMATETC& format, DWORD advf, DWORD number, IAdviseSink* sink);
    // Stops the update thread and joins the pending transactions first.
    ~CAdviseConnection();
    CAdviseConnection(const CAdviseConnection&) = delete;
    CAdviseConnection& operator=(const CAdviseConnection&) = delete;

    // Marshals the sink for the update thread and starts it.
    HRESULT Start();
    // Asks the update thread to end after its current cycle and waits for it;
    // it is never cut off inside a driver call or a callback.
    void Stop();

    DWORD Number() const { return m_number; }
    const FORMATETC& Format() const { return m_format; }
    StreamKind Kind() const { return m_kind; }
    CGroup* Group() const { return m_group; }

    // Starts an asynchronous read of the handles whose completion goes to
    // this subscription's sink; called on the thread that received the
    // request, which is where the sink can be marshalled.
    HRESULT StartTransaction(OPCDATASOURCE source, std::vector<OPCHANDLE> handles);

    CAdviseConnection* m_pNext = nullptr;

private:
    static DWORD WINAPI UpdateThread(void* param);
    void RunUpdates();

    CGroup* m_group;
    FORMATETC m_format;
    StreamKind m_kind;
    DWORD m_advf;
    DWORD m_number;
    fw::ComPtr<IAdviseSink> m_sink;
    fw::ComPtr<IStream> m_marshalledSink;
    fw::UniqueHandle m_stop;
    fw::UniqueHandle m_thread;
    DWORD m_threadId = 0;

    TransactionList m_transactions;
};
