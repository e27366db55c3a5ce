// The branch test server as a client sees it through the proxy/stub DLL:
// its registration, browsing its address space, groups found by name, items,
// cached reads, data-change streams, its end with the last object, and the
// same server registered once more to refuse every group.
#include "BranchServerFixture.h"
#include "DataChangeSink.h"
#include "TaskMem.h"

#include <set>
#include <vector>

namespace {

bool ClassesRootKeyExists(const std::string& key) {
    HKEY h = nullptr;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    RegCloseKey(h);
    return true;
}

// What the client's server table and CoCreateInstance rely on: a ProgID key
// with "CLSID" and "OPC" below it, and the class's local server.
TEST(BranchServerRegistration, RegistersAndUnregistersBothClasses) {
    ASSERT_EQ(0, testsupport::RunToEnd(BranchServerCommand() + " /RegServer", 20000));
    std::vector<std::string> clsids;
    for (const std::string progId : {"Velmora.BranchTest.1", "Velmora.RefusingTest.1"}) {
        SCOPED_TRACE(progId);
        const std::string clsid = testsupport::ClassesRootValue(progId + "\\CLSID");
        EXPECT_EQ(38u, clsid.size()) << clsid;
        EXPECT_TRUE(ClassesRootKeyExists(progId + "\\OPC"));
        EXPECT_EQ(progId, testsupport::ClassesRootValue("CLSID\\" + clsid + "\\ProgID"));
        clsids.push_back(clsid);
    }
    ASSERT_EQ(2u, clsids.size());
    const std::string branch = testsupport::ClassesRootValue("CLSID\\" + clsids[0] + "\\LocalServer32");
    EXPECT_NE(std::string::npos, branch.find("branch_opc_server.exe\"")) << branch;
    // The same program, told which class to serve.
    EXPECT_EQ(branch + " -refuse", testsupport::ClassesRootValue("CLSID\\" + clsids[1] + "\\LocalServer32"));

    EXPECT_EQ(0, testsupport::RunToEnd(BranchServerCommand() + " /UnregServer", 20000));
    const std::vector<std::string> keys = {"Velmora.BranchTest.1", "Velmora.RefusingTest.1", "CLSID\\" + clsids[0],
                                           "CLSID\\" + clsids[1]};
    for (const std::string& key : keys) EXPECT_FALSE(ClassesRootKeyExists(key)) << key;
}

class BranchServer : public BranchServerFixture {
protected:
    std::wstring ItemId(const wchar_t* name) {
        LPWSTR id = nullptr;
        if (FAILED(Query<IOPCBrowseServerAddressSpace>()->GetItemID(const_cast<LPWSTR>(name), &id)))
            return L"(failed)";
        fw::TaskMemPtr<wchar_t> owned(id);
        return id ? id : L"(null)";
    }

    // An active group with a rate of one second, as interface I.
    template <class I>
    fw::ComPtr<I> AddGroup(const wchar_t* name, OPCHANDLE hClient, OPCHANDLE* hServer) {
        fw::ComPtr<I> group;
        DWORD revised = 0;
        EXPECT_EQ(S_OK, Query<IOPCServer>()->AddGroup(name, TRUE, 1000, hClient, nullptr, nullptr, 0, hServer,
                                                      &revised, fw::InterfaceId<I>(),
                                                      reinterpret_cast<IUnknown**>(group.put())));
        return group;
    }

    struct GroupWithItems {
        fw::ComPtr<IOPCItemMgt> items;
        HRESULT added = E_FAIL;       // AddItems' answer
        std::vector<HRESULT> codes;   // one per item
        std::vector<OPCHANDLE> handles;  // of the items taken
    };
    // A group as AddGroup makes it, with the items added as active ones with
    // client handles firstClient, firstClient + 1, ...
    GroupWithItems AddGroupWithItems(const wchar_t* name, OPCHANDLE hClientGroup,
                                     const std::vector<const wchar_t*>& ids, OPCHANDLE firstClient) {
        GroupWithItems group;
        OPCHANDLE hServer = 0;
        group.items = AddGroup<IOPCItemMgt>(name, hClientGroup, &hServer);
        if (!group.items) return group;
        std::vector<OPCITEMDEF> defs(ids.size());
        for (size_t i = 0; i < ids.size(); ++i) {
            defs[i].szAccessPath = const_cast<LPWSTR>(L"");
            defs[i].szItemID = const_cast<LPWSTR>(ids[i]);
            defs[i].bActive = TRUE;
            defs[i].hClient = firstClient + static_cast<OPCHANDLE>(i);
            defs[i].vtRequestedDataType = VT_EMPTY;
        }
        OPCITEMRESULT* results = nullptr;
        HRESULT* errors = nullptr;
        group.added = group.items->AddItems(static_cast<DWORD>(defs.size()), defs.data(), &results, &errors);
        fw::TaskMemPtr<OPCITEMRESULT> ownedResults(results);
        fw::TaskMemPtr<HRESULT> ownedErrors(errors);
        if (FAILED(group.added)) return group;
        group.codes.assign(errors, errors + defs.size());
        for (size_t i = 0; i < defs.size(); ++i)
            if (SUCCEEDED(errors[i])) group.handles.push_back(results[i].hServer);
        return group;
    }
};

TEST_F(BranchServer, BrowsesAHierarchy) {
    auto browse = Query<IOPCBrowseServerAddressSpace>();
    ASSERT_TRUE(browse);
    OPCNAMESPACETYPE organization = OPC_NS_FLAT;
    EXPECT_EQ(S_OK, browse->QueryOrganization(&organization));
    EXPECT_EQ(OPC_NS_HIERARCHIAL, organization);

    EXPECT_EQ(Names{L"A"}, Browse(OPC_BRANCH));
    EXPECT_EQ(Names{L"top"}, Browse(OPC_LEAF));
    EXPECT_EQ((Names{L"A.a1", L"A.B.b1", L"top"}), Browse(OPC_FLAT));
    EXPECT_EQ((Names{L"A.a1", L"A.B.b1"}), Browse(OPC_FLAT, L"A.*"));
    EXPECT_EQ(Names{}, Browse(OPC_LEAF, L"x*", S_FALSE));
    EXPECT_EQ(L"top", ItemId(L"top"));
    EXPECT_EQ(L"A", ItemId(L"A"));

    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"top"));  // a leaf
    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"Z"));
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"A"));
    EXPECT_EQ(Names{L"B"}, Browse(OPC_BRANCH));
    EXPECT_EQ(Names{L"a1"}, Browse(OPC_LEAF));
    EXPECT_EQ(L"A.a1", ItemId(L"a1"));
    EXPECT_EQ(L"A", ItemId(L"A"));  // the branch named from inside
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_DOWN, L"B"));
    EXPECT_EQ(L"A.B.b1", ItemId(L"b1"));
    EXPECT_EQ(L"A.B", ItemId(L"B"));
    EXPECT_EQ(L"(failed)", ItemId(L"a1"));
    EXPECT_EQ(Names{L"A.B.b1"}, Browse(OPC_FLAT));
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
    EXPECT_EQ(Names{L"a1"}, Browse(OPC_LEAF));

    EXPECT_EQ(E_FAIL, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"A.Q"));
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L"A.B"));
    EXPECT_EQ(Names{L"b1"}, Browse(OPC_LEAF));
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_TO, L""));
    EXPECT_EQ(Names{L"top"}, Browse(OPC_LEAF));
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

    // The unnamed groups got names of the server's, which find them again.
    auto state = AddGroup<IOPCGroupStateMgt>(L"", 10, &third);
    ASSERT_TRUE(state);
    DWORD rate = 0, lcid = 0;
    BOOL active = FALSE;
    LPWSTR name = nullptr;
    OPCHANDLE hClient = 0, hServer = 0;
    ASSERT_EQ(S_OK, state->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &hClient, &hServer));
    fw::TaskMemPtr<wchar_t> ownedName(name);
    EXPECT_EQ(std::wstring(L"_Group2"), name);
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
    // A branch and a bare leaf name are no items.
    const GroupWithItems group = AddGroupWithItems(L"G", 1, {L"A.a1", L"A.B.b1", L"top", L"A", L"a1"}, 100);
    ASSERT_TRUE(group.items);
    ASSERT_EQ(S_FALSE, group.added);
    EXPECT_EQ((std::vector<HRESULT>{S_OK, S_OK, S_OK, OPC_E_UNKNOWNITEMID, OPC_E_UNKNOWNITEMID}), group.codes);
    std::vector<OPCHANDLE> handles = group.handles;
    ASSERT_EQ(3u, std::set<OPCHANDLE>(handles.begin(), handles.end()).size());
    const auto& items = group.items;

    fw::ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, items.query(io));
    handles.push_back(0xBAD);
    OPCITEMSTATE* values = nullptr;
    HRESULT* errors = nullptr;
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
}

TEST_F(BranchServer, AdvisedGroupsGetCountingStreams) {
    const GroupWithItems group = AddGroupWithItems(L"Live", 42, {L"top", L"A.B.b1"}, 7);
    ASSERT_TRUE(group.items);
    ASSERT_EQ(S_OK, group.added);
    const auto& items = group.items;

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
}

// The refusing class: browsing as the branch server, but no group is ever
// made; its process still ends with its last object (TearDown).
class RefusingServer : public BranchServerFixture {
protected:
    RefusingServer() : BranchServerFixture(L"Velmora.RefusingTest.1") {}
};

TEST_F(RefusingServer, AddGroupFailsAndNoGroupExists) {
    auto server = Query<IOPCServer>();
    ASSERT_TRUE(server);
    OPCHANDLE hServer = 0;
    DWORD revised = 0;
    fw::ComPtr<IUnknown> group;
    EXPECT_EQ(E_FAIL, server->AddGroup(L"Group1", TRUE, 1000, 1, nullptr, nullptr, 0, &hServer, &revised,
                                       IID_IOPCItemMgt, group.put()));
    EXPECT_FALSE(group);
    EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(L"Group1", IID_IUnknown, group.put()));
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(S_OK, server->GetStatus(&status));
    fw::TaskMemPtr<OPCSERVERSTATUS> ownedStatus(status);
    fw::TaskMemPtr<wchar_t> ownedVendor(status->szVendorInfo);
    EXPECT_EQ(0u, status->dwGroupCount);
    EXPECT_EQ((Names{L"A.a1", L"A.B.b1", L"top"}), Browse(OPC_FLAT));
}

}  // namespace
