// Synchronous reads and writes of the simulation's tags through VELMORA_OPC.
#include "ServerTest.h"

#include "MessageBoxWatcher.h"
#include "TaskMem.h"

#include <future>
#include <thread>

namespace {

using fw::ComPtr;

struct ReadResult {
    HRESULT hr = E_FAIL;
    std::vector<OPCITEMSTATE> states;
    std::vector<HRESULT> errors;
    ~ReadResult() {
        for (auto& s : states) VariantClear(&s.vDataValue);
    }
};

void Read(IUnknown* group, OPCDATASOURCE source, std::vector<OPCHANDLE> handles, ReadResult& out) {
    ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, group->QueryInterface(IID_IOPCSyncIO, io.put_void()));
    OPCITEMSTATE* states = nullptr;
    HRESULT* errors = nullptr;
    out.hr = io->Read(source, static_cast<DWORD>(handles.size()), handles.data(), &states, &errors);
    if (states && errors) {
        out.states.assign(states, states + handles.size());
        out.errors.assign(errors, errors + handles.size());
    }
    CoTaskMemFree(states);
    CoTaskMemFree(errors);
}

// The five simulation values of one read, as the client sees them.
void ExpectValues(const ReadResult& r, SHORT i2, LONG i4, bool flag, float r4, double r8) {
    ASSERT_EQ(5u, r.states.size());
    EXPECT_EQ(VT_I2, r.states[0].vDataValue.vt);
    EXPECT_EQ(i2, r.states[0].vDataValue.iVal);
    EXPECT_EQ(VT_I4, r.states[1].vDataValue.vt);
    EXPECT_EQ(i4, r.states[1].vDataValue.lVal);
    EXPECT_EQ(VT_BOOL, r.states[2].vDataValue.vt);
    EXPECT_EQ(flag, r.states[2].vDataValue.boolVal != 0);
    EXPECT_EQ(VT_R4, r.states[3].vDataValue.vt);
    EXPECT_FLOAT_EQ(r4, r.states[3].vDataValue.fltVal);
    EXPECT_EQ(VT_R8, r.states[4].vDataValue.vt);
    EXPECT_NEAR(r8, r.states[4].vDataValue.dblVal, 1e-9);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(S_OK, r.errors[i]) << i;
        EXPECT_EQ(OPC_QUALITY_GOOD, r.states[i].wQuality) << i;
        EXPECT_EQ(100u + i, r.states[i].hClient) << i;
    }
}

using SyncIO = SimulationGroupTest;

TEST_F(SyncIO, DeviceReadsFollowTheSimulationAndCacheReadsRepeatTheLast) {
    ReadResult first, second, cached;
    Read(group_.get(), OPC_DS_DEVICE, handles_, first);
    ASSERT_EQ(S_OK, first.hr);
    ExpectValues(first, 2, 2, false, 2.1f, 7.3);
    Read(group_.get(), OPC_DS_DEVICE, handles_, second);
    ExpectValues(second, 3, 3, true, 3.2f, 8.4);
    Read(group_.get(), OPC_DS_CACHE, handles_, cached);
    ASSERT_EQ(S_OK, cached.hr);
    ExpectValues(cached, 3, 3, true, 3.2f, 8.4);
    FILETIME now;
    CoFileTimeNow(&now);
    EXPECT_LE(CompareFileTime(&second.states[0].ftTimeStamp, &now), 0);
    EXPECT_GE(CompareFileTime(&cached.states[0].ftTimeStamp, &second.states[0].ftTimeStamp), 0)
        << "a cache read is stamped with the time of the call";
}

TEST_F(SyncIO, UnknownHandlesAndBadSources) {
    ReadResult r;
    Read(group_.get(), OPC_DS_DEVICE, {42, handles_[4]}, r);
    ASSERT_EQ(S_OK, r.hr);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, r.errors[0]);
    EXPECT_EQ(VT_EMPTY, r.states[0].vDataValue.vt);
    EXPECT_EQ(S_OK, r.errors[1]);
    ASSERT_EQ(VT_R8, r.states[1].vDataValue.vt);
    EXPECT_NEAR(7.3, r.states[1].vDataValue.dblVal, 1e-9) << "the known handle is read on its own";

    ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, group_.query(io));
    OPCITEMSTATE* states = reinterpret_cast<OPCITEMSTATE*>(1);
    HRESULT* errors = nullptr;
    OPCHANDLE h = handles_[0];
    EXPECT_EQ(E_INVALIDARG, io->Read(static_cast<OPCDATASOURCE>(0), 1, &h, &states, &errors));
    EXPECT_EQ(E_INVALIDARG, io->Read(static_cast<OPCDATASOURCE>(3), 1, &h, &states, &errors));
    EXPECT_EQ(nullptr, errors);
    // Null arrays never reach the server: the proxy refuses them.
    EXPECT_TRUE(FAILED(io->Read(OPC_DS_CACHE, 1, nullptr, &states, &errors)));
}

TEST_F(SyncIO, TagsNeverReadReportBadQuality) {
    ReadResult r;
    Read(group_.get(), OPC_DS_CACHE, handles_, r);
    ASSERT_EQ(S_OK, r.hr);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_NE(S_OK, r.errors[i]) << i;
        EXPECT_EQ(OPC_QUALITY_BAD, r.states[i].wQuality) << i;
    }
    EXPECT_EQ(VT_R4, r.states[3].vDataValue.vt) << "the type is the tag's even without a value";
}

TEST_F(SyncIO, WriteGoesToTheDriverAndShowsInTheNextDeviceRead) {
    ReadResult before;
    Read(group_.get(), OPC_DS_DEVICE, handles_, before);
    ExpectValues(before, 2, 2, false, 2.1f, 7.3);

    ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, group_.query(io));
    // The driver shows every write in a box and waits for it: close it from
    // another thread while this one waits in the call.
    auto box = std::async(std::launch::async, [] { return testsupport::WaitForMessageBox("Write", 20000); });
    VARIANT values[2];
    VariantInit(&values[0]);
    values[0].vt = VT_BSTR;  // no number for the VT_I4 tag: refused, nothing sent
    values[0].bstrVal = SysAllocString(L"ninety-nine");
    VariantInit(&values[1]);
    values[1].vt = VT_I4;
    values[1].lVal = 10;
    OPCHANDLE handles[] = {handles_[1], handles_[1]};
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_FALSE, io->Write(2, handles, values, &errors));
    VariantClear(&values[0]);
    fw::TaskMemPtr<HRESULT> owner(errors);
    EXPECT_EQ(OPC_E_BADTYPE, errors[0]);
    EXPECT_EQ(S_OK, errors[1]);
    const auto seen = box.get();
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ("10", seen->text);
    EXPECT_TRUE(testsupport::NoMessageBoxFor("Write", 300)) << "only one value reached the driver";

    ReadResult cached;
    Read(group_.get(), OPC_DS_CACHE, handles_, cached);
    ExpectValues(cached, 2, 2, false, 2.1f, 7.3);  // the cache keeps the old value
    ReadResult after;
    Read(group_.get(), OPC_DS_DEVICE, handles_, after);
    ExpectValues(after, 11, 11, true, 11.1f, 16.3);
}

TEST_F(SyncIO, WriteRefusesWrongTypesInEitherOrder) {
    ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, group_.query(io));
    auto box = std::async(std::launch::async, [] { return testsupport::WaitForMessageBox("Write", 20000); });
    VARIANT values[3];
    for (auto& v : values) VariantInit(&v);
    values[0].vt = VT_R4;  // Name3 is VT_R4: accepted
    values[0].fltVal = 2.5f;
    values[1].vt = VT_BSTR;  // Name3 again, as text that is no number: refused
    values[1].bstrVal = SysAllocString(L"two and a half");
    values[2].vt = VT_I4;  // unknown handle
    values[2].lVal = 1;
    OPCHANDLE handles[] = {handles_[3], handles_[3], 77};
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_FALSE, io->Write(3, handles, values, &errors));
    VariantClear(&values[1]);
    fw::TaskMemPtr<HRESULT> owner(errors);
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(OPC_E_BADTYPE, errors[1]);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[2]);
    const auto seen = box.get();
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ("2.500000", seen->text);

    // A null value array never reaches the server: the proxy refuses it.
    EXPECT_TRUE(FAILED(io->Write(1, handles, nullptr, &errors)));
}

}  // namespace
