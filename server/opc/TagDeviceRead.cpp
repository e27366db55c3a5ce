#include "TagDeviceRead.h"

#include "TarnProtocol.h"

#include <memory>
#include <new>

HRESULT DeviceReadTags(ServerContext& server, CRealItem* const* tags, size_t count) {
    if (!server.HasDriver()) return E_FAIL;
    if (count == 0) return S_OK;
    std::unique_ptr<tarn::TarnIoItem[]> elements(new (std::nothrow) tarn::TarnIoItem[count]());
    std::unique_ptr<CRealItem*[]> read(new (std::nothrow) CRealItem*[count]());
    // The driver writes into copies; the tags take them under their value
    // lock afterwards, so no reader sees a value half written.
    std::unique_ptr<VARIANT[]> values(new (std::nothrow) VARIANT[count]);
    if (!elements || !read || !values) return E_OUTOFMEMORY;

    int32_t filled = 0;
    {
        // One hold of the value lock for the whole batch: the tags all
        // belong to the one table of their server object.
        TagValueLock valueLock(tags[0]);
        for (size_t i = 0; i < count; ++i) {
            CRealItem* tag = tags[i];
            if (!tag || tag->m_ioMode != kDeviceTag) continue;
            tarn::TarnIoItem& e = elements[filled];
            e.address = tag->m_address;
            e.device = tag->m_device;
            e.number = tag->m_addressNumber;
            e.param = tag->m_addressParam;
            e.type = tarn::TarnTypeFromVarType(tag->m_canonicalType);
            values[filled] = tag->ReadingLocked().raw;
            values[filled].vt = tag->m_canonicalType;
            e.value = &values[filled];
            read[filled++] = tag;
        }
    }

    tarn::TarnRequest request{server.DriverContext(), tarn::OpcBlockRead, filled, 0, elements.get()};
    request.count = filled;
    // A driver write further down this thread's stack holds the driver (its
    // box dispatched this call): the driver is not entered a second time.
    if (server.DriverHeldByThisThread()) return HRESULT_FROM_WIN32(ERROR_BUSY);
    const DriverStatus rc = server.SendToDriver(request);

    FILETIME now;
    CoFileTimeNow(&now);
    TagValueLock valueLock(filled ? read[0] : nullptr);
    for (int32_t i = 0; i < filled; ++i)
        read[i]->StoreReadingLocked(values[i], Succeeded(rc) ? DriverStatus{elements[i].status} : rc, now);
    return S_OK;
}
