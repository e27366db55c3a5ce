// Everything a C++ program needs to speak OPC: the generated interface
// headers, our constants, and the interface-to-IID trait for the OPC types.
#pragma once

#include <windows.h>
#include <ole2.h>

#include "opcda.h"
#include "opccomn.h"
#include "OpcConstants.h"
#include "InterfaceId.h"

FW_INTERFACE_ID(IOPCServer)
FW_INTERFACE_ID(IOPCServerPublicGroups)
FW_INTERFACE_ID(IOPCBrowseServerAddressSpace)
FW_INTERFACE_ID(IOPCGroupStateMgt)
FW_INTERFACE_ID(IOPCPublicGroupStateMgt)
FW_INTERFACE_ID(IOPCSyncIO)
FW_INTERFACE_ID(IOPCAsyncIO)
FW_INTERFACE_ID(IOPCItemMgt)
FW_INTERFACE_ID(IEnumOPCItemAttributes)
FW_INTERFACE_ID(IOPCDataCallback)
FW_INTERFACE_ID(IOPCAsyncIO2)
FW_INTERFACE_ID(IOPCItemProperties)
FW_INTERFACE_ID(IOPCCommon)
FW_INTERFACE_ID(IOPCShutdown)
