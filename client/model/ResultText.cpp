#include "ResultText.h"

#include "ComPtr.h"
#include "OpcInterfaces.h"
#include "ServerConnections.h"
#include "TaskMem.h"
#include "ValueText.h"

std::string ServerResultText(IUnknown* server, HRESULT code) {
    std::string text = HresultText(code);
    fw::ComPtr<IOPCServer> opc;
    LPWSTR words = nullptr;
    if (server && SUCCEEDED(server->QueryInterface(IID_IOPCServer, opc.put_void())) &&
        SUCCEEDED(opc->GetErrorString(code, LOCALE_SYSTEM_DEFAULT, &words)) && words) {
        const fw::TaskMemPtr<wchar_t> owner(words);
        text += ": " + WideToUtf8(words);
    }
    return text;
}
