// A class factory that makes objects through a creation function.
#pragma once

#include "ComObject.h"

#include <objbase.h>

#include <functional>

namespace fw {

// Creates a new object and queries it for iid, as IClassFactory::CreateInstance.
using CreateFunction = std::function<HRESULT(REFIID iid, void** out)>;

class ClassFactory final : public ComObject<ClassFactory, IClassFactory> {
public:
    explicit ClassFactory(CreateFunction create) : create_(std::move(create)) {}

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return create_(iid, out);
    }

    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            CoAddRefServerProcess();
        else
            CoReleaseServerProcess();
        return S_OK;
    }

private:
    CreateFunction create_;
};

}  // namespace fw
