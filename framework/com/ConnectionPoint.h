// One outgoing interface of an object, as COM's connectable objects offer
// it: clients advise sinks of interface Sink and get a cookie back; the
// owner calls the sinks it holds.
//
//   fw::ComPtr<fw::ConnectionPoint<IOPCDataCallback>> point_;   // owned
//   point_.attach(new fw::ConnectionPoint<IOPCDataCallback>(this, 1));
//   points_.Add(point_);   // fw::ConnectionPointContainer: finds, lists, detaches
//
// The point keeps no counted reference to its container (that would be a
// cycle): the container detaches it when it goes, and a client still holding
// the point then gets E_UNEXPECTED for the container and can unadvise.
#pragma once

#include "ComObject.h"
#include "ComPtr.h"
#include "Enumerator.h"
#include "InterfaceId.h"

#include <ocidl.h>
#include <olectl.h>

#include <utility>
#include <vector>

FW_INTERFACE_ID(IConnectionPoint)
FW_INTERFACE_ID(IConnectionPointContainer)

namespace fw {

// An owner that acts on its sinks itself (starts a thread per sink, say) is
// told of each Advise, which it may refuse, and of each Unadvise.
template <class Sink>
class ConnectionObserver {
public:
    virtual HRESULT OnAdvise(DWORD cookie, Sink* sink) = 0;
    virtual void OnUnadvise(DWORD cookie) = 0;

protected:
    ~ConnectionObserver() = default;
};

template <class Sink>
class ConnectionPoint final : public ComObject<ConnectionPoint<Sink>, IConnectionPoint> {
public:
    // maxSinks 0: any number; OPC groups take one data callback each.
    ConnectionPoint(IConnectionPointContainer* container, size_t maxSinks,
                    ConnectionObserver<Sink>* observer = nullptr)
        : container_(container), maxSinks_(maxSinks), observer_(observer) {}

    // The owner goes: it is not reached any more.
    void Detach() {
        container_ = nullptr;
        observer_ = nullptr;
    }

    // Lets go of every sink without telling the observer (the owner is
    // ending them itself), on the thread where their proxies live.
    void DisconnectAll() {
        Connections leaving;
        leaving.swap(connections_);
    }

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
            connections_.reserve(connections_.size() + 1);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        if (observer_) {
            const HRESULT accepted = observer_->OnAdvise(next, typed.get());
            if (FAILED(accepted)) return accepted;
        }
        connections_.emplace_back(next, std::move(typed));
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
        if (observer_) observer_->OnUnadvise(cookie);
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        std::vector<Connection> snapshot;
        try {
            snapshot.reserve(connections_.size());
            for (const auto& connection : connections_)
                snapshot.push_back({connection.first, ComPtr<IUnknown>(connection.second.get())});
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return MakeEnumerator<IEnumConnections>(std::move(snapshot), IID_IEnumConnections,
                                                reinterpret_cast<void**>(out));
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
    ConnectionObserver<Sink>* observer_;
    DWORD lastCookie_ = 0;
    Connections connections_;
};

}  // namespace fw
