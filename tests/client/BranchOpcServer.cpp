// An out-of-process OPC server with a hierarchical address space, for the
// client's tests:
//
//   root ── A ── a1
//        │    └─ B ── b1
//        └─ top
//
// Item IDs are the dotted paths ("A.a1", "A.B.b1", "top"); every item is a
// VT_I4 counter that goes up by one every 200 ms while its group is active.
// A second class, "Velmora.RefusingTest.1", serves the same address space
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
#include "ItemList.h"
#include "OpcInterfaces.h"
#include "ServerProcess.h"
#include "StringEnumerator.h"
#include "TaskMem.h"

#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

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
constexpr UINT kTickMs = 200;

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

// '*' any run, '?' one character; an empty filter matches everything.
bool Matches(const wchar_t* name, const wchar_t* filter) {
    if (!filter || !*filter) return true;
    if (*filter == L'*') return Matches(name, filter + 1) || (*name && Matches(name + 1, filter));
    if (!*name) return false;
    return (*filter == L'?' || *filter == *name) && Matches(name + 1, filter + 1);
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

struct Advise {
    DWORD connection;
    fw::ComPtr<IAdviseSink> sink;
};

FILETIME Now() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return now;
}

class Group;
std::set<Group*>& LiveGroups() {
    static std::set<Group*> groups;
    return groups;
}

class Group final
    : public fw::ComObject<Group, IOPCItemMgt, IOPCGroupStateMgt, IOPCSyncIO, IDataObject> {
public:
    Group(std::wstring name, OPCHANDLE hServer, OPCHANDLE hClient, BOOL active, DWORD rate, LONG bias, FLOAT deadband,
          DWORD lcid)
        : name_(std::move(name)), hServer_(hServer), hClient_(hClient), active_(active), rate_(rate), bias_(bias),
          deadband_(deadband), lcid_(lcid) {
        LiveGroups().insert(this);
    }
    ~Group() override { LiveGroups().erase(this); }

    const std::wstring& name() const { return name_; }
    OPCHANDLE serverHandle() const { return hServer_; }

    // One tick: active items count up, and every advise gets one stream of
    // the group's active items.
    void Tick() {
        if (!active_ || sending_) return;
        const FILETIME now = Now();
        for (Item& item : items_.items())
            if (item.active) {
                ++item.value;
                item.time = now;
            }
        SendToAdvises();
    }

    // IOPCItemMgt
    STDMETHODIMP AddItems(DWORD count, OPCITEMDEF* defs, OPCITEMRESULT** results, HRESULT** errors) override {
        return items_.Resolve(count, defs, true, results, errors, Lookup);
    }
    STDMETHODIMP ValidateItems(DWORD count, OPCITEMDEF* defs, BOOL, OPCITEMRESULT** results,
                               HRESULT** errors) override {
        return items_.Resolve(count, defs, false, results, errors, Lookup);
    }
    STDMETHODIMP RemoveItems(DWORD count, OPCHANDLE* handles, HRESULT** errors) override {
        return items_.Remove(count, handles, errors);
    }
    STDMETHODIMP SetActiveState(DWORD count, OPCHANDLE* handles, BOOL active, HRESULT** errors) override {
        return items_.SetActive(count, handles, active, errors);
    }
    STDMETHODIMP SetClientHandles(DWORD count, OPCHANDLE* handles, OPCHANDLE* clients, HRESULT** errors) override {
        return items_.SetClientHandles(count, handles, clients, errors);
    }
    STDMETHODIMP SetDatatypes(DWORD count, OPCHANDLE* handles, VARTYPE* types, HRESULT** errors) override {
        if (!types) return E_INVALIDARG;
        return items_.ForEachHandle(count, handles, errors, [types](Item&, DWORD i) {
            return types[i] == VT_EMPTY || types[i] == VT_I4 ? S_OK : OPC_E_BADTYPE;
        });
    }
    STDMETHODIMP CreateEnumerator(REFIID, LPUNKNOWN* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    // IOPCGroupStateMgt
    STDMETHODIMP GetState(DWORD* rate, BOOL* active, LPWSTR* name, LONG* bias, FLOAT* deadband, DWORD* lcid,
                          OPCHANDLE* hClient, OPCHANDLE* hServer) override {
        if (!rate || !active || !name || !bias || !deadband || !lcid || !hClient || !hServer) return E_INVALIDARG;
        *name = fw::TaskMemString(name_.c_str()).release();
        if (!*name) return E_OUTOFMEMORY;
        *rate = rate_;
        *active = active_;
        *bias = bias_;
        *deadband = deadband_;
        *lcid = lcid_;
        *hClient = hClient_;
        *hServer = hServer_;
        return S_OK;
    }
    STDMETHODIMP SetState(DWORD* requested, DWORD* revised, BOOL* active, LONG* bias, FLOAT* deadband, DWORD* lcid,
                          OPCHANDLE* hClient) override {
        if (!revised) return E_INVALIDARG;
        if (requested) rate_ = *requested < 100 ? 100 : *requested;
        if (active) active_ = *active;
        if (bias) bias_ = *bias;
        if (deadband) deadband_ = *deadband;
        if (lcid) lcid_ = *lcid;
        if (hClient) hClient_ = *hClient;
        *revised = rate_;
        return S_OK;
    }
    STDMETHODIMP SetName(LPCWSTR name) override;
    STDMETHODIMP CloneGroup(LPCWSTR, REFIID, LPUNKNOWN* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

    // IOPCSyncIO: the cache holds the counters.
    STDMETHODIMP Read(OPCDATASOURCE, DWORD count, OPCHANDLE* handles, OPCITEMSTATE** values,
                      HRESULT** errors) override {
        return items_.Read(count, handles, values, errors, [](const Item& item, OPCITEMSTATE& state) {
            state.hClient = item.hClient;
            state.ftTimeStamp = item.time;
            state.wQuality = OPC_QUALITY_GOOD;
            state.vDataValue.vt = VT_I4;
            state.vDataValue.lVal = item.value;
            return S_OK;
        });
    }
    STDMETHODIMP Write(DWORD count, OPCHANDLE* handles, VARIANT* values, HRESULT** errors) override {
        return items_.Write(
            count, handles, values, errors, [](const Item&) { return VARTYPE(VT_I4); },
            [](Item& item, const VARIANT& value) {
                item.value = value.lVal;
                item.time = Now();
                return S_OK;
            });
    }

    // IDataObject: the OPC 1.0 data stream with time stamps, by advise or on
    // request.
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
        if (!format || !medium) return E_INVALIDARG;
        const HRESULT hr = QueryGetData(format);
        if (hr != S_OK) return hr;
        medium->tymed = TYMED_HGLOBAL;
        medium->hGlobal = Stream();
        medium->pUnkForRelease = nullptr;
        return medium->hGlobal ? S_OK : E_OUTOFMEMORY;
    }
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
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP DAdvise(FORMATETC* format, DWORD, IAdviseSink* sink, DWORD* connection) override {
        if (!format || !sink || !connection) return E_INVALIDARG;
        const HRESULT hr = QueryGetData(format);
        if (hr != S_OK) return hr;
        // The first stream goes out with the next tick: calling back from
        // inside DAdvise would reach the client while it waits for us.
        advises_.push_back({nextConnection_, fw::ComPtr<IAdviseSink>(sink)});
        *connection = nextConnection_++;
        return S_OK;
    }
    STDMETHODIMP DUnadvise(DWORD connection) override {
        for (auto it = advises_.begin(); it != advises_.end(); ++it)
            if (it->connection == connection) {
                advises_.erase(it);
                return S_OK;
            }
        return OLE_E_NOCONNECTION;
    }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** out) override {
        if (out) *out = nullptr;
        return OLE_E_ADVISENOTSUPPORTED;
    }

private:
    static HRESULT Lookup(const OPCITEMDEF& def, OPCITEMRESULT& result, Item& item) {
        if (!IsItemId(def.szItemID)) return OPC_E_UNKNOWNITEMID;
        if (def.vtRequestedDataType != VT_EMPTY && def.vtRequestedDataType != VT_I4) return OPC_E_BADTYPE;
        result.vtCanonicalDataType = VT_I4;
        result.dwAccessRights = OPC_READABLE | OPC_WRITEABLE;
        item.id = def.szItemID;
        item.time = Now();
        return S_OK;
    }

    // Group header, one 20-byte entry per active item, then each value as
    // the 16-byte VARIANT image (type word, three reserved words, 8 data bytes).
    HGLOBAL Stream() const {
        std::vector<const Item*> active;
        for (const Item& item : items_.items())
            if (item.active) active.push_back(&item);
        const DWORD n = static_cast<DWORD>(active.size());
        const DWORD size = 20 + 20 * n + 16 * n;
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, size);
        if (!block) return nullptr;
        auto* bytes = static_cast<BYTE*>(GlobalLock(block));
        const DWORD header[5] = {size, n, hClient_, 0, static_cast<DWORD>(S_OK)};
        memcpy(bytes, header, sizeof header);
        for (DWORD k = 0; k < n; ++k) {
            BYTE* entry = bytes + 20 + 20 * k;
            const DWORD valueOffset = 20 + 20 * n + 16 * k;
            const WORD quality = OPC_QUALITY_GOOD;
            memcpy(entry, &active[k]->hClient, 4);
            memcpy(entry + 4, &valueOffset, 4);
            memcpy(entry + 8, &quality, 2);
            memcpy(entry + 12, &active[k]->time, 8);
            const WORD type = VT_I4;
            memcpy(bytes + valueOffset, &type, 2);
            memcpy(bytes + valueOffset + 8, &active[k]->value, 4);
        }
        GlobalUnlock(block);
        return block;
    }

    void SendToAdvises() {
        if (advises_.empty() || items_.items().empty()) return;
        sending_ = true;
        // A sink may unadvise (or the group go) while we call it: work on a copy
        // and keep ourselves alive.
        fw::ComPtr<IOPCItemMgt> self(static_cast<IOPCItemMgt*>(this));
        const std::vector<Advise> advises = advises_;
        for (const Advise& advise : advises) {
            FORMATETC format = {static_cast<CLIPFORMAT>(g_streamFormat), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
            STGMEDIUM medium = {};
            medium.tymed = TYMED_HGLOBAL;
            medium.hGlobal = Stream();
            if (!medium.hGlobal) break;
            advise.sink->OnDataChange(&format, &medium);
            GlobalFree(medium.hGlobal);
        }
        sending_ = false;
    }

    testserver::ProcessReference process_;
    std::wstring name_;
    OPCHANDLE hServer_;
    OPCHANDLE hClient_;
    BOOL active_;
    DWORD rate_;
    LONG bias_;
    FLOAT deadband_;
    DWORD lcid_;
    testserver::ItemList<Item> items_;
    std::vector<Advise> advises_;
    DWORD nextConnection_ = 1;
    bool sending_ = false;
};

void TickGroups() {
    // Copy: a callback into a client may release a group.
    const std::set<Group*> groups = LiveGroups();
    for (Group* group : groups)
        if (LiveGroups().count(group)) group->Tick();
}

// --- server object ---------------------------------------------------------

class Server;
std::set<Server*>& LiveServers() {
    static std::set<Server*> servers;
    return servers;
}

class Server final : public fw::ComObject<Server, IOPCServer, IOPCBrowseServerAddressSpace> {
public:
    explicit Server(const testserver::LocalServerClass& served) : served_(served) {
        GetSystemTimeAsFileTime(&started_);
        LiveServers().insert(this);
    }
    ~Server() override { LiveServers().erase(this); }

    bool NameTaken(const std::wstring& name, const Group* except) const {
        for (const auto& group : groups_)
            if (group.get() != except && group->name() == name) return true;
        return false;
    }
    bool Owns(const Group* group) const {
        for (const auto& g : groups_)
            if (g.get() == group) return true;
        return false;
    }

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
            for (unsigned n = 1; groupName.empty() || NameTaken(groupName, nullptr); ++n)
                groupName = L"_Group" + std::to_wstring(n);
        } else if (NameTaken(groupName, nullptr)) {
            return OPC_E_DUPLICATENAME;
        }
        const DWORD revised = rate < 100 ? 100 : rate;
        const OPCHANDLE handle = nextGroupHandle_++;
        fw::ComPtr<Group> group;
        group.attach(new (std::nothrow) Group(groupName, handle, hClientGroup, active, revised, bias ? *bias : 0,
                                              deadband ? *deadband : 0.0f, lcid));
        if (!group) return E_OUTOFMEMORY;
        const HRESULT hr = group->QueryInterface(iid, reinterpret_cast<void**>(out));
        if (FAILED(hr)) return hr;
        groups_.push_back(group);
        *hServerGroup = handle;
        *revisedRate = revised;
        return revised == rate ? S_OK : OPC_S_UNSUPPORTEDRATE;
    }
    STDMETHODIMP GetErrorString(HRESULT error, LCID, LPWSTR* text) override {
        if (!text) return E_INVALIDARG;
        wchar_t buffer[48];
        std::swprintf(buffer, 48, L"Error 0x%08lX", static_cast<unsigned long>(error));
        *text = fw::TaskMemString(buffer).release();
        return *text ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP GetGroupByName(LPCWSTR name, REFIID iid, LPUNKNOWN* out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        if (!name) return E_INVALIDARG;
        for (const auto& group : groups_)
            if (group->name() == name) return group->QueryInterface(iid, reinterpret_cast<void**>(out));
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
            if ((*it)->serverHandle() == handle) {
                groups_.erase(it);
                return S_OK;
            }
        return E_INVALIDARG;
    }
    STDMETHODIMP CreateGroupEnumerator(OPCENUMSCOPE, REFIID, LPUNKNOWN* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

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
        case OPC_BROWSE_TO: {
            if (!name) return E_INVALIDARG;
            std::vector<std::wstring> target;
            const Node* node = &Root();
            std::wstring rest = name;
            while (!rest.empty()) {
                const size_t dot = rest.find(L'.');
                const std::wstring part = rest.substr(0, dot);
                node = Child(*node, part.c_str(), true);
                if (!node) return E_FAIL;
                target.push_back(part);
                rest = dot == std::wstring::npos ? std::wstring() : rest.substr(dot + 1);
            }
            path_ = target;
            return S_OK;
        }
        default: return E_INVALIDARG;
        }
    }
    STDMETHODIMP BrowseOPCItemIDs(OPCBROWSETYPE type, LPCWSTR filter, VARTYPE, DWORD, LPENUMSTRING* out) override {
        if (!out) return E_INVALIDARG;
        *out = nullptr;
        std::vector<std::wstring> names;
        const Node& here = Position();
        switch (type) {
        case OPC_BRANCH:
        case OPC_LEAF:
            for (const Node& child : here.children)
                if (child.branch == (type == OPC_BRANCH) && Matches(child.name, filter)) names.push_back(child.name);
            break;
        case OPC_FLAT: {
            std::vector<std::wstring> path = path_, ids;
            CollectLeafIds(here, path, ids);
            for (const std::wstring& id : ids)
                if (Matches(id.c_str(), filter)) names.push_back(id);
            break;
        }
        default: return E_INVALIDARG;
        }
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
    STDMETHODIMP BrowseAccessPaths(LPCWSTR, LPENUMSTRING* out) override {
        if (out) *out = nullptr;
        return E_NOTIMPL;
    }

private:
    bool Refuses() const { return &served_ == &kRefusingClass; }

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

STDMETHODIMP Group::SetName(LPCWSTR name) {
    if (!name || !*name) return E_INVALIDARG;
    for (Server* server : LiveServers())
        if (server->Owns(this) && server->NameTaken(name, this)) return OPC_E_DUPLICATENAME;
    name_ = name;
    return S_OK;
}

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
    serving.tickMs = kTickMs;
    serving.onTick = TickGroups;
    return testserver::Serve(serving);
}
