// A server's result code as the user is shown it: "%X" of the code, then the
// server's own text for it (IOPCServer::GetErrorString) where it gives one.
#pragma once

#include <unknwn.h>

#include <string>

std::string ServerResultText(IUnknown* server, HRESULT code);
