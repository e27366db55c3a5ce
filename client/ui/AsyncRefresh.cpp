#include "AsyncRefresh.h"

#include "CacheRefresh.h"

void AsyncCacheRefresh(HWND owner, IUnknown* server, const CGroup& group) {
    const std::optional<HRESULT> result = RequestCacheRefresh(server, group);
    if (result && *result != S_OK) ::MessageBoxA(owner, "Refresh Error", nullptr, MB_OK | MB_ICONWARNING);
}
