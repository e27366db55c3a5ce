#include "SyncItemCalls.h"

#include "ResultText.h"
#include "TaskMemResults.h"

namespace {

// The item's own code: S_FALSE from the call says to look at it.
HRESULT ItemResult(HRESULT call, const fw::TaskMemPtr<HRESULT>& errors) {
    if (FAILED(call)) return call;
    return errors ? errors.get()[0] : E_POINTER;
}

}  // namespace

HRESULT SyncReadJob::Run(IUnknown* server) {
    fw::ComPtr<IOPCSyncIO> io;
    outcome.access = GetGroupInterface(server, groupName_, io);
    if (outcome.access != GroupAccess::Reached) return S_OK;
    OPCHANDLE handle = item_;
    fw::TaskMemResults<OPCITEMSTATE, &OPCITEMSTATE::vDataValue> states;
    fw::TaskMemPtr<HRESULT> errors;
    outcome.call = io->Read(OPC_DS_DEVICE, 1, &handle, states.put(1), fw::OutPtr(errors));
    outcome.item = ItemResult(outcome.call, errors);
    if (SUCCEEDED(outcome.item) && !states) outcome.item = E_POINTER;
    if (SUCCEEDED(outcome.item))
        outcome.item = SUCCEEDED(value.CopyFrom(states[0].vDataValue)) ? outcome.item : E_OUTOFMEMORY;
    if (SUCCEEDED(outcome.call) && FAILED(outcome.item)) outcome.itemErrorText = ServerResultText(server, outcome.item);
    return S_OK;
}

SyncWriteJob::SyncWriteJob(std::string groupName, OPCHANDLE item, const VARIANT& value)
    : groupName_(std::move(groupName)), item_(item) {
    value_.CopyFrom(value);
}

HRESULT SyncWriteJob::Run(IUnknown* server) {
    fw::ComPtr<IOPCSyncIO> io;
    outcome.access = GetGroupInterface(server, groupName_, io);
    if (outcome.access != GroupAccess::Reached) return S_OK;
    OPCHANDLE handle = item_;
    fw::TaskMemPtr<HRESULT> errors;
    outcome.call = io->Write(1, &handle, value_.in(), fw::OutPtr(errors));
    outcome.item = ItemResult(outcome.call, errors);
    if (SUCCEEDED(outcome.call) && FAILED(outcome.item)) outcome.itemErrorText = ServerResultText(server, outcome.item);
    return S_OK;
}
