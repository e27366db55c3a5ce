// Subscriptions under stress, through the real cross-process interfaces:
// ended from inside their own callbacks or behind a slow client, raced by
// asynchronous requests, piled up past the server's limits, and left idle
// at rate 0.
#include "FaultTest.h"

#include "HostProcessCpu.h"

#include <olectl.h>

#include <atomic>
#include <memory>

namespace {

using fw::ComPtr;
using namespace fault;

using SubscriptionEnd = ServerTest;
using SlowClient = ServerTest;
using AsyncRequests = ServerTest;
using ResourceLimits = ServerTest;
using IdleSubscription = ServerTest;

// Makes the sink call `call` from inside its first call; the result is
// filled in once that call has finished.
std::shared_ptr<Timed> CallFromFirstCallback(CallbackSink* sink, std::function<HRESULT()> call) {
    auto result = std::make_shared<Timed>();
    sink->SetAction([result, call](size_t n) {
        if (n == 1) *result = Time(call);
    });
    return result;
}

TEST_F(SubscriptionEnd, FromInsideItsOwnCallbackReturnsAtOnce) {
    RunBounded(kBoundMs, [] {
        ComPtr<IOPCServer> server;
        ASSERT_EQ(S_OK, CreateServer(server));
        ComPtr<IUnknown> unadvised, removed;
        OPCHANDLE removedHandle = 0;
        ASSERT_EQ(S_OK, AddSimulationGroup(server.get(), L"Unadvised", unadvised));
        ASSERT_EQ(S_OK, AddSimulationGroup(server.get(), L"Removed", removed, &removedHandle));
        ComPtr<IDataObject> data;
        ASSERT_EQ(S_OK, unadvised.query(data));

        // The first stream may come before DAdvise has returned the number
        // to end; the callback waits for it.
        const auto connection = std::make_shared<std::atomic<DWORD>>(0);
        const ComPtr<CallbackSink> unadviser = CallbackSink::Create();
        const auto unadvise = CallFromFirstCallback(unadviser.get(), [data, connection] {
            testsupport::PumpUntil([&] { return *connection != 0; }, 5000);
            return data->DUnadvise(*connection);
        });
        const ComPtr<CallbackSink> remover = CallbackSink::Create();
        const auto removal = CallFromFirstCallback(
            remover.get(), [server, removedHandle] { return server->RemoveGroup(removedHandle, TRUE); });

        DWORD advised = 0;
        ASSERT_EQ(S_OK, Advise(unadvised.get(), unadviser.get(), &advised));
        *connection = advised;
        ASSERT_EQ(S_OK, Advise(removed.get(), remover.get(), &advised));
        ASSERT_TRUE(unadviser->WaitForFinished(1, 10000)) << "DUnadvise from inside the callback did not return";
        ASSERT_TRUE(remover->WaitForFinished(1, 10000)) << "RemoveGroup from inside the callback did not return";
        EXPECT_EQ(S_OK, unadvise->hr);
        EXPECT_LT(unadvise->ms, kPromptMs);
        EXPECT_EQ(S_OK, removal->hr);
        EXPECT_LT(removal->ms, kPromptMs);

        // Each subscription had one update thread, busy in the call that
        // ended it: nothing may follow.
        Sleep(10 * kRate);
        EXPECT_EQ(1u, unadviser->Entered()) << "a stream after DUnadvise returned";
        EXPECT_EQ(1u, remover->Entered()) << "a stream after RemoveGroup returned";
        EXPECT_EQ(S_OK, Status(server.get()));
    });
}

TEST_F(SlowClient, HeldSinkStallsNoOtherClientAndItsSubscriptionStillEnds) {
    RunBounded(kBoundMs, [] {
        ComPtr<IOPCServer> slow, other;
        ASSERT_EQ(S_OK, CreateServer(slow));
        ASSERT_EQ(S_OK, CreateServer(other));
        ComPtr<IUnknown> held, reader;
        std::vector<OPCHANDLE> handles;
        ASSERT_EQ(S_OK, AddSimulationGroup(slow.get(), L"Held", held));
        ASSERT_EQ(S_OK, AddSimulationGroup(other.get(), L"Reader", reader, nullptr, &handles));
        ComPtr<IOPCSyncIO> io;
        ASSERT_EQ(S_OK, reader.query(io));
        ComPtr<IDataObject> data;
        ASSERT_EQ(S_OK, held.query(data));

        const ComPtr<CallbackSink> sink = CallbackSink::Create();
        sink->Hold(20000);
        const ResumeOnExit resume({sink.get()});
        DWORD connection = 0;
        ASSERT_EQ(S_OK, Advise(held.get(), sink.get(), &connection));
        ASSERT_TRUE(sink->WaitForEntered(1, 5000));

        // The slow client's subscription is now stuck in its sink.
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(i);
            const Timed read = Time([&] { return SyncRead(io.get(), OPC_DS_DEVICE, handles); });
            EXPECT_EQ(S_OK, read.hr);
            EXPECT_LT(read.ms, kPromptMs);
        }
        ComPtr<IOPCServer> fresh;
        const Timed created = Time([&] { return CreateServer(fresh); });
        EXPECT_EQ(S_OK, created.hr);
        EXPECT_LT(created.ms, kCreateMs);

        const Timed unadvise = Time([&] { return data->DUnadvise(connection); });
        EXPECT_EQ(S_OK, unadvise.hr);
        EXPECT_LT(unadvise.ms, kPromptMs);
        // The held call was in progress; once it goes, nothing follows.
        sink->Resume();
        Sleep(10 * kRate);
        EXPECT_EQ(1u, sink->Entered()) << "a stream after DUnadvise returned";
    });
}

// A group whose only item, Name0, is inactive: its update thread sends
// nothing, so every stream a sink gets completes an asynchronous request.
void AddQuietGroup(IOPCServer* server, ComPtr<IUnknown>& group, OPCHANDLE* item) {
    std::vector<OPCHANDLE> handles;
    std::vector<HRESULT> errors;
    ASSERT_EQ(S_OK, AddGroup(server, L"Quiet", IID_IOPCItemMgt, group, nullptr, kRate));
    ASSERT_EQ(S_OK, AddItems(group.get(), {L"Name0"}, handles, errors));
    ComPtr<IOPCItemMgt> items;
    ASSERT_EQ(S_OK, group.query(items));
    fw::TaskMemPtr<HRESULT> activeErrors;
    ASSERT_EQ(S_OK, items->SetActiveState(1, &handles[0], FALSE, fw::OutPtr(activeErrors)));
    *item = handles[0];
}

HRESULT ReadAsync(IOPCAsyncIO* async, DWORD connection, OPCHANDLE item) {
    DWORD transaction = 0;
    fw::TaskMemPtr<HRESULT> errors;
    return async->Read(connection, OPC_DS_CACHE, 1, &item, &transaction, fw::OutPtr(errors));
}

TEST_F(AsyncRequests, UnadviseRacingReadsAndRefreshesLosesNoCompletion) {
    constexpr int kCycles = 10;
    constexpr int kBurst = 20;  // requests per thread and cycle
    RunBounded(kBoundMs, [] {
        ComPtr<IOPCServer> server;
        ASSERT_EQ(S_OK, CreateServer(server));
        ComPtr<IUnknown> group;
        OPCHANDLE item = 0;
        ASSERT_NO_FATAL_FAILURE(AddQuietGroup(server.get(), group, &item));
        ComPtr<IOPCAsyncIO> async;
        ASSERT_EQ(S_OK, group.query(async));
        ComPtr<IDataObject> data;
        ASSERT_EQ(S_OK, group.query(data));

        for (int cycle = 0; cycle < kCycles; ++cycle) {
            SCOPED_TRACE(cycle);
            const ComPtr<CallbackSink> sink = CallbackSink::Create();
            DWORD connection = 0;
            ASSERT_EQ(S_OK, Advise(group.get(), sink.get(), &connection));
            std::atomic<size_t> accepted{0};
            Timed unadvise;
            {
                MtaThread reads([&] {
                    for (int i = 0; i < kBurst; ++i)
                        if (SUCCEEDED(ReadAsync(async.get(), connection, item))) ++accepted;
                });
                MtaThread readsAndRefreshes([&] {
                    for (int i = 0; i < kBurst; ++i) {
                        DWORD transaction = 0;
                        const HRESULT hr = i % 2 ? async->Refresh(connection, OPC_DS_CACHE, &transaction)
                                                 : ReadAsync(async.get(), connection, item);
                        if (SUCCEEDED(hr)) ++accepted;
                    }
                });
                testsupport::PumpUntil([&] { return accepted >= 2; }, 2000);
                unadvise = Time([&] { return data->DUnadvise(connection); });
            }
            EXPECT_EQ(S_OK, unadvise.hr);
            EXPECT_LT(unadvise.ms, kPromptMs);
            // Every request the server took is answered, even the ones whose
            // subscription was ending meanwhile.
            EXPECT_TRUE(sink->WaitForEntered(accepted, 5000));
            Sleep(2 * kRate);
            EXPECT_EQ(accepted.load(), sink->Entered()) << "one completion per accepted request";
        }
        EXPECT_EQ(S_OK, Status(server.get()));
    });
}

TEST_F(AsyncRequests, PendingRequestsAreBoundedPerSubscription) {
    RunBounded(kBoundMs, [] {
        ComPtr<IOPCServer> server;
        ASSERT_EQ(S_OK, CreateServer(server));
        ComPtr<IUnknown> group;
        OPCHANDLE item = 0;
        ASSERT_NO_FATAL_FAILURE(AddQuietGroup(server.get(), group, &item));
        ComPtr<IOPCAsyncIO> async;
        ASSERT_EQ(S_OK, group.query(async));
        const ComPtr<CallbackSink> sink = CallbackSink::Create();
        sink->Hold(20000);
        const ResumeOnExit resume({sink.get()});
        DWORD connection = 0;
        ASSERT_EQ(S_OK, Advise(group.get(), sink.get(), &connection));

        // The first completion sticks in the sink; the rest pile up.
        size_t accepted = 0, refused = 0;
        for (int i = 0; i < 100; ++i) {
            const HRESULT hr = ReadAsync(async.get(), connection, item);
            if (hr == S_OK) {
                ++accepted;
            } else {
                EXPECT_EQ(E_OUTOFMEMORY, hr) << "request " << i;
                ++refused;
            }
        }
        EXPECT_GE(accepted, 1u);
        EXPECT_GE(refused, 1u) << "requests queue up without bound behind a sink that does not return";

        sink->Resume();
        EXPECT_TRUE(sink->WaitForEntered(accepted, 10000));
        Sleep(2 * kRate);
        EXPECT_EQ(accepted, sink->Entered()) << "one completion per accepted request";
        EXPECT_EQ(S_OK, ReadAsync(async.get(), connection, item)) << "room again once the queue has drained";
        EXPECT_TRUE(sink->WaitForEntered(accepted + 1, 5000));
    });
}

TEST_F(ResourceLimits, HugeBlobFailsItsItemOnly) {
    RunBounded(kBoundMs, [] {
        ComPtr<IOPCServer> server;
        ASSERT_EQ(S_OK, CreateServer(server));
        ComPtr<IUnknown> group;
        ASSERT_EQ(S_OK, AddGroup(server.get(), L"Blobs", IID_IOPCItemMgt, group));
        ComPtr<IOPCItemMgt> items;
        ASSERT_EQ(S_OK, group.query(items));

        std::vector<BYTE> huge(32u << 20, 0x5A);
        std::vector<BYTE> small(16, 0xA5);
        OPCITEMDEF defs[2] = {};
        const std::vector<std::wstring> tags = SimulationTags();
        for (int i = 0; i < 2; ++i) {
            std::vector<BYTE>& blob = i == 0 ? huge : small;
            defs[i].szAccessPath = const_cast<LPWSTR>(L"");
            defs[i].szItemID = const_cast<LPWSTR>(tags[i].c_str());
            defs[i].bActive = TRUE;
            defs[i].hClient = static_cast<OPCHANDLE>(i + 1);
            defs[i].dwBlobSize = static_cast<DWORD>(blob.size());
            defs[i].pBlob = blob.data();
        }
        fw::TaskMemPtr<OPCITEMRESULT> results;
        fw::TaskMemPtr<HRESULT> errors;
        EXPECT_EQ(S_FALSE, items->AddItems(2, defs, fw::OutPtr(results), fw::OutPtr(errors)));
        ASSERT_TRUE(results && errors);
        const fw::TaskMemPtr<BYTE> blobs[] = {fw::TaskMemPtr<BYTE>(results.get()[0].pBlob),
                                             fw::TaskMemPtr<BYTE>(results.get()[1].pBlob)};
        EXPECT_EQ(E_OUTOFMEMORY, errors.get()[0]);
        EXPECT_EQ(S_OK, errors.get()[1]);

        // The server lived through it, and the item beside the huge one works.
        EXPECT_EQ(S_OK, Status(server.get()));
        ComPtr<IOPCSyncIO> io;
        ASSERT_EQ(S_OK, group.query(io));
        EXPECT_EQ(S_OK, SyncRead(io.get(), OPC_DS_DEVICE, {results.get()[1].hServer}));
    });
}

TEST_F(ResourceLimits, SubscriptionsPerServerObjectAreCapped) {
    constexpr size_t kTooMany = 1000;
    RunBounded(kBoundMs, [] {
        ComPtr<IOPCServer> server;
        ASSERT_EQ(S_OK, CreateServer(server));
        ComPtr<IUnknown> group;  // no items: its subscriptions send nothing
        ASSERT_EQ(S_OK, AddGroup(server.get(), L"Crowded", IID_IDataObject, group));
        const ComPtr<CallbackSink> sink = CallbackSink::Create();
        std::vector<DWORD> connections;
        HRESULT refusal = S_OK;
        while (connections.size() < kTooMany) {
            DWORD connection = 0;
            refusal = Advise(group.get(), sink.get(), &connection);
            if (FAILED(refusal)) break;
            connections.push_back(connection);
        }
        EXPECT_EQ(CONNECT_E_ADVISELIMIT, refusal) << "after " << connections.size() << " subscriptions";
        EXPECT_GE(connections.size(), 16u);
        ASSERT_FALSE(connections.empty());

        // The limit counts live subscriptions: ending one makes room again
        // once its thread, told to end, has gone.
        ComPtr<IDataObject> data;
        ASSERT_EQ(S_OK, group.query(data));
        EXPECT_EQ(S_OK, data->DUnadvise(connections.back()));
        DWORD again = 0;
        HRESULT readvised = CONNECT_E_ADVISELIMIT;
        for (int i = 0; i < 40 && readvised == CONNECT_E_ADVISELIMIT; ++i) {
            readvised = Advise(group.get(), sink.get(), &again);
            if (readvised == CONNECT_E_ADVISELIMIT) Sleep(50);
        }
        EXPECT_EQ(S_OK, readvised);

        // Another client has limits of its own.
        ComPtr<IOPCServer> other;
        ASSERT_EQ(S_OK, CreateServer(other));
        ComPtr<IUnknown> otherGroup;
        ASSERT_EQ(S_OK, AddGroup(other.get(), L"Roomy", IID_IDataObject, otherGroup));
        DWORD connection = 0;
        EXPECT_EQ(S_OK, Advise(otherGroup.get(), sink.get(), &connection));
    });
}

TEST_F(IdleSubscription, RateZeroUsesNoCpu) {
    RunBounded(kBoundMs, [] {
        ComPtr<IOPCServer> server;
        ASSERT_EQ(S_OK, CreateServer(server));
        ComPtr<IUnknown> group;
        ASSERT_EQ(S_OK, AddGroup(server.get(), L"Idle", IID_IDataObject, group, nullptr, 0));
        const ComPtr<CallbackSink> sink = CallbackSink::Create();
        DWORD connection = 0;
        ASSERT_EQ(S_OK, Advise(group.get(), sink.get(), &connection));
        Sleep(300);  // past the subscription's start

        const testsupport::HostProcessCpu cpu(testsupport::FindProcessId(kServerExe));
        const double before = cpu.CpuMs();
        ASSERT_GE(before, 0) << cpu.Problem();
        const DWORD start = GetTickCount();
        Sleep(1500);
        const double after = cpu.CpuMs();
        const DWORD wall = GetTickCount() - start;
        ASSERT_GE(after, 0) << cpu.Problem();
        EXPECT_LT(100.0 * (after - before) / wall, 5.0) << after - before << " ms of CPU in " << wall << " ms";

        GroupState state;
        ASSERT_EQ(S_OK, ReadGroupState(group.get(), state));
        EXPECT_EQ(0u, state.updateRate);
    });
}

}  // namespace
