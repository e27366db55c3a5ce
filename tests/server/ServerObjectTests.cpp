// IOPCServer of VELMORA_OPC through the proxy, as a client sees it.
#include "ServerTest.h"

#include "TaskMem.h"

namespace {

using fw::ComPtr;

class ServerObject : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        ASSERT_EQ(S_OK, CreateServer(server_));
    }
    void TearDown() override {
        server_.reset();
        ServerTest::TearDown();
    }
    ComPtr<IOPCServer> server_;
};

TEST_F(ServerObject, AnswersExactlyItsInterfaces) {
    ComPtr<IUnknown> unknown;
    ASSERT_EQ(S_OK, server_->QueryInterface(IID_IUnknown, unknown.put_void()));
    ComPtr<IDispatch> dispatch;
    EXPECT_EQ(S_OK, server_->QueryInterface(IID_IDispatch, dispatch.put_void()));
    for (const IID* iid : {&IID_IOPCBrowseServerAddressSpace, &IID_IOPCCommon, &IID_IConnectionPointContainer,
                           &IID_IOPCItemProperties}) {
        ComPtr<IUnknown> p;
        EXPECT_EQ(S_OK, server_->QueryInterface(*iid, p.put_void())) << testsupport::GuidText(*iid);
    }
    for (const IID* iid : {&IID_IOPCServerPublicGroups, &IID_IPersistFile}) {
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, server_->QueryInterface(*iid, &p)) << testsupport::GuidText(*iid);
        EXPECT_EQ(nullptr, p);
    }
}

TEST_F(ServerObject, GeneratedNamesHandlesAndReuse) {
    ComPtr<IUnknown> a, b, c, d;
    OPCHANDLE ha = 0, hb = 0, hc = 0, hd = 0;
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"", IID_IOPCGroupStateMgt, a, &ha));
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"", IID_IOPCGroupStateMgt, b, &hb));
    EXPECT_EQ(L"Simulation1", GroupName(a.get()));
    EXPECT_EQ(L"Simulation2", GroupName(b.get()));
    EXPECT_EQ(1u, ha);
    EXPECT_EQ(2u, hb);

    ASSERT_EQ(S_OK, server_->RemoveGroup(ha, TRUE));
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"", IID_IOPCGroupStateMgt, c, &hc));
    EXPECT_EQ(L"Simulation1", GroupName(c.get())) << "a freed generated name is used again";
    EXPECT_EQ(3u, hc) << "handles keep counting";

    // A duplicate explicit name creates nothing and uses no handle.
    EXPECT_EQ(OPC_E_DUPLICATENAME, AddGroup(server_.get(), L"Simulation2", IID_IOPCGroupStateMgt, d, &hd));
    EXPECT_EQ(nullptr, d.get());
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"Mine", IID_IOPCGroupStateMgt, d, &hd));
    EXPECT_EQ(4u, hd);
    EXPECT_EQ(L"Mine", GroupName(d.get()));
}

TEST_F(ServerObject, AddGroupKeepsWhatItIsGiven) {
    ComPtr<IOPCGroupStateMgt> state;
    OPCHANDLE hServer = 0;
    DWORD revised = 12345;
    ASSERT_EQ(S_OK, server_->AddGroup(L"Zero", FALSE, 0, 4242, nullptr, nullptr, 0x419, &hServer, &revised,
                                      IID_IOPCGroupStateMgt, reinterpret_cast<LPUNKNOWN*>(state.put())));
    EXPECT_EQ(0u, revised) << "a requested rate of 0 stays 0";
    GroupState zero;
    ASSERT_EQ(S_OK, ReadGroupState(state.get(), zero));
    EXPECT_EQ(L"Zero", zero.name);
    EXPECT_EQ(0u, zero.updateRate);
    EXPECT_FALSE(zero.active);
    EXPECT_EQ(0, zero.timeBias);
    EXPECT_EQ(0.0f, zero.percentDeadband);
    EXPECT_EQ(0x419u, zero.lcid);
    EXPECT_EQ(4242u, zero.hClientGroup);
    EXPECT_EQ(hServer, zero.hServerGroup);

    LONG givenBias = -120;
    FLOAT givenDeadband = 7.5f;
    ComPtr<IOPCGroupStateMgt> second;
    ASSERT_EQ(S_OK, server_->AddGroup(L"Given", TRUE, 250, 1, &givenBias, &givenDeadband, 0, &hServer, &revised,
                                      IID_IOPCGroupStateMgt, reinterpret_cast<LPUNKNOWN*>(second.put())));
    GroupState given;
    ASSERT_EQ(S_OK, ReadGroupState(second.get(), given));
    EXPECT_EQ(250u, given.updateRate);
    EXPECT_EQ(-120, given.timeBias);
    EXPECT_EQ(7.5f, given.percentDeadband);
}

TEST_F(ServerObject, RefusedInterfaceStillCreatesTheGroup) {
    ComPtr<IUnknown> group;
    OPCHANDLE h = 0;
    EXPECT_EQ(E_NOINTERFACE, AddGroup(server_.get(), L"Kept", IID_IOPCPublicGroupStateMgt, group, &h));
    EXPECT_EQ(nullptr, group.get());
    ASSERT_EQ(S_OK, server_->GetGroupByName(L"Kept", IID_IOPCSyncIO, reinterpret_cast<LPUNKNOWN*>(group.put())));
    EXPECT_EQ(L"Kept", GroupName(group.get()));
    group.reset();
    EXPECT_EQ(E_FAIL, server_->GetGroupByName(L"kept", IID_IUnknown, reinterpret_cast<LPUNKNOWN*>(group.put())));
    EXPECT_EQ(E_FAIL, server_->GetGroupByName(L"Nothing", IID_IUnknown, reinterpret_cast<LPUNKNOWN*>(group.put())));
}

TEST_F(ServerObject, BadArgumentsCreateNothing) {
    ComPtr<IUnknown> group;
    OPCHANDLE h = 0;
    const std::wstring longName(200, L'x');
    EXPECT_EQ(E_INVALIDARG, AddGroup(server_.get(), longName.c_str(), IID_IUnknown, group, &h));
    EXPECT_EQ(S_OK, AddGroup(server_.get(), longName.substr(1).c_str(), IID_IUnknown, group, &h))
        << "199 characters fit";
    group.reset();

    EXPECT_EQ(E_FAIL, server_->RemoveGroup(999, TRUE));
    ComPtr<IUnknown> enumerator;
    EXPECT_EQ(E_INVALIDARG, server_->CreateGroupEnumerator(static_cast<OPCENUMSCOPE>(9), IID_IEnumUnknown,
                                                           reinterpret_cast<LPUNKNOWN*>(enumerator.put())));
    EXPECT_EQ(E_NOINTERFACE, server_->CreateGroupEnumerator(OPC_ENUM_ALL, IID_IDispatch,
                                                            reinterpret_cast<LPUNKNOWN*>(enumerator.put())));
}

TEST_F(ServerObject, RemoveGroupWithoutGroupsFails) { EXPECT_EQ(E_FAIL, server_->RemoveGroup(1, FALSE)); }

TEST_F(ServerObject, StatusReportsTheServer) {
    FILETIME before;
    CoFileTimeNow(&before);
    ComPtr<IUnknown> a, b;
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"", IID_IUnknown, a));
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"", IID_IUnknown, b));
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(S_OK, server_->GetStatus(&status));
    fw::TaskMemPtr<OPCSERVERSTATUS> owner(status);
    fw::TaskMemPtr<wchar_t> vendor(status->szVendorInfo);
    EXPECT_EQ(OPC_STATUS_RUNNING, status->dwServerState);
    EXPECT_EQ(2u, status->dwGroupCount);
    EXPECT_EQ(0xFFFFFFFFu, status->dwBandWidth);
    EXPECT_EQ(1, status->wMajorVersion);
    EXPECT_EQ(1, status->wMinorVersion);
    EXPECT_EQ(11, status->wBuildNumber);
    ASSERT_NE(nullptr, status->szVendorInfo);
    EXPECT_STREQ(L"Velmora", status->szVendorInfo);
    EXPECT_EQ(0, CompareFileTime(&status->ftStartTime, &status->ftLastUpdateTime));
    EXPECT_GE(CompareFileTime(&status->ftCurrentTime, &status->ftStartTime), 0);
    EXPECT_GE(CompareFileTime(&status->ftCurrentTime, &before), 0);
}

TEST_F(ServerObject, ErrorStringIsTheFixedTextWithTheCode) {
    const std::wstring prefix =
        L"\x041D\x0443 \x0432\x044B, \x0431\x043B\x0438\x043D, \x0434\x0430\x0435\x0442\x0435! "
        L"\x041E\x0448\x0438\x0431\x043A\x0430 ";
    for (LCID locale : {0x409u, 0x419u, 0u}) {
        LPWSTR text = nullptr;
        ASSERT_EQ(S_OK, server_->GetErrorString(5, locale, &text));
        fw::TaskMemPtr<wchar_t> owner(text);
        EXPECT_EQ(prefix + L"5!", std::wstring(text));
    }
    LPWSTR text = nullptr;
    ASSERT_EQ(S_OK, server_->GetErrorString(E_FAIL, 0, &text));
    fw::TaskMemPtr<wchar_t> owner(text);
    EXPECT_EQ(prefix + L"-2147467259!", std::wstring(text));
}

}  // namespace
