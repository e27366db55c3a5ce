// Enumerator over a group's items (IEnumOPCItemAttributes) or over a server
// object's tag names (IEnumString).  It walks the list as it stands at each
// call, so the position is a count of entries, not a pointer into the list.
#pragma once

#include "BrowseFilter.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "NoMembersDispatch.h"
#include "OpcInterfaces.h"

class CGroup;
class CRealItem;
class ServerContext;

class CEnumer final
    : public fw::ComObject<CEnumer, IEnumOPCItemAttributes, IEnumString, fw::NoMembersDispatch> {
    using Base = fw::ComObject<CEnumer, IEnumOPCItemAttributes, IEnumString, fw::NoMembersDispatch>;

public:
    // Over a group's items: answers IEnumOPCItemAttributes only.
    explicit CEnumer(CGroup* group, ULONG position = 0);
    // Over a server object's tag names that pass the filter: answers
    // IEnumString only.
    explicit CEnumer(ServerContext* server, BrowseFilter filter = {}, ULONG position = 0);
    ~CEnumer() override;

    // The server object is closing (from its window, or because its client
    // has died) and its tags go with it: the enumerator lets go of it and
    // from then on enumerates nothing.
    void ServerClosed();

    // Hides the enumeration interface of the other kind.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override;

    // IEnumOPCItemAttributes
    STDMETHODIMP Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray, ULONG* pceltFetched) override;
    STDMETHODIMP Clone(IEnumOPCItemAttributes** ppEnumItemAttributes) override;
    // IEnumString
    STDMETHODIMP Next(ULONG celt, LPOLESTR* rgelt, ULONG* pceltFetched) override;
    STDMETHODIMP Clone(IEnumString** ppenum) override;
    // Both kinds
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;

private:
    ULONG Count() const;
    bool Listed(const CRealItem& tag) const;

    CGroup* m_group = nullptr;          // group kind
    ServerContext* m_server = nullptr;  // tag kind, until the server closes
    fw::ComPtr<IUnknown> m_keepAlive;   // the group or the server object
    BrowseFilter m_filter;              // tag kind
    ULONG m_itemPosition;
};
