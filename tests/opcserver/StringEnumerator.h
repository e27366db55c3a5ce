// IEnumString over a list of names, as browsing hands them out.
#pragma once

#include "ListEnumerator.h"

#include <objidl.h>

#include <string>
#include <vector>

namespace testserver {

class StringEnumerator final : public ListEnumerator<StringEnumerator, IEnumString, std::wstring> {
public:
    using ListEnumerator::ListEnumerator;

    STDMETHODIMP Next(ULONG celt, LPOLESTR* out, ULONG* fetched) override;
};

// An enumerator of the names for BrowseOPCItemIDs: S_OK, or S_FALSE with an
// empty enumerator when nothing matched.
HRESULT EnumerateNames(std::vector<std::wstring> names, IEnumString** out);

}  // namespace testserver
