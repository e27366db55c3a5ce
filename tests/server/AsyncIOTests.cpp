// Asynchronous reads and refreshes: requests answered at once, values sent
// later through the named subscription as ordinary streams.
#include "DataChangeSink.h"
#include "ServerTest.h"

namespace {

using fw::ComPtr;

class AsyncIO : public DriverCopyTest {
protected:
    void SetUp() override {
        DriverCopyTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(Install("held"));
        ASSERT_EQ(S_OK, CreateServer(server_));
        ASSERT_EQ(S_OK, AddGroup(server_.get(), L"Async", IID_IOPCAsyncIO, group_, nullptr, 100));
        std::vector<HRESULT> errors;
        ASSERT_EQ(S_OK, AddItems(group_.get(), {L"A", L"B", L"C"}, handles_, errors));
        ASSERT_EQ(S_OK, group_.query(async_));
    }
    void TearDown() override {
        async_.reset();
        group_.reset();
        server_.reset();
        DriverCopyTest::TearDown();
    }

    // Subscribes and takes the first stream, after which nothing changes.
    void Subscribe(Subscription& sub) {
        ASSERT_EQ(S_OK, sub.Advise(group_.get(), FormatDataTime()));
        if (activeCount_ > 0) {
            ASSERT_TRUE(sub.Sink().WaitFor(1, 5000));
        }
        ASSERT_EQ(0u, sub.Sink().CountArrivingWithin(300));
    }

    HRESULT Deactivate(OPCHANDLE handle) {
        ComPtr<IOPCItemMgt> items;
        HRESULT hr = group_.query(items);
        if (FAILED(hr)) return hr;
        HRESULT* errors = nullptr;
        hr = items->SetActiveState(1, &handle, FALSE, &errors);
        CoTaskMemFree(errors);
        if (hr == S_OK) --activeCount_;
        return hr;
    }

    ComPtr<IOPCServer> server_;
    ComPtr<IUnknown> group_;
    ComPtr<IOPCAsyncIO> async_;
    std::vector<OPCHANDLE> handles_;  // A, B, C
    int activeCount_ = 3;
};

TEST_F(AsyncIO, RequestsThatCannotBeServedFail) {
    Subscription sub;
    ASSERT_NO_FATAL_FAILURE(Subscribe(sub));
    DWORD transaction = 99;
    HRESULT* errors = nullptr;
    EXPECT_EQ(E_FAIL, async_->Read(sub.Connection(), static_cast<OPCDATASOURCE>(3), 1, handles_.data(),
                                   &transaction, &errors));
    EXPECT_EQ(E_FAIL, async_->Read(0, OPC_DS_CACHE, 1, handles_.data(), &transaction, &errors));
    EXPECT_EQ(E_FAIL, async_->Read(sub.Connection() + 7, OPC_DS_CACHE, 1, handles_.data(), &transaction, &errors))
        << "no subscription with that number";
    EXPECT_EQ(nullptr, errors);
    EXPECT_EQ(E_FAIL, async_->Refresh(sub.Connection(), static_cast<OPCDATASOURCE>(0), &transaction));
    EXPECT_EQ(E_FAIL, async_->Refresh(sub.Connection() + 7, OPC_DS_DEVICE, &transaction));
    EXPECT_EQ(E_FAIL, async_->Cancel(0));
    EXPECT_EQ(E_FAIL, async_->Cancel(1));
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    EXPECT_EQ(E_FAIL, async_->Write(sub.Connection(), 1, handles_.data(), &v, &transaction, &errors))
        << "a data subscription cannot carry a write's outcome";
    EXPECT_EQ(0u, sub.Sink().CountArrivingWithin(500)) << "no completion for a refused request";
}

TEST_F(AsyncIO, ReadOfTwoCachedItemsCompletesThroughTheSubscription) {
    Subscription sub;
    ASSERT_NO_FATAL_FAILURE(Subscribe(sub));
    const DWORD lastId = sub.Sink().Streams().back().TransactionId();
    DWORD transaction = 99;
    HRESULT* errors = nullptr;
    OPCHANDLE wanted[] = {handles_[2], handles_[0]};
    ASSERT_EQ(S_OK, async_->Read(sub.Connection(), OPC_DS_CACHE, 2, wanted, &transaction, &errors));
    ASSERT_NE(nullptr, errors);
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(S_OK, errors[1]);
    CoTaskMemFree(errors);
    EXPECT_EQ(lastId + 1, transaction) << "the group's stream counter's next number";

    ASSERT_TRUE(sub.Sink().WaitFor(2, 5000));
    const ReceivedStream& s = sub.Sink().Streams()[1];
    EXPECT_EQ(2u, s.ItemCount());
    EXPECT_EQ(20u + 36u * 2u, s.Size());
    EXPECT_EQ(transaction, s.TransactionId()) << "the completion carries the number handed out";
    std::vector<StreamEntry> entries;
    ASSERT_TRUE(s.Entries(true, entries));
    EXPECT_EQ(102u, entries[0].hClient) << "in the order asked for";
    EXPECT_FLOAT_EQ(2.5f, entries[0].AsFloat());
    EXPECT_EQ(100u, entries[1].hClient);
    EXPECT_EQ(1, entries[1].AsLong());
    for (const StreamEntry& e : entries) EXPECT_EQ(OPC_QUALITY_GOOD, e.quality);
    EXPECT_EQ(0u, sub.Sink().CountArrivingWithin(300)) << "one completion per request";
}

TEST_F(AsyncIO, UnknownHandlesKeepTheirPlaceWithBadQuality) {
    Subscription sub;
    ASSERT_NO_FATAL_FAILURE(Subscribe(sub));
    DWORD transaction = 0;
    HRESULT* errors = nullptr;
    OPCHANDLE wanted[] = {9999, handles_[1]};
    ASSERT_EQ(S_OK, async_->Read(sub.Connection(), OPC_DS_DEVICE, 2, wanted, &transaction, &errors));
    CoTaskMemFree(errors);
    ASSERT_TRUE(sub.Sink().WaitFor(2, 5000));
    std::vector<StreamEntry> entries;
    ASSERT_TRUE(sub.Sink().Streams()[1].Entries(true, entries));
    ASSERT_EQ(2u, entries.size());
    EXPECT_EQ(0u, entries[0].hClient);
    EXPECT_EQ(OPC_QUALITY_BAD, entries[0].quality);
    EXPECT_EQ(VT_EMPTY, entries[0].vt);
    EXPECT_EQ(101u, entries[1].hClient);
    EXPECT_DOUBLE_EQ(1.5, entries[1].AsDouble());
}

TEST_F(AsyncIO, RefreshSendsTheActiveItemsEvenUnchanged) {
    ASSERT_EQ(S_OK, Deactivate(handles_[1]));
    Subscription sub;
    ASSERT_NO_FATAL_FAILURE(Subscribe(sub));
    DWORD transaction = 99;
    ASSERT_EQ(S_OK, async_->Refresh(sub.Connection(), OPC_DS_CACHE, &transaction));
    ASSERT_TRUE(sub.Sink().WaitFor(2, 5000));
    const ReceivedStream& s = sub.Sink().Streams()[1];
    EXPECT_EQ(2u, s.ItemCount());
    std::vector<StreamEntry> entries;
    ASSERT_TRUE(s.Entries(true, entries));
    EXPECT_EQ(100u, entries[0].hClient);
    EXPECT_EQ(102u, entries[1].hClient);

    // The refresh did not count as sending: the subscription still reports
    // the next real change, and only that.
    ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, group_.query(io));
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = -5;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_OK, io->Write(1, &handles_[0], &v, &errors));
    CoTaskMemFree(errors);
    ASSERT_TRUE(sub.Sink().WaitFor(3, 5000));
    ASSERT_TRUE(sub.Sink().Streams()[2].Entries(true, entries));
    ASSERT_EQ(1u, entries.size());
    EXPECT_EQ(100u, entries[0].hClient);
    EXPECT_EQ(-5, entries[0].AsLong());
}

TEST_F(AsyncIO, RefreshWithoutActiveItemsSendsTheHeaderOnly) {
    for (OPCHANDLE h : handles_) ASSERT_EQ(S_OK, Deactivate(h));
    Subscription sub;
    ASSERT_NO_FATAL_FAILURE(Subscribe(sub));
    DWORD transaction = 0;
    ASSERT_EQ(S_OK, async_->Refresh(sub.Connection(), OPC_DS_DEVICE, &transaction));
    ASSERT_TRUE(sub.Sink().WaitFor(1, 5000));
    const ReceivedStream& s = sub.Sink().Streams()[0];
    EXPECT_EQ(0u, s.ItemCount());
    EXPECT_EQ(20u, s.Size());
    EXPECT_EQ(20u, s.bytes.size());
}

TEST_F(AsyncIO, AcceptedRequestsAreDeliveredAfterUnadvise) {
    Subscription sub;
    ASSERT_NO_FATAL_FAILURE(Subscribe(sub));
    DWORD transaction = 0;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(S_OK, async_->Refresh(sub.Connection(), OPC_DS_DEVICE, &transaction));
    // No message is pumped before the unadvise, which returns without
    // waiting for them: the completions can only land afterwards.
    EXPECT_EQ(S_OK, sub.Unadvise());
    EXPECT_TRUE(sub.Sink().WaitFor(6, 5000)) << "every accepted request is delivered";
    EXPECT_EQ(0u, sub.Sink().CountArrivingWithin(500));
    EXPECT_EQ(6u, sub.Sink().Count());
}

}  // namespace
