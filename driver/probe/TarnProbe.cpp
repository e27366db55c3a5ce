// tarn_probe: loads a driver library, asks it what a server would ask at
// start-up and prints a few block reads.  A quick look at a driver without
// the OPC server around it.
//
//   tarn_probe [DRIVER.dll] [READS]
#include "TarnProtocol.h"

#include <windows.h>
#include <oleauto.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Tag {
    tarn::TarnTagRecord record;
    tarn::TarnAddress address;
    VARIANT value;
    uint8_t status;
};

std::string Beside(const char* file) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of("\\/") + 1) + file;
}

std::string ValueText(const VARIANT& v) {
    char text[64];
    switch (v.vt) {
    case VT_I2: std::snprintf(text, sizeof text, "%d", v.iVal); break;
    case VT_I4: std::snprintf(text, sizeof text, "%ld", static_cast<long>(v.lVal)); break;
    case VT_R4: std::snprintf(text, sizeof text, "%f", v.fltVal); break;
    case VT_R8: std::snprintf(text, sizeof text, "%f", v.dblVal); break;
    case VT_BOOL: std::snprintf(text, sizeof text, "%s", v.boolVal ? "TRUE" : "FALSE"); break;
    default: std::snprintf(text, sizeof text, "(type %u)", v.vt); break;
    }
    return text;
}

int32_t Call(tarn::TarnMainProc entry, void* context, int32_t code, int32_t count, void* data) {
    tarn::TarnRequest request{context, code, 0, count, data};
    return entry(&request);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : Beside("TARNWNSIMUL.dll");
    const int reads = argc > 2 ? std::atoi(argv[2]) : 3;

    HMODULE library = LoadLibraryA(path.c_str());
    if (!library) {
        std::fprintf(stderr, "cannot load %s (error %lu)\n", path.c_str(), GetLastError());
        return 1;
    }
    auto entry = reinterpret_cast<tarn::TarnMainProc>(
        reinterpret_cast<void*>(GetProcAddress(library, tarn::TarnEntryName)));
    if (!entry) {
        std::fprintf(stderr, "%s exports no %s\n", path.c_str(), tarn::TarnEntryName);
        return 1;
    }

    tarn::TarnDriverInfo info{};
    if (int32_t rc = Call(entry, nullptr, tarn::GetTarnInfo, 0, &info)) {
        std::fprintf(stderr, "GetTarnInfo failed: %ld\n", static_cast<long>(rc));
        return 1;
    }
    std::printf("driver   %s, version %ld, context %ld bytes\n", info.name ? info.name : "(unnamed)",
                static_cast<long>(info.version), static_cast<long>(info.contextSize));
    std::vector<char> context(info.contextSize > 0 ? info.contextSize : 1);
    std::vector<char> coldStart(tarn::TarnColdStartDataSize);
    std::printf("start    %ld\n", static_cast<long>(Call(entry, context.data(), tarn::ColdStart, 0, coldStart.data())));

    int32_t count = 0;
    if (Call(entry, nullptr, tarn::OpcTagCount, 0, &count) || count < 1) {
        std::printf("no tags\n");
        return 0;
    }
    std::vector<tarn::TarnTagRecord> records(count);
    if (Call(entry, nullptr, tarn::OpcTagList, count, records.data())) {
        std::printf("tag list refused\n");
        return 1;
    }
    std::vector<Tag> tags(count);
    for (int32_t i = 0; i < count; ++i) {
        Tag& t = tags[i];
        t.record = records[i];
        t.record.name[tarn::TarnTextSize - 1] = t.record.address[tarn::TarnTextSize - 1] = '\0';
        VariantInit(&t.value);
        t.value.vt = static_cast<VARTYPE>(t.record.type & 0xFFFF);
        t.address = {};
        t.address.address = t.record.address;
        t.address.reserved4 = t.address.reserved12 = 1;
        t.address.type = tarn::TarnTypeFromVarType(t.value.vt);
        const int32_t rc = Call(entry, context.data(), tarn::SingleAddressParser, 0, &t.address);
        std::printf("tag      %-10s address %-6s type %2u  device %ld number %ld param %ld%s\n", t.record.name,
                    t.record.address, t.value.vt, static_cast<long>(t.address.device),
                    static_cast<long>(t.address.number), static_cast<long>(t.address.param),
                    rc ? "  (address refused)" : "");
    }

    for (int r = 1; r <= reads; ++r) {
        std::vector<tarn::TarnIoItem> block(count);
        for (int32_t i = 0; i < count; ++i) {
            tarn::TarnIoItem& e = block[i];
            e = {};
            e.address = tags[i].record.address;
            e.device = tags[i].address.device;
            e.number = tags[i].address.number;
            e.param = tags[i].address.param;
            e.type = tarn::TarnTypeFromVarType(tags[i].value.vt);
            e.value = &tags[i].value;
        }
        const int32_t rc = Call(entry, context.data(), tarn::OpcBlockRead, count, block.data());
        std::printf("read %-3d", r);
        for (int32_t i = 0; i < count; ++i)
            std::printf("  %s=%s%s", tags[i].record.name, ValueText(tags[i].value).c_str(),
                        rc || block[i].status ? "(bad)" : "");
        std::printf("\n");
    }
    return 0;
}
