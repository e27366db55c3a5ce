// Maps an interface type to its IID at compile time.  MinGW's __uuidof needs
// a __CRT_UUID_DECL for every interface, which widl-generated headers do not
// always provide; this trait is explicit instead.
#pragma once

#include <objbase.h>

namespace fw {

template <class I>
const IID& InterfaceId();

}  // namespace fw

// Declares the IID of one interface for fw::InterfaceId.
#define FW_INTERFACE_ID(Interface)                                           \
    namespace fw {                                                           \
    template <>                                                              \
    inline const IID& InterfaceId<Interface>() { return IID_##Interface; }   \
    }

FW_INTERFACE_ID(IUnknown)
FW_INTERFACE_ID(IClassFactory)
FW_INTERFACE_ID(IEnumString)
FW_INTERFACE_ID(IDataObject)
FW_INTERFACE_ID(IAdviseSink)
FW_INTERFACE_ID(IEnumUnknown)
FW_INTERFACE_ID(IDispatch)
