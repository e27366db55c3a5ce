// One item of a group read from the device, or written, through the group's
// IOPCSyncIO, as a job of a time-limited call (TimeLimitedCall): the group
// is looked up by its name on the call's own proxy, and the texts of item
// errors are asked of the server on the same thread, so that nothing of the
// call is left to the waiting thread.
#pragma once

#include "GroupInterface.h"
#include "TimeLimitedCall.h"
#include "Variant.h"

#include <windows.h>

#include <string>

// What one synchronous call of one item gave.
struct SyncItemOutcome {
    GroupAccess access = GroupAccess::NoServerInterface;
    HRESULT call = E_FAIL;      // the Read or Write call's own result
    HRESULT item = E_FAIL;      // the item's result (the call's when it failed)
    std::string itemErrorText;  // ServerResultText of a failed item result
};

class SyncReadJob : public ServerJob {
public:
    SyncReadJob(std::string groupName, OPCHANDLE item) : groupName_(std::move(groupName)), item_(item) {}
    HRESULT Run(IUnknown* server) override;

    SyncItemOutcome outcome;
    fw::Variant value;  // the value read, when the item's result succeeded

private:
    std::string groupName_;
    OPCHANDLE item_;
};

class SyncWriteJob : public ServerJob {
public:
    // `value` is copied: the job may outlive the caller's variant.
    SyncWriteJob(std::string groupName, OPCHANDLE item, const VARIANT& value);
    HRESULT Run(IUnknown* server) override;

    SyncItemOutcome outcome;

private:
    std::string groupName_;
    OPCHANDLE item_;
    fw::Variant value_;
};
