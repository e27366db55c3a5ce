#include "StringEnumerator.h"

#include "TaskMem.h"

namespace testserver {

// Fewer names than asked for answer S_FALSE with the count fetched: Wine's
// stub takes S_OK for "all celt fetched" and marshals that many.
STDMETHODIMP StringEnumerator::Next(ULONG celt, LPOLESTR* out, ULONG* fetched) {
    if (!out || (celt > 1 && !fetched)) return E_INVALIDARG;
    ULONG n = 0;
    for (; n < celt && position_ < elements_.size(); ++n, ++position_) {
        out[n] = fw::TaskMemString(elements_[position_].c_str()).release();
        if (!out[n]) {
            position_ -= n;
            while (n) CoTaskMemFree(out[--n]);
            if (fetched) *fetched = 0;
            return E_OUTOFMEMORY;
        }
    }
    for (ULONG i = n; i < celt; ++i) out[i] = nullptr;
    if (fetched) *fetched = n;
    return n == celt ? S_OK : S_FALSE;
}

HRESULT EnumerateNames(std::vector<std::wstring> names, IEnumString** out) {
    const bool any = !names.empty();
    const HRESULT hr = fw::CreateInstance<StringEnumerator>(IID_IEnumString, reinterpret_cast<void**>(out),
                                                            std::move(names));
    if (FAILED(hr)) return hr;
    return any ? S_OK : S_FALSE;
}

}  // namespace testserver
