// Snapshot enumerators of the standard COM shape (IEnumUnknown, IEnumString,
// IEnumConnections, IEnumConnectionPoints): the elements are taken when the
// enumerator is made, so a list that changes afterwards never moves a
// client's position under it.
//
//   std::vector<std::wstring> names = ...;
//   IEnumString* walker = nullptr;
//   HRESULT hr = fw::MakeEnumerator<IEnumString>(std::move(names), IID_IEnumString,
//                                                reinterpret_cast<void**>(&walker));
//
// What a client gets from Next is its own: interface pointers (also the pUnk
// of CONNECTDATA) carry a reference it releases, strings are task-memory
// copies it frees with CoTaskMemFree.  EnumTraits<Enum> says, per interface,
// what the snapshot holds (Item) and how one element is handed out (Copy) or
// taken back (Free).  Clones share the snapshot and keep their own position.
// Calls on one instance are not serialised: a client walks it from one
// thread at a time.
#pragma once

#include "ComObject.h"
#include "ComPtr.h"
#include "InterfaceId.h"
#include "TaskMem.h"

#include <objbase.h>
#include <ocidl.h>

#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

FW_INTERFACE_ID(IEnumConnections)
FW_INTERFACE_ID(IEnumConnectionPoints)

namespace fw {

template <class Enum>
struct EnumTraits;

// Kinds whose elements are interface pointers.
template <class I>
struct InterfaceEnumTraits {
    using Element = I*;
    using Item = ComPtr<I>;
    static HRESULT Copy(const Item& from, Element* to) { return from.copy_to(to); }
    static void Free(Element& element) {
        if (Element p = std::exchange(element, nullptr)) p->Release();
    }
};

template <>
struct EnumTraits<IEnumUnknown> : InterfaceEnumTraits<IUnknown> {};

template <>
struct EnumTraits<IEnumConnectionPoints> : InterfaceEnumTraits<IConnectionPoint> {};

template <>
struct EnumTraits<IEnumString> {
    using Element = LPOLESTR;
    using Item = std::wstring;
    static HRESULT Copy(const Item& from, Element* to) {
        *to = TaskMemString(from.c_str()).release();
        return *to ? S_OK : E_OUTOFMEMORY;
    }
    static void Free(Element& element) { CoTaskMemFree(std::exchange(element, nullptr)); }
};

// One advised sink as a connection point lists it.
struct Connection {
    DWORD cookie;
    ComPtr<IUnknown> sink;
};

template <>
struct EnumTraits<IEnumConnections> {
    using Element = CONNECTDATA;
    using Item = Connection;
    static HRESULT Copy(const Item& from, Element* to) {
        to->dwCookie = from.cookie;
        return from.sink.copy_to(&to->pUnk);
    }
    static void Free(Element& element) {
        if (IUnknown* p = std::exchange(element.pUnk, nullptr)) p->Release();
    }
};

// GCC (12, at -O3) guesses, from speculative devirtualisation of Release in
// code that holds other objects, that an Enumerator could be deleted through
// a pointer into its middle; it cannot (ComObject deletes the whole object).
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wfree-nonheap-object"
template <class Enum>
class Enumerator final : public ComObject<Enumerator<Enum>, Enum> {
    using Traits = EnumTraits<Enum>;
    using Element = typename Traits::Element;
    using Items = std::vector<typename Traits::Item>;

public:
    explicit Enumerator(std::shared_ptr<const Items> items, size_t position = 0)
        : items_(std::move(items)), position_(position) {}

    STDMETHODIMP Next(ULONG celt, Element* rgelt, ULONG* fetched) override {
        if (fetched) *fetched = 0;
        if (!rgelt || (celt != 1 && !fetched)) return E_POINTER;
        const size_t remaining = items_->size() - position_;
        const ULONG n = celt < remaining ? celt : static_cast<ULONG>(remaining);
        for (ULONG k = 0; k < n; ++k) {
            const HRESULT hr = Traits::Copy((*items_)[position_ + k], &rgelt[k]);
            if (FAILED(hr)) {
                // The caller owns nothing after a failure: take back what
                // this call had already handed out.
                while (k) Traits::Free(rgelt[--k]);
                return hr;
            }
        }
        position_ += n;
        if (fetched) *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }

    STDMETHODIMP Skip(ULONG celt) override {
        const size_t remaining = items_->size() - position_;
        if (celt > remaining) {
            position_ = items_->size();
            return S_FALSE;
        }
        position_ += celt;
        return S_OK;
    }

    STDMETHODIMP Reset() override {
        position_ = 0;
        return S_OK;
    }

    STDMETHODIMP Clone(Enum** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return CreateInstance<Enumerator>(InterfaceId<Enum>(), reinterpret_cast<void**>(out), items_, position_);
    }

private:
    std::shared_ptr<const Items> items_;
    size_t position_;
};
#pragma GCC diagnostic pop

// Makes an enumerator over items and queries it for iid (IID_IUnknown or
// Enum's own IID).
template <class Enum>
HRESULT MakeEnumerator(std::vector<typename EnumTraits<Enum>::Item> items, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    std::shared_ptr<const std::vector<typename EnumTraits<Enum>::Item>> snapshot;
    try {
        snapshot = std::make_shared<const std::vector<typename EnumTraits<Enum>::Item>>(std::move(items));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return CreateInstance<Enumerator<Enum>>(iid, out, std::move(snapshot));
}

}  // namespace fw
