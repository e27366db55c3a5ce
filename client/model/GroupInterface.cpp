#include "GroupInterface.h"

#include "ValueText.h"

GroupAccess QueryGroupInterface(IUnknown* server, const std::string& groupName, REFIID iid, IUnknown** out) {
    *out = nullptr;
    fw::ComPtr<IOPCServer> opc;
    if (!server || FAILED(server->QueryInterface(IID_IOPCServer, opc.put_void())) || !opc)
        return GroupAccess::NoServerInterface;
    fw::ComPtr<IUnknown> group;
    const std::wstring name = Utf8ToWide(groupName);
    // Anything but S_OK counts as not found; whatever a server handed out
    // along with another result is released here.
    if (opc->GetGroupByName(name.c_str(), iid, group.put()) != S_OK || !group) return GroupAccess::GroupNotFound;
    *out = group.detach();
    return GroupAccess::Reached;
}
