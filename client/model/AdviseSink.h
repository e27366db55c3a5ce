// The data-change sink of one group: the server calls OnDataChange with an
// "OPCSTMFORMATDATATIME" stream, and the sink stores the values in the
// group's items.
#pragma once

#include "ClientRecords.h"
#include "ComObject.h"

#include <functional>

class CAdviseSink : public fw::ComObject<CAdviseSink, IAdviseSink> {
public:
    // Called after every stream that reached a group, also one without
    // entries, so that the list can show the rows whose changed mark is set.
    using ChangeCallback = std::function<void(CGroup&)>;

    // Starts with one reference, the creator's (as every fw::ComObject).
    explicit CAdviseSink(ChangeCallback onChange = {});

    // The group whose items the sink updates; set when the group is
    // recorded.  Not a counted link: the group tells the sink when it goes
    // (DetachGroup), since the server may keep the sink alive longer.
    void SetGroup(CGroup* group) { group_ = group; }
    void DetachGroup() { group_ = nullptr; }
    CGroup* Group() const { return group_; }

    // IAdviseSink.  The format is not examined (the sink is advised for one
    // format only); the medium stays the caller's.
    STDMETHODIMP_(void) OnDataChange(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP_(void) OnViewChange(DWORD, LONG) override {}
    STDMETHODIMP_(void) OnRename(IMoniker*) override {}
    STDMETHODIMP_(void) OnSave() override {}
    STDMETHODIMP_(void) OnClose() override {}

private:
    ~CAdviseSink() override = default;
    friend class fw::ComObject<CAdviseSink, IAdviseSink>;

    CGroup* group_ = nullptr;
    ChangeCallback onChange_;
};
