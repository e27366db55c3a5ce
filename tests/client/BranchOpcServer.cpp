// An out-of-process OPC server with a hierarchical address space, for the
// client's tests:
//
//   root ── A ── a1
//        │    └─ B ── b1
//        └─ top
//
// Item IDs are the dotted paths ("A.a1", "A.B.b1", "top"); every item is a
// VT_I4 counter that goes up by one every 200 ms while its group is active.
//
//   branch_opc_server.exe /RegServer     registers ProgID and class, then ends
//   branch_opc_server.exe /UnregServer   removes both again
//   branch_opc_server.exe [-Embedding]   serves until the last object is
//                                         released, two minutes at the most
#include "ClassFactory.h"
#include "ComObject.h"
#include "ComPtr.h"
#include "OpcInterfaces.h"
#include "TaskMem.h"

#include <cwchar>
#include <set>
#include <string>
#include <vector>

namespace {

// {79281836-E365-43AF-A279-1C0BDE8E6A65}
const CLSID kClsid = {0x79281836, 0xe365, 0x43af, {0xa2, 0x79, 0x1c, 0x0b, 0xde, 0x8e, 0x6a, 0x65}};
constexpr const wchar_t* kProgId = L"Velmora.BranchTest.1";
constexpr const wchar_t* kDescription = L"Velmora branch test server";
constexpr UINT kTickMs = 200;

DWORD g_mainThread = 0;
const UINT g_streamFormat = RegisterClipboardFormatA(OPC_STREAM_FORMAT_DATATIME);

// Every object of ours keeps the process alive; the last one going ends it.
class ProcessReference {
public:
    ProcessReference() { CoAddRefServerProcess(); }
    ~ProcessReference() {
        if (CoReleaseServerProcess() == 0) PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0);
    }
    ProcessReference(const ProcessReference&) = delete;
    ProcessReference& operator=(const ProcessReference&) = delete;
};

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

class StringEnum final : public fw::ComObject<StringEnum, IEnumString> {
public:
    explicit StringEnum(std::vector<std::wstring> names, ULONG pos = 0) : names_(std::move(names)), pos_(pos) {}

    // Fewer names than asked for answer S_FALSE with the count fetched; the
    // standard marshaller takes S_OK for "all of them".
    STDMETHODIMP Next(ULONG celt, LPOLESTR* out, ULONG* fetched) override {
        if (!out || (celt > 1 && !fetched)) return E_INVALIDARG;
        ULONG n = 0;
        for (; n < celt && pos_ < names_.size(); ++n, ++pos_) {
            out[n] = fw::TaskMemString(names_[pos_].c_str()).release();
            if (!out[n]) {
                while (n) CoTaskMemFree(out[--n]);
                if (fetched) *fetched = 0;
                return E_OUTOFMEMORY;
            }
        }
        for (ULONG i = n; i < celt; ++i) out[i] = nullptr;
        if (fetched) *fetched = n;
        return n == celt ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG celt) override {
        const ULONG left = static_cast<ULONG>(names_.size()) - pos_;
        pos_ += celt < left ? celt : left;
        return celt <= left ? S_OK : S_FALSE;
    }
    STDMETHODIMP Reset() override {
        pos_ = 0;
        return S_OK;
    }
    STDMETHODIMP Clone(IEnumString** out) override {
        if (!out) return E_POINTER;
        return fw::CreateInstance<StringEnum>(IID_IEnumString, reinterpret_cast<void**>(out), names_, pos_);
    }

private:
    ProcessReference process_;
    std::vector<std::wstring> names_;
    ULONG pos_;
};

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
        for (Item& item : items_)
            if (item.active) {
                ++item.value;
                item.time = now;
            }
        SendToAdvises();
    }

    // IOPCItemMgt
    STDMETHODIMP AddItems(DWORD count, OPCITEMDEF* defs, OPCITEMRESULT** results, HRESULT** errors) override {
        return Resolve(count, defs, true, results, errors);
    }
    STDMETHODIMP ValidateItems(DWORD count, OPCITEMDEF* defs, BOOL, OPCITEMRESULT** results,
                               HRESULT** errors) override {
        return Resolve(count, defs, false, results, errors);
    }
    STDMETHODIMP RemoveItems(DWORD count, OPCHANDLE* handles, HRESULT** errors) override {
        return ForEachHandle(count, handles, errors, [this](size_t index) { items_.erase(items_.begin() + index); });
    }
    STDMETHODIMP SetActiveState(DWORD count, OPCHANDLE* handles, BOOL active, HRESULT** errors) override {
        return ForEachHandle(count, handles, errors, [&](size_t index) { items_[index].active = active; });
    }
    STDMETHODIMP SetClientHandles(DWORD count, OPCHANDLE* handles, OPCHANDLE* clients, HRESULT** errors) override {
        if (!clients) return E_INVALIDARG;
        DWORD i = 0;
        return ForEachHandle(count, handles, errors, [&](size_t index) { items_[index].hClient = clients[i++]; });
    }
    STDMETHODIMP SetDatatypes(DWORD count, OPCHANDLE* handles, VARTYPE* types, HRESULT** errors) override {
        if (!types) return E_INVALIDARG;
        if (!errors) return E_INVALIDARG;
        *errors = nullptr;
        if (count == 0 || !handles) return E_INVALIDARG;
        auto codes = fw::TaskMemArray<HRESULT>(count);
        if (!codes) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            HRESULT hr = Find(handles[i]) ? S_OK : OPC_E_INVALIDHANDLE;
            if (SUCCEEDED(hr) && types[i] != VT_EMPTY && types[i] != VT_I4) hr = OPC_E_BADTYPE;
            codes.get()[i] = hr;
            if (FAILED(hr)) overall = S_FALSE;
        }
        *errors = codes.release();
        return overall;
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
        if (!values || !errors) return E_INVALIDARG;
        *values = nullptr;
        *errors = nullptr;
        if (count == 0 || !handles) return E_INVALIDARG;
        auto state = fw::TaskMemArray<OPCITEMSTATE>(count);
        auto codes = fw::TaskMemArray<HRESULT>(count);
        if (!state || !codes) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            const Item* item = Find(handles[i]);
            if (!item) {
                codes.get()[i] = OPC_E_INVALIDHANDLE;
                overall = S_FALSE;
                continue;
            }
            OPCITEMSTATE& s = state.get()[i];
            s.hClient = item->hClient;
            s.ftTimeStamp = item->time;
            s.wQuality = OPC_QUALITY_GOOD;
            s.vDataValue.vt = VT_I4;
            s.vDataValue.lVal = item->value;
        }
        *values = state.release();
        *errors = codes.release();
        return overall;
    }
    STDMETHODIMP Write(DWORD count, OPCHANDLE* handles, VARIANT* values, HRESULT** errors) override {
        if (!errors) return E_INVALIDARG;
        *errors = nullptr;
        if (count == 0 || !handles || !values) return E_INVALIDARG;
        auto codes = fw::TaskMemArray<HRESULT>(count);
        if (!codes) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            Item* item = Find(handles[i]);
            HRESULT hr = OPC_E_INVALIDHANDLE;
            if (item) {
                VARIANT converted;
                VariantInit(&converted);
                hr = VariantChangeType(&converted, &values[i], 0, VT_I4);
                if (SUCCEEDED(hr)) {
                    item->value = converted.lVal;
                    item->time = Now();
                } else {
                    hr = OPC_E_BADTYPE;
                }
            }
            codes.get()[i] = hr;
            if (FAILED(hr)) overall = S_FALSE;
        }
        *errors = codes.release();
        return overall;
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
    Item* Find(OPCHANDLE h) {
        for (Item& item : items_)
            if (item.hServer == h) return &item;
        return nullptr;
    }

    HRESULT Resolve(DWORD count, OPCITEMDEF* defs, bool add, OPCITEMRESULT** results, HRESULT** errors) {
        if (!results || !errors) return E_INVALIDARG;
        *results = nullptr;
        *errors = nullptr;
        if (count == 0 || !defs) return E_INVALIDARG;
        auto out = fw::TaskMemArray<OPCITEMRESULT>(count);
        auto codes = fw::TaskMemArray<HRESULT>(count);
        if (!out || !codes) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            HRESULT hr = S_OK;
            if (!IsItemId(defs[i].szItemID))
                hr = OPC_E_UNKNOWNITEMID;
            else if (defs[i].vtRequestedDataType != VT_EMPTY && defs[i].vtRequestedDataType != VT_I4)
                hr = OPC_E_BADTYPE;
            codes.get()[i] = hr;
            if (FAILED(hr)) {
                overall = S_FALSE;
                continue;
            }
            OPCITEMRESULT& r = out.get()[i];
            r.hServer = add ? nextItemHandle_++ : 0;
            r.vtCanonicalDataType = VT_I4;
            r.dwAccessRights = OPC_READABLE | OPC_WRITEABLE;
            if (add) items_.push_back({defs[i].szItemID, r.hServer, defs[i].hClient, defs[i].bActive, 0, Now()});
        }
        *results = out.release();
        *errors = codes.release();
        return overall;
    }

    template <class Action>
    HRESULT ForEachHandle(DWORD count, const OPCHANDLE* handles, HRESULT** errors, Action action) {
        if (!errors) return E_INVALIDARG;
        *errors = nullptr;
        if (count == 0 || !handles) return E_INVALIDARG;
        auto codes = fw::TaskMemArray<HRESULT>(count);
        if (!codes) return E_OUTOFMEMORY;
        HRESULT overall = S_OK;
        for (DWORD i = 0; i < count; ++i) {
            size_t index = 0;
            while (index < items_.size() && items_[index].hServer != handles[i]) ++index;
            if (index == items_.size()) {
                codes.get()[i] = OPC_E_INVALIDHANDLE;
                overall = S_FALSE;
            } else {
                action(index);
            }
        }
        *errors = codes.release();
        return overall;
    }

    // Group header, one 20-byte entry per active item, then each value as
    // the 16-byte VARIANT image (type word, three reserved words, 8 data bytes).
    HGLOBAL Stream() const {
        std::vector<const Item*> active;
        for (const Item& item : items_)
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
        if (advises_.empty() || items_.empty()) return;
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

    ProcessReference process_;
    std::wstring name_;
    OPCHANDLE hServer_;
    OPCHANDLE hClient_;
    BOOL active_;
    DWORD rate_;
    LONG bias_;
    FLOAT deadband_;
    DWORD lcid_;
    std::vector<Item> items_;
    OPCHANDLE nextItemHandle_ = 1;
    std::vector<Advise> advises_;
    DWORD nextConnection_ = 1;
    bool sending_ = false;
};

void CALLBACK TickGroups(HWND, UINT, UINT_PTR, DWORD) {
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
    Server() {
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
        if (!hServerGroup || !revisedRate || !out) return E_INVALIDARG;
        *out = nullptr;
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
        s->szVendorInfo = fw::TaskMemString(kDescription).release();
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
        const bool any = !names.empty();
        const HRESULT hr = fw::CreateInstance<StringEnum>(IID_IEnumString, reinterpret_cast<void**>(out), names);
        return FAILED(hr) ? hr : any ? S_OK : S_FALSE;
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
    const Node& Position() const {
        const Node* node = &Root();
        for (const std::wstring& part : path_) node = Child(*node, part.c_str(), true);
        return *node;
    }

    ProcessReference process_;
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

HRESULT CreateServer(REFIID iid, void** out) { return fw::CreateInstance<Server>(iid, out); }

// --- registration ----------------------------------------------------------

std::wstring ClsidText() {
    wchar_t text[64] = {};
    StringFromGUID2(kClsid, text, 64);
    return text;
}

LONG SetValue(const std::wstring& key, const std::wstring& value) {
    HKEY h = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &h, nullptr);
    if (rc != ERROR_SUCCESS) return rc;
    rc = RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
    return rc;
}

int Register() {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    const std::wstring progId = kProgId;
    const std::wstring clsidKey = L"CLSID\\" + ClsidText();
    const LONG results[] = {
        SetValue(progId, kDescription),
        SetValue(progId + L"\\CLSID", ClsidText()),
        SetValue(progId + L"\\OPC", L""),
        SetValue(clsidKey, kDescription),
        SetValue(clsidKey + L"\\LocalServer32", L"\"" + std::wstring(path) + L"\""),
        SetValue(clsidKey + L"\\ProgID", progId),
    };
    for (LONG rc : results)
        if (rc != ERROR_SUCCESS) return 10;
    return 0;
}

int Unregister() {
    int failed = 0;
    for (const std::wstring& key : {std::wstring(kProgId), L"CLSID\\" + ClsidText()}) {
        const LONG rc = RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
        if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) failed = 11;
        RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
    }
    return failed;
}

int Serve() {
    g_mainThread = GetCurrentThreadId();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 3;
    fw::ComPtr<IClassFactory> factory;
    factory.attach(new fw::ClassFactory(CreateServer));
    DWORD cookie = 0;
    if (FAILED(CoRegisterClassObject(kClsid, factory.get(), CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie))) {
        CoUninitialize();
        return 4;
    }
    SetTimer(nullptr, 0, kTickMs, TickGroups);
    // Never outlive a test run that forgot us.
    const UINT_PTR guard = SetTimer(nullptr, 0, 120000, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.wParam == guard && !msg.lParam) break;
        DispatchMessageW(&msg);
    }
    CoRevokeClassObject(cookie);
    factory.reset();
    CoUninitialize();
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int mode = 0;  // 0 serve, 1 register, 2 unregister
    for (int i = 1; i < argc; ++i) {
        const wchar_t* arg = argv[i];
        if (*arg == L'/' || *arg == L'-') ++arg;
        if (_wcsicmp(arg, L"RegServer") == 0) mode = 1;
        if (_wcsicmp(arg, L"UnregServer") == 0) mode = 2;
    }
    LocalFree(argv);
    if (mode == 1) return Register();
    if (mode == 2) return Unregister();
    return Serve();
}
