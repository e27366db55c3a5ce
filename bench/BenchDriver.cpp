// The driver library of the benchmarks, installed as TARNWNISA.DLL (the first
// name the server tries) beside a copy of the server.  It offers
// kBenchTagCount tags, alternately VT_I4 and VT_R8, and every block read
// gives every tag a new value, so that each subscription cycle sends every
// item.  It does as little as a driver can: what is measured is the server.
#include "BenchTags.h"
#include "TarnProtocol.h"

#include <windows.h>
#include <oaidl.h>

#include <cstdlib>
#include <cstring>

namespace {

volatile LONG g_reads = 0;

VARTYPE TagType(int index) { return index % 2 == 0 ? VT_I4 : VT_R8; }

void FillValue(tarn::TarnIoItem& item, LONG read) {
    auto* value = reinterpret_cast<unsigned char*>(item.value) + tarn::TarnVariantValueOffset;
    if (item.type == tarn::TarnFloat64) {
        const double v = read + item.number * 0.5;
        std::memcpy(value, &v, sizeof v);
    } else {
        const int32_t v = read + item.number;
        std::memcpy(value, &v, sizeof v);
    }
    item.status = 0;
}

}  // namespace

extern "C" __declspec(dllexport) int32_t TARN_CALL TarnMain(tarn::TarnRequest* request) {
    switch (request->code) {
    case tarn::GetTarnInfo: {
        auto* info = static_cast<tarn::TarnDriverInfo*>(request->data);
        std::memset(info, 0, sizeof *info);
        info->name = "Bench driver";
        info->contextSize = 4;
        return tarn::TarnOk;
    }
    case tarn::ColdStart:
        return tarn::TarnOk;
    case tarn::OpcTagCount:
        *static_cast<int32_t*>(request->data) = bench::kBenchTagCount;
        return tarn::TarnOk;
    case tarn::OpcTagList: {
        auto* records = static_cast<tarn::TarnTagRecord*>(request->data);
        for (int32_t i = 0; i < bench::kBenchTagCount && i < request->count; ++i) {
            std::snprintf(records[i].address, sizeof records[i].address, "%d", static_cast<int>(i));
            std::snprintf(records[i].name, sizeof records[i].name, "Bench%05d", static_cast<int>(i));
            records[i].type = TagType(i);
        }
        return tarn::TarnOk;
    }
    case tarn::SingleAddressParser: {
        auto* address = static_cast<tarn::TarnAddress*>(request->data);
        address->device = 1;
        address->number = std::atoi(address->address);
        address->param = 0;
        return tarn::TarnOk;
    }
    case tarn::OpcBlockRead: {
        const LONG read = InterlockedIncrement(&g_reads);
        auto* items = static_cast<tarn::TarnIoItem*>(request->data);
        for (int32_t i = 0; i < request->count; ++i) FillValue(items[i], read);
        return tarn::TarnOk;
    }
    case tarn::OpcWrite:
        return tarn::TarnOk;
    default:
        return tarn::TarnNotSupported;
    }
}
