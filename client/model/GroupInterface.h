// Reaching one of a group's interfaces the way every tool of the client
// does: the server's IOPCServer, then the group by its name.  The group is
// looked up afresh on every use, so a tool never holds a group the server
// may have dropped in the meantime.
#pragma once

#include "ComPtr.h"
#include "OpcInterfaces.h"

#include <string>

enum class GroupAccess {
    Reached,            // the interface is in the out pointer
    NoServerInterface,  // the server object gives no IOPCServer
    GroupNotFound,      // GetGroupByName did not answer exactly S_OK
};

// Asks `server` for the group called `groupName` (ANSI text) through
// IOPCServer::GetGroupByName with `iid`.  `*out` is set only when Reached;
// the server interface is released before returning.
GroupAccess QueryGroupInterface(IUnknown* server, const std::string& groupName, REFIID iid, IUnknown** out);

template <class I>
GroupAccess GetGroupInterface(IUnknown* server, const std::string& groupName, fw::ComPtr<I>& out) {
    out.reset();
    return QueryGroupInterface(server, groupName, fw::InterfaceId<I>(), reinterpret_cast<IUnknown**>(out.put()));
}
