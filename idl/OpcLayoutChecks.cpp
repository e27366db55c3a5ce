// The OPC records cross process boundaries and live inside data streams that
// other vendors' programs read: their 32-bit layout is fixed by the published
// standard.  A definition that drifts fails the build here.
#include "OpcInterfaces.h"

#include <cstddef>

static_assert(sizeof(OPCHANDLE) == 4, "OPCHANDLE");
static_assert(sizeof(VARIANT) == (sizeof(void*) == 4 ? 16 : 24), "VARIANT");
static_assert(sizeof(OPCGROUPHEADER) == 20, "OPCGROUPHEADER");
static_assert(sizeof(OPCITEMHEADER1) == 20 && offsetof(OPCITEMHEADER1, ftTimeStampItem) == 12, "OPCITEMHEADER1");
static_assert(sizeof(OPCITEMHEADER2) == 12 && offsetof(OPCITEMHEADER2, wQuality) == 8, "OPCITEMHEADER2");
static_assert(sizeof(OPCGROUPHEADERWRITE) == 16, "OPCGROUPHEADERWRITE");
static_assert(sizeof(OPCITEMHEADERWRITE) == 8, "OPCITEMHEADERWRITE");
static_assert(offsetof(OPCITEMSTATE, ftTimeStamp) == 4 && offsetof(OPCITEMSTATE, wQuality) == 12 &&
              offsetof(OPCITEMSTATE, vDataValue) == 16, "OPCITEMSTATE");
static_assert(offsetof(OPCSERVERSTATUS, dwServerState) == 24 && offsetof(OPCSERVERSTATUS, wMajorVersion) == 36,
              "OPCSERVERSTATUS");
static_assert(sizeof(OPCDATASOURCE) == 4 && OPC_DS_CACHE == 1 && OPC_DS_DEVICE == 2, "OPCDATASOURCE");
static_assert(OPC_NS_FLAT == 2 && OPC_FLAT == 3 && OPC_BROWSE_TO == 3 && OPC_STATUS_COMM_FAULT == 6 &&
              OPC_ENUM_ALL == 6 && OPC_ENUMERATED == 2, "enumerations");

#if !defined(_WIN64)
static_assert(sizeof(OPCITEMSTATE) == 32, "OPCITEMSTATE");
static_assert(sizeof(OPCSERVERSTATUS) == 48 && offsetof(OPCSERVERSTATUS, szVendorInfo) == 44, "OPCSERVERSTATUS");
static_assert(sizeof(OPCITEMDEF) == 28 && offsetof(OPCITEMDEF, pBlob) == 20 &&
              offsetof(OPCITEMDEF, vtRequestedDataType) == 24, "OPCITEMDEF");
static_assert(sizeof(OPCITEMRESULT) == 20 && offsetof(OPCITEMRESULT, dwAccessRights) == 8 &&
              offsetof(OPCITEMRESULT, pBlob) == 16, "OPCITEMRESULT");
static_assert(sizeof(OPCITEMATTRIBUTES) == 56 && offsetof(OPCITEMATTRIBUTES, vtRequestedDataType) == 32 &&
              offsetof(OPCITEMATTRIBUTES, dwEUType) == 36 && offsetof(OPCITEMATTRIBUTES, vEUInfo) == 40,
              "OPCITEMATTRIBUTES");
#endif
