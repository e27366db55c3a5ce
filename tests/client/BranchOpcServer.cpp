// An out-of-process OPC server with a hierarchical address space, for the
// client's tests:
//
//   root ── A ── a1
//        │    └─ B ── b1
//        └─ top
//
// Item IDs are the dotted paths ("A.a1", "A.B.b1", "top"); every item is a
// VT_I4 in the cache, 0 until it is written.  Groups accept advises but send
// no streams.  A second class, "Velmora.RefusingTest.1", serves the same address space
// but refuses every AddGroup, as a server out of resources would.
//
//   branch_opc_server.exe /RegServer     registers both ProgIDs and classes, then ends
//   branch_opc_server.exe /UnregServer   removes them again
//   branch_opc_server.exe [-refuse] [-Embedding]
//                                         serves the branch (or the refusing)
//                                         class until the last object is
//                                         released, two minutes at the most
#include "ClassRegistration.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "NotImplemented.h"
#include "OpcInterfaces.h"
#include "ServerProcess.h"
#include "StringEnumerator.h"
#include "TaskMem.h"
#include "TestGroup.h"

#include <cwchar>
#include <set>
#include <string>
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

bool IsItemId(const wchar_t* id) {
    if (!id) return false;
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

class Group final : public testserver::TestGroup<Group, Item, IDataObject> {
public:
    using TestGroup::TestGroup;

    // The items are VT_I4 values, read from the cache.
    static HRESULT Lookup(const OPCITEMDEF& def, OPCITEMRESULT& result, Item& item) {
        if (!IsItemId(def.szItemID)) return OPC_E_UNKNOWNITEMID;
        if (def.vtRequestedDataType != VT_EMPTY && def.vtRequestedDataType != VT_I4) return OPC_E_BADTYPE;
        result.vtCanonicalDataType = VT_I4;
        result.dwAccessRights = OPC_READABLE | OPC_WRITEABLE;
        item.id = def.szItemID;
        item.time = Now();
        return S_OK;
    }
    HRESULT Fill(const Item& item, OPCDATASOURCE, OPCITEMSTATE& state) {
        state.hClient = item.hClient;
        state.ftTimeStamp = item.time;
        state.wQuality = OPC_QUALITY_GOOD;
        state.vDataValue.vt = VT_I4;
        state.vDataValue.lVal = item.value;
        return S_OK;
    }
    VARTYPE TypeOf(const Item&) { return VT_I4; }
    HRESULT Store(Item& item, const VARIANT& value) {
        item.value = value.lVal;
        item.time = Now();
        return S_OK;
    }

    // IDataObject: advises for the OPC 1.0 data stream with time stamps are
    // taken and given back.
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

// --- server object ---------------------------------------------------------

class Server final : public fw::ComObject<Server, IOPCServer, IOPCBrowseServerAddressSpace> {
public:
    explicit Server(const testserver::LocalServerClass& served) : served_(served) { started_ = Now(); }

    // IOPCServer
    STDMETHODIMP AddGroup(LPCWSTR name, BOOL active, DWORD rate, OPCHANDLE hClientGroup, LONG* bias, FLOAT* deadband,
                          DWORD lcid, OPCHANDLE* hServerGroup, DWORD* revisedRate, REFIID iid,
                          LPUNKNOWN* out) override {
        if (out) *out = nullptr;
        if (Refuses()) return E_FAIL;
        if (!hServerGroup || !revisedRate || !out) return E_INVALIDARG;
        std::wstring groupName = name ? name : L"";
        if (groupName.empty()) {
            // A name of our own, unique among this server's groups.
            for (unsigned n = 1; groupName.empty() || NameTaken(groupName); ++n)
                groupName = L"_Group" + std::to_wstring(n);
        } else if (NameTaken(groupName)) {
            return OPC_E_DUPLICATENAME;
        }
        const DWORD revised = rate < 100 ? 100 : rate;
        const OPCHANDLE handle = nextGroupHandle_++;
        fw::ComPtr<Group> group;
        group.attach(new (std::nothrow) Group({groupName, revised, active, bias ? *bias : 0, deadband ? *deadband : 0.0f,
                                               lcid, hClientGroup, handle}));
        if (!group) return E_OUTOFMEMORY;
        const HRESULT hr = group->QueryInterface(iid, reinterpret_cast<void**>(out));
        if (FAILED(hr)) return hr;
        groups_.push_back(group);
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
            if (group->state().name == name) return group->QueryInterface(iid, reinterpret_cast<void**>(out));
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
            if ((*it)->state().hServer == handle) {
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
            if (group->state().name == name) return true;
        return false;
    }

    const Node& Position() const {
        const Node* node = &Root();
        for (const std::wstring& part : path_) node = Child(*node, part.c_str(), true);
        return *node;
    }

    testserver::ProcessReference process_;
    const testserver::LocalServerClass& served_;
    FILETIME started_{};
    std::vector<fw::ComPtr<Group>> groups_;
    OPCHANDLE nextGroupHandle_ = 1;
    std::vector<std::wstring> path_;  // browse position: branch names from the root
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool registering = false, unregistering = false, refusing = false;
    for (int i = 1; i < argc; ++i) {
        const wchar_t* arg = argv[i];
        if (*arg == L'/' || *arg == L'-') ++arg;
        registering |= _wcsicmp(arg, L"RegServer") == 0;
        unregistering |= _wcsicmp(arg, L"UnregServer") == 0;
        refusing |= _wcsicmp(arg, L"refuse") == 0;
    }
    LocalFree(argv);
    if (registering || unregistering) {
        bool failed = false;
        for (const testserver::LocalServerClass* served : {&kBranchClass, &kRefusingClass})
            failed |= FAILED(registering ? testserver::RegisterLocalServer(*served)
                                         : testserver::UnregisterLocalServer(*served));
        return failed ? (registering ? 10 : 11) : 0;
    }

    const testserver::LocalServerClass& served = refusing ? kRefusingClass : kBranchClass;
    testserver::ServedClass serving;
    serving.clsid = served.clsid;
    serving.create = [&served](REFIID iid, void** out) { return fw::CreateInstance<Server>(iid, out, served); };
    return testserver::Serve(serving);
}
