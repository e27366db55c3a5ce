// The branch test server as a client sees it through the proxy/stub DLL:
// browsing its address space, groups found by name, items, cached reads,
// data-change streams, and its end with the last object.
#include "BranchServerFixture.h"
#include "DataChangeSink.h"
#include "TaskMem.h"

#include <set>
#include <vector>

namespace {

std::vector<std::wstring> ReadAll(IEnumString* list) {
    std::vector<std::wstring> names;
    if (!list) return names;
    // Several at a time: the last call returns fewer with S_FALSE.
    for (;;) {
        LPOLESTR batch[2] = {};
        ULONG fetched = 0;
        const HRESULT hr = list->Next(2, batch, &fetched);
        for (ULONG i = 0; i < fetched; ++i) {
            names.push_back(batch[i]);
            CoTaskMemFree(batch[i]);
        }
        if (hr != S_OK) break;
    }
    return names;
}

class BranchServer : public BranchServerFixture {
protected:
    std::vector<std::wstring> Browse(IOPCBrowseServerAddressSpace* browse, OPCBROWSETYPE type, const wchar_t* filter,
                                     HRESULT expected = S_OK) {
        fw::ComPtr<IEnumString> list;
        EXPECT_EQ(expected, browse->BrowseOPCItemIDs(type, filter, VT_EMPTY, 0, list.put()));
        EXPECT_TRUE(list) << "an enumerator comes even when it is empty";
        return ReadAll(list.get());
    }
    std::wstring ItemId(IOPCBrowseServerAddressSpace* browse, const wchar_t* name) {
        LPWSTR id = nullptr;
        if (FAILED(browse->GetItemID(const_cast<LPWSTR>(name), &id))) return L"(failed)";
        fw::TaskMemPtr<wchar_t> owned(id);
        return id ? id : L"(null)";
    }
};

using Names = std::vector<std::wstring>;

TEST_F(BranchServer, BrowsesAHierarchy) {
    auto browse = Query<IOPCBrowseServerAddressSpace>();
    ASSERT_TRUE(browse);
    OPCNAMESPACETYPE organization = OPC_NS_FLAT;
    EXPECT_EQ(S_OK, browse->QueryOrganization(&organization));
    EXPECT_EQ(OPC_NS_HIERARCHIAL, organization);

    EXPECT_EQ(Names{L"A"}, Browse(browse.get(), OPC_BRANCH, L""));
    EXPECT_EQ(Names{L"top"}, Browse(browse.get(), OPC_LEAF, L""));
    EXPECT_EQ((Names{L"A.a1", L"A.B.b1", L"top"}), Browse(browse.get(), OPC_FLAT, L""));
    EXPECT_EQ((Names{L"A.a1", L"A.B.b1"}), Browse(browse.get(), OPC_FLAT, L"A.*"));
    EXPECT_EQ(Names{}, Browse(browse.get(), OPC_LEAF, L"x*", S_FALSE));
    EXPECT_EQ(L"top", ItemId(browse.get(), L"top"));
    EXPECT_EQ(L"A", ItemId(browse.get(), L"A"));

    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"top"));  // a leaf
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Z"));
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"A"));
    EXPECT_EQ(Names{L"B"}, Browse(browse.get(), OPC_BRANCH, L""));
    EXPECT_EQ(Names{L"a1"}, Browse(browse.get(), OPC_LEAF, L""));
    EXPECT_EQ(L"A.a1", ItemId(browse.get(), L"a1"));
    EXPECT_EQ(L"A", ItemId(browse.get(), L"A"));  // the branch named from inside
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"B"));
    EXPECT_EQ(L"A.B.b1", ItemId(browse.get(), L"b1"));
    EXPECT_EQ(L"A.B", ItemId(browse.get(), L"B"));
    EXPECT_EQ(L"(failed)", ItemId(browse.get(), L"a1"));
    EXPECT_EQ(Names{L"A.B.b1"}, Browse(browse.get(), OPC_FLAT, L""));
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
    EXPECT_EQ(Names{L"a1"}, Browse(browse.get(), OPC_LEAF, L""));

    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"A.Q"));
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"A.B"));
    EXPECT_EQ(Names{L"b1"}, Browse(browse.get(), OPC_LEAF, L""));
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L""));
    EXPECT_EQ(Names{L"top"}, Browse(browse.get(), OPC_LEAF, L""));
}

TEST_F(BranchServer, GroupsAreFoundByNameAndRemovedByHandle) {
    auto server = Query<IOPCServer>();
    ASSERT_TRUE(server);
    OPCHANDLE first = 0, second = 0, third = 0;
    DWORD revised = 0;
    FLOAT deadband = 1.5f;
    LONG bias = -60;
    fw::ComPtr<IUnknown> group;
    EXPECT_EQ(OPC_S_UNSUPPORTEDRATE, server->AddGroup(L"Pumps", FALSE, 50, 7, &bias, &deadband, 0x409, &first, &revised,
                                                     IID_IOPCItemMgt, group.put()));
    EXPECT_EQ(100u, revised);
    EXPECT_EQ(S_OK, server->AddGroup(L"", TRUE, 1000, 8, nullptr, nullptr, 0, &second, &revised, IID_IOPCItemMgt,
                                     group.put()));
    EXPECT_EQ(1000u, revised);
    EXPECT_EQ(OPC_E_DUPLICATENAME, server->AddGroup(L"Pumps", TRUE, 1000, 9, nullptr, nullptr, 0, &third, &revised,
                                                    IID_IOPCItemMgt, group.put()));
    EXPECT_NE(first, second);

    // The unnamed group got a name of the server's, which finds it again.
    auto state = fw::ComPtr<IOPCGroupStateMgt>();
    ASSERT_EQ(S_OK, server->AddGroup(L"", TRUE, 1000, 10, nullptr, nullptr, 0, &third, &revised, IID_IOPCGroupStateMgt,
                                     reinterpret_cast<IUnknown**>(state.put())));
    DWORD rate = 0, lcid = 0;
    BOOL active = FALSE;
    LPWSTR name = nullptr;
    OPCHANDLE hClient = 0, hServer = 0;
    ASSERT_EQ(S_OK, state->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &hClient, &hServer));
    fw::TaskMemPtr<wchar_t> ownedName(name);
    ASSERT_TRUE(name && *name);
    EXPECT_EQ(third, hServer);
    EXPECT_EQ(10u, hClient);
    fw::ComPtr<IUnknown> found;
    EXPECT_EQ(S_OK, server->GetGroupByName(name, IID_IOPCItemMgt, found.put()));

    // The first group as it was asked for.
    fw::ComPtr<IOPCGroupStateMgt> pumps;
    ASSERT_EQ(S_OK, server->GetGroupByName(L"Pumps", IID_IOPCGroupStateMgt, reinterpret_cast<IUnknown**>(pumps.put())));
    LPWSTR pumpsName = nullptr;
    ASSERT_EQ(S_OK, pumps->GetState(&rate, &active, &pumpsName, &bias, &deadband, &lcid, &hClient, &hServer));
    fw::TaskMemPtr<wchar_t> ownedPumps(pumpsName);
    EXPECT_EQ(std::wstring(L"Pumps"), pumpsName);
    EXPECT_EQ(100u, rate);
    EXPECT_EQ(FALSE, active);
    EXPECT_EQ(-60, bias);
    EXPECT_EQ(1.5f, deadband);
    EXPECT_EQ(0x409u, lcid);
    EXPECT_EQ(7u, hClient);
    EXPECT_EQ(first, hServer);
    for (REFIID iid : {IID_IDataObject, IID_IOPCSyncIO, IID_IOPCItemMgt}) {
        fw::ComPtr<IUnknown> answer;
        EXPECT_EQ(S_OK, server->GetGroupByName(L"Pumps", iid, answer.put()));
    }
    EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(L"pumps", IID_IUnknown, found.put()));  // exact names only

    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(S_OK, server->GetStatus(&status));
    EXPECT_EQ(3u, status->dwGroupCount);
    EXPECT_EQ(OPC_STATUS_RUNNING, status->dwServerState);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);

    EXPECT_EQ(S_OK, server->RemoveGroup(first, TRUE));
    EXPECT_EQ(E_INVALIDARG, server->RemoveGroup(first, TRUE));
    EXPECT_NE(S_OK, server->GetGroupByName(L"Pumps", IID_IUnknown, found.put()));
    EXPECT_EQ(S_OK, server->RemoveGroup(second, TRUE));
    EXPECT_EQ(S_OK, server->RemoveGroup(third, TRUE));
}

TEST_F(BranchServer, ItemsAreTheLeavesAndReadFromTheCache) {
    auto server = Query<IOPCServer>();
    ASSERT_TRUE(server);
    OPCHANDLE group = 0;
    DWORD revised = 0;
    fw::ComPtr<IOPCItemMgt> items;
    ASSERT_EQ(S_OK, server->AddGroup(L"G", TRUE, 1000, 1, nullptr, nullptr, 0, &group, &revised, IID_IOPCItemMgt,
                                     reinterpret_cast<IUnknown**>(items.put())));
    OPCITEMDEF defs[5] = {};
    const wchar_t* ids[5] = {L"A.a1", L"A.B.b1", L"top", L"A", L"a1"};
    for (int i = 0; i < 5; ++i) {
        defs[i].szAccessPath = const_cast<LPWSTR>(L"");
        defs[i].szItemID = const_cast<LPWSTR>(ids[i]);
        defs[i].bActive = TRUE;
        defs[i].hClient = 100 + i;
        defs[i].vtRequestedDataType = VT_EMPTY;
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_FALSE, items->AddItems(5, defs, &results, &errors));
    std::vector<OPCHANDLE> handles;
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        if (i < 3) {
            EXPECT_EQ(S_OK, errors[i]);
            EXPECT_EQ(VT_I4, results[i].vtCanonicalDataType);
            handles.push_back(results[i].hServer);
        } else {
            EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[i]);  // a branch and a bare leaf name are no items
        }
    }
    CoTaskMemFree(results);
    CoTaskMemFree(errors);
    EXPECT_EQ(3u, std::set<OPCHANDLE>(handles.begin(), handles.end()).size());

    fw::ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, items.query(io));
    handles.push_back(0xBAD);
    OPCITEMSTATE* values = nullptr;
    ASSERT_EQ(S_FALSE, io->Read(OPC_DS_CACHE, 4, handles.data(), &values, &errors));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(S_OK, errors[i]);
        EXPECT_EQ(static_cast<OPCHANDLE>(100 + i), values[i].hClient);
        EXPECT_EQ(VT_I4, values[i].vDataValue.vt);
        EXPECT_EQ(OPC_QUALITY_GOOD, values[i].wQuality);
    }
    EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[3]);
    CoTaskMemFree(values);
    CoTaskMemFree(errors);

    ASSERT_EQ(S_OK, items->RemoveItems(1, &handles[1], &errors));
    CoTaskMemFree(errors);
    ASSERT_EQ(S_FALSE, items->RemoveItems(1, &handles[1], &errors));
    EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[0]);
    CoTaskMemFree(errors);
    items.reset();
    io.reset();
    EXPECT_EQ(S_OK, server->RemoveGroup(group, TRUE));
}

TEST_F(BranchServer, AdvisedGroupsGetCountingStreams) {
    auto server = Query<IOPCServer>();
    ASSERT_TRUE(server);
    OPCHANDLE group = 0;
    DWORD revised = 0;
    fw::ComPtr<IOPCItemMgt> items;
    ASSERT_EQ(S_OK, server->AddGroup(L"Live", TRUE, 1000, 42, nullptr, nullptr, 0, &group, &revised, IID_IOPCItemMgt,
                                     reinterpret_cast<IUnknown**>(items.put())));
    OPCITEMDEF defs[2] = {};
    const wchar_t* ids[2] = {L"top", L"A.B.b1"};
    for (int i = 0; i < 2; ++i) {
        defs[i].szAccessPath = const_cast<LPWSTR>(L"");
        defs[i].szItemID = const_cast<LPWSTR>(ids[i]);
        defs[i].bActive = TRUE;
        defs[i].hClient = 7 + i;
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_OK, items->AddItems(2, defs, &results, &errors));
    CoTaskMemFree(results);
    CoTaskMemFree(errors);

    fw::ComPtr<IDataObject> data;
    ASSERT_EQ(S_OK, items.query(data));
    FORMATETC other = {static_cast<CLIPFORMAT>(CF_TEXT), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    DWORD refused = 0;
    fw::ComPtr<DataChangeSink> sink;
    sink.attach(new DataChangeSink);
    EXPECT_EQ(DV_E_FORMATETC, data->DAdvise(&other, 0, sink.get(), &refused));

    {
        Subscription subscription;
        ASSERT_EQ(S_OK, subscription.Advise(items.get(), FormatDataTime()));
        ASSERT_TRUE(subscription.Sink().WaitFor(3, 5000));
        LONG last = 0;
        for (size_t k = 0; k < 3; ++k) {
            SCOPED_TRACE(k);
            const ReceivedStream& stream = subscription.Sink().Streams()[k];
            EXPECT_EQ(FormatDataTime(), stream.format);
            EXPECT_EQ(static_cast<DWORD>(TYMED_HGLOBAL), stream.tymed);
            EXPECT_EQ(2u, stream.ItemCount());
            EXPECT_EQ(42u, stream.ClientGroup());
            EXPECT_EQ(20u + 2 * 20 + 2 * 16, stream.Size());
            std::vector<StreamEntry> entries;
            std::string why;
            ASSERT_TRUE(stream.Entries(true, entries, &why)) << why;
            EXPECT_EQ(7u, entries[0].hClient);
            EXPECT_EQ(8u, entries[1].hClient);
            for (const StreamEntry& e : entries) {
                EXPECT_EQ(VT_I4, e.vt);
                EXPECT_EQ(OPC_QUALITY_GOOD, e.quality);
            }
            EXPECT_GT(entries[0].AsLong(), last) << "values count up from stream to stream";
            last = entries[0].AsLong();
        }
        EXPECT_EQ(S_OK, subscription.Unadvise());
        subscription.Sink().CountArrivingWithin(300);  // one may have been on its way
        EXPECT_EQ(0u, subscription.Sink().CountArrivingWithin(600));
    }
    EXPECT_EQ(OLE_E_NOCONNECTION, data->DUnadvise(12345));
    data.reset();
    items.reset();
    EXPECT_EQ(S_OK, server->RemoveGroup(group, TRUE));
}

}  // namespace
