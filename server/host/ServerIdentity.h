// The identity under which the OPC server class is registered and found.
#pragma once

#include <windows.h>

// {63ABE5BE-160A-4E65-96FF-AE5E01542BDE}
inline constexpr CLSID CLSID_VelmoraOpcServer = {
    0x63abe5be, 0x160a, 0x4e65, {0x96, 0xff, 0xae, 0x5e, 0x01, 0x54, 0x2b, 0xde}};

inline constexpr const char* kServerProgId = "Velmora.VelmoraOPC.1";
// Names whichever version is installed; its CurVer leads to kServerProgId.
inline constexpr const char* kServerVersionIndependentProgId = "Velmora.VelmoraOPC";
inline constexpr const char* kServerFileType = "VELMORAOPC.Document";
inline constexpr const char* kServerTypeName = "OPC Server";
inline constexpr const char* kServerVendor = "Velmora";
inline constexpr const char* kProxyStubDll = "VELMORA_OPCPS.dll";
