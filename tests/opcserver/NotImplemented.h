// The answer of a test server's method that its tests never call, with the
// out-parameter nulled as the interfaces require.
#pragma once

#include <windows.h>

namespace testserver {

template <class T>
HRESULT NotImplemented(T** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

}  // namespace testserver
