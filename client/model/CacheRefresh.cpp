#include "CacheRefresh.h"

#include "GroupInterface.h"

std::optional<HRESULT> RequestCacheRefresh(IUnknown* server, const CGroup& group) {
    if (group.m_callbackPoint) {
        // An OPC 2.0 group: the values come back through its data callback.
        fw::ComPtr<IOPCAsyncIO2> io2;
        if (GetGroupInterface(server, group.m_name, io2) != GroupAccess::Reached) return std::nullopt;
        DWORD cancelId = 0;
        return io2->Refresh2(OPC_DS_CACHE, 1, &cancelId);
    }
    fw::ComPtr<IOPCAsyncIO> io;
    if (GetGroupInterface(server, group.m_name, io) != GroupAccess::Reached) return std::nullopt;
    DWORD transaction = 0;  // the completion is the ordinary stream: nothing waits for this id
    return io->Refresh(group.m_adviseConnection, OPC_DS_CACHE, &transaction);
}
