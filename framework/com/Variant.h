// Owner of one VARIANT: cleared when replaced and when the owner goes.
#pragma once

#include <oleauto.h>

#include <utility>

namespace fw {

class Variant {
public:
    Variant() { ::VariantInit(&value_); }
    ~Variant() { ::VariantClear(&value_); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    const VARIANT& get() const { return value_; }
    // For calls that only read the value but take a VARIANT* (most COM
    // in-parameters are declared so).
    VARIANT* in() { return &value_; }
    // For an API that fills a VARIANT: what was held before is cleared first.
    VARIANT* put() {
        ::VariantClear(&value_);
        return &value_;
    }
    HRESULT CopyFrom(const VARIANT& source) { return ::VariantCopy(&value_, const_cast<VARIANT*>(&source)); }
    // Hands the value to the caller's VARIANT, which must hold nothing.
    void MoveTo(VARIANT* out) {
        *out = value_;
        ::VariantInit(&value_);
    }

private:
    VARIANT value_;
};

}  // namespace fw
