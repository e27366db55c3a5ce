// What the OPC objects see of the server object that holds them: its tags,
// its driver and the enumerators that walk its tags.  The server object (a
// document of the program) implements it; the objects here know nothing of
// windows or documents, so they can be built and tested on their own.
#pragma once

#include "DriverStatus.h"
#include "ServerBudget.h"

#include <unknwn.h>

#include <string>

class CRealItem;
class CEnumer;
class CGroup;
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
    // True on the thread that is inside a driver request: a call that its
    // driver's message box dispatched must not enter the driver again.
    virtual bool DriverHeldByThisThread() const = 0;

    // Tag-name enumerators handed out by browsing; they are told when the
    // server object closes, since they walk its tag table.
    virtual void AddTagEnumerator(CEnumer* enumerator) = 0;
    virtual void RemoveTagEnumerator(CEnumer* enumerator) = 0;

    // Group names are unique within the server object.
    virtual bool GroupNameInUse(const std::wstring& name) const = 0;
    // A new, inactive group with the source's settings and items, listed
    // like one AddGroup made; its interface riid goes to ppUnk.
    virtual HRESULT CloneGroup(CGroup& source, const wchar_t* name, REFIID riid, LPUNKNOWN* ppUnk) = 0;

    // What this server object may still take of the process.
    virtual ServerBudget& Budget() = 0;

    // The threading rule of the server.  The main thread serves every
    // client, so it never waits for a worker thread (subscription or
    // asynchronous request), a client's sink or the driver lock held by
    // someone who may not let go: a worker can be inside a slow client's
    // callback, or waiting for the driver lock that a driver write on the
    // main thread holds while its message box runs a loop that dispatches
    // further calls.  Ending a worker is therefore a signal, never a join.
    // Workers hold a use of the server object from their start (taken on
    // the main thread) to their last act, so that its tags and driver
    // binding outlive them even when the object is closed meanwhile: the
    // close goes ahead, only the object's destruction waits for the last
    // use.  Released from any thread.
    virtual void AddWorkerUse() = 0;
    virtual void ReleaseWorkerUse() = 0;

    // A call on the main thread that may run a message loop (a driver write
    // whose driver shows a box) is marked while it runs: a close arriving
    // through that loop is put off until the call has returned, and the
    // call sees it asked and stops short.
    virtual void BeginModalCall() = 0;
    virtual void EndModalCall() = 0;
    virtual bool CloseRequested() const = 0;

protected:
    ~ServerContext() = default;
};

// One worker's use of a server object (see AddWorkerUse).
class WorkerUse {
public:
    WorkerUse() = default;
    explicit WorkerUse(ServerContext* server) : server_(server) {
        if (server_) server_->AddWorkerUse();
    }
    ~WorkerUse() { reset(); }
    WorkerUse(WorkerUse&& other) noexcept : server_(other.server_) { other.server_ = nullptr; }
    WorkerUse& operator=(WorkerUse&& other) noexcept {
        if (this != &other) {
            reset();
            server_ = other.server_;
            other.server_ = nullptr;
        }
        return *this;
    }
    WorkerUse(const WorkerUse&) = delete;
    WorkerUse& operator=(const WorkerUse&) = delete;

    ServerContext* get() const { return server_; }
    // After this the server object may be gone: touch nothing of it.
    void reset() {
        if (ServerContext* server = server_) {
            server_ = nullptr;
            server->ReleaseWorkerUse();
        }
    }

private:
    ServerContext* server_ = nullptr;
};

// Marks a call that may run a message loop (see BeginModalCall).
class ModalCallScope {
public:
    explicit ModalCallScope(ServerContext* server) : server_(server) {
        if (server_) server_->BeginModalCall();
    }
    ~ModalCallScope() {
        if (server_) server_->EndModalCall();
    }
    ModalCallScope(const ModalCallScope&) = delete;
    ModalCallScope& operator=(const ModalCallScope&) = delete;

private:
    ServerContext* server_;
};
