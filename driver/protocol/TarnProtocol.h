// The request protocol between the OPC server and a driver library.
//
// One definition, built into the server and into every driver: the records are
// exchanged as raw memory across a DLL boundary, so their sizes and offsets are
// fixed for the 32-bit platform and checked at compile time below.
#pragma once

#include <cstddef>
#include <cstdint>

struct tagVARIANT;  // the OLE VARIANT; drivers only touch the bytes from offset 8

namespace tarn {

// Request codes.  1..15 and 101..105 are the two ranges of the protocol.
enum TarnCode : int32_t {
    ColdStart = 1,
    WarmStart = 2,
    SingleAddressParser = 3,
    BlockAddressParser = 4,
    SingleRead = 5,
    BlockRead = 6,
    SingleWrite = 7,
    BlockWrite = 10,
    EndTarn = 11,
    CloseCom = 12,
    ReOpenCom = 13,
    GetTarnInfo = 14,
    ChangeTarnParams = 15,
    OpcBlockRead = 101,
    OpcWrite = 102,
    OpcTagList = 103,
    OpcTagCount = 104,
};

// Results every driver uses.
enum TarnResult : int32_t {
    TarnOk = 0,
    TarnNotSupported = 2,
};

// Driver type codes: the width of the value part a driver reads or writes.
enum TarnType : int32_t {
    TarnInt16Alt = 0,  // accepted like TarnInt16, never sent by the host
    TarnInt16 = 1,
    TarnFloat32 = 3,
    TarnInt32 = 4,
    TarnInt32Alt = 5,  // accepted like TarnInt32, never sent by the host
    TarnBool16 = 6,
    TarnFloat64 = 8,
};

// Maps a tag's canonical VARTYPE (an unsigned 16-bit number) to its driver type
// code; types without a driver width pass through as their own number.
constexpr int32_t TarnTypeFromVarType(uint16_t vt) {
    switch (vt) {
    case 2:  return TarnInt16;    // VT_I2
    case 3:  return TarnInt32;    // VT_I4
    case 4:  return TarnFloat32;  // VT_R4
    case 5:  return TarnFloat64;  // VT_R8
    case 11: return TarnBool16;   // VT_BOOL
    default: return vt;
    }
}

constexpr size_t TarnTextSize = 32;          // text fields of a tag record, NUL included
constexpr size_t TarnColdStartDataSize = 28;  // zero bytes sent with ColdStart

struct TarnRequest {
    void* context;    // the driver's context block of this server object
    int32_t code;     // TarnCode
    int32_t instance; // ColdStart only; the host sends 0
    int32_t count;    // records in data (OpcTagList, OpcBlockRead)
    void* data;       // the code's data buffer
};

struct TarnDriverInfo {
    int32_t version;
    const char* name;    // kept alive by the driver
    const char* banner;  // kept alive by the driver
    int32_t contextSize;
    int32_t reserved16;
    int32_t reserved20;
    int32_t reserved24;
    int32_t reserved28;
};

struct TarnTagRecord {
    char address[TarnTextSize];
    char name[TarnTextSize];
    int32_t type;  // canonical VARTYPE in the low 16 bits
};

struct TarnAddress {
    const char* address;  // in
    int32_t reserved4;    // in: host writes 1
    int32_t type;         // in: driver type code
    int32_t reserved12;   // in: host writes 1
    int32_t device;       // out: station index
    int32_t reserved20;   // out
    int32_t number;       // out: address number within the station
    int32_t reserved28;   // out
    int32_t param;        // out: driver parameter of the address
};

struct TarnIoItem {
    const char* address;
    int32_t reserved4;
    int32_t device;
    int32_t reserved12;
    int32_t number;
    int32_t reserved20;
    int32_t param;
    int32_t type;          // driver type code
    tagVARIANT* value;     // block read: the tag's cache; write: the value to write
    int32_t reserved36;
    uint8_t status;        // block read: 0 = value written
    uint8_t padding[3];
};

// Offset of a VARIANT's value part, the only bytes a driver may write.
constexpr size_t TarnVariantValueOffset = 8;

#if defined(_WIN32) && !defined(_WIN64)
#define TARN_CALL __stdcall
#else
#define TARN_CALL
#endif

// The one export of a driver library, "TarnMain", undecorated, callee-cleans.
using TarnMainProc = int32_t(TARN_CALL*)(TarnRequest* request);
constexpr const char* TarnEntryName = "TarnMain";

#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(void*) == 4, "the protocol is laid out for 4-byte pointers");
static_assert(sizeof(TarnRequest) == 20, "TarnRequest size");
static_assert(offsetof(TarnRequest, code) == 4 && offsetof(TarnRequest, instance) == 8 &&
              offsetof(TarnRequest, count) == 12 && offsetof(TarnRequest, data) == 16,
              "TarnRequest layout");
static_assert(sizeof(TarnDriverInfo) == 32, "TarnDriverInfo size");
static_assert(offsetof(TarnDriverInfo, name) == 4 && offsetof(TarnDriverInfo, banner) == 8 &&
              offsetof(TarnDriverInfo, contextSize) == 12 && offsetof(TarnDriverInfo, reserved16) == 16 &&
              offsetof(TarnDriverInfo, reserved28) == 28,
              "TarnDriverInfo layout");
static_assert(sizeof(TarnTagRecord) == 68, "TarnTagRecord size");
static_assert(offsetof(TarnTagRecord, name) == 32 && offsetof(TarnTagRecord, type) == 64,
              "TarnTagRecord layout");
static_assert(sizeof(TarnAddress) == 36, "TarnAddress size");
static_assert(offsetof(TarnAddress, type) == 8 && offsetof(TarnAddress, device) == 16 &&
              offsetof(TarnAddress, reserved20) == 20 && offsetof(TarnAddress, number) == 24 &&
              offsetof(TarnAddress, reserved28) == 28 && offsetof(TarnAddress, param) == 32,
              "TarnAddress layout");
static_assert(sizeof(TarnIoItem) == 44, "TarnIoItem size");
static_assert(offsetof(TarnIoItem, device) == 8 && offsetof(TarnIoItem, number) == 16 &&
              offsetof(TarnIoItem, param) == 24 && offsetof(TarnIoItem, type) == 28 &&
              offsetof(TarnIoItem, value) == 32 && offsetof(TarnIoItem, status) == 40,
              "TarnIoItem layout");
#endif

}  // namespace tarn
