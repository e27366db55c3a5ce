#include "DataCallbackSink.h"

#include "WineTest.h"

CallbackCall::CallbackCall(CallbackCall&& other) noexcept
    : kind(other.kind), transactionId(other.transactionId), hGroup(other.hGroup),
      masterQuality(other.masterQuality), masterError(other.masterError), items(std::move(other.items)) {
    other.items.clear();
}

CallbackCall::~CallbackCall() {
    for (CallbackItem& item : items) VariantClear(&item.value);
}

const CallbackItem* CallbackCall::Find(OPCHANDLE hClient) const {
    for (const CallbackItem& item : items)
        if (item.hClient == hClient) return &item;
    return nullptr;
}

void DataCallbackSink::Record(CallbackCall::Kind kind, DWORD transid, OPCHANDLE hGroup, HRESULT quality,
                              HRESULT error, DWORD count, const OPCHANDLE* clients, const VARIANT* values,
                              const WORD* qualities, const FILETIME* times, const HRESULT* errors) {
    CallbackCall call;
    call.kind = kind;
    call.transactionId = transid;
    call.hGroup = hGroup;
    call.masterQuality = quality;
    call.masterError = error;
    for (DWORD i = 0; i < count; ++i) {
        CallbackItem item;
        item.hClient = clients ? clients[i] : 0;
        VariantInit(&item.value);
        if (values) VariantCopy(&item.value, const_cast<VARIANT*>(&values[i]));
        item.quality = qualities ? qualities[i] : 0;
        if (times) item.time = times[i];
        item.error = errors ? errors[i] : S_OK;
        call.items.push_back(item);
    }
    calls_.push_back(std::move(call));
}

STDMETHODIMP DataCallbackSink::OnDataChange(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                                            HRESULT hrMastererror, DWORD dwCount, OPCHANDLE* phClientItems,
                                            VARIANT* pvValues, WORD* pwQualities, FILETIME* pftTimeStamps,
                                            HRESULT* pErrors) {
    Record(CallbackCall::DataChange, dwTransid, hGroup, hrMasterquality, hrMastererror, dwCount, phClientItems,
           pvValues, pwQualities, pftTimeStamps, pErrors);
    return S_OK;
}

STDMETHODIMP DataCallbackSink::OnReadComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMasterquality,
                                              HRESULT hrMastererror, DWORD dwCount, OPCHANDLE* phClientItems,
                                              VARIANT* pvValues, WORD* pwQualities, FILETIME* pftTimeStamps,
                                              HRESULT* pErrors) {
    Record(CallbackCall::ReadComplete, dwTransid, hGroup, hrMasterquality, hrMastererror, dwCount, phClientItems,
           pvValues, pwQualities, pftTimeStamps, pErrors);
    return S_OK;
}

STDMETHODIMP DataCallbackSink::OnWriteComplete(DWORD dwTransid, OPCHANDLE hGroup, HRESULT hrMastererr,
                                               DWORD dwCount, OPCHANDLE* pClienthandles, HRESULT* pErrors) {
    Record(CallbackCall::WriteComplete, dwTransid, hGroup, S_OK, hrMastererr, dwCount, pClienthandles, nullptr,
           nullptr, nullptr, pErrors);
    return S_OK;
}

STDMETHODIMP DataCallbackSink::OnCancelComplete(DWORD dwTransid, OPCHANDLE hGroup) {
    Record(CallbackCall::CancelComplete, dwTransid, hGroup, S_OK, S_OK, 0, nullptr, nullptr, nullptr, nullptr,
           nullptr);
    return S_OK;
}

bool DataCallbackSink::WaitFor(size_t count, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (calls_.size() < count) {
        if (GetTickCount() - start >= timeoutMs) return false;
        testsupport::PumpMessages(10);
    }
    return true;
}

size_t DataCallbackSink::CountArrivingWithin(DWORD ms) {
    const size_t before = calls_.size();
    testsupport::PumpMessages(ms);
    return calls_.size() - before;
}

HRESULT CallbackSubscription::Advise(IUnknown* group) {
    fw::ComPtr<IConnectionPointContainer> container;
    HRESULT hr = group->QueryInterface(IID_IConnectionPointContainer, container.put_void());
    if (FAILED(hr)) return hr;
    hr = container->FindConnectionPoint(IID_IOPCDataCallback, point_.put());
    if (FAILED(hr)) return hr;
    return point_->Advise(static_cast<IOPCDataCallback*>(sink_.get()), &cookie_);
}

HRESULT CallbackSubscription::Unadvise() {
    if (!point_ || !cookie_) return S_FALSE;
    const HRESULT hr = point_->Unadvise(cookie_);
    cookie_ = 0;
    point_.reset();
    return hr;
}
