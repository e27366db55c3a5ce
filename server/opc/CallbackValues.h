// The arrays of one IOPCDataCallback call (OnDataChange or OnReadComplete):
// per item its client handle, value, quality, time stamp and error, and the
// two overall results the call carries.
#pragma once

#include "OpcInterfaces.h"

#include <windows.h>
#include <oaidl.h>

#include <vector>

class CallbackValues {
public:
    CallbackValues() = default;
    ~CallbackValues() { Clear(); }
    CallbackValues(const CallbackValues&) = delete;
    CallbackValues& operator=(const CallbackValues&) = delete;

    // Room for n items; false when there is no memory for it.
    bool Reserve(size_t n);
    // Takes the value over (the caller's VARIANT is left empty).  Reserve
    // first: within the reservation this never allocates.
    void Add(OPCHANDLE client, VARIANT& value, WORD quality, const FILETIME& time, HRESULT error);
    void Clear();

    DWORD Count() const { return static_cast<DWORD>(clients_.size()); }
    // S_OK when every quality is good, else S_FALSE.
    HRESULT MasterQuality() const;
    // S_OK when every item error is S_OK, else S_FALSE.
    HRESULT MasterError() const;

    OPCHANDLE* Clients() { return clients_.data(); }
    VARIANT* Values() { return values_.data(); }
    WORD* Qualities() { return qualities_.data(); }
    FILETIME* Times() { return times_.data(); }
    HRESULT* Errors() { return errors_.data(); }

private:
    std::vector<OPCHANDLE> clients_;
    std::vector<VARIANT> values_;
    std::vector<WORD> qualities_;
    std::vector<FILETIME> times_;
    std::vector<HRESULT> errors_;
};
