// The data-change sink of a group reached through the OPC DA 2.0 interfaces
// (a connection point for IOPCDataCallback), for servers whose groups offer
// no IDataObject.  It stores values and qualities in the group's items as
// the stream sink does, and reports each change the same way.
#pragma once

#include "ClientRecords.h"
#include "ComObject.h"
#include "OpcInterfaces.h"

#include <functional>

class CDataCallback : public fw::ComObject<CDataCallback, IOPCDataCallback> {
public:
    using ChangeCallback = std::function<void(CGroup&)>;

    explicit CDataCallback(ChangeCallback onChange = {});

    // As CAdviseSink: the group, not counted, detached when it goes.
    void SetGroup(CGroup* group) { group_ = group; }
    void DetachGroup() { group_ = nullptr; }

    // IOPCDataCallback.  Subscription changes and refresh completions carry
    // values; read, write and cancel completions are taken and dropped (the
    // client makes no such requests).
    STDMETHODIMP OnDataChange(DWORD transaction, OPCHANDLE group, HRESULT masterQuality, HRESULT masterError,
                              DWORD count, OPCHANDLE* clientHandles, VARIANT* values, WORD* qualities,
                              FILETIME* times, HRESULT* errors) override;
    STDMETHODIMP OnReadComplete(DWORD transaction, OPCHANDLE group, HRESULT masterQuality, HRESULT masterError,
                                DWORD count, OPCHANDLE* clientHandles, VARIANT* values, WORD* qualities,
                                FILETIME* times, HRESULT* errors) override;
    STDMETHODIMP OnWriteComplete(DWORD, OPCHANDLE, HRESULT, DWORD, OPCHANDLE*, HRESULT*) override { return S_OK; }
    STDMETHODIMP OnCancelComplete(DWORD, OPCHANDLE) override { return S_OK; }

private:
    ~CDataCallback() override = default;
    friend class fw::ComObject<CDataCallback, IOPCDataCallback>;

    CGroup* group_ = nullptr;
    ChangeCallback onChange_;
};
