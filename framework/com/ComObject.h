// A COM object that answers several interfaces with one reference count.
//
//   class CThing : public ComObject<CThing, IFoo, IBar> { ... };
//
// The first interface is the object's identity: QueryInterface(IID_IUnknown)
// from any of its interfaces returns the same pointer.  A derived class that
// answers further IIDs (base interfaces, tear-offs) overrides QueryExtra.
#pragma once

#include "InterfaceId.h"

#include <objbase.h>

#include <atomic>
#include <new>
#include <tuple>
#include <utility>

namespace fw {

// Counts live objects so that a DLL or EXE server knows when it may go.
class ModuleLock {
public:
    static void Acquire() { ++count(); }
    static void Release() { --count(); }
    static long Count() { return count(); }

private:
    static std::atomic<long>& count() {
        static std::atomic<long> value{0};
        return value;
    }
};

template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
    using Primary = std::tuple_element_t<0, std::tuple<Interfaces...>>;

public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (IsEqualIID(iid, IID_IUnknown))
            *out = static_cast<IUnknown*>(static_cast<Primary*>(this));
        else
            (void)((IsEqualIID(iid, InterfaceId<Interfaces>()) &&
                    (*out = static_cast<Interfaces*>(this)) != nullptr) ||
                   ...);
        if (!*out) return static_cast<Derived*>(this)->QueryExtra(iid, out);
        AddRef();
        return S_OK;
    }

    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }

    STDMETHODIMP_(ULONG) Release() override {
        const ULONG n = --refs_;
        if (n == 0) static_cast<Derived*>(this)->OnFinalRelease();
        return n;
    }

    // Runs when the last reference goes; objects whose end is more than a
    // delete (a document closing its windows) override it.
    void OnFinalRelease() { delete static_cast<Derived*>(this); }

    IUnknown* Identity() { return static_cast<IUnknown*>(static_cast<Primary*>(this)); }

    // Extra interfaces of a derived class; it must AddRef what it returns.
    HRESULT QueryExtra(REFIID, void**) { return E_NOINTERFACE; }

protected:
    ComObject() { ModuleLock::Acquire(); }
    virtual ~ComObject() { ModuleLock::Release(); }

private:
    std::atomic<ULONG> refs_{1};
};

// Creates an object of T and queries it for iid; the creation reference is
// dropped either way, so a failed query frees the object.
template <class T, class... Args>
HRESULT CreateInstance(REFIID iid, void** out, Args&&... args) {
    if (!out) return E_POINTER;
    *out = nullptr;
    T* object = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!object) return E_OUTOFMEMORY;
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
}

}  // namespace fw
