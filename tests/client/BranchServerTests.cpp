// The branch test server as a client sees it through the proxy/stub DLL:
// its registration, browsing its address space, groups found by name, items,
// cached reads, its end with the last object, and the same server registered
// once more to refuse every group.
#include "BranchServerFixture.h"
#include "RegistryKey.h"
#include "TaskMem.h"

#include <set>
#include <vector>

namespace {

bool ClassesRootKeyExists(const std::string& key) {
    fw::UniqueRegKey h;
    return fw::OpenRegKey(HKEY_CLASSES_ROOT, key.c_str(), KEY_READ, h) == ERROR_SUCCESS;
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
};

TEST_F(BranchServer, BrowsesAHierarchy) {
    auto browse = Query<IOPCBrowseServerAddressSpace>();
    ASSERT_TRUE(browse);
    OPCNAMESPACETYPE organization = OPC_NS_FLAT;
    EXPECT_EQ(S_OK, browse->QueryOrganization(&organization));
    EXPECT_EQ(OPC_NS_HIERARCHIAL, organization);

    EXPECT_EQ(Names{L"A"}, Browse(OPC_BRANCH));
    EXPECT_EQ(Names{L"top"}, Browse(OPC_LEAF));
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
    ASSERT_EQ(S_OK, browse->ChangeBrowsePosition(OPC_BROWSE_UP, L""));
    EXPECT_EQ(Names{L"a1"}, Browse(OPC_LEAF));
}

TEST_F(BranchServer, GroupsAreFoundByNameAndTheirItemsAreTheLeaves) {
    auto server = Query<IOPCServer>();
    ASSERT_TRUE(server);
    OPCHANDLE first = 0, second = 0, third = 0;
    DWORD revised = 0;
    FLOAT deadband = 1.5f;
    LONG bias = -60;
    fw::ComPtr<IOPCItemMgt> items;
    EXPECT_EQ(OPC_S_UNSUPPORTEDRATE, server->AddGroup(L"Pumps", FALSE, 50, 7, &bias, &deadband, 0x409, &first, &revised,
                                                     IID_IOPCItemMgt, reinterpret_cast<IUnknown**>(items.put())));
    EXPECT_EQ(100u, revised);
    fw::ComPtr<IUnknown> other;
    EXPECT_EQ(S_OK, server->AddGroup(L"", TRUE, 1000, 8, nullptr, nullptr, 0, &second, &revised, IID_IOPCItemMgt,
                                     other.put()));
    EXPECT_EQ(OPC_E_DUPLICATENAME, server->AddGroup(L"Pumps", TRUE, 1000, 9, nullptr, nullptr, 0, &third, &revised,
                                                    IID_IOPCItemMgt, other.put()));
    EXPECT_NE(first, second);
    // The unnamed group got a name of the server's, which finds it again.
    EXPECT_EQ(S_OK, server->GetGroupByName(L"_Group1", IID_IOPCItemMgt, other.put()));
    EXPECT_EQ(E_INVALIDARG, server->GetGroupByName(L"pumps", IID_IUnknown, other.put())) << "exact names only";

    // The first group as it was asked for.
    fw::ComPtr<IOPCGroupStateMgt> pumps;
    ASSERT_EQ(S_OK, server->GetGroupByName(L"Pumps", IID_IOPCGroupStateMgt, reinterpret_cast<IUnknown**>(pumps.put())));
    DWORD rate = 0, lcid = 0;
    BOOL active = TRUE;
    LPWSTR name = nullptr;
    OPCHANDLE hClient = 0, hServer = 0;
    ASSERT_EQ(S_OK, pumps->GetState(&rate, &active, &name, &bias, &deadband, &lcid, &hClient, &hServer));
    fw::TaskMemPtr<wchar_t> ownedName(name);
    EXPECT_EQ(std::wstring(L"Pumps"), name);
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

    // A branch and a bare leaf name are no items.
    std::vector<OPCITEMDEF> defs(5);
    const wchar_t* ids[] = {L"A.a1", L"A.B.b1", L"top", L"A", L"a1"};
    for (size_t i = 0; i < defs.size(); ++i) {
        defs[i].szItemID = const_cast<LPWSTR>(ids[i]);
        defs[i].hClient = static_cast<OPCHANDLE>(100 + i);
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_FALSE, items->AddItems(5, defs.data(), &results, &errors));
    fw::TaskMemPtr<OPCITEMRESULT> ownedResults(results);
    fw::TaskMemPtr<HRESULT> ownedErrors(errors);
    EXPECT_EQ((std::vector<HRESULT>{S_OK, S_OK, S_OK, OPC_E_UNKNOWNITEMID, OPC_E_UNKNOWNITEMID}),
              std::vector<HRESULT>(errors, errors + 5));
    std::vector<OPCHANDLE> handles = {results[0].hServer, results[1].hServer, results[2].hServer, 0xBAD};
    ASSERT_EQ(3u, std::set<OPCHANDLE>(handles.begin(), handles.begin() + 3).size());

    fw::ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, items.query(io));
    OPCITEMSTATE* values = nullptr;
    HRESULT* readErrors = nullptr;
    ASSERT_EQ(S_FALSE, io->Read(OPC_DS_CACHE, 4, handles.data(), &values, &readErrors));
    fw::TaskMemPtr<OPCITEMSTATE> ownedValues(values);
    fw::TaskMemPtr<HRESULT> ownedReadErrors(readErrors);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(S_OK, readErrors[i]);
        EXPECT_EQ(static_cast<OPCHANDLE>(100 + i), values[i].hClient);
        EXPECT_EQ(VT_I4, values[i].vDataValue.vt);
        EXPECT_EQ(OPC_QUALITY_GOOD, values[i].wQuality);
    }
    EXPECT_EQ(OPC_E_INVALIDHANDLE, readErrors[3]);

    HRESULT* removeErrors = nullptr;
    ASSERT_EQ(S_OK, items->RemoveItems(1, &handles[1], &removeErrors));
    CoTaskMemFree(removeErrors);
    ASSERT_EQ(S_FALSE, items->RemoveItems(1, &handles[1], &removeErrors));
    EXPECT_EQ(OPC_E_INVALIDHANDLE, removeErrors[0]);
    CoTaskMemFree(removeErrors);

    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(S_OK, server->GetStatus(&status));
    EXPECT_EQ(2u, status->dwGroupCount);
    EXPECT_EQ(OPC_STATUS_RUNNING, status->dwServerState);
    CoTaskMemFree(status->szVendorInfo);
    CoTaskMemFree(status);
    EXPECT_EQ(S_OK, server->RemoveGroup(first, TRUE));
    EXPECT_EQ(E_INVALIDARG, server->RemoveGroup(first, TRUE));
    EXPECT_NE(S_OK, server->GetGroupByName(L"Pumps", IID_IUnknown, other.put()));
    EXPECT_EQ(S_OK, server->RemoveGroup(second, TRUE));
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
    EXPECT_EQ(Names{L"top"}, Browse(OPC_LEAF));
}

}  // namespace
