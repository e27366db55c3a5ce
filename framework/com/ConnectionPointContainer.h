// The connection points of one object, answering IConnectionPointContainer
// for it.  The object lists IConnectionPointContainer among its interfaces,
// embeds this helper and forwards the two methods to it:
//
//   class CGroup : public fw::ComObject<CGroup, IOPCItemMgt, IConnectionPointContainer> {
//   public:
//       CGroup() {
//           callback_.attach(new fw::ConnectionPoint<IOPCDataCallback>(this, 1));
//           points_.Add(callback_);
//       }
//       STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override {
//           return points_.EnumConnectionPoints(out);
//       }
//       STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
//           return points_.FindConnectionPoint(iid, out);
//       }
//   private:
//       fw::ComPtr<fw::ConnectionPoint<IOPCDataCallback>> callback_;   // to call the sinks
//       fw::ConnectionPointContainer points_;
//   };
//
// When the object goes, so does the helper, and it detaches every point: a
// client still holding one then learns that its container is gone instead of
// reaching a deleted object.
#pragma once

#include "ComPtr.h"
#include "ConnectionPoint.h"
#include "Enumerator.h"
#include "InterfaceId.h"

#include <ocidl.h>
#include <olectl.h>

#include <new>
#include <utility>
#include <vector>

namespace fw {

class ConnectionPointContainer {
public:
    ConnectionPointContainer() = default;
    ConnectionPointContainer(const ConnectionPointContainer&) = delete;
    ConnectionPointContainer& operator=(const ConnectionPointContainer&) = delete;
    ~ConnectionPointContainer() { DetachAll(); }

    // Takes a point for its sink interface, one point per interface.  Made
    // in the owner's constructor, so a failure throws as the owner's own
    // members would (std::bad_alloc).
    template <class Sink>
    void Add(const ComPtr<ConnectionPoint<Sink>>& point) {
        points_.push_back({InterfaceId<Sink>(), ComPtr<IConnectionPoint>(point.get()), &DetachPoint<Sink>});
    }

    // For an owner whose end comes before its destruction (a closing object
    // that waits for its last references): its points let go of it at once.
    void DetachAll() {
        for (const Point& point : points_) point.detach(point.point.get());
    }

    HRESULT FindConnectionPoint(REFIID iid, IConnectionPoint** out) const {
        if (!out) return E_POINTER;
        *out = nullptr;
        for (const Point& point : points_)
            if (IsEqualIID(point.iid, iid)) return point.point.copy_to(out);
        return CONNECT_E_NOCONNECTION;
    }

    HRESULT EnumConnectionPoints(IEnumConnectionPoints** out) const {
        if (!out) return E_POINTER;
        *out = nullptr;
        std::vector<ComPtr<IConnectionPoint>> snapshot;
        try {
            snapshot.reserve(points_.size());
            for (const Point& point : points_) snapshot.push_back(point.point);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        return MakeEnumerator<IEnumConnectionPoints>(std::move(snapshot), IID_IEnumConnectionPoints,
                                                     reinterpret_cast<void**>(out));
    }

private:
    struct Point {
        IID iid;
        ComPtr<IConnectionPoint> point;
        void (*detach)(IConnectionPoint*);
    };

    // Remembers the point's own type, which IConnectionPoint does not show.
    template <class Sink>
    static void DetachPoint(IConnectionPoint* point) {
        static_cast<ConnectionPoint<Sink>*>(point)->Detach();
    }

    std::vector<Point> points_;
};

}  // namespace fw
