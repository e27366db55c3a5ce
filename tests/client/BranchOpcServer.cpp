// An out-of-process OPC server with a hierarchical address space, for the
// client's tests:
//
//   root ── A ── a1
//        │    └─ B ── b1
//        └─ top
//
// Item IDs are the dotted paths ("A.a1", "A.B.b1", "top"); every item is a
// VT_I4 in the cache, 0 until it is written ("top" refuses writes, values
// above 1000 are clamped).  Two more items are not in the browsed space:
// "text", a VT_BSTR, and "array", a one-dimensional VT_ARRAY|VT_R8, empty
// until written, whose values the whole server process shares, so that
// what one client writes another reads back.  Groups accept advises but send no streams.  A second class, "Velmora.RefusingTest.1", serves the same address space
// but refuses every AddGroup, as a server out of resources would.  A third,
// "Velmora.CallbackTest.1", has groups of the OPC DA 2.0 kind only: no
// IDataObject, an IOPCDataCallback connection point, IOPCAsyncIO2.  They
// call the callback with every value written, and with all their items on
// Refresh2 (quality "Bad: last known value" for "top", good otherwise).
// "Velmora.DyingTest.1" is the same again, for the tests that kill it.
// Every server object offers IOPCShutdown, and announces its end to its
// clients when asked for a group named "ShutdownNow".
//
//   branch_opc_server.exe /RegServer     registers both ProgIDs and classes, then ends
//   branch_opc_server.exe /UnregServer   removes them again
//   branch_opc_server.exe [-refuse|-callback|-dying] [-Embedding]
//                                         serves the branch (or the refusing,
//                                         or the callback) class until the last object is
//                                         released, two minutes at the most
#include "ClassRegistration.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "ConnectionPoint.h"
#include "NotImplemented.h"
#include "OpcInterfaces.h"
#include "ServerProcess.h"
#include "StringEnumerator.h"
#include "TaskMem.h"
#include "TestGroup.h"

#include <cwchar>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using testserver::NotImplemented;

const testserver::LocalServerClass kBranchClass = {
    // {79281836-E365-43AF-A279-1C0BDE8E6A65}
    {0x79281836, 0xe365, 0x43af, {0xa2, 0x79, 0x1c, 0x0b, 0xde, 0x8e, 0x6a, 0x65}},
    L"Velmora.BranchTest.1",
    L"Velmora branch test server",
    L""};
const testserver::LocalServerClass kRefusingClass = {
    // {A4BA2C17-C270-46BC-A564-5A925758C9B0}
    {0xa4ba2c17, 0xc270, 0x46bc, {0xa5, 0x64, 0x5a, 0x92, 0x57, 0x58, 0xc9, 0xb0}},
    L"Velmora.RefusingTest.1",
    L"Velmora refusing test server",
    L"-refuse"};
const testserver::LocalServerClass kCallbackClass = {
    // {5B1D2E6A-8C0F-4E52-9D3B-7A61C4F0E2D9}
    {0x5b1d2e6a, 0x8c0f, 0x4e52, {0x9d, 0x3b, 0x7a, 0x61, 0xc4, 0xf0, 0xe2, 0xd9}},
    L"Velmora.CallbackTest.1",
    L"Velmora callback test server",
    L"-callback"};
// The callback class again, for the tests that kill its server.
const testserver::LocalServerClass kDyingClass = {
    // {5B1D2E6A-8C0F-4E52-9D3B-7A61C4F0E2DA}
    {0x5b1d2e6a, 0x8c0f, 0x4e52, {0x9d, 0x3b, 0x7a, 0x61, 0xc4, 0xf0, 0xe2, 0xda}},
    L"Velmora.DyingTest.1",
    L"Velmora dying test server",
    L"-dying"};
const UINT g_streamFormat = RegisterClipboardFormatA(OPC_STREAM_FORMAT_DATATIME);

// --- address space -------------------------------------------------------

struct Node {
    const wchar_t* name;
    bool branch;
    std::vector<Node> children;
};

const Node& Root() {
    static const Node root{L"", true,
                           {Node{L"A", true, {Node{L"a1", false, {}}, Node{L"B", true, {Node{L"b1", false, {}}}}}},
                            Node{L"top", false, {}}}};
    return root;
}

const Node* Child(const Node& parent, const wchar_t* name, bool branch) {
    for (const Node& child : parent.children)
        if (child.branch == branch && std::wcscmp(child.name, name) == 0) return &child;
    return nullptr;
}

std::wstring Joined(const std::vector<std::wstring>& path, const wchar_t* last = nullptr) {
    std::wstring id;
    for (const std::wstring& part : path) id += (id.empty() ? L"" : L".") + part;
    if (last) id += (id.empty() ? L"" : L".") + std::wstring(last);
    return id;
}

void CollectLeafIds(const Node& node, std::vector<std::wstring>& path, std::vector<std::wstring>& out) {
    for (const Node& child : node.children) {
        if (child.branch) {
            path.push_back(child.name);
            CollectLeafIds(child, path, out);
            path.pop_back();
        } else {
            out.push_back(Joined(path, child.name));
        }
    }
}

std::vector<std::wstring> AllItemIds() {
    std::vector<std::wstring> path, ids;
    CollectLeafIds(Root(), path, ids);
    return ids;
}

// The items whose values every group of the process shares, with their
// canonical types.
struct SharedItem {
    const wchar_t* id;
    VARTYPE type;
};
constexpr SharedItem kSharedItems[] = {{L"text", VT_BSTR}, {L"array", VT_ARRAY | VT_R8}};

const SharedItem* FindSharedItem(const std::wstring& id) {
    for (const SharedItem& shared : kSharedItems)
        if (id == shared.id) return &shared;
    return nullptr;
}

// The shared item's value: an empty string or array until written.
VARIANT& SharedValue(const SharedItem& shared) {
    static VARIANT values[ARRAYSIZE(kSharedItems)];
    VARIANT& value = values[&shared - kSharedItems];
    if (value.vt == VT_EMPTY) {
        if (shared.type == VT_BSTR) {
            value.bstrVal = SysAllocString(L"");
        } else {
            value.parray = SafeArrayCreateVector(shared.type & VT_TYPEMASK, 0, 0);
        }
        value.vt = shared.type;
    }
    return value;
}

bool IsItemId(const wchar_t* id) {
    if (!id) return false;
    if (FindSharedItem(id)) return true;
    for (const std::wstring& known : AllItemIds())
        if (known == id) return true;
    return false;
}

// --- groups ----------------------------------------------------------------

struct Item {
    std::wstring id;
    OPCHANDLE hServer;
    OPCHANDLE hClient;
    BOOL active;
    LONG value;
    FILETIME time;
};

FILETIME Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return now;
}

VARTYPE TypeOfItem(const Item& item) {
    const SharedItem* shared = FindSharedItem(item.id);
    return shared ? shared->type : static_cast<VARTYPE>(VT_I4);
}

// The item's value into an empty VARIANT, which the caller then owns.
HRESULT PutValue(const Item& item, VARIANT& value) {
    if (const SharedItem* shared = FindSharedItem(item.id)) return VariantCopy(&value, &SharedValue(*shared));
    value.vt = VT_I4;
    value.lVal = item.value;
    return S_OK;
}

// A written string or array kept whole (a string with its embedded NULs);
// a value of another type is refused.
HRESULT StoreShared(const SharedItem& shared, const VARIANT& value) {
    if (value.vt != shared.type) return OPC_E_BADTYPE;
    return VariantCopy(&SharedValue(shared), const_cast<VARIANT*>(&value));
}

class Group final : public testserver::TestGroup<Group, Item, IDataObject> {
public:
    using TestGroup::TestGroup;

    // The items are VT_I4 values (and the shared ones their own), read from
    // the cache.
    static HRESULT Lookup(const OPCITEMDEF& def, OPCITEMRESULT& result, Item& item) {
        if (!IsItemId(def.szItemID)) return OPC_E_UNKNOWNITEMID;
        item.id = def.szItemID;
        const VARTYPE type = TypeOfItem(item);
        if (def.vtRequestedDataType != VT_EMPTY && def.vtRequestedDataType != type) return OPC_E_BADTYPE;
        result.vtCanonicalDataType = type;
        result.dwAccessRights = OPC_READABLE | OPC_WRITEABLE;
        item.time = Now();
        return S_OK;
    }
    HRESULT Fill(const Item& item, OPCDATASOURCE, OPCITEMSTATE& state) {
        state.hClient = item.hClient;
        state.ftTimeStamp = item.time;
        state.wQuality = OPC_QUALITY_GOOD;
        return PutValue(item, state.vDataValue);
    }
    VARTYPE TypeOf(const Item& item) { return TypeOfItem(item); }
    // "top" is read-only, and values above 1000 are kept as 1000.
    HRESULT Store(Item& item, const VARIANT& value) {
        if (item.id == L"top") return OPC_E_BADRIGHTS;
        if (const SharedItem* shared = FindSharedItem(item.id)) {
            item.time = Now();
            return StoreShared(*shared, value);
        }
        item.value = value.lVal > 1000 ? 1000 : value.lVal;
        item.time = Now();
        return value.lVal > 1000 ? OPC_S_CLAMP : S_OK;
    }

    // IDataObject: advises for the OPC 1.0 data stream with time stamps are
    // taken and given back, except by groups whose name starts "Refused".
    STDMETHODIMP GetData(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC* format) override {
        if (!format) return E_INVALIDARG;
        if (format->cfFormat != g_streamFormat) return DV_E_FORMATETC;
        if (!(format->tymed & TYMED_HGLOBAL)) return DV_E_TYMED;
        return S_OK;
    }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        if (out) out->ptd = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC** out) override { return NotImplemented(out); }
    STDMETHODIMP DAdvise(FORMATETC* format, DWORD, IAdviseSink* sink, DWORD* connection) override {
        if (!format || !sink || !connection) return E_INVALIDARG;
        const HRESULT hr = QueryGetData(format);
        if (hr != S_OK) return hr;
        if (state_.name.compare(0, 7, L"Refused") == 0) return CONNECT_E_ADVISELIMIT;
        advises_.insert(nextConnection_);
        *connection = nextConnection_++;
        return S_OK;
    }
    STDMETHODIMP DUnadvise(DWORD connection) override {
        return advises_.erase(connection) ? S_OK : OLE_E_NOCONNECTION;
    }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override {
        NotImplemented(out);
        return OLE_E_ADVISENOTSUPPORTED;
    }

private:
    std::set<DWORD> advises_;
    DWORD nextConnection_ = 1;
};

// An OPC DA 2.0 group: values reach the client only through its data
// callback, which is called on this (the server's) thread.  The string
// item's value is the process's: a write of it is a change for every group
// of the process that holds it, so each of them calls its callback.
class CallbackGroup final
    : public testserver::TestGroup<CallbackGroup, Item, IConnectionPointContainer, IOPCAsyncIO2> {
public:
    explicit CallbackGroup(testserver::GroupState state) : TestGroup(std::move(state)) {
        point_.attach(new fw::ConnectionPoint<IOPCDataCallback>(this, 1));
        Living().insert(this);
    }
    ~CallbackGroup() override {
        Living().erase(this);
        point_->Detach();
    }

    static HRESULT Lookup(const OPCITEMDEF& def, OPCITEMRESULT& result, Item& item) {
        return Group::Lookup(def, result, item);
    }
    HRESULT Fill(const Item& item, OPCDATASOURCE, OPCITEMSTATE& state) {
        state.hClient = item.hClient;
        state.ftTimeStamp = item.time;
        state.wQuality = QualityOf(item);
        return PutValue(item, state.vDataValue);
    }
    VARTYPE TypeOf(const Item& item) { return TypeOfItem(item); }
    HRESULT Store(Item& item, const VARIANT& value) {
        item.time = Now();
        const SharedItem* shared = FindSharedItem(item.id);
        if (!shared) {
            item.value = value.lVal;
            Send(0, {&item});
            return S_OK;
        }
        const HRESULT stored = StoreShared(*shared, value);
        if (FAILED(stored)) return stored;
        // A copy: a client's callback may release a group on the way.
        const std::set<CallbackGroup*> groups = Living();
        for (CallbackGroup* group : groups)
            if (Living().count(group)) group->SendSharedItems();
        return S_OK;
    }

    // IConnectionPointContainer
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override { return NotImplemented(out); }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IOPCDataCallback)) return CONNECT_E_NOCONNECTION;
        return point_->QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(out));
    }

    // IOPCAsyncIO2: a refresh of every item, answered before the call returns.
    STDMETHODIMP Read(DWORD, OPCHANDLE*, DWORD, DWORD*, HRESULT** errors) override { return NotImplemented(errors); }
    STDMETHODIMP Write(DWORD, OPCHANDLE*, VARIANT*, DWORD, DWORD*, HRESULT** errors) override {
        return NotImplemented(errors);
    }
    STDMETHODIMP Refresh2(OPCDATASOURCE, DWORD transaction, DWORD* cancelId) override {
        if (!cancelId) return E_INVALIDARG;
        *cancelId = 1;
        if (!point_->HasSinks()) return CONNECT_E_NOCONNECTION;
        std::vector<const Item*> all;
        for (const Item& item : items_.items()) all.push_back(&item);
        Send(transaction, all);
        return S_OK;
    }
    STDMETHODIMP Cancel2(DWORD) override { return E_FAIL; }
    STDMETHODIMP SetEnable(BOOL) override { return S_OK; }
    STDMETHODIMP GetEnable(BOOL* enable) override {
        if (!enable) return E_INVALIDARG;
        *enable = TRUE;
        return S_OK;
    }

    // The overloads the IOPCSyncIO and IOPCAsyncIO2 methods of one name need.
    using TestGroup::Read;
    using TestGroup::Write;

private:
    static WORD QualityOf(const Item& item) { return item.id == L"top" ? 0x14 : OPC_QUALITY_GOOD; }

    static std::set<CallbackGroup*>& Living() {
        static std::set<CallbackGroup*> groups;
        return groups;
    }

    void SendSharedItems() {
        const fw::ComPtr<CallbackGroup> self(this);  // kept while its callback runs
        std::vector<const Item*> shared;
        for (const Item& item : items_.items())
            if (FindSharedItem(item.id)) shared.push_back(&item);
        Send(0, shared);
    }

    void Send(DWORD transaction, const std::vector<const Item*>& items) {
        if (items.empty()) return;
        std::vector<OPCHANDLE> handles;
        std::vector<VARIANT> values(items.size());
        std::vector<WORD> qualities;
        std::vector<FILETIME> times;
        std::vector<HRESULT> errors(items.size(), S_OK);
        for (size_t i = 0; i < items.size(); ++i) {
            handles.push_back(items[i]->hClient);
            VariantInit(&values[i]);
            errors[i] = PutValue(*items[i], values[i]);  // the item's error when its value cannot be made
            qualities.push_back(QualityOf(*items[i]));
            times.push_back(items[i]->time);
        }
        const DWORD n = static_cast<DWORD>(items.size());
        for (const auto& sink : point_->Sinks())
            sink->OnDataChange(transaction, state_.hClient, S_OK, S_OK, n, handles.data(), values.data(),
                               qualities.data(), times.data(), errors.data());
        for (VARIANT& value : values) VariantClear(&value);
    }

    fw::ComPtr<fw::ConnectionPoint<IOPCDataCallback>> point_;
};

// --- server object ---------------------------------------------------------

class Server final
    : public fw::ComObject<Server, IOPCServer, IOPCBrowseServerAddressSpace, IConnectionPointContainer> {
public:
    explicit Server(const testserver::LocalServerClass& served) : served_(served) {
        started_ = Now();
        shutdown_.attach(new fw::ConnectionPoint<IOPCShutdown>(this, 0));
    }
    ~Server() override { shutdown_->Detach(); }

    // IConnectionPointContainer: IOPCShutdown.
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override { return NotImplemented(out); }
    STDMETHODIMP FindConnectionPoint(REFIID iid, IConnectionPoint** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!IsEqualIID(iid, IID_IOPCShutdown)) return CONNECT_E_NOCONNECTION;
        return shutdown_->QueryInterface(IID_IConnectionPoint, reinterpret_cast<void**>(out));
    }

    // IOPCServer
    STDMETHODIMP AddGroup(LPCWSTR name, BOOL active, DWORD rate, OPCHANDLE hClientGroup, LONG* bias, FLOAT* deadband,
                          DWORD lcid, OPCHANDLE* hServerGroup, DWORD* revisedRate, REFIID iid,
                          LPUNKNOWN* out) override {
        if (out) *out = nullptr;
        if (Refuses()) return E_FAIL;
        if (!hServerGroup || !revisedRate || !out) return E_INVALIDARG;
        std::wstring groupName = name ? name : L"";
        // A group of this name makes the server announce its end.
        if (groupName == L"ShutdownNow") {
            for (const auto& sink : shutdown_->Sinks()) sink->ShutdownRequest(L"asked by the test");
            return E_FAIL;
        }
        if (groupName.empty()) {
            // A name of our own, unique among this server's groups.
            for (unsigned n = 1; groupName.empty() || NameTaken(groupName); ++n)
                groupName = L"_Group" + std::to_wstring(n);
        } else if (NameTaken(groupName)) {
            return OPC_E_DUPLICATENAME;
        }
        const DWORD revised = rate < 100 ? 100 : rate;
        const OPCHANDLE handle = nextGroupHandle_++;
        const testserver::GroupState state{groupName, revised, active, bias ? *bias : 0, deadband ? *deadband : 0.0f,
                                           lcid, hClientGroup, handle};
        GroupEntry entry;
        if (&served_ == &kCallbackClass || &served_ == &kDyingClass)
            entry.second.attach(new (std::nothrow) CallbackGroup(state));
        else
            entry.first.attach(new (std::nothrow) Group(state));
        if (!entry.first && !entry.second) return E_OUTOFMEMORY;
        const HRESULT hr = Query(entry, iid, out);
        if (FAILED(hr)) return hr;
        groups_.push_back(std::move(entry));
        *hServerGroup = handle;
        *revisedRate = revised;
        return revised == rate ? S_OK : OPC_S_UNSUPPORTEDRATE;
    }
    STDMETHODIMP GetErrorString(HRESULT, LCID, LPWSTR* text) override { return NotImplemented(text); }
    STDMETHODIMP GetGroupByName(LPCWSTR name, REFIID iid, LPUNKNOWN* out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (!name) return E_INVALIDARG;
        for (const auto& group : groups_)
            if (State(group).name == name) return Query(group, iid, out);
        return E_INVALIDARG;
    }
    STDMETHODIMP GetStatus(OPCSERVERSTATUS** status) override {
        if (!status) return E_INVALIDARG;
        *status = nullptr;
        auto s = fw::TaskMemArray<OPCSERVERSTATUS>(1);
        if (!s) return E_OUTOFMEMORY;
        s->ftStartTime = started_;
        s->ftCurrentTime = Now();
        s->dwServerState = OPC_STATUS_RUNNING;
        s->dwGroupCount = static_cast<DWORD>(groups_.size());
        s->dwBandWidth = 0xFFFFFFFF;
        s->wMajorVersion = 1;
        s->szVendorInfo = fw::TaskMemString(served_.description).release();
        if (!s->szVendorInfo) return E_OUTOFMEMORY;
        *status = s.release();
        return S_OK;
    }
    STDMETHODIMP RemoveGroup(OPCHANDLE handle, BOOL) override {
        for (auto it = groups_.begin(); it != groups_.end(); ++it)
            if (State(*it).hServer == handle) {
                groups_.erase(it);
                return S_OK;
            }
        return E_INVALIDARG;
    }
    STDMETHODIMP CreateGroupEnumerator(OPCENUMSCOPE, REFIID, LPUNKNOWN* out) override { return NotImplemented(out); }

    // IOPCBrowseServerAddressSpace
    STDMETHODIMP QueryOrganization(OPCNAMESPACETYPE* type) override {
        if (!type) return E_INVALIDARG;
        *type = OPC_NS_HIERARCHIAL;
        return S_OK;
    }
    STDMETHODIMP ChangeBrowsePosition(OPCBROWSEDIRECTION direction, LPCWSTR name) override {
        switch (direction) {
        case OPC_BROWSE_UP:
            if (path_.empty()) return E_FAIL;
            path_.pop_back();
            return S_OK;
        case OPC_BROWSE_DOWN:
            if (!name) return E_INVALIDARG;
            if (!Child(Position(), name, true)) return E_FAIL;
            path_.push_back(name);
            return S_OK;
        default: return E_INVALIDARG;
        }
    }
    // Branches or leaves at the browse position; filters are not needed.
    STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR, VARTYPE, DWORD, LPENUMSTRING* out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (type != OPC_BRANCH && type != OPC_LEAF) return E_INVALIDARG;
        std::vector<std::wstring> names;
        for (const Node& child : Position().children)
            if (child.branch == (type == OPC_BRANCH)) names.push_back(child.name);
        return testserver::EnumerateNames(std::move(names), out);
    }
    // A child's name gives its dotted path; so does the name of the branch we
    // stand in, which is how a client names a branch after moving into it.
    STDMETHODIMP GetItemID(LPWSTR name, LPWSTR* itemId) override {
        if (!name || !itemId) return E_INVALIDARG;
        *itemId = nullptr;
        std::wstring id;
        const Node& here = Position();
        if (Child(here, name, false) || Child(here, name, true))
            id = Joined(path_, name);
        else if (!path_.empty() && path_.back() == name)
            id = Joined(path_);
        else
            return E_INVALIDARG;
        *itemId = fw::TaskMemString(id.c_str()).release();
        return *itemId ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP BrowseAccessPaths(LPCWSTR, LPENUMSTRING* out) override { return NotImplemented(out); }

private:
    bool Refuses() const { return &served_ == &kRefusingClass; }
    bool NameTaken(const std::wstring& name) const {
        for (const auto& group : groups_)
            if (State(group).name == name) return true;
        return false;
    }

    const Node& Position() const {
        const Node* node = &Root();
        for (const std::wstring& part : path_) node = Child(*node, part.c_str(), true);
        return *node;
    }

    // A group of either kind; one of the two is set.
    using GroupEntry = std::pair<fw::ComPtr<Group>, fw::ComPtr<CallbackGroup>>;
    static const testserver::GroupState& State(const GroupEntry& group) {
        return group.first ? group.first->state() : group.second->state();
    }
    static HRESULT Query(const GroupEntry& group, REFIID iid, LPUNKNOWN* out) {
        return group.first ? group.first->QueryInterface(iid, reinterpret_cast<void**>(out))
                           : group.second->QueryInterface(iid, reinterpret_cast<void**>(out));
    }

    fw::ComPtr<fw::ConnectionPoint<IOPCShutdown>> shutdown_;
    testserver::ProcessReference process_;
    const testserver::LocalServerClass& served_;
    FILETIME started_{};
    std::vector<GroupEntry> groups_;
    OPCHANDLE nextGroupHandle_ = 1;
    std::vector<std::wstring> path_;  // browse position: branch names from the root
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool registering = false, unregistering = false, refusing = false, callback = false, dying = false;
    for (int i = 1; i < argc; ++i) {
        const wchar_t* arg = argv[i];
        if (*arg == L'/' || *arg == L'-') ++arg;
        registering |= _wcsicmp(arg, L"RegServer") == 0;
        unregistering |= _wcsicmp(arg, L"UnregServer") == 0;
        refusing |= _wcsicmp(arg, L"refuse") == 0;
        callback |= _wcsicmp(arg, L"callback") == 0;
        dying |= _wcsicmp(arg, L"dying") == 0;
    }
    LocalFree(argv);
    if (registering || unregistering) {
        bool failed = false;
        for (const testserver::LocalServerClass* served : {&kBranchClass, &kRefusingClass, &kCallbackClass, &kDyingClass})
            failed |= FAILED(registering ? testserver::RegisterLocalServer(*served)
                                         : testserver::UnregisterLocalServer(*served));
        return failed ? (registering ? 10 : 11) : 0;
    }

    const testserver::LocalServerClass& served = refusing   ? kRefusingClass
                                                 : callback ? kCallbackClass
                                                 : dying    ? kDyingClass
                                                            : kBranchClass;
    testserver::ServedClass serving;
    serving.clsid = served.clsid;
    serving.create = [&served](REFIID iid, void** out) { return fw::CreateInstance<Server>(iid, out, served); };
    return testserver::Serve(serving);
}
