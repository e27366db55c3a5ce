// The group object of a test server: its state, its items and reading and
// writing them, with what the server itself decides left to Derived:
//
//   static HRESULT Lookup(const OPCITEMDEF&, OPCITEMRESULT&, Item&);   as ItemList::Resolve
//   HRESULT Fill(const Item&, OPCDATASOURCE, OPCITEMSTATE&);           a known item's state
//   VARTYPE TypeOf(const Item&);                                       what a write converts to
//   HRESULT Store(Item&, VARIANT&);                                    the converted value
//
//   class Group final : public TestGroup<Group, Item, IDataObject> { ... };
#pragma once

#include "ComObject.h"
#include "ItemList.h"
#include "NotImplemented.h"
#include "OpcInterfaces.h"
#include "ServerProcess.h"
#include "TaskMem.h"

#include <string>

namespace testserver {

struct GroupState {
    std::wstring name;
    DWORD rate;
    BOOL active;
    LONG bias;
    FLOAT deadband;
    DWORD lcid;
    OPCHANDLE hClient;
    OPCHANDLE hServer;
};

template <class Derived, class Item, class... More>
class TestGroup : public fw::ComObject<Derived, IOPCItemMgt, IOPCGroupStateMgt, IOPCSyncIO, More...> {
public:
    explicit TestGroup(GroupState state) : state_(std::move(state)) {}

    const GroupState& state() const { return state_; }

    // IOPCItemMgt
    STDMETHODIMP AddItems(DWORD count, OPCITEMDEF* defs, OPCITEMRESULT** results, HRESULT** errors) override {
        return items_.Resolve(count, defs, true, results, errors, Derived::Lookup);
    }
    STDMETHODIMP ValidateItems(DWORD count, OPCITEMDEF* defs, BOOL, OPCITEMRESULT** results,
                               HRESULT** errors) override {
        return items_.Resolve(count, defs, false, results, errors, Derived::Lookup);
    }
    STDMETHODIMP RemoveItems(DWORD count, OPCHANDLE* handles, HRESULT** errors) override {
        return items_.Remove(count, handles, errors);
    }
    STDMETHODIMP SetActiveState(DWORD, OPCHANDLE*, BOOL, HRESULT**) override { return E_NOTIMPL; }
    STDMETHODIMP SetClientHandles(DWORD, OPCHANDLE*, OPCHANDLE*, HRESULT**) override { return E_NOTIMPL; }
    STDMETHODIMP SetDatatypes(DWORD, OPCHANDLE*, VARTYPE*, HRESULT**) override { return E_NOTIMPL; }
    STDMETHODIMP CreateEnumerator(REFIID, LPUNKNOWN* out) override { return NotImplemented(out); }

    // IOPCGroupStateMgt
    STDMETHODIMP GetState(DWORD* rate, BOOL* active, LPWSTR* name, LONG* bias, FLOAT* deadband, DWORD* lcid,
                          OPCHANDLE* hClient, OPCHANDLE* hServer) override {
        if (!rate || !active || !name || !bias || !deadband || !lcid || !hClient || !hServer) return E_INVALIDARG;
        *name = fw::TaskMemString(state_.name.c_str()).release();
        if (!*name) return E_OUTOFMEMORY;
        *rate = state_.rate;
        *active = state_.active;
        *bias = state_.bias;
        *deadband = state_.deadband;
        *lcid = state_.lcid;
        *hClient = state_.hClient;
        *hServer = state_.hServer;
        return S_OK;
    }
    // Every pointer may be null but the revised rate's.
    STDMETHODIMP SetState(DWORD* requested, DWORD* revised, BOOL* active, LONG* bias, FLOAT* deadband, DWORD* lcid,
                          OPCHANDLE* hClient) override {
        if (!revised) return E_INVALIDARG;
        if (requested) state_.rate = *requested < 100 ? 100 : *requested;
        if (active) state_.active = *active;
        if (bias) state_.bias = *bias;
        if (deadband) state_.deadband = *deadband;
        if (lcid) state_.lcid = *lcid;
        if (hClient) state_.hClient = *hClient;
        *revised = state_.rate;
        return S_OK;
    }
    STDMETHODIMP SetName(LPCWSTR) override { return E_NOTIMPL; }
    STDMETHODIMP CloneGroup(LPCWSTR, REFIID, LPUNKNOWN* out) override { return NotImplemented(out); }

    // IOPCSyncIO
    STDMETHODIMP Read(OPCDATASOURCE source, DWORD count, OPCHANDLE* handles, OPCITEMSTATE** values,
                      HRESULT** errors) override {
        return items_.Read(count, handles, values, errors, [this, source](const Item& item, OPCITEMSTATE& state) {
            return self().Fill(item, source, state);
        });
    }
    STDMETHODIMP Write(DWORD count, OPCHANDLE* handles, VARIANT* values, HRESULT** errors) override {
        return items_.Write(
            count, handles, values, errors, [this](const Item& item) { return self().TypeOf(item); },
            [this](Item& item, VARIANT& value) { return self().Store(item, value); });
    }

protected:
    Derived& self() { return static_cast<Derived&>(*this); }

    GroupState state_;
    ItemList<Item> items_;

private:
    ProcessReference process_;
};

}  // namespace testserver
