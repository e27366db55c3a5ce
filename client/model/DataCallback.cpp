#include "DataCallback.h"

#include "ComPtr.h"
#include "StreamApply.h"

#include <utility>

CDataCallback::CDataCallback(ChangeCallback onChange) : onChange_(std::move(onChange)) {}

STDMETHODIMP CDataCallback::OnDataChange(DWORD, OPCHANDLE, HRESULT, HRESULT, DWORD count, OPCHANDLE* clientHandles,
                                         VARIANT* values, WORD* qualities, FILETIME*, HRESULT*) {
    // The change callback may remove the group and its reference to us.
    fw::ComPtr<CDataCallback> self(this);
    if (!group_) return S_OK;
    if (count && clientHandles && values && qualities)
        ApplyItemValues(*group_, count, clientHandles, values, qualities);
    if (onChange_ && group_) onChange_(*group_);
    return S_OK;
}

STDMETHODIMP CDataCallback::OnReadComplete(DWORD transaction, OPCHANDLE group, HRESULT masterQuality,
                                           HRESULT masterError, DWORD count, OPCHANDLE* clientHandles,
                                           VARIANT* values, WORD* qualities, FILETIME* times, HRESULT* errors) {
    return OnDataChange(transaction, group, masterQuality, masterError, count, clientHandles, values, qualities,
                        times, errors);
}
