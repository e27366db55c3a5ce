// Cross-process calls through the OPC proxy/stub DLL: every kind of parameter
// the OPC interfaces use (top-level out strings, struct arrays with embedded
// strings and blobs, VARIANTs, string arrays, enumerators, unique pointers)
// must arrive intact, and a dead server must give the client an error.
#include "FakeOpcData.h"
#include "FakeServerProcess.h"
#include "Processes.h"
#include "Registration.h"
#include "TaskMem.h"
#include "WineTest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using fw::ComPtr;
using fw::TaskMemPtr;

// The text of a string the call handed out, freed; the pointer is nulled,
// since an [out] pointer that still points somewhere may be unmarshalled into.
std::wstring Take(LPWSTR& text) {
    TaskMemPtr<wchar_t> owner(text);
    const std::wstring taken = text ? std::wstring(text) : std::wstring(L"<null>");
    text = nullptr;
    return taken;
}

// The item ID and access path of attributes from an enumerator, freed with
// the strings they hold.
std::wstring TakeId(OPCITEMATTRIBUTES& attributes) {
    CoTaskMemFree(attributes.szAccessPath);
    return Take(attributes.szItemID);
}

class ProxyRoundTrip : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_HRESULT_SUCCEEDED(testsupport::RegisterOpcProxy());
        ASSERT_HRESULT_SUCCEEDED(fake_.Start());
        server_ = fake_.server();
    }

    template <class I>
    ComPtr<I> Query() {
        ComPtr<I> out;
        EXPECT_EQ(S_OK, ComPtr<IOPCServer>(server_).query(out));
        return out;
    }

    ComPtr<IUnknown> AddGroup(REFIID iid, const wchar_t* name = L"Group A") {
        ComPtr<IUnknown> group;
        OPCHANDLE hServer = 0;
        DWORD revised = 0;
        LONG bias = 0;
        FLOAT deadband = 0;
        EXPECT_EQ(S_OK, server_->AddGroup(name, TRUE, 500, 0x55, &bias, &deadband, 0x409, &hServer, &revised, iid,
                                          reinterpret_cast<LPUNKNOWN*>(group.put())));
        EXPECT_EQ(kFakeGroupHandle, hServer);
        return group;
    }

    // A group with the three fake items, client handles firstClient + 0..2,
    // Beta inactive; the server's handles are 1, 2 and 3.
    ComPtr<IUnknown> GroupWithItems(OPCHANDLE firstClient) {
        ComPtr<IUnknown> group = AddGroup(IID_IUnknown);
        ComPtr<IOPCItemMgt> items;
        EXPECT_EQ(S_OK, group.query(items));
        OPCITEMDEF defs[3] = {};
        for (int i = 0; i < 3; ++i) {
            defs[i].szAccessPath = const_cast<LPWSTR>(L"");
            defs[i].szItemID = const_cast<LPWSTR>(kFakeItems[i].id);
            defs[i].hClient = firstClient + i;
            defs[i].bActive = i != 1;
        }
        OPCITEMRESULT* results = nullptr;
        HRESULT* errors = nullptr;
        EXPECT_EQ(S_OK, items ? items->AddItems(3, defs, &results, &errors) : E_NOINTERFACE);
        CoTaskMemFree(results);
        CoTaskMemFree(errors);
        return group;
    }

    testsupport::ComScope com_;
    FakeServerProcess fake_;
    IOPCServer* server_ = nullptr;
};

TEST_F(ProxyRoundTrip, TopLevelOutStringsArriveWhole) {
    LPWSTR text = nullptr;
    ASSERT_EQ(S_OK, server_->GetErrorString(OPC_E_UNKNOWNITEMID, 0x419, &text));
    EXPECT_EQ(std::wstring(L"\x041E\x0448\x0438\x0431\x043A\x0430 0xC0040007 (locale 1049)"), Take(text));
    ASSERT_EQ(S_OK, Query<IOPCCommon>()->GetErrorString(E_FAIL, &text));
    EXPECT_EQ(std::wstring(L"Common error 0x80004005"), Take(text));
    wchar_t dataId[] = L"Gamma";
    ASSERT_EQ(S_OK, Query<IOPCBrowseServerAddressSpace>()->GetItemID(dataId, &text));
    EXPECT_EQ(std::wstring(L"Fake.Gamma"), Take(text));

    ComPtr<IOPCGroupStateMgt> state;
    ASSERT_EQ(S_OK, AddGroup(IID_IUnknown, L"\x0413\x0440\x0443\x043F\x043F\x0430 1").query(state));
    DWORD rate = 0, lcid = 0;
    BOOL active = FALSE;
    LONG bias = 0;
    FLOAT deadband = 0;
    OPCHANDLE hClient = 0, hServer = 0;
    ASSERT_EQ(S_OK, state->GetState(&rate, &active, &text, &bias, &deadband, &lcid, &hClient, &hServer));
    EXPECT_EQ(std::wstring(L"\x0413\x0440\x0443\x043F\x043F\x0430 1"), Take(text));
    EXPECT_EQ(500u, rate);
    EXPECT_TRUE(active);
    EXPECT_EQ(-60, bias);
    EXPECT_FLOAT_EQ(2.5f, deadband);
    EXPECT_EQ(0x419u, lcid);
    EXPECT_EQ(0x55u, hClient);
    EXPECT_EQ(kFakeGroupHandle, hServer);
}

TEST_F(ProxyRoundTrip, ServerStatusCarriesItsVendorText) {
    ComPtr<IOPCCommon> common = Query<IOPCCommon>();
    ASSERT_EQ(S_OK, common->SetClientName(L"proxy test"));
    OPCSERVERSTATUS* status = nullptr;
    ASSERT_EQ(S_OK, server_->GetStatus(&status));
    ASSERT_NE(nullptr, status);
    TaskMemPtr<OPCSERVERSTATUS> owner(status);
    EXPECT_EQ(1u, status->ftStartTime.dwLowDateTime);
    EXPECT_EQ(2u, status->ftCurrentTime.dwLowDateTime);
    EXPECT_EQ(3u, status->ftLastUpdateTime.dwHighDateTime);
    EXPECT_EQ(OPC_STATUS_RUNNING, status->dwServerState);
    EXPECT_EQ(4u, status->dwGroupCount);
    EXPECT_EQ(0xFFFFFFFFu, status->dwBandWidth);
    EXPECT_EQ(1, status->wMajorVersion);
    EXPECT_EQ(2, status->wMinorVersion);
    EXPECT_EQ(345, status->wBuildNumber);
    EXPECT_EQ(std::wstring(L"Fake OPC server; client proxy test"), Take(status->szVendorInfo));

    DWORD count = 0;
    LCID* lcids = nullptr;
    ASSERT_EQ(S_OK, common->QueryAvailableLocaleIDs(&count, &lcids));
    TaskMemPtr<LCID> lcidOwner(lcids);
    EXPECT_EQ(std::vector<LCID>({0x409, 0x419}), std::vector<LCID>(lcids, lcids + count));
}

TEST_F(ProxyRoundTrip, ItemDefinitionsAndResultsTravelAsArrays) {
    ComPtr<IOPCItemMgt> items;
    ASSERT_EQ(S_OK, AddGroup(IID_IOPCItemMgt).query(items));
    BYTE blob[] = {1, 2, 3, 4, 5};
    OPCITEMDEF defs[3] = {};
    defs[0].szAccessPath = const_cast<LPWSTR>(L"");
    defs[0].szItemID = const_cast<LPWSTR>(L"Alpha");
    defs[0].bActive = TRUE;
    defs[0].hClient = 100;
    defs[0].dwBlobSize = sizeof blob;
    defs[0].pBlob = blob;
    defs[1].szItemID = const_cast<LPWSTR>(L"No such item");
    defs[1].hClient = 101;
    defs[2].szAccessPath = const_cast<LPWSTR>(L"");
    defs[2].szItemID = const_cast<LPWSTR>(L"Gamma");
    defs[2].hClient = 102;
    defs[2].vtRequestedDataType = VT_R8;

    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_FALSE, items->AddItems(3, defs, &results, &errors));
    TaskMemPtr<OPCITEMRESULT> resultsOwner(results);
    TaskMemPtr<HRESULT> errorsOwner(errors);
    ASSERT_TRUE(results && errors);
    EXPECT_EQ(std::vector<HRESULT>({S_OK, OPC_E_UNKNOWNITEMID, S_OK}), std::vector<HRESULT>(errors, errors + 3));
    EXPECT_EQ(1u, results[0].hServer);
    EXPECT_EQ(VT_R8, results[0].vtCanonicalDataType);
    EXPECT_EQ(static_cast<DWORD>(OPC_READABLE | OPC_WRITEABLE), results[0].dwAccessRights);
    ASSERT_EQ(5u, results[0].dwBlobSize);
    ASSERT_NE(nullptr, results[0].pBlob);
    TaskMemPtr<BYTE> blobOwner(results[0].pBlob);
    EXPECT_EQ(std::vector<BYTE>({5, 4, 3, 2, 1}), std::vector<BYTE>(results[0].pBlob, results[0].pBlob + 5));
    EXPECT_EQ(2u, results[2].hServer);
    EXPECT_EQ(VT_I4, results[2].vtCanonicalDataType);
    EXPECT_EQ(0u, results[2].dwBlobSize);
    EXPECT_EQ(nullptr, results[2].pBlob);

    OPCHANDLE handles[] = {2, 999};
    HRESULT* removeErrors = nullptr;
    ASSERT_EQ(S_FALSE, items->RemoveItems(2, handles, &removeErrors));
    TaskMemPtr<HRESULT> removeOwner(removeErrors);
    EXPECT_EQ(std::vector<HRESULT>({S_OK, OPC_E_INVALIDHANDLE}), std::vector<HRESULT>(removeErrors, removeErrors + 2));
}

TEST_F(ProxyRoundTrip, UniquePointersMayBeNull) {
    ComPtr<IOPCGroupStateMgt> state;
    OPCHANDLE hServer = 0;
    DWORD revised = 0;
    ASSERT_EQ(OPC_S_UNSUPPORTEDRATE, server_->AddGroup(L"", FALSE, 10, 1, nullptr, nullptr, 0, &hServer, &revised,
                                                       IID_IOPCGroupStateMgt,
                                                       reinterpret_cast<LPUNKNOWN*>(state.put())));
    EXPECT_EQ(100u, revised);
    DWORD requested = 2000;
    OPCHANDLE client = 9;
    ASSERT_EQ(S_OK, state->SetState(&requested, &revised, nullptr, nullptr, nullptr, nullptr, &client));
    EXPECT_EQ(2000u, revised);
    ASSERT_EQ(S_OK, state->SetState(nullptr, &revised, nullptr, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(2000u, revised);
}

TEST_F(ProxyRoundTrip, SyncReadAndWriteCarryVariants) {
    ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, GroupWithItems(10).query(io));
    OPCHANDLE handles[] = {1, 2, 3, 77};
    OPCITEMSTATE* states = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_FALSE, io->Read(OPC_DS_DEVICE, 4, handles, &states, &errors));
    TaskMemPtr<OPCITEMSTATE> statesOwner(states);
    TaskMemPtr<HRESULT> errorsOwner(errors);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(static_cast<OPCHANDLE>(10 + i), states[i].hClient);
        EXPECT_EQ(OPC_QUALITY_GOOD, states[i].wQuality);
        EXPECT_EQ(handles[i], states[i].ftTimeStamp.dwLowDateTime);
        EXPECT_EQ(static_cast<DWORD>(OPC_DS_DEVICE), states[i].ftTimeStamp.dwHighDateTime);
        ASSERT_EQ(kFakeItems[i].type, states[i].vDataValue.vt);
    }
    EXPECT_DOUBLE_EQ(1.5, states[0].vDataValue.dblVal);
    EXPECT_EQ(std::wstring(kFakeItems[1].text), std::wstring(states[1].vDataValue.bstrVal));
    EXPECT_EQ(42, states[2].vDataValue.lVal);
    EXPECT_EQ(OPC_E_INVALIDHANDLE, errors[3]);
    EXPECT_EQ(VT_EMPTY, states[3].vDataValue.vt);
    for (int i = 0; i < 4; ++i) VariantClear(&states[i].vDataValue);

    VARIANT values[2];
    for (VARIANT& value : values) VariantInit(&value);
    values[0].vt = values[1].vt = VT_BSTR;
    values[0].bstrVal = SysAllocString(L"12.25");
    values[1].bstrVal = SysAllocString(L"not a number");
    OPCHANDLE writeHandles[] = {1, 3};
    HRESULT* writeErrors = nullptr;
    ASSERT_EQ(S_FALSE, io->Write(2, writeHandles, values, &writeErrors));
    TaskMemPtr<HRESULT> writeOwner(writeErrors);
    EXPECT_EQ(S_OK, writeErrors[0]);
    EXPECT_EQ(OPC_E_BADTYPE, writeErrors[1]);
    for (VARIANT& value : values) VariantClear(&value);

    OPCITEMSTATE* after = nullptr;
    HRESULT* afterErrors = nullptr;
    ASSERT_EQ(S_OK, io->Read(OPC_DS_CACHE, 1, handles, &after, &afterErrors));
    TaskMemPtr<OPCITEMSTATE> afterOwner(after);
    TaskMemPtr<HRESULT> afterErrorsOwner(afterErrors);
    ASSERT_EQ(VT_R8, after[0].vDataValue.vt);
    EXPECT_DOUBLE_EQ(12.25, after[0].vDataValue.dblVal);
}

TEST_F(ProxyRoundTrip, EnumeratorsWalkAndClone) {
    ComPtr<IOPCItemMgt> items;
    ASSERT_EQ(S_OK, GroupWithItems(20).query(items));
    ComPtr<IEnumOPCItemAttributes> attributes;
    ASSERT_EQ(S_OK, items->CreateEnumerator(IID_IEnumOPCItemAttributes,
                                            reinterpret_cast<LPUNKNOWN*>(attributes.put())));
    OPCITEMATTRIBUTES* batch = nullptr;
    ULONG fetched = 0;
    ASSERT_EQ(S_OK, attributes->Next(2, &batch, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(L"", Take(batch[0].szAccessPath));
    EXPECT_EQ(L"Alpha", Take(batch[0].szItemID));
    EXPECT_EQ(L"Beta", TakeId(batch[1]));
    EXPECT_TRUE(batch[0].bActive);
    EXPECT_FALSE(batch[1].bActive);
    EXPECT_EQ(21u, batch[1].hClient);
    EXPECT_EQ(2u, batch[1].hServer);
    EXPECT_EQ(VT_BSTR, batch[1].vtCanonicalDataType);
    EXPECT_EQ(OPC_ANALOG, batch[0].dwEUType);
    ASSERT_EQ(VT_R8, batch[0].vEUInfo.vt);
    EXPECT_DOUBLE_EQ(15.0, batch[0].vEUInfo.dblVal);
    CoTaskMemFree(batch);
    batch = nullptr;

    ComPtr<IEnumOPCItemAttributes> clone;
    ASSERT_EQ(S_OK, attributes->Clone(clone.put()));
    ASSERT_EQ(S_FALSE, attributes->Next(5, &batch, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ(L"Gamma", TakeId(batch[0]));
    CoTaskMemFree(batch);
    batch = nullptr;
    ASSERT_EQ(S_OK, clone->Next(1, &batch, &fetched));
    EXPECT_EQ(L"Gamma", TakeId(batch[0]));
    CoTaskMemFree(batch);
    batch = nullptr;

    auto browse = Query<IOPCBrowseServerAddressSpace>();
    OPCNAMESPACETYPE organisation = OPC_NS_HIERARCHIAL;
    ASSERT_EQ(S_OK, browse->QueryOrganization(&organisation));
    EXPECT_EQ(OPC_NS_FLAT, organisation);
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, names.put()));
    LPOLESTR got[4] = {};
    ASSERT_EQ(S_FALSE, names->Next(4, got, &fetched));
    ASSERT_EQ(3u, fetched);
    for (ULONG i = 0; i < 3; ++i) EXPECT_EQ(kFakeItems[i].id, Take(got[i]));
    ASSERT_EQ(S_OK, names->Reset());
    ASSERT_EQ(S_OK, names->Skip(2));
    ASSERT_EQ(S_OK, names->Next(1, got, nullptr));
    EXPECT_EQ(L"Gamma", Take(got[0]));

    ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_FLAT, L"B", VT_EMPTY, 0, names.put()));
    ASSERT_EQ(S_FALSE, names->Next(4, got, &fetched));
    ASSERT_EQ(1u, fetched);
    EXPECT_EQ(L"Beta", Take(got[0]));
}

TEST_F(ProxyRoundTrip, StringArraysAndPropertyValues) {
    auto properties = Query<IOPCItemProperties>();
    DWORD count = 0;
    DWORD* ids = nullptr;
    LPWSTR* descriptions = nullptr;
    VARTYPE* types = nullptr;
    wchar_t beta[] = L"Beta";
    ASSERT_EQ(S_OK, properties->QueryAvailableProperties(beta, &count, &ids, &descriptions, &types));
    TaskMemPtr<DWORD> idsOwner(ids);
    TaskMemPtr<LPWSTR> descriptionsOwner(descriptions);
    TaskMemPtr<VARTYPE> typesOwner(types);
    ASSERT_EQ(2u, count);
    EXPECT_EQ(std::vector<DWORD>({OPC_PROPERTY_DATATYPE, OPC_PROPERTY_VALUE}), std::vector<DWORD>(ids, ids + 2));
    EXPECT_EQ(L"Item Canonical Data Type", Take(descriptions[0]));
    EXPECT_EQ(L"Item Value", Take(descriptions[1]));
    EXPECT_EQ(std::vector<VARTYPE>({VT_I2, VT_BSTR}), std::vector<VARTYPE>(types, types + 2));

    DWORD wanted[] = {OPC_PROPERTY_VALUE, 4999};
    VARIANT* values = nullptr;
    HRESULT* errors = nullptr;
    ASSERT_EQ(S_FALSE, properties->GetItemProperties(beta, 2, wanted, &values, &errors));
    TaskMemPtr<VARIANT> valuesOwner(values);
    TaskMemPtr<HRESULT> errorsOwner(errors);
    EXPECT_EQ(std::vector<HRESULT>({S_OK, OPC_E_INVALID_PID}), std::vector<HRESULT>(errors, errors + 2));
    ASSERT_EQ(VT_BSTR, values[0].vt);
    EXPECT_EQ(std::wstring(kFakeItems[1].text), std::wstring(values[0].bstrVal));
    VariantClear(&values[0]);

    LPWSTR* newIds = nullptr;
    HRESULT* lookupErrors = nullptr;
    ASSERT_EQ(S_OK, properties->LookupItemIDs(beta, 2, wanted, &newIds, &lookupErrors));
    TaskMemPtr<LPWSTR> newIdsOwner(newIds);
    TaskMemPtr<HRESULT> lookupOwner(lookupErrors);
    EXPECT_EQ(L"Beta.property2", Take(newIds[0]));
    EXPECT_EQ(L"Beta.property4999", Take(newIds[1]));

    wchar_t unknown[] = L"Omega";
    count = 7;
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, properties->QueryAvailableProperties(unknown, &count, &ids, &descriptions, &types));
    EXPECT_EQ(0u, count);
}

// The proxy DLL registers every interface under its published IID with the
// published number of methods: a wrong slot count would mean a wrong vtable.
TEST(ProxyRegistration, EveryInterfaceHasItsPublishedIdAndMethodCount) {
    ASSERT_HRESULT_SUCCEEDED(testsupport::RegisterOpcProxy());
    const struct {
        const IID* iid;
        const char* name;
        int methods;
    } expected[] = {
        {&IID_IOPCServer, "IOPCServer", 9},
        {&IID_IOPCServerPublicGroups, "IOPCServerPublicGroups", 5},
        {&IID_IOPCBrowseServerAddressSpace, "IOPCBrowseServerAddressSpace", 8},
        {&IID_IOPCGroupStateMgt, "IOPCGroupStateMgt", 7},
        {&IID_IOPCPublicGroupStateMgt, "IOPCPublicGroupStateMgt", 5},
        {&IID_IOPCSyncIO, "IOPCSyncIO", 5},
        {&IID_IOPCAsyncIO, "IOPCAsyncIO", 7},
        {&IID_IOPCItemMgt, "IOPCItemMgt", 10},
        {&IID_IEnumOPCItemAttributes, "IEnumOPCItemAttributes", 7},
        {&IID_IOPCDataCallback, "IOPCDataCallback", 7},
        {&IID_IOPCAsyncIO2, "IOPCAsyncIO2", 9},
        {&IID_IOPCItemProperties, "IOPCItemProperties", 6},
        {&IID_IOPCShutdown, "IOPCShutdown", 4},
        {&IID_IOPCCommon, "IOPCCommon", 8},
    };
    const std::string proxyClsid = testsupport::GuidText(
        {0x67c42a4a, 0x29a6, 0x4c68, {0xbe, 0x1b, 0x22, 0x10, 0x80, 0xa1, 0x60, 0x4d}});
    for (const auto& e : expected) {
        SCOPED_TRACE(e.name);
        const std::string key = "Interface\\" + testsupport::GuidText(*e.iid);
        EXPECT_EQ(e.name, testsupport::ClassesRootValue(key));
        EXPECT_EQ(std::to_string(e.methods), testsupport::ClassesRootValue(key + "\\NumMethods"));
        EXPECT_EQ(proxyClsid, testsupport::ClassesRootValue(key + "\\ProxyStubClsid32"));
    }
    const std::string dll = testsupport::ClassesRootValue("CLSID\\" + proxyClsid + "\\InprocServer32");
    EXPECT_NE(std::string::npos, dll.find("VELMORA_OPCPS.dll")) << dll;

    // The facts the published IDs must match, independent of the generated code.
    EXPECT_EQ("{39C13A4D-011E-11D0-9675-0020AFD8ADB3}", testsupport::GuidText(IID_IOPCServer));
    EXPECT_EQ("{39C13A4F-011E-11D0-9675-0020AFD8ADB3}", testsupport::GuidText(IID_IOPCBrowseServerAddressSpace));
    EXPECT_EQ("{39C13A53-011E-11D0-9675-0020AFD8ADB3}", testsupport::GuidText(IID_IOPCAsyncIO));
    EXPECT_EQ("{39C13A55-011E-11D0-9675-0020AFD8ADB3}", testsupport::GuidText(IID_IEnumOPCItemAttributes));
    EXPECT_EQ("{39C13A72-011E-11D0-9675-0020AFD8ADB3}", testsupport::GuidText(IID_IOPCItemProperties));
    EXPECT_EQ("{F31DFDE2-07B6-11D2-B2D8-0060083BA1FB}", testsupport::GuidText(IID_IOPCCommon));
    EXPECT_EQ("{63D5F430-CFE4-11D1-B2C8-0060083BA1FB}", testsupport::GuidText(CATID_OPCDAServer10));
    EXPECT_EQ("{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}", testsupport::GuidText(CATID_OPCDAServer20));
}

// A server that dies under a client: every further call fails with an HRESULT
// and the client process carries on (and can start another server).
TEST(DeadServer, ClientGetsAnErrorAndKeepsRunning) {
    testsupport::ComScope com;
    ASSERT_HRESULT_SUCCEEDED(testsupport::RegisterOpcProxy());
    FakeServerProcess fake;
    ASSERT_HRESULT_SUCCEEDED(fake.Start());
    ComPtr<IOPCServer> server(fake.server());
    ComPtr<IOPCItemMgt> items;
    OPCHANDLE hServer = 0;
    DWORD revised = 0;
    ASSERT_EQ(S_OK, server->AddGroup(L"G", TRUE, 100, 1, nullptr, nullptr, 0, &hServer, &revised, IID_IOPCItemMgt,
                                     reinterpret_cast<LPUNKNOWN*>(items.put())));

    fake.Kill();

    LPWSTR text = nullptr;
    const HRESULT errorString = server->GetErrorString(E_FAIL, 0, &text);
    EXPECT_TRUE(FAILED(errorString)) << std::hex << errorString;
    EXPECT_EQ(nullptr, text);
    OPCSERVERSTATUS* status = nullptr;
    EXPECT_TRUE(FAILED(server->GetStatus(&status)));
    EXPECT_EQ(nullptr, status);
    OPCITEMDEF def{};
    def.szItemID = const_cast<LPWSTR>(L"Alpha");
    OPCITEMRESULT* results = nullptr;
    HRESULT* errors = nullptr;
    EXPECT_TRUE(FAILED(items->AddItems(1, &def, &results, &errors)));
    items.reset();
    server.reset();
    fake.ReleaseServer();

    FakeServerProcess another;
    ASSERT_HRESULT_SUCCEEDED(another.Start());
    ASSERT_EQ(S_OK, another.server()->GetStatus(&status));
    TaskMemPtr<OPCSERVERSTATUS> freshOwner(status);
    CoTaskMemFree(status->szVendorInfo);
}

// COM itself starts a registered local server (appending -Embedding), and the
// server ends once its last object is released.
TEST(LocalServerLaunch, ComStartsTheServerAndItEndsWithItsLastObject) {
    testsupport::ComScope com;
    ASSERT_HRESULT_SUCCEEDED(testsupport::RegisterOpcProxy());
    CLSID clsid;
    ASSERT_HRESULT_SUCCEEDED(CoCreateGuid(&clsid));
    const int before = testsupport::CountProcesses("FakeOpcServer.exe");
    {
        testsupport::LocalServerRegistration registration(
            clsid, "\"" + testsupport::BinPath("FakeOpcServer.exe") + "\" -clsid " + testsupport::GuidText(clsid));
        ASSERT_HRESULT_SUCCEEDED(registration.result());
        ComPtr<IOPCServer> server;
        ASSERT_EQ(S_OK, CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.put_void()));
        EXPECT_EQ(before + 1, testsupport::CountProcesses("FakeOpcServer.exe"));
        OPCSERVERSTATUS* status = nullptr;
        ASSERT_EQ(S_OK, server->GetStatus(&status));
        TaskMemPtr<OPCSERVERSTATUS> owner(status);
        EXPECT_EQ(L"Fake OPC server (started by COM)", Take(status->szVendorInfo));
    }
    EXPECT_TRUE(testsupport::PumpUntil([&] { return testsupport::CountProcesses("FakeOpcServer.exe") == before; }, 10000));
}

}  // namespace
