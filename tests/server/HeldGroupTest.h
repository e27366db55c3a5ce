// Fixture of the DA 2.0 and item tests: a server object over the test
// driver's held values, A (VT_I4), B (VT_R8) and C (VT_R4), which keep what
// is written to them, and a group "G2" (client handle 77, rate 100 ms) with
// the three as items (client handles 1, 2, 3).
#pragma once

#include "ServerTest.h"

#include <vector>

inline constexpr OPCHANDLE kClientGroup = 77;

VARIANT Number(VARTYPE type, double v);

class HeldGroupTest : public DriverCopyTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Adds a group with A, B and C, requested in the types given (VT_EMPTY:
    // their own); handles_ gets their server handles.
    void MakeGroup(const wchar_t* name, BOOL active, FLOAT deadband, fw::ComPtr<IUnknown>& group,
                   const std::vector<VARTYPE>& requested = {});
    HRESULT WriteNow(OPCHANDLE handle, VARIANT value);
    HRESULT SetActive(OPCHANDLE handle, BOOL active);
    // A synchronous read of one item: its state and item error.
    HRESULT ReadNow(OPCDATASOURCE source, OPCHANDLE handle, OPCITEMSTATE& state, HRESULT& error);

    fw::ComPtr<IOPCServer> server_;
    fw::ComPtr<IUnknown> group_;
    std::vector<OPCHANDLE> handles_;  // A, B, C
};
