// Window classes of the framework's windows, registered on first use.
#pragma once

#include <windows.h>

namespace fw {

// The module whose resources (menus, icons, strings, dialogs) the framework
// loads: the application's instance, or the executable before Run.
HINSTANCE ResourceInstance();

class WindowClass {
public:
    // Name of a class of the framework's window procedure for this kind of
    // window and icon resource (0 = no icon), registered the first time it is
    // asked for.  Classes stay registered for the life of the process.
    static const wchar_t* Get(const wchar_t* kind, UINT iconId, UINT style, HBRUSH background);
};

}  // namespace fw
