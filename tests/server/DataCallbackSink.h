// The client side of a group's data callback for tests: an IOPCDataCallback
// in the test thread's apartment that keeps every call it receives, so that
// a test can read back the arrays the server sent.
#pragma once

#include "ComObject.h"
#include "ComPtr.h"
#include "OpcInterfaces.h"

#include <ocidl.h>

#include <vector>

struct CallbackItem {
    OPCHANDLE hClient = 0;
    VARIANT value;  // a copy, cleared by the owning call
    WORD quality = 0;
    FILETIME time{};
    HRESULT error = S_OK;
};

struct CallbackCall {
    enum Kind { DataChange, ReadComplete, WriteComplete, CancelComplete } kind = DataChange;
    DWORD transactionId = 0;
    OPCHANDLE hGroup = 0;
    HRESULT masterQuality = S_OK;
    HRESULT masterError = S_OK;
    std::vector<CallbackItem> items;

    CallbackCall() = default;
    CallbackCall(CallbackCall&& other) noexcept;
    CallbackCall(const CallbackCall&) = delete;
    ~CallbackCall();
    // The item with this client handle; null when the call has none.
    const CallbackItem* Find(OPCHANDLE hClient) const;
};

class DataCallbackSink final : public fw::ComObject<DataCallbackSink, IOPCDataCallback> {
public:
    STDMETHODIMP OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality, HRESULT hrMastererror,
                              DWORD dwCount, OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                              FILETIME* pftTimeStamps, HRESULT* pErrors) override;
    STDMETHODIMP OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality, HRESULT hrMastererror,
                                DWORD dwCount, OPCHANDLE* phClientItems, VARIANT* pvValues, WORD* pwQualities,
                                FILETIME* pftTimeStamps, HRESULT* pErrors) override;
    STDMETHODIMP OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr, DWORD dwCount,
                                 OPCHANDLE* pClienthandles, HRESULT* pErrors) override;
    STDMETHODIMP OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) override;

    // Pumps this thread's messages until `count` calls have arrived in all,
    // or the time is up; true when they did.
    bool WaitFor(size_t count, DWORD timeoutMs);
    // Pumps messages for `ms` and returns how many calls came meanwhile.
    size_t CountArrivingWithin(DWORD ms);
    const std::vector<CallbackCall>& Calls() const { return calls_; }

private:
    void Record(CallbackCall::Kind kind, DWORD transid, OPCHANDLE hGroup, HRESULT quality, HRESULT error,
                DWORD count, const OPCHANDLE* clients, const VARIANT* values, const WORD* qualities,
                const FILETIME* times, const HRESULT* errors);
    std::vector<CallbackCall> calls_;
};

// A data callback advised on a group's connection point, unadvised when it goes.
class CallbackSubscription {
public:
    CallbackSubscription() : sink_(new DataCallbackSink) { sink_->Release(); }
    ~CallbackSubscription() { Unadvise(); }
    HRESULT Advise(IUnknown* group);
    HRESULT Unadvise();
    DataCallbackSink& Sink() { return *sink_.get(); }

private:
    fw::ComPtr<DataCallbackSink> sink_;
    fw::ComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};
