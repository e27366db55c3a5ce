// The server with other drivers than the simulation: a copy of the server in
// a folder of its own, registered from there, with a test driver installed
// under the first name of the search list, or with no driver at all.
#include "ServerTest.h"

#include "MessageBoxWatcher.h"
#include "Processes.h"
#include "TaskMem.h"

#include <future>

namespace {

using fw::ComPtr;

class OtherDriver : public DriverCopyTest {
protected:
    void TearDown() override {
        group_.reset();
        server_.reset();
        DriverCopyTest::TearDown();
    }

    ::testing::AssertionResult Connect() {
        const HRESULT created = CreateServer(server_);
        if (created != S_OK) return ::testing::AssertionFailure() << "CreateServer: " << std::hex << created;
        const HRESULT added = AddGroup(server_.get(), L"", IID_IOPCSyncIO, group_);
        if (added != S_OK) return ::testing::AssertionFailure() << "AddGroup: " << std::hex << added;
        return ::testing::AssertionSuccess();
    }

    std::vector<HRESULT> AddAndRead(const std::vector<std::wstring>& ids, OPCDATASOURCE source,
                                    std::vector<OPCITEMSTATE>& states, HRESULT* readResult = nullptr) {
        std::vector<OPCHANDLE> handles;
        std::vector<HRESULT> errors;
        AddItems(group_.get(), ids, handles, errors);
        ComPtr<IOPCSyncIO> io;
        group_.query(io);
        OPCITEMSTATE* s = nullptr;
        HRESULT* e = nullptr;
        const HRESULT hr = io->Read(source, static_cast<DWORD>(handles.size()), handles.data(), &s, &e);
        if (readResult) *readResult = hr;
        std::vector<HRESULT> out;
        if (s && e) {
            states.assign(s, s + handles.size());
            out.assign(e, e + handles.size());
        }
        CoTaskMemFree(s);
        CoTaskMemFree(e);
        return out;
    }

    ComPtr<IOPCServer> server_;
    ComPtr<IUnknown> group_;
};

TEST_F(OtherDriver, FirstDriverOfTheListWinsAndNamesGroups) {
    ASSERT_NO_FATAL_FAILURE(Install("plain"));
    ASSERT_TRUE(Connect());
    EXPECT_EQ(std::vector<std::string>({"OPC Server1 - Corvell"}), ServerDocumentTitles());
    EXPECT_EQ(L"Corvell1", GroupName(group_.get()));
    std::vector<OPCITEMSTATE> states;
    const auto errors = AddAndRead({L"A", L"B", L"Name0"}, OPC_DS_DEVICE, states);
    ASSERT_EQ(3u, errors.size());
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(1, states[0].vDataValue.lVal);
    EXPECT_DOUBLE_EQ(1.5, states[1].vDataValue.dblVal);
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[2]) << "the simulation's tags are not this document's";
}

TEST_F(OtherDriver, FailedDriverInformationKeepsTheDriverWithoutTags) {
    ASSERT_NO_FATAL_FAILURE(Install("fail-info"));
    ASSERT_TRUE(Connect());
    EXPECT_TRUE(testsupport::NoMessageBoxFor("Velmora OPC Server", 200));
    EXPECT_EQ(std::vector<std::string>({"OPC Server1 - Corvell"}), ServerDocumentTitles());
    std::vector<OPCITEMSTATE> states;
    std::vector<OPCHANDLE> handles;
    std::vector<HRESULT> errors;
    EXPECT_EQ(S_FALSE, AddItems(group_.get(), {L"A"}, handles, errors));
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[0]);
}

TEST_F(OtherDriver, FailedColdStartLeavesNoTags) {
    ASSERT_NO_FATAL_FAILURE(Install("fail-coldstart"));
    ASSERT_TRUE(Connect());
    EXPECT_EQ(std::vector<std::string>({"OPC Server1 - Corvell"}), ServerDocumentTitles());
    std::vector<OPCHANDLE> handles;
    std::vector<HRESULT> errors;
    EXPECT_EQ(S_FALSE, AddItems(group_.get(), {L"A", L"B"}, handles, errors));
    EXPECT_EQ(OPC_E_UNKNOWNITEMID, errors[1]);
}

TEST_F(OtherDriver, RefusedAddressesStillMakeTags) {
    ASSERT_NO_FATAL_FAILURE(Install("fail-address"));
    ASSERT_TRUE(Connect());
    std::vector<OPCITEMSTATE> states;
    const auto errors = AddAndRead({L"A", L"B"}, OPC_DS_DEVICE, states);
    ASSERT_EQ(2u, errors.size());
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(S_OK, errors[1]);
    EXPECT_EQ(1, states[0].vDataValue.lVal);
}

TEST_F(OtherDriver, DuplicateTagNamesFindTheFirst) {
    ASSERT_NO_FATAL_FAILURE(Install("duplicates"));
    ASSERT_TRUE(Connect());
    std::vector<OPCHANDLE> handles;
    std::vector<HRESULT> errors;
    std::vector<VARTYPE> types;
    ASSERT_EQ(S_OK, AddItems(group_.get(), {L"Dup", L"Other"}, handles, errors, &types));
    EXPECT_EQ((std::vector<OPCHANDLE>{1, 3}), handles);
    EXPECT_EQ(VT_I4, types[0]);
    EXPECT_EQ(VT_I2, types[1]);
}

TEST_F(OtherDriver, ReadStatusesReachTheClient) {
    ASSERT_NO_FATAL_FAILURE(Install("read-status"));
    ASSERT_TRUE(Connect());
    std::vector<OPCITEMSTATE> states;
    HRESULT hr = E_FAIL;
    auto errors = AddAndRead({L"A", L"B"}, OPC_DS_DEVICE, states, &hr);
    EXPECT_EQ(S_OK, hr);
    ASSERT_EQ(2u, errors.size());
    EXPECT_EQ(S_OK, errors[0]);
    EXPECT_EQ(OPC_QUALITY_GOOD, states[0].wQuality);
    EXPECT_EQ(3, errors[1]);
    EXPECT_EQ(OPC_QUALITY_BAD, states[1].wQuality);
    EXPECT_EQ(VT_R8, states[1].vDataValue.vt);
}

TEST_F(OtherDriver, FailedBlockReadMarksEveryTag) {
    ASSERT_NO_FATAL_FAILURE(Install("read-fail"));
    ASSERT_TRUE(Connect());
    std::vector<OPCITEMSTATE> states;
    auto errors = AddAndRead({L"A", L"B"}, OPC_DS_DEVICE, states);
    ASSERT_EQ(2u, errors.size());
    EXPECT_EQ(9, errors[0]);
    EXPECT_EQ(9, errors[1]);
    EXPECT_EQ(OPC_QUALITY_BAD, states[0].wQuality);
}

TEST_F(OtherDriver, NoDriverShowsTheBoxAndServesNothing) {
    ASSERT_NO_FATAL_FAILURE(Install(nullptr));
    // The box comes while the server makes the document, inside our call.
    auto box = std::async(std::launch::async,
                          [] { return testsupport::WaitForMessageBox("Velmora OPC Server", 30000); });
    ASSERT_EQ(S_OK, CreateServer(server_));
    const auto seen = box.get();
    ASSERT_TRUE(seen.has_value());
    EXPECT_EQ("No interface library found!", seen->text);
    EXPECT_EQ(std::vector<std::string>({"OPC Server1 - No SCADA"}), ServerDocumentTitles());

    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"", IID_IOPCSyncIO, group_));
    EXPECT_EQ(L"1", GroupName(group_.get())) << "without a driver label, generated names are bare numbers";
    ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, group_.query(io));
    OPCHANDLE h = 1;
    OPCITEMSTATE* states = nullptr;
    HRESULT* errors = nullptr;
    EXPECT_EQ(E_FAIL, io->Read(OPC_DS_DEVICE, 1, &h, &states, &errors));
    EXPECT_EQ(nullptr, states);
}

TEST_F(OtherDriver, NoDriverBrowsesAnEmptySpace) {
    ASSERT_NO_FATAL_FAILURE(Install(nullptr));
    auto box = std::async(std::launch::async,
                          [] { return testsupport::WaitForMessageBox("Velmora OPC Server", 30000); });
    ASSERT_EQ(S_OK, CreateServer(server_));
    ASSERT_TRUE(box.get().has_value());

    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, server_.query(browse));
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_FALSE, browse->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, names.put())) << "nothing to list";
    LPOLESTR name = nullptr;
    ULONG fetched = 99;
    EXPECT_EQ(S_FALSE, names->Next(1, &name, &fetched));
    EXPECT_EQ(0u, fetched);
    CoTaskMemFree(name);
}

}  // namespace
