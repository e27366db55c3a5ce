#include "HeldGroupTest.h"

using fw::ComPtr;

VARIANT Number(VARTYPE type, double v) {
    VARIANT value;
    VariantInit(&value);
    value.vt = type;
    if (type == VT_I4) value.lVal = static_cast<LONG>(v);
    if (type == VT_R8) value.dblVal = v;
    if (type == VT_R4) value.fltVal = static_cast<float>(v);
    return value;
}

void HeldGroupTest::SetUp() {
    DriverCopyTest::SetUp();
    ASSERT_NO_FATAL_FAILURE(Install("held"));
    ASSERT_EQ(S_OK, CreateServer(server_));
    ASSERT_NO_FATAL_FAILURE(MakeGroup(L"G2", TRUE, 0.0f, group_));
}

void HeldGroupTest::TearDown() {
    group_.reset();
    server_.reset();
    DriverCopyTest::TearDown();
}

void HeldGroupTest::MakeGroup(const wchar_t* name, BOOL active, FLOAT deadband, ComPtr<IUnknown>& group,
                              const std::vector<VARTYPE>& requested) {
    OPCHANDLE hServer = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, server_->AddGroup(name, active, 100, kClientGroup, nullptr, &deadband, 0x409, &hServer,
                                      &revised, IID_IUnknown, reinterpret_cast<LPUNKNOWN*>(group.put())));
    ComPtr<IOPCItemMgt> items;
    ASSERT_EQ(S_OK, group.query(items));
    OPCITEMDEF defs[3] = {};
    const wchar_t* ids[] = {L"A", L"B", L"C"};
    for (int i = 0; i < 3; ++i) {
        defs[i].szItemID = const_cast<wchar_t*>(ids[i]);
        defs[i].bActive = TRUE;
        defs[i].hClient = i + 1;
        defs[i].vtRequestedDataType =
            i < static_cast<int>(requested.size()) ? requested[i] : static_cast<VARTYPE>(VT_EMPTY);
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_OK, items->AddItems(3, defs, &results, &errors));
    handles_.clear();
    for (int i = 0; i < 3; ++i) handles_.push_back(results[i].hServer);
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
}

HRESULT HeldGroupTest::WriteNow(OPCHANDLE handle, VARIANT value) {
    ComPtr<IOPCSyncIO> io;
    HRESULT hr = group_.query(io);
    if (FAILED(hr)) return hr;
    HRESULT* errors = nullptr;
    hr = io->Write(1, &handle, &value, &errors);
    if (hr == S_FALSE && errors) hr = errors[0];
    CoTaskMemFree(errors);
    return hr;
}

HRESULT HeldGroupTest::SetActive(OPCHANDLE handle, BOOL active) {
    ComPtr<IOPCItemMgt> items;
    HRESULT hr = group_.query(items);
    if (FAILED(hr)) return hr;
    HRESULT* errors = nullptr;
    hr = items->SetActiveState(1, &handle, active, &errors);
    CoTaskMemFree(errors);
    return hr;
}

HRESULT HeldGroupTest::ReadNow(OPCDATASOURCE source, OPCHANDLE handle, OPCITEMSTATE& state, HRESULT& error) {
    ComPtr<IOPCSyncIO> io;
    HRESULT hr = group_.query(io);
    if (FAILED(hr)) return hr;
    OPCITEMSTATE* states = nullptr;
    HRESULT* errors = nullptr;
    hr = io->Read(source, 1, &handle, &states, &errors);
    if (SUCCEEDED(hr)) {
        state = states[0];
        error = errors[0];
    }
    CoTaskMemFree(states);
    CoTaskMemFree(errors);
    return hr;
}
