// Owner of an open registry key.
#pragma once

#include "UniqueHandle.h"

namespace fw {

struct RegistryKeyTraits {
    using Type = HKEY;
    static void Close(HKEY key) { ::RegCloseKey(key); }
};
using UniqueRegKey = UniqueHandleOf<RegistryKeyTraits>;

// Opening and creating keys into an owner.  What the API leaves in its
// output after a failure is not trusted: the owner is then empty.
inline LONG OpenRegKey(HKEY parent, const char* name, REGSAM access, UniqueRegKey& key) {
    HKEY raw = nullptr;
    const LONG rc = ::RegOpenKeyExA(parent, name, 0, access, &raw);
    key.reset(rc == ERROR_SUCCESS ? raw : nullptr);
    return rc;
}

inline LONG CreateRegKey(HKEY parent, const char* name, REGSAM access, UniqueRegKey& key) {
    HKEY raw = nullptr;
    const LONG rc = ::RegCreateKeyExA(parent, name, 0, nullptr, 0, access, nullptr, &raw, nullptr);
    key.reset(rc == ERROR_SUCCESS ? raw : nullptr);
    return rc;
}

}  // namespace fw
