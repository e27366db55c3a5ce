// Browsing VELMORA_OPC's address space through the proxy: a flat list of the
// driver's tag names, handed out one name per IEnumString::Next call.
#include "ServerTest.h"

#include "TaskMem.h"

namespace {

using fw::ComPtr;

const std::vector<std::wstring> kSimulationTags = {L"Name0", L"Name1", L"Name2", L"Name3", L"Name4"};

// The text of a name the server handed out, which is freed here.
std::wstring Take(LPOLESTR name) {
    fw::TaskMemPtr<wchar_t> owner(name);
    return name ? std::wstring(name) : std::wstring(L"<null>");
}

// One Next(1) call: the name, or an empty text when none came.
std::wstring NextName(IEnumString* names, HRESULT* result = nullptr) {
    LPOLESTR name = nullptr;
    ULONG fetched = 0;
    const HRESULT hr = names->Next(1, &name, &fetched);
    if (result) *result = hr;
    const std::wstring text = Take(name);
    return fetched == 1 ? text : std::wstring();
}

// Every name from the enumerator's position on; the call that ended the
// walk must be S_FALSE with nothing fetched.
std::vector<std::wstring> RemainingNames(IEnumString* names) {
    std::vector<std::wstring> seen;
    for (size_t guard = 0; guard < 100; ++guard) {
        LPOLESTR name = nullptr;
        ULONG fetched = 99;
        const HRESULT hr = names->Next(1, &name, &fetched);
        if (hr != S_OK) {
            EXPECT_EQ(S_FALSE, hr);
            EXPECT_EQ(0u, fetched);
            Take(name);
            break;
        }
        EXPECT_EQ(1u, fetched);
        seen.push_back(Take(name));
    }
    return seen;
}

class Browse : public ServerTest {
protected:
    void SetUp() override {
        ServerTest::SetUp();
        ASSERT_EQ(S_OK, CreateServer(server_));
        ASSERT_EQ(S_OK, server_.query(browse_));
    }
    void TearDown() override {
        browse_.reset();
        server_.reset();
        ServerTest::TearDown();
    }
    HRESULT BrowseAll(ComPtr<IEnumString>& names, OPCBROWSETYPE type = OPC_FLAT) {
        return browse_->BrowseOPCItemIDs(type, L"", VT_EMPTY, 0, names.put());
    }
    ComPtr<IOPCServer> server_;
    ComPtr<IOPCBrowseServerAddressSpace> browse_;
};

TEST_F(Browse, FlatSpaceWithNowhereToMove) {
    OPCNAMESPACETYPE type = OPC_NS_HIERARCHIAL;
    ASSERT_EQ(S_OK, browse_->QueryOrganization(&type));
    EXPECT_EQ(OPC_NS_FLAT, type);

    for (const OPCBROWSEDIRECTION direction : {OPC_BROWSE_UP, OPC_BROWSE_DOWN, OPC_BROWSE_TO}) {
        for (const wchar_t* where : {L"", L"Name0", L"No.Such.Branch"}) {
            SCOPED_TRACE(testing::Message() << "direction " << direction << ", string \"" << where << '"');
            EXPECT_EQ(E_FAIL, browse_->ChangeBrowsePosition(direction, where));
        }
    }
    // A refused move leaves browsing as it was.
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, BrowseAll(names));
    EXPECT_EQ(kSimulationTags, RemainingNames(names.get()));
}

TEST_F(Browse, LeavesAreEveryTagInDriverOrderAndBranchesNone) {
    for (const OPCBROWSETYPE type : {OPC_LEAF, OPC_FLAT}) {
        SCOPED_TRACE(testing::Message() << "browse type " << type);
        ComPtr<IEnumString> names;
        ASSERT_EQ(S_OK, browse_->BrowseOPCItemIDs(type, L"", VT_EMPTY, 0, names.put()));
        ASSERT_TRUE(names);
        EXPECT_EQ(kSimulationTags, RemainingNames(names.get()));
    }
    ComPtr<IEnumString> branches;
    ASSERT_EQ(S_FALSE, browse_->BrowseOPCItemIDs(OPC_BRANCH, L"", VT_EMPTY, 0, branches.put())) << "a flat space";
    ASSERT_TRUE(branches);
    EXPECT_TRUE(RemainingNames(branches.get()).empty());

    // Every browsed name is an item ID the server accepts.
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, BrowseAll(names));
    const std::vector<std::wstring> browsed = RemainingNames(names.get());
    ComPtr<IUnknown> group;
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"Browsed", IID_IOPCItemMgt, group));
    std::vector<OPCHANDLE> handles;
    std::vector<HRESULT> errors;
    ASSERT_EQ(S_OK, AddItems(group.get(), browsed, handles, errors));
    EXPECT_EQ(std::vector<HRESULT>(browsed.size(), S_OK), errors);
}

TEST_F(Browse, NextGivesUpToTheNamesAskedFor) {
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, BrowseAll(names));
    // Fewer than asked is S_FALSE, with the count of those given.
    LPOLESTR batch[10] = {};
    ULONG fetched = 0;
    ASSERT_EQ(S_FALSE, names->Next(10, batch, &fetched));
    ASSERT_EQ(kSimulationTags.size(), fetched);
    for (ULONG i = 0; i < 10; ++i) {
        const std::wstring name = Take(batch[i]);
        if (i < fetched) {
            EXPECT_EQ(kSimulationTags[i], name);
        }
    }
    fetched = 99;
    EXPECT_EQ(S_FALSE, names->Next(10, batch, &fetched));
    EXPECT_EQ(0u, fetched);
    for (LPOLESTR name : batch) Take(name);
    // The end stays the end.
    fetched = 99;
    EXPECT_EQ(S_FALSE, names->Next(1, batch, &fetched));
    EXPECT_EQ(0u, fetched);
    Take(batch[0]);
}

TEST_F(Browse, NextWithoutCountOrAskingForNothing) {
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, BrowseAll(names));
    LPOLESTR name = nullptr;
    ASSERT_EQ(S_OK, names->Next(1, &name, nullptr));
    EXPECT_EQ(L"Name0", Take(name));

    // Zero names asked: all of none given, and the position stays.
    name = nullptr;
    ULONG fetched = 99;
    EXPECT_EQ(S_OK, names->Next(0, &name, &fetched));
    EXPECT_EQ(0u, fetched);
    Take(name);
    EXPECT_EQ(L"Name1", NextName(names.get()));
}

TEST_F(Browse, SkipResetAndCloneMoveThePosition) {
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, BrowseAll(names));
    EXPECT_EQ(S_OK, names->Skip(0));
    EXPECT_EQ(S_OK, names->Skip(2));
    EXPECT_EQ(L"Name2", NextName(names.get()));

    // The clone starts where the original stands and moves on its own.
    ComPtr<IEnumString> clone;
    ASSERT_EQ(S_OK, names->Clone(clone.put()));
    ASSERT_TRUE(clone);
    EXPECT_EQ(L"Name3", NextName(clone.get()));
    EXPECT_EQ(L"Name4", NextName(clone.get()));
    EXPECT_EQ(L"Name3", NextName(names.get())) << "the clone's reads moved the original";

    // Skipping past the end stops there and says so.
    EXPECT_EQ(S_FALSE, names->Skip(5));
    HRESULT hr = E_FAIL;
    EXPECT_EQ(L"", NextName(names.get(), &hr));
    EXPECT_EQ(S_FALSE, hr);
    EXPECT_EQ(S_FALSE, names->Skip(1)) << "nothing is left to skip";

    ASSERT_EQ(S_OK, names->Reset());
    EXPECT_EQ(kSimulationTags, RemainingNames(names.get()));
    EXPECT_EQ(S_OK, names->Reset());
    EXPECT_EQ(S_OK, names->Skip(5)) << "exactly the remaining names";
    EXPECT_EQ(L"", NextName(names.get(), &hr));
    EXPECT_EQ(S_FALSE, hr);

    // The original's Reset left the clone where it was: after Name4.
    EXPECT_EQ(L"", NextName(clone.get(), &hr));
    EXPECT_EQ(S_FALSE, hr);
    ASSERT_EQ(S_OK, clone->Reset());
    EXPECT_EQ(L"Name0", NextName(clone.get()));
}

TEST_F(Browse, EachEnumeratorAnswersOnlyItsKind) {
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, BrowseAll(names));
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, names->QueryInterface(IID_IEnumOPCItemAttributes, &p));
    EXPECT_EQ(nullptr, p);

    ComPtr<IUnknown> group;
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"Kinds", IID_IOPCItemMgt, group));
    ComPtr<IOPCItemMgt> items;
    ASSERT_EQ(S_OK, group.query(items));
    ComPtr<IUnknown> wrong;
    EXPECT_EQ(E_NOINTERFACE, items->CreateEnumerator(IID_IEnumString, wrong.put()));
    EXPECT_EQ(nullptr, wrong.get());
    ComPtr<IEnumOPCItemAttributes> attributes;
    ASSERT_EQ(S_OK, items->CreateEnumerator(IID_IEnumOPCItemAttributes, reinterpret_cast<LPUNKNOWN*>(attributes.put())));
    p = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, attributes->QueryInterface(IID_IEnumString, &p));
    EXPECT_EQ(nullptr, p);
}

TEST_F(Browse, EnumeratorKeepsTheServerObject) {
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, BrowseAll(names));
    browse_.reset();
    server_.reset();
    // The client's last server reference is gone, the enumerator's is not:
    // the document and its tags stay for it, and go with it.
    EXPECT_EQ(L"Name0", NextName(names.get()));
    EXPECT_EQ(std::vector<std::string>({"OPC Server1 - Simulation"}), ServerDocumentTitles());
    ComPtr<IEnumString> clone;
    ASSERT_EQ(S_OK, names->Clone(clone.put()));
    names.reset();
    EXPECT_EQ(L"Name1", NextName(clone.get()));
    clone.reset();
    // ServerTest::TearDown then sees the server process end.
}

TEST_F(Browse, EnumeratorOutlivingItsClosedDocumentFailsSafely) {
    ComPtr<IEnumString> names;
    ASSERT_EQ(S_OK, BrowseAll(names));
    EXPECT_EQ(L"Name0", NextName(names.get()));
    ComPtr<IOPCServer> other;
    ASSERT_EQ(S_OK, CreateServer(other));

    // The first document is closed from its window while the enumerator is
    // still held: its tags are gone, the enumerator must not reach them.
    HWND frame = ServerMainWindow();
    HWND client = frame ? FindWindowExA(frame, nullptr, "MDIClient", nullptr) : nullptr;
    HWND child = client ? FindWindowExA(client, nullptr, nullptr, "OPC Server1 - Simulation") : nullptr;
    ASSERT_NE(nullptr, child);
    SendMessageA(child, WM_CLOSE, 0, 0);
    HRESULT hr = S_OK;
    EXPECT_EQ(L"", NextName(names.get(), &hr));
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    names.reset();
    browse_.reset();
    server_.reset();

    // The server still serves its other client.
    ComPtr<IOPCBrowseServerAddressSpace> browse;
    ASSERT_EQ(S_OK, other.query(browse));
    ComPtr<IEnumString> more;
    ASSERT_EQ(S_OK, browse->BrowseOPCItemIDs(OPC_FLAT, L"", VT_EMPTY, 0, more.put()));
    EXPECT_EQ(kSimulationTags, RemainingNames(more.get()));
}

TEST_F(Browse, GetItemIdEchoesTheNameUnchecked) {
    for (const wchar_t* id : {L"No.Such.Tag", L"Name3", L""}) {
        SCOPED_TRACE(testing::Message() << '"' << id << '"');
        LPWSTR full = nullptr;
        ASSERT_EQ(S_OK, browse_->GetItemID(const_cast<LPWSTR>(id), &full));
        ASSERT_NE(nullptr, full);
        EXPECT_EQ(std::wstring(id), Take(full));
    }
}

TEST_F(Browse, AccessPathsAreNotImplemented) {
    IEnumString* paths = reinterpret_cast<IEnumString*>(1);
    EXPECT_EQ(E_NOTIMPL, browse_->BrowseAccessPaths(L"Name0", &paths));
    EXPECT_EQ(nullptr, paths);
}

}  // namespace
