// Data-change subscriptions through the group's IDataObject, seen by a real
// sink in this test's apartment: stream layouts, the change test, the
// stream counter, and the end of subscriptions.
#include "DataChangeSink.h"
#include "ServerTest.h"

#include "Processes.h"

#include <algorithm>

namespace {

using fw::ComPtr;

constexpr DWORD kRate = 100;

LONGLONG FileTimeMs(const FILETIME& t) {
    ULARGE_INTEGER u;
    u.LowPart = t.dwLowDateTime;
    u.HighPart = t.dwHighDateTime;
    return static_cast<LONGLONG>(u.QuadPart / 10000);
}

LONGLONG NowMs() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return FileTimeMs(now);
}

// The simulation's five tags, subscribed.
class SimulationSubscription : public SimulationGroupTest {};

TEST_F(SimulationSubscription, FirstStreamCarriesEveryActiveItemWithTimeAndLayout) {
    Subscription sub;
    const LONGLONG before = NowMs();
    ASSERT_EQ(S_OK, sub.Advise(group_.get(), FormatDataTime()));
    EXPECT_EQ(1u, sub.Connection()) << "connection numbers start at 1 in each group";
    ASSERT_TRUE(sub.Sink().WaitFor(1, 5000));
    const LONGLONG after = NowMs();
    const ReceivedStream& s = sub.Sink().Streams()[0];

    EXPECT_EQ(FormatDataTime(), s.format);
    EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), s.tymed);
    EXPECT_EQ(20u + 36u * 5u, s.Size());
    EXPECT_EQ(s.Size(), s.bytes.size()) << "the block is exactly as large as dwSize says";
    EXPECT_EQ(5u, s.ItemCount());
    EXPECT_EQ(77u, s.ClientGroup());
    EXPECT_EQ(0u, s.Status());
    std::vector<StreamEntry> entries;
    std::string why;
    ASSERT_TRUE(s.Entries(true, entries, &why)) << why;
    for (DWORD i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(100u + i, entries[i].hClient) << "entries follow the item list";
        EXPECT_EQ(20u + 5u * 20u + 16u * i, entries[i].valueOffset);
        EXPECT_EQ(OPC_QUALITY_GOOD, entries[i].quality);
        EXPECT_EQ(0, entries[i].reserved);
        EXPECT_GE(FileTimeMs(entries[i].time), before - 1000);
        EXPECT_LE(FileTimeMs(entries[i].time), after + 1000);
        EXPECT_NE(VT_EMPTY, entries[i].vt);
    }
}

TEST_F(SimulationSubscription, ValuesArriveAtTheUpdateRateAndStopWithUnadvise) {
    // The simulation's values move on every read: each cycle sends a stream.
    Subscription sub;
    ASSERT_EQ(S_OK, sub.Advise(group_.get(), FormatData()));
    ASSERT_TRUE(sub.Sink().WaitFor(6, 10000));
    const auto& streams = sub.Sink().Streams();
    const DWORD span = streams[5].arrived - streams[1].arrived;
    // Four periods of the group's 1000 ms rate, with room for a loaded machine.
    EXPECT_GE(span, 3500u);
    EXPECT_LE(span, 6000u);
    std::vector<StreamEntry> entries;
    ASSERT_TRUE(streams[5].Entries(false, entries));
    EXPECT_EQ(20u + 28u * 5u, streams[5].Size());

    ASSERT_EQ(S_OK, sub.Unadvise());
    EXPECT_EQ(0u, sub.Sink().CountArrivingWithin(2500)) << "no stream after DUnadvise";
}

TEST_F(SimulationSubscription, UnknownConnectionAndBadArguments) {
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, group_.query(data));
    EXPECT_EQ(E_FAIL, data->DUnadvise(1)) << "no subscription yet";
    Subscription sub;
    ASSERT_EQ(S_OK, sub.Advise(group_.get(), FormatDataTime()));
    EXPECT_EQ(E_FAIL, data->DUnadvise(sub.Connection() + 1));

    FORMATETC fe{FormatDataTime(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    medium.tymed = TYMED_HGLOBAL;
    medium.hGlobal = GlobalAlloc(GPTR, 1024);
    EXPECT_EQ(E_NOTIMPL, data->GetDataHere(&fe, &medium));
    ReleaseStgMedium(&medium);
    EXPECT_EQ(E_NOTIMPL, data->QueryGetData(&fe));
    FORMATETC out{};
    EXPECT_EQ(E_NOTIMPL, data->GetCanonicalFormatEtc(&fe, &out));
    ComPtr<IEnumFORMATETC> formats;
    EXPECT_EQ(E_NOTIMPL, data->EnumFormatEtc(DATADIR_GET, formats.put()));
    ComPtr<IEnumSTATDATA> advises;
    EXPECT_EQ(E_NOTIMPL, data->EnumDAdvise(advises.put()));
}

// Adds a subscribed group, waits for its first streams, removes it, and
// checks that it went quietly.
void SubscribeAndRemoveGroup(IOPCServer* server, DWORD pid, int* peak) {
    ComPtr<IUnknown> group;
    OPCHANDLE handle = 0;
    ASSERT_EQ(S_OK, AddGroup(server, L"Watched", IID_IOPCItemMgt, group, &handle, kRate));
    std::vector<OPCHANDLE> handles;
    std::vector<HRESULT> errors;
    ASSERT_EQ(S_OK, AddItems(group.get(), {L"Name0", L"Name1"}, handles, errors));
    Subscription a;
    Subscription b;
    ASSERT_EQ(S_OK, a.Advise(group.get(), FormatDataTime()));
    ASSERT_EQ(S_OK, b.Advise(group.get(), FormatData()));
    EXPECT_EQ(2u, b.Connection());
    ASSERT_TRUE(a.Sink().WaitFor(1, 5000));
    ASSERT_TRUE(b.Sink().WaitFor(1, 5000));
    *peak = testsupport::CountThreads(pid);

    ASSERT_EQ(S_OK, server->RemoveGroup(handle, TRUE));
    a.Sink().CountArrivingWithin(300);  // a stream already on its way may still land
    EXPECT_EQ(0u, a.Sink().CountArrivingWithin(1000));
    EXPECT_EQ(E_FAIL, a.Unadvise()) << "the removed group has no subscriptions left";
    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, group.query(data));
    DataChangeSink* sink = new DataChangeSink;
    ComPtr<IAdviseSink> sinkRef;
    sinkRef.attach(sink);
    FORMATETC fe{FormatDataTime(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD connection = 0;
    EXPECT_EQ(E_FAIL, data->DAdvise(&fe, 0, sink, &connection)) << "a removed group takes no subscription";
}

TEST_F(SimulationSubscription, RemovingTheGroupEndsItsThreads) {
    const DWORD pid = testsupport::FindProcessId(kServerExe);
    ASSERT_NE(0u, pid);
    // The first round lets COM and RPC start the threads they keep for good.
    int peak = 0;
    ASSERT_NO_FATAL_FAILURE(SubscribeAndRemoveGroup(server_.get(), pid, &peak));
    Sleep(500);
    const int baseline = testsupport::CountThreads(pid);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_NO_FATAL_FAILURE(SubscribeAndRemoveGroup(server_.get(), pid, &peak));
        EXPECT_GE(peak, baseline + 3) << "the group's thread and one per subscription";
        EXPECT_LE(testsupport::WaitForThreadsAtMost(pid, baseline, 5000), baseline);
    }
}

// The test driver's tags keep their values until written: streams show
// exactly what changed.
class HeldSubscription : public DriverCopyTest {
protected:
    void SetUp() override {
        DriverCopyTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(Install("held"));
        ASSERT_EQ(S_OK, CreateServer(server_));
        OPCHANDLE h = 0;
        DWORD revised = 0;
        FLOAT deadband = 50.0f;
        ASSERT_EQ(S_OK, server_->AddGroup(L"Held", TRUE, kRate, 55, nullptr, &deadband, 0, &h, &revised,
                                         IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(group_.put())));
        std::vector<HRESULT> errors;
        ASSERT_EQ(S_OK, AddItems(group_.get(), {L"A", L"B", L"C"}, handles_, errors));
    }
    void TearDown() override {
        group_.reset();
        server_.reset();
        DriverCopyTest::TearDown();
    }

    HRESULT WriteValue(OPCHANDLE handle, const VARIANT& value) {
        ComPtr<IOPCSyncIO> io;
        HRESULT hr = group_.query(io);
        if (FAILED(hr)) return hr;
        HRESULT* errors = nullptr;
        hr = io->Write(1, &handle, const_cast<VARIANT*>(&value), &errors);
        const HRESULT item = errors ? errors[0] : E_FAIL;
        CoTaskMemFree(errors);
        return FAILED(hr) ? hr : item;
    }

    // Reads the driver's count of block reads through a group of its own.
    LONG DriverReads() {
        ComPtr<IUnknown> probe;
        if (!probe_) {
            OPCHANDLE h = 0;
            if (AddGroup(server_.get(), L"Probe", IID_IOPCItemMgt, probe_, &h, 60000) != S_OK) return -1;
            std::vector<OPCHANDLE> handles;
            std::vector<HRESULT> errors;
            if (AddItems(probe_.get(), {L"Reads"}, handles, errors) != S_OK) return -1;
            probeHandle_ = handles[0];
        }
        ComPtr<IOPCSyncIO> io;
        if (FAILED(probe_.query(io))) return -1;
        OPCITEMSTATE* states = nullptr;
        HRESULT* errors = nullptr;
        if (io->Read(OPC_DS_DEVICE, 1, &probeHandle_, &states, &errors) != S_OK) return -1;
        const LONG reads = states[0].vDataValue.lVal;
        CoTaskMemFree(states);
        CoTaskMemFree(errors);
        return reads;
    }

    HRESULT SetActive(const std::vector<OPCHANDLE>& handles, BOOL active) {
        ComPtr<IOPCItemMgt> items;
        HRESULT hr = group_.query(items);
        if (FAILED(hr)) return hr;
        HRESULT* errors = nullptr;
        hr = items->SetActiveState(static_cast<DWORD>(handles.size()), const_cast<OPCHANDLE*>(handles.data()),
                                   active, &errors);
        CoTaskMemFree(errors);
        return hr;
    }

    ComPtr<IOPCServer> server_;
    ComPtr<IUnknown> group_;
    ComPtr<IUnknown> probe_;
    OPCHANDLE probeHandle_ = 0;
    std::vector<OPCHANDLE> handles_;  // A, B, C
};

TEST_F(HeldSubscription, OnlyChangesFollowTheFirstStream) {
    Subscription sub;
    ASSERT_EQ(S_OK, sub.Advise(group_.get(), FormatDataTime()));
    ASSERT_TRUE(sub.Sink().WaitFor(1, 5000));
    EXPECT_EQ(3u, sub.Sink().Streams()[0].ItemCount());
    EXPECT_EQ(0u, sub.Sink().CountArrivingWithin(5 * kRate)) << "unchanged values send nothing";

    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = 42.25;
    ASSERT_EQ(S_OK, WriteValue(handles_[1], v));
    ASSERT_TRUE(sub.Sink().WaitFor(2, 5000));
    const ReceivedStream& s = sub.Sink().Streams()[1];
    EXPECT_EQ(1u, s.ItemCount());
    EXPECT_EQ(20u + 36u * 3u, s.Size()) << "the block is sized for every active item";
    EXPECT_EQ(s.Size(), s.bytes.size());
    std::vector<StreamEntry> entries;
    ASSERT_TRUE(s.Entries(true, entries));
    EXPECT_EQ(101u, entries[0].hClient);
    EXPECT_EQ(20u + 20u, entries[0].valueOffset);
    EXPECT_EQ(VT_R8, entries[0].vt);
    EXPECT_DOUBLE_EQ(42.25, entries[0].AsDouble());
    EXPECT_EQ(0u, sub.Sink().CountArrivingWithin(3 * kRate));
}

TEST_F(HeldSubscription, SmallFloatChangeIgnoresTheDeadband) {
    Subscription sub;
    ASSERT_EQ(S_OK, sub.Advise(group_.get(), FormatData()));
    ASSERT_TRUE(sub.Sink().WaitFor(1, 5000));
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R4;
    v.fltVal = 2.5001f;
    ASSERT_EQ(S_OK, WriteValue(handles_[2], v));
    ASSERT_TRUE(sub.Sink().WaitFor(2, 5000)) << "a 50 % deadband is never applied";
    std::vector<StreamEntry> entries;
    ASSERT_TRUE(sub.Sink().Streams()[1].Entries(false, entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(102u, entries[0].hClient);
    EXPECT_EQ(20u + 12u, entries[0].valueOffset);
    EXPECT_FLOAT_EQ(2.5001f, entries[0].AsFloat());
}

TEST_F(HeldSubscription, OtherFormatsCarryTheHeaderOnly) {
    Subscription other;
    Subscription writeComplete;
    ASSERT_EQ(S_OK, other.Advise(group_.get(), CF_TEXT));
    ASSERT_EQ(S_OK, writeComplete.Advise(group_.get(), FormatWriteComplete()));
    // The two connections share the items' change state: whichever cycles
    // first sends the three new items, the other then sees no change.
    const DWORD start = GetTickCount();
    while (other.Sink().Count() + writeComplete.Sink().Count() < 1 && GetTickCount() - start < 5000)
        testsupport::PumpMessages(10);
    testsupport::PumpMessages(3 * kRate);
    ASSERT_EQ(1u, other.Sink().Count() + writeComplete.Sink().Count());
    const bool viaOther = other.Sink().Count() == 1;
    const ReceivedStream& s = viaOther ? other.Sink().Streams()[0] : writeComplete.Sink().Streams()[0];
    EXPECT_EQ(3u, s.ItemCount());
    EXPECT_EQ(viaOther ? 20u + 16u * 3u : 16u + 8u * 3u, s.Size());
    EXPECT_EQ(s.Size(), s.bytes.size());
    EXPECT_EQ(std::vector<BYTE>(s.bytes.size() - 20, 0), std::vector<BYTE>(s.bytes.begin() + 20, s.bytes.end()))
        << "nothing follows the header";
}

TEST_F(HeldSubscription, InactiveItemsAreNeitherReadNorSent) {
    ASSERT_EQ(S_OK, SetActive(handles_, FALSE));
    Subscription sub;
    ASSERT_EQ(S_OK, sub.Advise(group_.get(), FormatDataTime()));
    const LONG before = DriverReads();
    ASSERT_GE(before, 0);
    EXPECT_EQ(0u, sub.Sink().CountArrivingWithin(5 * kRate));
    EXPECT_EQ(before + 1, DriverReads()) << "only the probe's own read reached the driver";

    // An inactive item ahead of an active one does not hold it back.
    ASSERT_EQ(S_OK, SetActive({handles_[2]}, TRUE));
    ASSERT_TRUE(sub.Sink().WaitFor(1, 5000));
    const ReceivedStream& s = sub.Sink().Streams()[0];
    EXPECT_EQ(1u, s.ItemCount());
    EXPECT_EQ(20u + 36u, s.Size());
    std::vector<StreamEntry> entries;
    ASSERT_TRUE(s.Entries(true, entries));
    EXPECT_EQ(102u, entries[0].hClient);
    EXPECT_FLOAT_EQ(2.5f, entries[0].AsFloat());
}

TEST_F(HeldSubscription, StreamCounterCountsAcrossConnectionsAndGetData) {
    Subscription first;
    ASSERT_EQ(S_OK, first.Advise(group_.get(), FormatDataTime()));
    ASSERT_TRUE(first.Sink().WaitFor(1, 5000));
    Subscription second;
    ASSERT_EQ(S_OK, second.Advise(group_.get(), FormatData()));

    ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, group_.query(data));
    FORMATETC fe{FormatDataTime(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium{};
    ASSERT_EQ(S_OK, data->GetData(&fe, &medium));
    ASSERT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), medium.tymed);
    ReceivedStream snapshot;
    ASSERT_NE(nullptr, medium.hGlobal);
    EXPECT_EQ(nullptr, medium.pUnkForRelease);
    snapshot.bytes.resize(GlobalSize(medium.hGlobal));
    memcpy(snapshot.bytes.data(), GlobalLock(medium.hGlobal), snapshot.bytes.size());
    GlobalUnlock(medium.hGlobal);
    ReleaseStgMedium(&medium);
    EXPECT_EQ(3u, snapshot.ItemCount()) << "GetData sends every active item, changed or not";
    EXPECT_EQ(20u + 36u * 3u, snapshot.Size());
    EXPECT_EQ(55u, snapshot.ClientGroup());

    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    for (LONG value = 10; value < 14; ++value) {
        v.lVal = value;
        ASSERT_EQ(S_OK, WriteValue(handles_[0], v));
        const size_t total = first.Sink().Count() + second.Sink().Count();
        const DWORD start = GetTickCount();
        while (first.Sink().Count() + second.Sink().Count() == total && GetTickCount() - start < 5000)
            testsupport::PumpMessages(10);
    }
    testsupport::PumpMessages(2 * kRate);

    std::vector<DWORD> ids{snapshot.TransactionId()};
    for (const auto* sink : {&first.Sink(), &second.Sink()})
        for (const ReceivedStream& s : sink->Streams()) ids.push_back(s.TransactionId());
    std::sort(ids.begin(), ids.end());
    ASSERT_EQ(6u, ids.size()) << "the first stream, the snapshot and one per write";
    for (size_t i = 0; i < ids.size(); ++i) EXPECT_EQ(ids[0] + i, ids[i]) << "one counter for the whole group";
    EXPECT_EQ(0u, ids[0]);
}

}  // namespace
