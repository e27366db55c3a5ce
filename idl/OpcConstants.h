/* OPC DA constants that widl does not carry into generated headers: result
 * codes, quality bits, access rights, property IDs, component categories and
 * the names of the 1.0 stream clipboard formats.  Values are the published
 * standard's; they travel between programs and must not change. */
#ifndef VELMORA_OPC_CONSTANTS_H
#define VELMORA_OPC_CONSTANTS_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes (FACILITY_ITF). */
#define OPC_E_INVALIDHANDLE     ((HRESULT)0xC0040001L)
#define OPC_E_BADTYPE           ((HRESULT)0xC0040004L)
#define OPC_E_PUBLIC            ((HRESULT)0xC0040005L)
#define OPC_E_BADRIGHTS         ((HRESULT)0xC0040006L)
#define OPC_E_UNKNOWNITEMID     ((HRESULT)0xC0040007L)
#define OPC_E_INVALIDITEMID     ((HRESULT)0xC0040008L)
#define OPC_E_INVALIDFILTER     ((HRESULT)0xC0040009L)
#define OPC_E_UNKNOWNPATH       ((HRESULT)0xC004000AL)
#define OPC_E_RANGE             ((HRESULT)0xC004000BL)
#define OPC_E_DUPLICATENAME     ((HRESULT)0xC004000CL)
#define OPC_S_UNSUPPORTEDRATE   ((HRESULT)0x0004000DL)
#define OPC_S_CLAMP             ((HRESULT)0x0004000EL)
#define OPC_S_INUSE             ((HRESULT)0x0004000FL)
#define OPC_E_INVALIDCONFIGFILE ((HRESULT)0xC0040010L)
#define OPC_E_NOTFOUND          ((HRESULT)0xC0040011L)
#define OPC_E_INVALID_PID       ((HRESULT)0xC0040203L)

/* Access rights. */
#define OPC_READABLE  0x01
#define OPC_WRITEABLE 0x02

/* Quality word QQSSSSLL. */
#define OPC_QUALITY_MASK    0xC0
#define OPC_STATUS_MASK     0xFC
#define OPC_LIMIT_MASK      0x03
#define OPC_QUALITY_BAD       0x00
#define OPC_QUALITY_UNCERTAIN 0x40
#define OPC_QUALITY_GOOD      0xC0
#define OPC_QUALITY_CONFIG_ERROR   0x04
#define OPC_QUALITY_NOT_CONNECTED  0x08
#define OPC_QUALITY_DEVICE_FAILURE 0x0C
#define OPC_QUALITY_SENSOR_FAILURE 0x10
#define OPC_QUALITY_LAST_KNOWN     0x14
#define OPC_QUALITY_COMM_FAILURE   0x18
#define OPC_QUALITY_OUT_OF_SERVICE 0x1C
#define OPC_QUALITY_LAST_USABLE    0x44
#define OPC_QUALITY_SENSOR_CAL     0x50
#define OPC_QUALITY_EGU_EXCEEDED   0x54
#define OPC_QUALITY_SUB_NORMAL     0x58
#define OPC_QUALITY_LOCAL_OVERRIDE 0xD8
#define OPC_LIMIT_OK    0x00
#define OPC_LIMIT_LOW   0x01
#define OPC_LIMIT_HIGH  0x02
#define OPC_LIMIT_CONST 0x03

/* Item property IDs (DA 2.0). */
#define OPC_PROPERTY_DATATYPE      1
#define OPC_PROPERTY_VALUE         2
#define OPC_PROPERTY_QUALITY       3
#define OPC_PROPERTY_TIMESTAMP     4
#define OPC_PROPERTY_ACCESS_RIGHTS 5
#define OPC_PROPERTY_SCAN_RATE     6
#define OPC_PROPERTY_EU_TYPE       7
#define OPC_PROPERTY_EU_INFO       8
#define OPC_PROPERTY_EU_UNITS      100
#define OPC_PROPERTY_DESCRIPTION   101
#define OPC_PROPERTY_HIGH_EU       102
#define OPC_PROPERTY_LOW_EU        103
#define OPC_PROPERTY_HIGH_IR       104
#define OPC_PROPERTY_LOW_IR        105
#define OPC_PROPERTY_CLOSE_LABEL   106
#define OPC_PROPERTY_OPEN_LABEL    107
#define OPC_PROPERTY_TIMEZONE      108

/* Component categories an OPC DA server registers in, with the description
 * (locale 0x409) the category is created under. */
extern const GUID CATID_OPCDAServer10;
extern const GUID CATID_OPCDAServer20;
extern const GUID CATID_OPCDAServer30;
#define OPC_CATEGORY_DESCRIPTION_DA10 L"OPC Data Access Servers Version 1.0"
#define OPC_CATEGORY_DESCRIPTION_DA20 L"OPC Data Access Servers Version 2.0"

/* Clipboard formats of the 1.0 data-object transfer, registered by name. */
#define OPC_STREAM_FORMAT_DATA          "OPCSTMFORMATDATA"
#define OPC_STREAM_FORMAT_DATATIME      "OPCSTMFORMATDATATIME"
#define OPC_STREAM_FORMAT_WRITECOMPLETE "OPCSTMFORMATWRITECOMPLETE"

#ifdef __cplusplus
}
#endif

#endif /* VELMORA_OPC_CONSTANTS_H */
