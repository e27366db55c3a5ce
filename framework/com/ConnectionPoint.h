// One outgoing interface of an object, as COM's connectable objects offer
// it: clients advise sinks of interface Sink and get a cookie back; the
// owner calls the sinks it holds.
//
//   fw::ComPtr<fw::ConnectionPoint<IOPCDataCallback>> point_;   // owned
//   point_.attach(new fw::ConnectionPoint<IOPCDataCallback>(this, 1));
//   ... in FindConnectionPoint: return point_->QueryInterface(...)
//   ... in the owner's destructor: point_->Detach();
//
// The point keeps no counted reference to its container (that would be a
// cycle): the container detaches it when it goes, and a client still holding
// the point then gets E_UNEXPECTED for the container and can unadvise.
#pragma once

#include "ComObject.h"
#include "ComPtr.h"
#include "InterfaceId.h"

#include <ocidl.h>
#include <olectl.h>

#include <utility>
#include <vector>

FW_INTERFACE_ID(IConnectionPoint)
FW_INTERFACE_ID(IConnectionPointContainer)

namespace fw {

template <class Sink>
class ConnectionPoint final : public ComObject<ConnectionPoint<Sink>, IConnectionPoint> {
public:
    // maxSinks 0: any number; OPC groups take one data callback each.
    ConnectionPoint(IConnectionPointContainer* container, size_t maxSinks)
        : container_(container), maxSinks_(maxSinks) {}

    void Detach() { container_ = nullptr; }

    // A copy of the advised sinks, so that a sink called from it may
    // unadvise (or advise) meanwhile.
    std::vector<ComPtr<Sink>> Sinks() const {
        std::vector<ComPtr<Sink>> sinks;
        for (const auto& connection : connections_) sinks.push_back(connection.second);
        return sinks;
    }
    bool HasSinks() const { return !connections_.empty(); }

    // IConnectionPoint
    STDMETHODIMP GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = InterfaceId<Sink>();
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** out) override {
        if (!out) return E_POINTER;
        *out = container_;
        if (!container_) return E_UNEXPECTED;
        container_->AddRef();
        return S_OK;
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override {
        if (cookie) *cookie = 0;
        if (!sink || !cookie) return E_POINTER;
        if (maxSinks_ && connections_.size() >= maxSinks_) return CONNECT_E_ADVISELIMIT;
        ComPtr<Sink> typed;
        if (FAILED(sink->QueryInterface(InterfaceId<Sink>(), typed.put_void()))) return CONNECT_E_CANNOTCONNECT;
        DWORD next = ++lastCookie_;
        while (next == 0 || Find(next) != connections_.end()) next = ++lastCookie_;
        try {
            connections_.emplace_back(next, std::move(typed));
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        *cookie = next;
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override {
        const auto found = Find(cookie);
        if (found == connections_.end()) return CONNECT_E_NOCONNECTION;
        // Released after the list no longer names it: the release may call
        // back into us.
        ComPtr<Sink> leaving = std::move(found->second);
        connections_.erase(found);
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

private:
    using Connections = std::vector<std::pair<DWORD, ComPtr<Sink>>>;
    typename Connections::iterator Find(DWORD cookie) {
        for (auto it = connections_.begin(); it != connections_.end(); ++it)
            if (it->first == cookie) return it;
        return connections_.end();
    }

    IConnectionPointContainer* container_;
    size_t maxSinks_;
    DWORD lastCookie_ = 0;
    Connections connections_;
};

}  // namespace fw
