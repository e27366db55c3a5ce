// The driver answers every request with an integer status of its own (0 =
// done), not an HRESULT.  The two are kept apart by type and converted in
// one place each way they meet.
#pragma once

#include <windows.h>

#include <cstdint>

enum class DriverStatus : int32_t {};

constexpr DriverStatus kDriverOk{0};
// The status a tag has before any device read has reached it.
constexpr DriverStatus kNotReadYet{-1};

inline bool Succeeded(DriverStatus status) { return status == kDriverOk; }

// A tag's read status as the item's error code: the clients of this server
// have always been handed the driver's own number there, so it passes
// through unchanged (0 is S_OK).
inline HRESULT ItemErrorFromReadStatus(DriverStatus status) { return static_cast<HRESULT>(status); }

// A driver request that failed while the server object was being set up.
// The driver's number is kept in the low word, under a code of its own, so
// it can never be mistaken for a system error.
inline HRESULT HResultFromDriverStatus(DriverStatus status) {
    if (Succeeded(status)) return S_OK;
    return MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, 0x7000 | (static_cast<int32_t>(status) & 0x0FFF));
}
