// The no-op server's group: it keeps a count of items and nothing of them,
// and each subscription sends a stream of that many items once per update
// period from a thread of its own, as VELMORA_OPC's subscriptions do, with
// nothing read and nothing compared.  What a subscription costs then is the
// transport's share alone.
#pragma once

#include "ComObject.h"
#include "ComPtr.h"
#include "ServerProcess.h"
#include "OpcInterfaces.h"
#include "Sync.h"
#include "UniqueHandle.h"

#include <objidl.h>

#include <memory>
#include <vector>

namespace bench {

class NoopSubscription;

class NoopGroup final : public fw::ComObject<NoopGroup, IOPCItemMgt, IDataObject> {
public:
    NoopGroup(DWORD updateRate, OPCHANDLE clientGroup);
    ~NoopGroup() override;

    DWORD UpdateRate() const { return updateRate_; }
    OPCHANDLE ClientGroup() const { return clientGroup_; }
    // Items a stream carries: every item while the items are active, none
    // otherwise.  AddItems takes the first item's active flag for all, and
    // SetActiveState applies to all of them at once.
    DWORD ActiveItems() const { return active_ ? items_ : 0; }

    // IOPCItemMgt: AddItems and SetActiveState; the rest is not used.
    STDMETHODIMP AddItems(DWORD dwCount, OPCITEMDEF* pItemArray, OPCITEMRESULT** ppAddResults,
                          HRESULT** ppErrors) override;
    STDMETHODIMP ValidateItems(DWORD, OPCITEMDEF*, BOOL, OPCITEMRESULT**, HRESULT**) override { return E_NOTIMPL; }
    STDMETHODIMP RemoveItems(DWORD, OPCHANDLE*, HRESULT**) override { return E_NOTIMPL; }
    STDMETHODIMP SetActiveState(DWORD dwCount, OPCHANDLE* phServer, BOOL bActive, HRESULT** ppErrors) override;
    STDMETHODIMP SetClientHandles(DWORD, OPCHANDLE*, OPCHANDLE*, HRESULT**) override { return E_NOTIMPL; }
    STDMETHODIMP SetDatatypes(DWORD, OPCHANDLE*, VARTYPE*, HRESULT**) override { return E_NOTIMPL; }
    STDMETHODIMP CreateEnumerator(REFIID, LPUNKNOWN* ppUnk) override {
        if (ppUnk) *ppUnk = nullptr;
        return E_NOTIMPL;
    }

    // IDataObject: DAdvise and DUnadvise.
    STDMETHODIMP GetData(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC** ppenumFormatEtc) override {
        if (ppenumFormatEtc) *ppenumFormatEtc = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP DAdvise(FORMATETC* pformatetc, DWORD advf, IAdviseSink* pAdvSink, DWORD* pdwConnection) override;
    STDMETHODIMP DUnadvise(DWORD dwConnection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** ppenumAdvise) override {
        if (ppenumAdvise) *ppenumAdvise = nullptr;
        return E_NOTIMPL;
    }

private:
    testserver::ProcessReference processReference_;
    DWORD updateRate_;
    OPCHANDLE clientGroup_;
    volatile DWORD items_ = 0;
    volatile bool active_ = false;
    std::vector<std::unique_ptr<NoopSubscription>> subscriptions_;
};

}  // namespace bench
