// The server's COM registration: class, ProgID with its OPC marker and the
// version-independent ProgID, file type, OPC DA 1.0 and 2.0 component
// categories, and the proxy/stub DLL beside the program.
#pragma once

#include <windows.h>

#include <string>

// Writes every entry; exePath is the full path of the server program.
HRESULT RegisterServer(const std::string& exePath);
// Removes every entry RegisterServer writes; S_OK only when all went.
HRESULT UnregisterServer(const std::string& exePath);
