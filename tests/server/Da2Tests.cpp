// The OPC DA 2.0 side of the server as a DA 2.0 client sees it: the group's
// data callback with its deadband and active states, IOPCAsyncIO2 with
// transaction and cancel IDs, IOPCCommon, shutdown notices, group
// enumeration and removal of a group still held, and the DA 1.0 write
// completed through its stream.
#include "DataCallbackSink.h"
#include "DataChangeSink.h"
#include "HeldGroupTest.h"
#include "ServerTest.h"

#include "ConnectionPoint.h"

#include <olectl.h>

namespace {

using fw::ComPtr;

using DataAccess2 = HeldGroupTest;

TEST_F(DataAccess2, CallbacksSendAllFirstThenChangesBeyondTheDeadbandOfActiveItems) {
    ComPtr<IUnknown> banded;
    ASSERT_NO_FATAL_FAILURE(MakeGroup(L"Banded", TRUE, 2.0f, banded));
    group_ = banded;
    CallbackSubscription sub;
    ASSERT_EQ(S_OK, sub.Advise(group_.get()));
    CallbackSubscription second;
    EXPECT_EQ(CONNECT_E_ADVISELIMIT, second.Advise(group_.get())) << "one callback per group";

    DataCallbackSink& sink = sub.Sink();
    ASSERT_TRUE(sink.WaitFor(1, 5000));
    // DA 1.0 streams on the same group keep their own account of what was sent.
    Subscription streams;
    ASSERT_EQ(S_OK, streams.Advise(group_.get(), FormatDataTime()));
    ASSERT_TRUE(streams.Sink().WaitFor(1, 5000));
    {
        const CallbackCall& first = sink.Calls()[0];
        EXPECT_EQ(CallbackCall::DataChange, first.kind);
        EXPECT_EQ(0u, first.transactionId);
        EXPECT_EQ(kClientGroup, first.hGroup);
        EXPECT_EQ(S_OK, first.masterQuality);
        EXPECT_EQ(S_OK, first.masterError);
        ASSERT_EQ(3u, first.items.size()) << "every active item first";
        ASSERT_NE(nullptr, first.Find(2));
        EXPECT_EQ(VT_R8, first.Find(2)->value.vt);
        EXPECT_EQ(1.5, first.Find(2)->value.dblVal);
        EXPECT_EQ(OPC_QUALITY_GOOD, first.Find(2)->quality);
    }
    EXPECT_EQ(0u, sink.CountArrivingWithin(400)) << "nothing changed";

    ASSERT_EQ(S_OK, WriteNow(handles_[1], Number(VT_R8, 100.0)));
    ASSERT_TRUE(sink.WaitFor(2, 3000));
    ASSERT_EQ(1u, sink.Calls()[1].items.size()) << "changes only";
    EXPECT_EQ(100.0, sink.Calls()[1].items[0].value.dblVal);
    ASSERT_TRUE(streams.Sink().WaitFor(2, 3000)) << "the streams see the change too";
    ASSERT_EQ(S_OK, WriteNow(handles_[1], Number(VT_R8, 101.5)));
    EXPECT_EQ(0u, sink.CountArrivingWithin(500)) << "1.5 % of the value sent is inside a 2 % deadband";
    EXPECT_EQ(3u, streams.Sink().Count()) << "streams apply no deadband";
    ASSERT_EQ(S_OK, WriteNow(handles_[1], Number(VT_R8, 102.5)));
    ASSERT_TRUE(sink.WaitFor(3, 3000)) << "2.5 % from the value sent";
    EXPECT_EQ(102.5, sink.Calls()[2].items[0].value.dblVal);

    ASSERT_EQ(S_OK, SetActive(handles_[0], FALSE));
    ASSERT_EQ(S_OK, WriteNow(handles_[0], Number(VT_I4, 500)));
    EXPECT_EQ(0u, sink.CountArrivingWithin(500)) << "an inactive item is not sent";
    ASSERT_EQ(S_OK, SetActive(handles_[0], TRUE));
    ASSERT_TRUE(sink.WaitFor(4, 3000)) << "an item made active is sent";
    ASSERT_EQ(1u, sink.Calls()[3].items.size());
    EXPECT_EQ(500, sink.Calls()[3].items[0].value.lVal);

    ComPtr<IUnknown> inactive;
    ASSERT_NO_FATAL_FAILURE(MakeGroup(L"Inactive", FALSE, 0.0f, inactive));
    CallbackSubscription idle;
    ASSERT_EQ(S_OK, idle.Advise(inactive.get()));
    EXPECT_EQ(0u, idle.Sink().CountArrivingWithin(500)) << "an inactive group sends nothing";
    ComPtr<IOPCAsyncIO2> idleIo;
    ASSERT_EQ(S_OK, inactive.query(idleIo));
    DWORD cancel = 0;
    EXPECT_EQ(E_FAIL, idleIo->Refresh2(OPC_DS_CACHE, 5, &cancel));
}

TEST_F(DataAccess2, AsyncRequestsCompleteWithTheClientsTransactionIds) {
    ComPtr<IOPCAsyncIO2> io;
    ASSERT_EQ(S_OK, group_.query(io));
    DWORD cancel = 0;
    HRESULT* errors = nullptr;
    EXPECT_EQ(CONNECT_E_NOCONNECTION, io->Read(1, handles_.data(), 1, &cancel, &errors));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, io->Refresh2(OPC_DS_CACHE, 1, &cancel));
    EXPECT_EQ(CONNECT_E_NOCONNECTION, io->SetEnable(FALSE));

    CallbackSubscription sub;
    ASSERT_EQ(S_OK, sub.Advise(group_.get()));
    DataCallbackSink& sink = sub.Sink();
    ASSERT_TRUE(sink.WaitFor(1, 5000));

    OPCHANDLE readHandles[] = {handles_[0], 0xDEAD};
    ASSERT_EQ(S_FALSE, io->Read(2, readHandles, 11, &cancel, &errors));
    ASSERT_NE(nullptr, errors);
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[1]);
    CoTaskMemFree(errors);
    EXPECT_NE(0u, cancel);
    ASSERT_TRUE(sink.WaitFor(2, 5000));
    const CallbackCall& read = sink.Calls()[1];
    EXPECT_EQ(CallbackCall::ReadComplete, read.kind);
    EXPECT_EQ(11u, read.transactionId);
    ASSERT_EQ(1u, read.items.size()) << "only the known handle";
    EXPECT_EQ(1u, read.items[0].hClient);

    VARIANT value = Number(VT_I4, 42);
    DWORD writeCancel = 0;
    ASSERT_EQ(S_OK, io->Write(1, &handles_[0], &value, 12, &writeCancel, &errors));
    CoTaskMemFree(errors);
    EXPECT_NE(cancel, writeCancel) << "every request has its own cancel ID";
    ASSERT_TRUE(sink.WaitFor(3, 5000));
    const CallbackCall& written = sink.Calls()[2];
    EXPECT_EQ(CallbackCall::WriteComplete, written.kind);
    EXPECT_EQ(12u, written.transactionId);
    ASSERT_EQ(1u, written.items.size());
    EXPECT_EQ(S_OK, written.items[0].error);

    // The write's change comes as an ordinary data change (transaction 0);
    // a refresh sends every active item under the client's number, even
    // with change reports disabled.
    ASSERT_TRUE(sink.WaitFor(4, 5000));
    EXPECT_EQ(0u, sink.Calls()[3].transactionId);
    EXPECT_EQ(42, sink.Calls()[3].items[0].value.lVal);
    ASSERT_EQ(S_OK, io->SetEnable(FALSE));
    BOOL enabled = TRUE;
    ASSERT_EQ(S_OK, io->GetEnable(&enabled));
    EXPECT_FALSE(enabled);
    ASSERT_EQ(S_OK, WriteNow(handles_[0], Number(VT_I4, 43)));
    EXPECT_EQ(0u, sink.CountArrivingWithin(500)) << "disabled: no change reports";
    ASSERT_EQ(S_OK, io->Refresh2(OPC_DS_DEVICE, 13, &cancel));
    ASSERT_TRUE(sink.WaitFor(5, 5000));
    EXPECT_EQ(CallbackCall::DataChange, sink.Calls()[4].kind);
    EXPECT_EQ(13u, sink.Calls()[4].transactionId);
    EXPECT_EQ(3u, sink.Calls()[4].items.size());
    EXPECT_EQ(E_FAIL, io->Cancel2(cancel)) << "already completed";
}

TEST_F(DataAccess2, CancelAnswersARequestThatHasNotCompleted) {
    ComPtr<IOPCAsyncIO2> io;
    ASSERT_EQ(S_OK, group_.query(io));
    CallbackSubscription sub;
    ASSERT_EQ(S_OK, sub.Advise(group_.get()));
    DataCallbackSink& sink = sub.Sink();
    ASSERT_TRUE(sink.WaitFor(1, 5000));
    ASSERT_EQ(S_OK, io->SetEnable(FALSE));

    const fw::UniqueHandle gate(CreateEventW(nullptr, TRUE, FALSE, L"VelmoraTestDriverGate"));
    ASSERT_TRUE(gate);
    DWORD cancel = 0;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_OK, io->Read(1, handles_.data(), 21, &cancel, &errors));
    CoTaskMemFree(errors);
    EXPECT_EQ(S_OK, io->Cancel2(cancel));
    EXPECT_EQ(E_FAIL, io->Cancel2(cancel)) << "cancelled once";
    EXPECT_EQ(E_FAIL, io->Cancel2(cancel + 1000)) << "no such request";
    SetEvent(gate.get());
    ASSERT_TRUE(sink.WaitFor(2, 15000));
    EXPECT_EQ(CallbackCall::CancelComplete, sink.Calls()[1].kind);
    EXPECT_EQ(21u, sink.Calls()[1].transactionId);
    EXPECT_EQ(0u, sink.CountArrivingWithin(500)) << "no read completion after the cancel";
}

TEST_F(DataAccess2, DataAccess1WriteCompletesThroughTheWriteCompleteStream) {
    ComPtr<IOPCAsyncIO> io;
    ASSERT_EQ(S_OK, group_.query(io));
    const CLIPFORMAT writeComplete = static_cast<CLIPFORMAT>(RegisterClipboardFormatA("OPCSTMFORMATWRITECOMPLETE"));
    // Inactive items: the subscription's own cycles send nothing, so the
    // only stream is the write's completion.
    for (const OPCHANDLE handle : handles_) ASSERT_EQ(S_OK, SetActive(handle, FALSE));
    Subscription completions;
    ASSERT_EQ(S_OK, completions.Advise(group_.get(), writeComplete));
    VARIANT values[2] = {Number(VT_I4, 9), Number(VT_BSTR, 0)};  // B is an R8: text that is no number is refused
    values[1].bstrVal = SysAllocString(L"nine");
    OPCHANDLE handles[2] = {handles_[0], handles_[1]};
    DWORD transaction = 0;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_OK, io->Write(completions.Connection(), 2, handles, values, &transaction, &errors));
    VariantClear(&values[1]);
    CoTaskMemFree(errors);
    ASSERT_TRUE(completions.Sink().WaitFor(1, 5000));
    EXPECT_EQ(0u, completions.Sink().CountArrivingWithin(300));
    const ReceivedStream& stream = completions.Sink().Streams()[0];
    ASSERT_GE(stream.bytes.size(), 16u + 2 * 8);
    EXPECT_EQ(2u, stream.Field(0)) << "item count";
    EXPECT_EQ(kClientGroup, stream.Field(4));
    EXPECT_EQ(transaction, stream.Field(8)) << "the number the call handed out";
    EXPECT_EQ(static_cast<DWORD>(S_FALSE), stream.Field(12));
    EXPECT_EQ(1u, stream.Field(16));
    EXPECT_EQ(static_cast<DWORD>(S_OK), stream.Field(20));
    EXPECT_EQ(2u, stream.Field(24));
    EXPECT_EQ(static_cast<DWORD>(OPC_E_BADTYPE), stream.Field(28));
}

TEST_F(DataAccess2, CommonInterfaceGroupsAndShutdownNotice) {
    ComPtr<IOPCCommon> common;
    ASSERT_EQ(S_OK, server_.query(common));
    EXPECT_EQ(E_INVALIDARG, common->SetLocaleID(0x407));
    EXPECT_EQ(S_OK, common->SetLocaleID(LOCALE_SYSTEM_DEFAULT));
    LCID locale = 0;
    EXPECT_EQ(S_OK, common->GetLocaleID(&locale));
    EXPECT_EQ(static_cast<LCID>(LOCALE_SYSTEM_DEFAULT), locale);
    LPWSTR text = nullptr;
    ASSERT_EQ(S_OK, common->GetErrorString(OPC_E_INVALIDHANDLE, &text));
    EXPECT_STREQ(L"The value of the handle is invalid.", text);
    CoTaskMemFree(text);
    ASSERT_EQ(S_OK, common->GetErrorString(E_OUTOFMEMORY, &text));
    EXPECT_GT(wcslen(text), 5u) << "the system's text for other codes";
    CoTaskMemFree(text);
    ASSERT_EQ(S_OK, common->SetClientName(L"Tester"));

    ComPtr<IUnknown> other;
    OPCHANDLE hOther = 0;
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"Other", IID_IUnknown, other, &hOther));
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, server_->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IEnumString,
                                                    reinterpret_cast<LPUNKNOWN*>(names.put())));
    LPOLESTR got[4] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, names->Next(4, got, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_STREQ(L"G2", got[0]);
    EXPECT_STREQ(L"Other", got[1]);
    for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(got[i]);
    ComPtr<IEnumUnknown> objects;
    EXPECT_EQ(S_FALSE, server_->CreateGroupEnumerator(OPC_ENUM_PRIVATE_CONNECTIONS, IID_IEnumUnknown,
                                                       reinterpret_cast<LPUNKNOWN*>(objects.put())))
        << "no group has a subscription: empty";

    EXPECT_EQ(OPC_S_INUSE, server_->RemoveGroup(hOther, FALSE)) << "the client still holds it";
    ComPtr<IUnknown> gone;
    EXPECT_EQ(E_FAIL, server_->GetGroupByName(L"Other", IID_IUnknown, reinterpret_cast<LPUNKNOWN*>(gone.put())));
    other.reset();

    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(S_OK, server_.query(container));
    ComPtr<IConnectionPoint> point;
    ASSERT_EQ(S_OK, container->FindConnectionPoint(IID_IOPCShutdown, point.put()));
    struct ShutdownSink final : fw::ComObject<ShutdownSink, IOPCShutdown> {
        STDMETHODIMP ShutdownRequest(LPCWSTR reason) override {
            reasons.push_back(reason ? reason : L"");
            return S_OK;
        }
        std::vector<std::wstring> reasons;
    };
    ComPtr<ShutdownSink> shutdown;
    shutdown.attach(new ShutdownSink);
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, point->Advise(static_cast<IOPCShutdown*>(shutdown.get()), &cookie));
    const std::vector<std::string> titles = ServerDocumentTitles();
    ASSERT_EQ(1u, titles.size());
    EXPECT_NE(std::string::npos, titles[0].find("Tester")) << titles[0];
    const HWND window = ServerDocumentWindow(titles[0]);
    ASSERT_NE(nullptr, window);
    PostMessageA(window, WM_CLOSE, 0, 0);
    for (int i = 0; i < 500 && shutdown->reasons.empty(); ++i) testsupport::PumpMessages(10);
    ASSERT_EQ(1u, shutdown->reasons.size()) << "told when the window was closed";
    EXPECT_FALSE(shutdown->reasons[0].empty());
}

}  // namespace
