// Owning COM interface pointer.
#pragma once

#include "InterfaceId.h"

#include <objbase.h>

#include <utility>

namespace fw {

template <class T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes a new reference on p.
    explicit ComPtr(T* p) : p_(p) {
        if (p_) p_->AddRef();
    }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(o.detach()) {}
    ComPtr& operator=(const ComPtr& o) {
        ComPtr(o).swap(*this);
        return *this;
    }
    ComPtr& operator=(ComPtr&& o) noexcept {
        ComPtr(std::move(o)).swap(*this);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

    // Releases what is held and returns the slot for an out parameter.
    T** put() {
        reset();
        return &p_;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }

    void reset() {
        if (T* p = std::exchange(p_, nullptr)) p->Release();
    }
    // Adopts a reference the caller already owns.
    void attach(T* p) {
        reset();
        p_ = p;
    }
    T* detach() { return std::exchange(p_, nullptr); }
    void swap(ComPtr& o) noexcept { std::swap(p_, o.p_); }

    // Hands out a new reference.
    HRESULT copy_to(T** out) const {
        if (!out) return E_POINTER;
        *out = p_;
        if (p_) p_->AddRef();
        return S_OK;
    }

    template <class U>
    HRESULT query(ComPtr<U>& out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(InterfaceId<U>(), out.put_void());
    }

private:
    T* p_ = nullptr;
};

}  // namespace fw
