// One data-change subscription of a group through IDataObject: the client's
// IAdviseSink, the stream format it asked for, and the update thread that
// reads the group's active tags once per update period and sends what
// changed.  Asynchronous reads of IOPCAsyncIO complete through it too.
#pragma once

#include "DataStream.h"
#include "OpcInterfaces.h"
#include "Subscription.h"

#include <objidl.h>

#include <vector>

class CAdviseConnection final : public CSubscription {
public:
    CAdviseConnection(CGroup* group, ServerContext* server, const FORMATETC& format, DWORD advf, DWORD number,
                      IAdviseSink* sink);

    DWORD Number() const { return m_number; }
    StreamKind Kind() const { return m_kind; }
    const FORMATETC& Format() const { return m_format; }

    // Starts an asynchronous read of the handles whose completion goes to
    // this subscription's sink (see BeginRequest for what is refused).
    HRESULT StartTransaction(OPCDATASOURCE source, std::vector<OPCHANDLE> handles, DWORD transactionId);
    // Starts the delivery of a write's outcome as a write-complete stream;
    // the caller took the request's place with BeginRequest before writing.
    HRESULT LaunchWriteCompletion(fw::ComPtr<IStream> marshalledSink, DWORD transactionId,
                                  std::vector<OPCHANDLE> clientHandles, std::vector<HRESULT> errors);

    CAdviseConnection* m_pNext = nullptr;

private:
    void RunUpdates(IUnknown* sink) override;

    FORMATETC m_format;
    StreamKind m_kind;
    DWORD m_advf;
    DWORD m_number;
};
