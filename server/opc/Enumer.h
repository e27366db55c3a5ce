// Enumerator over a group's items (IEnumOPCItemAttributes).  It walks the
// group's item list as it stands at each call.
#pragma once

#include "ComObject.h"
#include "ComPtr.h"
#include "NoMembersDispatch.h"
#include "OpcInterfaces.h"

class CGroup;

class CEnumer final : public fw::ComObject<CEnumer, IEnumOPCItemAttributes, fw::NoMembersDispatch> {
public:
    explicit CEnumer(CGroup* group, ULONG position = 0);
    ~CEnumer() override;

    STDMETHODIMP Next(ULONG celt, OPCITEMATTRIBUTES** ppItemArray, ULONG* pceltFetched) override;
    STDMETHODIMP Skip(ULONG celt) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumOPCItemAttributes** ppEnumItemAttributes) override;

private:
    CGroup* m_group;  // one reference held
    ULONG m_itemPosition;
};
