// What the fake OPC server serves: shared by the server and the tests that
// check every value after it has crossed the process boundary.
#pragma once

#include <windows.h>
#include <oaidl.h>

struct FakeItem {
    const wchar_t* id;
    VARTYPE type;
    double number;
    const wchar_t* text;
};

inline constexpr FakeItem kFakeItems[] = {
    {L"Alpha", VT_R8, 1.5, nullptr},
    {L"Beta", VT_BSTR, 0, L"\x041F\x0440\x0438\x0432\x0435\x0442, world"},  // non-ASCII on purpose
    {L"Gamma", VT_I4, 42, nullptr},
};

inline constexpr DWORD kFakeGroupHandle = 7;
inline constexpr const wchar_t* kServerErrorFormat = L"\x041E\x0448\x0438\x0431\x043A\x0430 0x%08lX (locale %lu)";
inline constexpr const wchar_t* kCommonErrorFormat = L"Common error 0x%08lX";
inline constexpr const wchar_t* kVendorStartedByCom = L"Fake OPC server (started by COM)";
inline constexpr const wchar_t* kVendorStartedByHand = L"Fake OPC server";
inline constexpr const wchar_t* kItemIdPrefix = L"Fake.";
inline constexpr const wchar_t* kPropertyDataTypeText = L"Item Canonical Data Type";
inline constexpr const wchar_t* kPropertyValueText = L"Item Value";
inline constexpr const wchar_t* kReadyEventPrefix = L"FakeOpcServerReady";
