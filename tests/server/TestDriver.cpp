// A driver library for server tests.  Installed as TARNWNISA.DLL (the first
// name the server tries) beside a copy of the server, it answers the driver
// protocol as the file TESTDRIVER.TXT beside it asks:
//   fail-info       GetTarnInfo fails
//   fail-coldstart  ColdStart fails
//   fail-address    every address is refused
//   duplicates      two tags named "Dup" (and one "Other")
//   read-status     element status 3 for the second tag of every block read
//   read-fail       every block read fails with 9
//   held            tags "A" (VT_I4), "B" (VT_R8), "C" (VT_R4) keep their
//                   values until a write changes them; "Reads" (VT_I4)
//                   counts the block reads so far
// In every mode a block read waits (up to 10 s) while an event named
// "VelmoraTestDriverGate" exists and is not set: a slow device on demand.
// Otherwise it offers two tags, "A" (VT_I4) and "B" (VT_R8), whose values
// count the block reads.
#include "TarnProtocol.h"

#include <windows.h>
#include <oaidl.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

HMODULE g_module = nullptr;
int g_reads = 0;

// Values of the "held" tags by address number, in their VARIANT value bytes.
struct HeldValues {
    int32_t a = 1;
    double b = 1.5;
    float c = 2.5f;
} g_held;
CRITICAL_SECTION g_heldLock;

void ReadHeld(tarn::TarnIoItem& item) {
    auto* value = reinterpret_cast<unsigned char*>(item.value) + tarn::TarnVariantValueOffset;
    EnterCriticalSection(&g_heldLock);
    switch (item.number) {
    case 0:
        std::memcpy(value, &g_held.a, sizeof g_held.a);
        break;
    case 1:
        std::memcpy(value, &g_held.b, sizeof g_held.b);
        break;
    case 2:
        std::memcpy(value, &g_held.c, sizeof g_held.c);
        break;
    default: {
        const int32_t reads = g_reads;
        std::memcpy(value, &reads, sizeof reads);
    }
    }
    LeaveCriticalSection(&g_heldLock);
    item.status = 0;
}

void WriteHeld(const tarn::TarnIoItem& item) {
    const auto* value = reinterpret_cast<const unsigned char*>(item.value) + tarn::TarnVariantValueOffset;
    EnterCriticalSection(&g_heldLock);
    switch (item.number) {
    case 0:
        std::memcpy(&g_held.a, value, sizeof g_held.a);
        break;
    case 1:
        std::memcpy(&g_held.b, value, sizeof g_held.b);
        break;
    case 2:
        std::memcpy(&g_held.c, value, sizeof g_held.c);
        break;
    default:
        break;
    }
    LeaveCriticalSection(&g_heldLock);
}

std::string Mode() {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(g_module, path, MAX_PATH);
    std::string file(path, n);
    file = file.substr(0, file.find_last_of("\\/") + 1) + "TESTDRIVER.TXT";
    char mode[64] = {};
    if (FILE* f = std::fopen(file.c_str(), "r")) {
        if (!std::fgets(mode, sizeof mode, f)) mode[0] = '\0';
        std::fclose(f);
    }
    std::string text(mode);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

struct TagDef {
    const char* name;
    int32_t type;
};

void Tags(const std::string& mode, const TagDef*& tags, int32_t& count) {
    static const TagDef plain[] = {{"A", VT_I4}, {"B", VT_R8}};
    static const TagDef duplicates[] = {{"Dup", VT_I4}, {"Dup", VT_R8}, {"Other", VT_I2}};
    static const TagDef held[] = {{"A", VT_I4}, {"B", VT_R8}, {"C", VT_R4}, {"Reads", VT_I4}};
    if (mode == "held") {
        tags = held;
        count = 4;
    } else if (mode == "duplicates") {
        tags = duplicates;
        count = 3;
    } else {
        tags = plain;
        count = 2;
    }
}

}  // namespace

extern "C" __declspec(dllexport) int32_t TARN_CALL TarnMain(tarn::TarnRequest* request) {
    const std::string mode = Mode();
    const TagDef* tags = nullptr;
    int32_t count = 0;
    Tags(mode, tags, count);
    switch (request->code) {
    case tarn::GetTarnInfo: {
        if (mode == "fail-info") return 7;
        auto* info = static_cast<tarn::TarnDriverInfo*>(request->data);
        std::memset(info, 0, sizeof *info);
        info->name = "Test driver";
        info->contextSize = 4;
        return 0;
    }
    case tarn::ColdStart:
        return mode == "fail-coldstart" ? 5 : 0;
    case tarn::OpcTagCount:
        *static_cast<int32_t*>(request->data) = count;
        return 0;
    case tarn::OpcTagList: {
        auto* records = static_cast<tarn::TarnTagRecord*>(request->data);
        for (int32_t i = 0; i < count && i < request->count; ++i) {
            std::snprintf(records[i].address, sizeof records[i].address, "%d", static_cast<int>(i));
            std::snprintf(records[i].name, sizeof records[i].name, "%s", tags[i].name);
            records[i].type = tags[i].type;
        }
        return 0;
    }
    case tarn::SingleAddressParser: {
        if (mode == "fail-address") return 4;
        auto* address = static_cast<tarn::TarnAddress*>(request->data);
        address->device = 7;
        address->number = std::atoi(address->address);
        address->param = 1;
        return 0;
    }
    case tarn::OpcBlockRead: {
        if (mode == "read-fail") return 9;
        if (HANDLE gate = OpenEventW(SYNCHRONIZE, FALSE, L"VelmoraTestDriverGate")) {
            WaitForSingleObject(gate, 10000);
            CloseHandle(gate);
        }
        ++g_reads;
        auto* items = static_cast<tarn::TarnIoItem*>(request->data);
        if (mode == "held") {
            for (int32_t i = 0; i < request->count; ++i) ReadHeld(items[i]);
            return 0;
        }
        for (int32_t i = 0; i < request->count; ++i) {
            auto* value = reinterpret_cast<unsigned char*>(items[i].value) + tarn::TarnVariantValueOffset;
            if (mode == "read-status" && items[i].number == 1) {
                items[i].status = 3;
                continue;
            }
            if (items[i].type == tarn::TarnFloat64) {
                const double v = g_reads + 0.5;
                std::memcpy(value, &v, sizeof v);
            } else if (items[i].type == tarn::TarnInt16) {
                const int16_t v = static_cast<int16_t>(g_reads);
                std::memcpy(value, &v, sizeof v);
            } else {
                const int32_t v = g_reads;
                std::memcpy(value, &v, sizeof v);
            }
            items[i].status = 0;
        }
        return 0;
    }
    case tarn::OpcWrite:
        if (mode == "held") {
            auto* items = static_cast<tarn::TarnIoItem*>(request->data);
            for (int32_t i = 0; i < request->count; ++i) WriteHeld(items[i]);
        }
        return 0;
    default:
        return tarn::TarnNotSupported;
    }
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&g_heldLock);
    }
    return TRUE;
}
