// What the OPC objects see of the server object that holds them: its tags,
// its driver and the enumerators that walk its tags.  The server object (a
// document of the program) implements it; the objects here know nothing of
// windows or documents, so they can be built and tested on their own.
#pragma once

#include "DriverStatus.h"

#include <unknwn.h>

class CRealItem;
class CEnumer;
namespace tarn {
struct TarnRequest;
}

class ServerContext {
public:
    // The COM identity of the server object, for those that must keep it
    // alive while they use it.
    virtual IUnknown* ServerIdentity() = 0;

    // The tag table, in the driver's order; the first tag with a name.
    virtual CRealItem* FirstTag() const = 0;
    virtual CRealItem* FindTag(const wchar_t* itemId) const = 0;

    virtual bool HasDriver() const = 0;
    virtual void* DriverContext() const = 0;
    // One device request (block read or write).  The driver is one library
    // for every server object of the process and is not reentrant, so all
    // requests of the process go through one lock.
    virtual DriverStatus SendToDriver(tarn::TarnRequest& request) = 0;

    // Tag-name enumerators handed out by browsing; they are told when the
    // server object closes, since they walk its tag table.
    virtual void AddTagEnumerator(CEnumer* enumerator) = 0;
    virtual void RemoveTagEnumerator(CEnumer* enumerator) = 0;

protected:
    ~ServerContext() = default;
};
