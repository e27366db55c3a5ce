// The items of one group of a test server, found by their server handles.
// Every method that takes an array of handles answers the same way: a
// task-memory array with one code per handle, OPC_E_INVALIDHANDLE for a
// handle the group does not know, and S_FALSE overall when any code failed.
//
// Item is the server's own struct with at least the fields
//   OPCHANDLE hServer; OPCHANDLE hClient; BOOL active;
#pragma once

#include "OpcInterfaces.h"
#include "TaskMem.h"

#include <vector>

namespace testserver {

template <class Item>
class ItemList {
public:
    std::vector<Item>& items() { return items_; }
    const std::vector<Item>& items() const { return items_; }

    Item* Find(OPCHANDLE hServer) {
        for (Item& item : items_)
            if (item.hServer == hServer) return &item;
        return nullptr;
    }

    // AddItems (add) and ValidateItems.  lookup(def, result, item) answers
    // the definition's code; on success it has filled in the result (all but
    // the server handle) and the item's own fields.
    template <class Lookup>
    HRESULT Resolve(DWORD count, const OPCITEMDEF* defs, bool add, OPCITEMRESULT** results, HRESULT** errors,
                    Lookup lookup) {
        if (!results || !errors) return E_INVALIDARG;
        *results = nullptr;
        *errors = nullptr;
        if (count == 0 || !defs) return E_INVALIDARG;
        auto out = fw::TaskMemArray<OPCITEMRESULT>(count);
        auto codes = fw::TaskMemArray<HRESULT>(count);
        if (!out || !codes) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            Item item{};
            const HRESULT hr = lookup(defs[i], out.get()[i], item);
            codes.get()[i] = hr;
            if (FAILED(hr)) {
                overall = S_FALSE;
            } else if (add) {
                item.hServer = out.get()[i].hServer = nextHandle_++;
                item.hClient = defs[i].hClient;
                item.active = defs[i].bActive;
                items_.push_back(std::move(item));
            }
        }
        *results = out.release();
        *errors = codes.release();
        return overall;
    }

    // action(item, position) answers the code of a handle the group knows;
    // position is the handle's index in the caller's array.
    template <class Action>
    HRESULT ForEachHandle(DWORD count, const OPCHANDLE* handles, HRESULT** errors, Action action) {
        if (!errors) return E_INVALIDARG;
        *errors = nullptr;
        if (count == 0 || !handles) return E_INVALIDARG;
        auto codes = fw::TaskMemArray<HRESULT>(count);
        if (!codes) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            Item* item = Find(handles[i]);
            const HRESULT hr = item ? action(*item, i) : OPC_E_INVALIDHANDLE;
            codes.get()[i] = hr;
            if (hr != S_OK) overall = S_FALSE;
        }
        *errors = codes.release();
        return overall;
    }

    HRESULT Remove(DWORD count, const OPCHANDLE* handles, HRESULT** errors) {
        return ForEachHandle(count, handles, errors, [this](Item& item, DWORD) {
            items_.erase(items_.begin() + (&item - items_.data()));
            return S_OK;
        });
    }

    // IOPCSyncIO::Read: fill(item, state) writes a known item's state and
    // answers its code.
    template <class Fill>
    HRESULT Read(DWORD count, const OPCHANDLE* handles, OPCITEMSTATE** values, HRESULT** errors, Fill fill) {
        if (!values || !errors) return E_INVALIDARG;
        *values = nullptr;
        auto states = fw::TaskMemArray<OPCITEMSTATE>(count);
        if (!states) return E_OUTOFMEMORY;
        const HRESULT hr = ForEachHandle(count, handles, errors,
                                         [&](Item& item, DWORD i) -> HRESULT { return fill(item, states.get()[i]); });
        if (SUCCEEDED(hr)) *values = states.release();
        return hr;
    }

    // IOPCSyncIO::Write: each value converted to typeOf(item) goes to
    // store(item, converted), whose code is the handle's; a value that does
    // not convert answers OPC_E_BADTYPE.
    template <class TypeOf, class Store>
    HRESULT Write(DWORD count, const OPCHANDLE* handles, VARIANT* values, HRESULT** errors, TypeOf typeOf,
                  Store store) {
        if (!values) {
            if (errors) *errors = nullptr;
            return E_INVALIDARG;
        }
        return ForEachHandle(count, handles, errors, [&](Item& item, DWORD i) -> HRESULT {
            VARIANT converted;
            VariantInit(&converted);
            if (FAILED(VariantChangeType(&converted, &values[i], 0, typeOf(item)))) return OPC_E_BADTYPE;
            const HRESULT hr = store(item, converted);
            VariantClear(&converted);
            return hr;
        });
    }

private:
    std::vector<Item> items_;
    OPCHANDLE nextHandle_ = 1;
};

}  // namespace testserver
