// Groups and items of VELMORA_OPC: adding, validating, removing, activating
// and enumerating the simulation's tags.
#include "ServerTest.h"

#include "TaskMem.h"

namespace {

using fw::ComPtr;

class ItemManagement : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        ASSERT_EQ(S_OK, CreateServer(server_));
        ASSERT_EQ(S_OK, AddGroup(server_.get(), L"Items", IID_IOPCItemMgt, group_));
        ASSERT_EQ(S_OK, group_.query(items_));
    }
    void TearDown() override {
        items_.reset();
        group_.reset();
        server_.reset();
        ServerTest::TearDown();
    }
    std::vector<std::wstring> EnumerateIds(ULONG batch, HRESULT* lastResult = nullptr) {
        std::vector<std::wstring> ids;
        ComPtr<IEnumOPCItemAttributes> enumerator;
        EXPECT_EQ(S_OK, items_->CreateEnumerator(IID_IEnumOPCItemAttributes,
                                                 reinterpret_cast<LPUNKNOWN*>(enumerator.put())));
        if (!enumerator) return ids;
        for (;;) {
            OPCITEMATTRIBUTES* attributes = nullptr;
            ULONG fetched = 0;
            const HRESULT hr = enumerator->Next(batch, &attributes, &fetched);
            if (lastResult) *lastResult = hr;
            for (ULONG i = 0; i < fetched; ++i) {
                ids.push_back(attributes[i].szItemID ? attributes[i].szItemID : L"<null>");
                CoTaskMemFree(attributes[i].szItemID);
                CoTaskMemFree(attributes[i].szAccessPath);
                CoTaskMemFree(attributes[i].pBlob);
            }
            CoTaskMemFree(attributes);
            if (hr != S_OK) break;
        }
        return ids;
    }
    ComPtr<IOPCServer> server_;
    ComPtr<IUnknown> group_;
    ComPtr<IOPCItemMgt> items_;
};

TEST_F(ItemManagement, GroupAnswersExactlyItsInterfaces) {
    for (const IID* iid : {&IID_IOPCItemMgt, &IID_IOPCGroupStateMgt, &IID_IOPCSyncIO, &IID_IDispatch,
                           &IID_IOPCAsyncIO2, &IID_IConnectionPointContainer}) {
        ComPtr<IUnknown> p;
        EXPECT_EQ(S_OK, group_->QueryInterface(*iid, p.put_void())) << testsupport::GuidText(*iid);
    }
    for (const IID* iid : {&IID_IOPCPublicGroupStateMgt, &IID_IOPCItemProperties}) {
        void* p = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, group_->QueryInterface(*iid, &p)) << testsupport::GuidText(*iid);
        EXPECT_EQ(nullptr, p);
    }
}

TEST_F(ItemManagement, KnownUnknownDuplicateAndWrongCaseIds) {
    std::vector<OPCHANDLE> handles;
    std::vector<HRESULT> errors;
    std::vector<VARTYPE> types;
    EXPECT_EQ(S_FALSE, AddItems(group_.get(), {L"Name1", L"Nope", L"Name1", L"name2", L"Name4"}, handles, errors,
                                &types));
    ASSERT_EQ(5u, errors.size());
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[1]);
    EXPECT_EQ(S_OK, errors[2]);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[3]) << "item IDs are case-sensitive";
    EXPECT_EQ(S_OK, errors[4]);
    EXPECT_EQ(2u, handles[0]);
    EXPECT_EQ(0u, handles[1]);
    EXPECT_NE(handles[0], handles[2]) << "a further item of a tag gets a handle of its own";
    EXPECT_GE(handles[2], 0x80000000u);
    EXPECT_EQ(5u, handles[4]);
    EXPECT_EQ(VT_I4, types[0]);
    EXPECT_EQ(VT_R8, types[4]);
    EXPECT_EQ((std::vector<std::wstring>{L"Name1", L"Name1", L"Name4"}), EnumerateIds(10));

    // Every tag with its type, and the same handles in another group.
    ComPtr<IUnknown> other;
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"Other", IID_IOPCItemMgt, other));
    ASSERT_EQ(S_OK, AddItems(other.get(), {L"Name0", L"Name1", L"Name2", L"Name3", L"Name4"}, handles, errors, &types));
    EXPECT_EQ((std::vector<OPCHANDLE>{1, 2, 3, 4, 5}), handles);
    EXPECT_EQ((std::vector<VARTYPE>{VT_I2, VT_I4, VT_BOOL, VT_R4, VT_R8}), types);
}

TEST_F(ItemManagement, ValidateCreatesNothing) {
    OPCITEMDEF defs[2] = {};
    defs[0].szItemID = const_cast<LPWSTR>(L"Name3");
    defs[0].vtRequestedDataType = VT_BSTR;
    defs[1].szItemID = const_cast<LPWSTR>(L"Name9");
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_FALSE, items_->ValidateItems(2, defs, FALSE, &results, &errors));
    fw::TaskMemPtr<OPCITEMRESULT> resultsOwner(results);
    fw::TaskMemPtr<HRESULT> errorsOwner(errors);
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[1]);
    EXPECT_EQ(4u, results[0].hServer);
    EXPECT_EQ(VT_R4, results[0].vtCanonicalDataType) << "the canonical type, whatever was requested";
    EXPECT_EQ(static_cast<DWORD>(OPC_READABLE | OPC_WRITEABLE), results[0].dwAccessRights);
    EXPECT_TRUE(EnumerateIds(10).empty());

    EXPECT_EQ(E_INVALIDARG, items_->AddItems(0, defs, &results, &errors));
}

TEST_F(ItemManagement, RemoveAndActivateReachExactlyTheirItem) {
    std::vector<OPCHANDLE> handles;
    std::vector<HRESULT> errors;
    ASSERT_EQ(S_OK, AddItems(group_.get(), {L"Name0", L"Name2", L"Name0"}, handles, errors));

    OPCHANDLE remove[] = {1, 9};
    HRESULT* codes = nullptr;
    ASSERT_EQ(S_FALSE, items_->RemoveItems(2, remove, &codes));
    EXPECT_EQ(S_OK, codes[0]);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, codes[1]);
    CoTaskMemFree(codes);
    EXPECT_EQ((std::vector<std::wstring>{L"Name2", L"Name0"}), EnumerateIds(1));

    OPCHANDLE activate[] = {3};
    codes = nullptr;
    ASSERT_EQ(S_OK, items_->SetActiveState(1, activate, FALSE, &codes));
    CoTaskMemFree(codes);
    EXPECT_TRUE(FAILED(items_->RemoveItems(1, nullptr, &codes)));

    ComPtr<IEnumOPCItemAttributes> enumerator;
    ASSERT_EQ(S_OK, items_->CreateEnumerator(IID_IEnumOPCItemAttributes,
                                             reinterpret_cast<LPUNKNOWN*>(enumerator.put())));
    OPCITEMATTRIBUTES* attributes = nullptr;
    ULONG fetched = 0;
    ASSERT_EQ(S_OK, enumerator->Next(2, &attributes, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_FALSE(attributes[0].bActive);
    EXPECT_TRUE(attributes[1].bActive);
    EXPECT_EQ(3u, attributes[0].hServer);
    EXPECT_EQ(VT_BOOL, attributes[0].vtCanonicalDataType);
    EXPECT_EQ(OPC_NOENUM, attributes[0].dwEUType);
    EXPECT_EQ(VT_EMPTY, attributes[0].vEUInfo.vt);
    for (ULONG i = 0; i < fetched; ++i) {
        CoTaskMemFree(attributes[i].szItemID);
        CoTaskMemFree(attributes[i].szAccessPath);
    }
    CoTaskMemFree(attributes);

    // Removing the last items empties the group; removing again finds none.
    OPCHANDLE rest[] = {3, handles[2]};
    codes = nullptr;
    ASSERT_EQ(S_OK, items_->RemoveItems(2, rest, &codes));
    CoTaskMemFree(codes);
    codes = nullptr;
    ASSERT_EQ(S_FALSE, items_->RemoveItems(1, rest, &codes));
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, codes[0]);
    CoTaskMemFree(codes);
}

TEST_F(ItemManagement, EnumeratorPagesAndResets) {
    std::vector<OPCHANDLE> handles;
    std::vector<HRESULT> errors;
    ASSERT_EQ(S_OK, AddItems(group_.get(), {L"Name0", L"Name1", L"Name2"}, handles, errors));
    HRESULT last = E_FAIL;
    EXPECT_EQ((std::vector<std::wstring>{L"Name0", L"Name1", L"Name2"}), EnumerateIds(10, &last));
    EXPECT_EQ(S_FALSE, last);

    ComPtr<IEnumOPCItemAttributes> enumerator;
    ASSERT_EQ(S_OK, items_->CreateEnumerator(IID_IEnumOPCItemAttributes,
                                             reinterpret_cast<LPUNKNOWN*>(enumerator.put())));
    OPCITEMATTRIBUTES* attributes = nullptr;
    ULONG fetched = 0;
    ASSERT_EQ(S_FALSE, enumerator->Next(10, &attributes, &fetched));
    ASSERT_EQ(3u, fetched);
    for (ULONG i = 0; i < fetched; ++i) CoTaskMemFree(attributes[i].szItemID);
    CoTaskMemFree(attributes);
    attributes = nullptr;
    EXPECT_EQ(S_FALSE, enumerator->Next(10, &attributes, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(nullptr, attributes);
    EXPECT_TRUE(FAILED(enumerator->Next(2, &attributes, nullptr)));

    // An item added later shows up when the position reaches it; Reset and
    // Skip move the position.
    ASSERT_EQ(S_OK, AddItems(group_.get(), {L"Name4"}, handles, errors));
    ASSERT_EQ(S_OK, enumerator->Next(1, &attributes, &fetched));
    EXPECT_EQ(std::wstring(L"Name4"), attributes[0].szItemID);
    CoTaskMemFree(attributes[0].szItemID);
    CoTaskMemFree(attributes);
    ASSERT_EQ(S_OK, enumerator->Reset());
    ASSERT_EQ(S_OK, enumerator->Skip(2));
    ComPtr<IEnumOPCItemAttributes> clone;
    ASSERT_EQ(S_OK, enumerator->Clone(clone.put()));
    ASSERT_EQ(S_OK, clone->Next(1, &attributes, &fetched));
    EXPECT_EQ(std::wstring(L"Name2"), attributes[0].szItemID);
    CoTaskMemFree(attributes[0].szItemID);
    CoTaskMemFree(attributes);
}

TEST_F(ItemManagement, StateCallsTakeEffect) {
    ComPtr<IOPCGroupStateMgt> state;
    ASSERT_EQ(S_OK, group_.query(state));
    DWORD requested = 50, revised = 0;
    BOOL active = FALSE;
    EXPECT_EQ(S_OK, state->SetState(&requested, &revised, &active, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(50u, revised);
    EXPECT_EQ(S_OK, state->SetName(L"Renamed"));
    GroupState after;
    ASSERT_EQ(S_OK, ReadGroupState(state.get(), after));
    EXPECT_EQ(L"Renamed", after.name);
    EXPECT_EQ(50u, after.updateRate);
    EXPECT_FALSE(after.active);
}

}  // namespace
