// Shared pieces of the fault tests: every test runs its body under
// RunBounded in the multithreaded apartment, so that its sinks are called on
// RPC threads while it goes on, and a deadlocked server fails the test
// instead of hanging it.
#pragma once

#include "DataChangeSink.h"
#include "ServerTest.h"

#include "MessageBoxWatcher.h"
#include "Processes.h"
#include "TaskMemResults.h"
#include "Variant.h"

#include <vector>

namespace fault {

// Longest a fault test may take before the server is ended.
constexpr DWORD kBoundMs = 30000;
// A call that waits for nothing returns within this.
constexpr DWORD kPromptMs = 1000;
// A new server object is made within this.
constexpr DWORD kCreateMs = 5000;
// Update rate of the subscribed groups.
constexpr DWORD kRate = 100;

// A call's result and how long it took.
struct Timed {
    HRESULT hr = E_PENDING;  // not made (yet)
    DWORD ms = 0;
};

template <class Call>
Timed Time(Call&& call) {
    const DWORD start = GetTickCount();
    const HRESULT hr = call();
    return {hr, GetTickCount() - start};
}

// IOPCServer::GetStatus, with the status freed.
inline HRESULT Status(IOPCServer* server) {
    OPCSERVERSTATUS* status = nullptr;
    const HRESULT hr = server->GetStatus(&status);
    const fw::TaskMemPtr<OPCSERVERSTATUS> owner(status);
    const fw::TaskMemPtr<wchar_t> vendor(status ? status->szVendorInfo : nullptr);
    return hr;
}

// A group with the five simulation tags, all active, cycling every kRate ms;
// the simulation's values change with every read, so every cycle sends.
inline HRESULT AddSimulationGroup(IOPCServer* server, const wchar_t* name, fw::ComPtr<IUnknown>& group,
                                  OPCHANDLE* hServer = nullptr, std::vector<OPCHANDLE>* handles = nullptr,
                                  std::vector<VARTYPE>* types = nullptr) {
    const HRESULT hr = AddGroup(server, name, IID_IOPCItemMgt, group, hServer, kRate);
    if (FAILED(hr)) return hr;
    std::vector<OPCHANDLE> added;
    std::vector<HRESULT> errors;
    return AddItems(group.get(), SimulationTags(), handles ? *handles : added, errors, types);
}

// Streams with time stamps, which every test here takes.
inline HRESULT Advise(IUnknown* group, IAdviseSink* sink, DWORD* connection) {
    return AdviseSink(group, sink, connection, FormatDataTime());
}

// IOPCSyncIO::Read: the call's result, and the items' errors when asked for.
inline HRESULT SyncRead(IOPCSyncIO* io, OPCDATASOURCE source, std::vector<OPCHANDLE> handles,
                        std::vector<HRESULT>* errors = nullptr) {
    const DWORD n = static_cast<DWORD>(handles.size());
    fw::TaskMemResults<OPCITEMSTATE, &OPCITEMSTATE::vDataValue> states;
    fw::TaskMemPtr<HRESULT> codes;
    const HRESULT hr = io->Read(source, n, handles.data(), states.put(n), fw::OutPtr(codes));
    if (errors) errors->assign(codes.get(), codes ? codes.get() + n : nullptr);
    return hr;
}

// IOPCSyncIO::Write of firstValue, firstValue + 1, ... to the items, each
// converted to the item's own type so that the driver takes it.
inline HRESULT WriteTyped(IOPCSyncIO* io, std::vector<OPCHANDLE> handles, const std::vector<VARTYPE>& types,
                          LONG firstValue, std::vector<HRESULT>* errors = nullptr) {
    const DWORD n = static_cast<DWORD>(handles.size());
    std::vector<fw::Variant> owners(n);
    std::vector<VARIANT> values;  // the owners' values, lent to the call
    for (DWORD i = 0; i < n; ++i) {
        VARIANT* value = owners[i].put();
        value->vt = VT_I4;
        value->lVal = firstValue + static_cast<LONG>(i);
        const HRESULT hr = VariantChangeType(value, value, 0, types.at(i));
        if (FAILED(hr)) return hr;
        values.push_back(*value);
    }
    fw::TaskMemPtr<HRESULT> codes;
    const HRESULT hr = io->Write(n, handles.data(), values.data(), fw::OutPtr(codes));
    if (errors) errors->assign(codes.get(), codes ? codes.get() + n : nullptr);
    return hr;
}

// The driver shows each value it is given in a box captioned "Write" and
// waits for it: true once one is up.
inline bool WaitForWriteBox(DWORD timeoutMs) {
    return testsupport::PumpUntil([] { return FindWindowA(nullptr, "Write") != nullptr; }, timeoutMs);
}

// Declared after a thread that writes: when the scope is left early, closes
// the boxes still up so that the write returns and the thread can be joined.
class CloseWriteBoxesOnExit {
public:
    CloseWriteBoxesOnExit() = default;
    ~CloseWriteBoxesOnExit() {
        for (int i = 0; i < 8 && testsupport::WaitForMessageBox("Write", 200); ++i) {
        }
    }
    CloseWriteBoxesOnExit(const CloseWriteBoxesOnExit&) = delete;
    CloseWriteBoxesOnExit& operator=(const CloseWriteBoxesOnExit&) = delete;
};

}  // namespace fault
