// The keys under HKEY_CLASSES_ROOT that let COM start a test server as a
// local server and let OPC clients list it among the machine's servers.
#pragma once

#include <windows.h>

namespace testserver {

struct LocalServerClass {
    CLSID clsid;
    const wchar_t* progId;
    const wchar_t* description;
    // What follows the program's quoted path in LocalServer32 ("" for nothing).
    const wchar_t* arguments;
};

// Writes the ProgID key (with CLSID and the "OPC" key below it) and the
// CLSID key (with LocalServer32 naming this program, and ProgID).
HRESULT RegisterLocalServer(const LocalServerClass& server);

// Removes both keys with everything below them; keys already gone count as
// removed.
HRESULT UnregisterLocalServer(const LocalServerClass& server);

}  // namespace testserver
