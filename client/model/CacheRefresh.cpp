#include "CacheRefresh.h"

#include "GroupInterface.h"

std::optional<HRESULT> RequestCacheRefresh(IUnknown* server, const CGroup& group) {
    fw::ComPtr<IOPCAsyncIO> io;
    if (GetGroupInterface(server, group.m_name, io) != GroupAccess::Reached) return std::nullopt;
    DWORD transaction = 0;  // the completion is the ordinary stream: nothing waits for this id
    return io->Refresh(group.m_adviseConnection, OPC_DS_CACHE, &transaction);
}
