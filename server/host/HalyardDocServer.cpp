// IOPCServer of the server object: groups, their threads and handles,
// status and error texts.
#include "HalyardDoc.h"

#include "ComPtr.h"
#include "Enumerator.h"
#include "Group.h"
#include "HResult.h"
#include "HalyardApp.h"
#include "TaskMem.h"
#include "TaskMemResults.h"
#include "TextConversion.h"
#include "WorkerThread.h"

#include <cwchar>
#include <memory>
#include <new>

struct CHalyardDoc::GroupStart {
    CHalyardDoc* doc;
    GroupSettings settings;
    HRESULT result = E_FAIL;
    CGroup* group = nullptr;
};

namespace {

// Generated group names: the driver label's first characters and a number.
constexpr size_t kLabelPrefixLength = 25;
constexpr int kMaxGeneratedNames = 99;

constexpr const wchar_t* kVendorText = L"Velmora";

// The server's one error text, with the code as a signed decimal.
constexpr const wchar_t* kErrorTextFormat =
    L"\x041D\x0443 \x0432\x044B, \x0431\x043B\x0438\x043D, \x0434\x0430\x0435\x0442\x0435! "
    L"\x041E\x0448\x0438\x0431\x043A\x0430 %d!";

}  // namespace

bool CHalyardDoc::GroupNameInUse(const std::wstring& name) const {
    return FindGroupByName(name.c_str(), nullptr) == S_OK;
}

CGroup* CHalyardDoc::LastGroup() const {
    CGroup* group = m_pFirstGroup;
    while (group && group->m_pNext) group = group->m_pNext;
    return group;
}

std::wstring CHalyardDoc::GenerateGroupName() const {
    const std::string prefix = TheApp().m_scadaLabel.substr(0, kLabelPrefixLength);
    for (int n = 1; n <= kMaxGeneratedNames; ++n) {
        const std::wstring candidate = AnsiToWide((prefix + std::to_string(n)).c_str());
        if (!GroupNameInUse(candidate)) return candidate;
    }
    return std::wstring();
}

DWORD WINAPI CHalyardDoc::GroupThread(void* param) {
    auto* start = static_cast<GroupStart*>(param);
    start->doc->RunGroupThread(*start);
    return 0;
}

void CHalyardDoc::RunGroupThread(GroupStart& start) {
    const HRESULT init = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);  // the queue must exist before we signal

    // While the creator waits on the event, the group list is ours alone.
    // Each listed group keeps a thread: one client's groups are bounded
    // (ServerBudget), counted from here to RemoveGroup.
    CGroup* group = nullptr;
    if (GroupNameInUse(start.settings.name)) {
        start.result = OPC_E_DUPLICATENAME;
    } else if (!m_budget.groups.Take()) {
        start.result = E_OUTOFMEMORY;
    } else if (!(group = new (std::nothrow) CGroup)) {
        m_budget.groups.Give();
        start.result = E_OUTOFMEMORY;
    } else {
        CGroup** link = &m_pFirstGroup;
        while (*link) link = &(*link)->m_pNext;
        *link = group;
        OPCHANDLE handle = ++m_lastGroupHandle;
        for (bool taken = true; taken;) {
            taken = false;
            for (CGroup* g = m_pFirstGroup; g; g = g->m_pNext)
                if (g != group && g->ServerHandle() == handle) taken = true;
            if (taken) handle = ++m_lastGroupHandle;
        }
        start.settings.hServerGroup = handle;
        group->Initialize(start.settings, this);
        start.group = group;
        start.result = S_OK;
    }
    const bool serving = start.result == S_OK;
    SetEvent(m_hGroupEvent.get());
    if (serving) {
        while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (SUCCEEDED(init)) CoUninitialize();
}

STDMETHODIMP CHalyardDoc::AddGroup(LPCWSTR szName, BOOL bActive, DWORD dwRequestedUpdateRate, OPCHANDLE hClientGroup,
                                   LONG* pTimeBias, FLOAT* pPercentDeadband, DWORD dwLCID,
                                   OPCHANDLE* phServerGroup, DWORD* pRevisedUpdateRate, REFIID riid,
                                   LPUNKNOWN* ppUnk) {
    if (!phServerGroup || !ppUnk) return E_INVALIDARG;
    *ppUnk = nullptr;
    if (m_closing || m_closeRequested) return E_FAIL;

    GroupSettings settings;
    settings.name = szName ? szName : L"";
    settings.active = bActive;
    settings.updateRate = dwRequestedUpdateRate;
    settings.hClientGroup = hClientGroup;
    settings.timeBias = pTimeBias ? *pTimeBias : 0;
    settings.percentDeadband = pPercentDeadband ? *pPercentDeadband : 0.0f;
    settings.lcid = dwLCID;
    CGroup* group = nullptr;
    RETURN_IF_FAILED(CreateGroup(std::move(settings), &group));

    *phServerGroup = group->ServerHandle();
    if (pRevisedUpdateRate) *pRevisedUpdateRate = group->Settings().updateRate;
    // A group the client cannot take still exists: the interface is the
    // client's choice, the group is not undone.
    return group->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
}

HRESULT CHalyardDoc::CreateGroup(GroupSettings settings, CGroup** created) {
    *created = nullptr;
    if (settings.name.size() > kMaxGroupName) return E_INVALIDARG;
    if (settings.name.empty()) {
        settings.name = GenerateGroupName();
        if (settings.name.empty()) return E_FAIL;
    }

    auto start = std::make_unique<GroupStart>();
    start->doc = this;
    start->settings = std::move(settings);

    ResetEvent(m_hGroupEvent.get());
    DWORD threadId = 0;
    fw::UniqueHandle thread(CreateWorkerThread(kGroupThreadStack, GroupThread, start.get(), 0, &threadId));
    if (!thread) return E_OUTOFMEMORY;
    // The thread as well as its signal: a thread that ends before it
    // signals (it could not start COM, say) must fail the call, not hang
    // the main thread for ever.  When both are set the event comes first.
    const HANDLE waits[] = {m_hGroupEvent.get(), thread.get()};
    const DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (woke != WAIT_OBJECT_0) {
        // Should the wait itself fail, the thread may still read its start
        // block: that block is left to it rather than freed under it.
        if (woke != WAIT_OBJECT_0 + 1) static_cast<void>(start.release());
        return E_FAIL;
    }

    if (start->result != S_OK) {
        WaitForSingleObject(thread.get(), INFINITE);  // it ends right after signalling a failure
        return start->result;
    }
    CGroup* group = start->group;
    if (!group || group != LastGroup()) return E_FAIL;
    group->AttachThread(std::move(thread), threadId);
    *created = group;
    return S_OK;
}

HRESULT CHalyardDoc::CloneGroup(CGroup& source, const wchar_t* name, REFIID riid, LPUNKNOWN* ppUnk) {
    if (m_closing || m_closeRequested) return E_FAIL;
    // The copy starts inactive, with its own handle and, when none is
    // given, a generated name.
    GroupSettings settings = source.Settings();
    settings.name = name ? name : L"";
    settings.active = FALSE;
    settings.hServerGroup = 0;
    CGroup* clone = nullptr;
    RETURN_IF_FAILED(CreateGroup(std::move(settings), &clone));
    const HRESULT copied = clone->CopyItemsFrom(source);
    if (FAILED(copied)) {
        RemoveGroup(clone->ServerHandle(), TRUE);
        return copied;
    }
    return clone->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
}

STDMETHODIMP CHalyardDoc::GetErrorString(HRESULT dwError, LCID, LPWSTR* ppString) {
    if (!ppString) return E_INVALIDARG;
    wchar_t text[128];
    std::swprintf(text, 128, kErrorTextFormat, static_cast<int>(dwError));
    *ppString = fw::TaskMemString(text).release();
    return *ppString ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CHalyardDoc::GetGroupByName(LPCWSTR szName, REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_INVALIDARG;
    *ppUnk = nullptr;
    CGroup* group = nullptr;
    if (FindGroupByName(szName, &group) != S_OK) return E_FAIL;
    return group->QueryInterface(riid, reinterpret_cast<void**>(ppUnk));
}

STDMETHODIMP CHalyardDoc::GetStatus(OPCSERVERSTATUS** ppServerStatus) {
    if (!ppServerStatus) return E_INVALIDARG;
    *ppServerStatus = nullptr;
    auto status = fw::TaskMemArray<OPCSERVERSTATUS>(1);
    if (!status) return E_OUTOFMEMORY;
    DWORD groups = 0;
    for (CGroup* g = m_pFirstGroup; g; g = g->m_pNext) ++groups;
    OPCSERVERSTATUS& s = *status;
    s.ftStartTime = m_startTime;
    CoFileTimeNow(&s.ftCurrentTime);
    s.ftLastUpdateTime = m_startTime;
    s.dwServerState = OPC_STATUS_RUNNING;
    s.dwGroupCount = groups;
    s.dwBandWidth = 0xFFFFFFFF;
    s.wMajorVersion = 1;
    s.wMinorVersion = 1;
    s.wBuildNumber = 11;
    s.wReserved = 0;
    s.szVendorInfo = fw::TaskMemString(kVendorText).release();
    if (!s.szVendorInfo) return E_OUTOFMEMORY;
    *ppServerStatus = status.release();
    return S_OK;
}

STDMETHODIMP CHalyardDoc::RemoveGroup(OPCHANDLE hServerGroup, BOOL bForce) {
    CGroup** link = &m_pFirstGroup;
    while (*link && (*link)->ServerHandle() != hServerGroup) link = &(*link)->m_pNext;
    if (!*link) return E_FAIL;
    CGroup* group = *link;

    fw::ComPtr<IOPCItemMgt> items;
    if (SUCCEEDED(group->QueryInterface(IID_IOPCItemMgt, items.put_void()))) {
        while (CItem* first = group->FirstItem()) {
            OPCHANDLE handle = first->ServerHandle();
            fw::TaskMemPtr<HRESULT> errors;
            const HRESULT hr = items->RemoveItems(1, &handle, fw::OutPtr(errors));
            const HRESULT itemResult = errors ? errors.get()[0] : E_FAIL;
            if (FAILED(hr)) return hr;
            if (itemResult != S_OK) return S_FALSE;
        }
    }
    items.reset();

    // Asked not to force it while the client still holds the group: the
    // group leaves the server all the same (its name and handle are free,
    // its subscriptions end, its calls fail), and the object itself goes
    // with the client's last reference.  The answer says it is still held.
    const bool held = !bForce && group->HeldByClients();
    *link = group->m_pNext;
    group->m_pNext = nullptr;
    group->Shutdown();
    m_budget.groups.Give();
    // The list's reference; clients may still hold theirs.
    fw::ComPtr<IUnknown> listReference;
    listReference.attach(group->Identity());
    return held ? OPC_S_INUSE : S_OK;
}

STDMETHODIMP CHalyardDoc::CreateGroupEnumerator(OPCENUMSCOPE dwScope, REFIID riid, LPUNKNOWN* ppUnk) {
    if (!ppUnk) return E_INVALIDARG;
    *ppUnk = nullptr;
    bool withConnectionsOnly = false;
    switch (dwScope) {
    case OPC_ENUM_PRIVATE_CONNECTIONS:
    case OPC_ENUM_ALL_CONNECTIONS:
        withConnectionsOnly = true;
        break;
    case OPC_ENUM_PRIVATE:
    case OPC_ENUM_ALL:
        break;
    case OPC_ENUM_PUBLIC_CONNECTIONS:
    case OPC_ENUM_PUBLIC:
        // There are no public groups: the enumerator is empty.
        break;
    default:
        return E_INVALIDARG;
    }
    const bool publicOnly = dwScope == OPC_ENUM_PUBLIC || dwScope == OPC_ENUM_PUBLIC_CONNECTIONS;
    std::vector<CGroup*> groups;
    try {
        if (!publicOnly)
            for (CGroup* g = m_pFirstGroup; g; g = g->m_pNext)
                if (!withConnectionsOnly || g->HasSubscriptions()) groups.push_back(g);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    HRESULT hr = E_NOINTERFACE;
    try {
        if (IsEqualIID(riid, IID_IEnumString)) {
            std::vector<std::wstring> names;
            for (CGroup* g : groups) names.push_back(g->Name());
            hr = fw::MakeEnumerator<IEnumString>(std::move(names), riid, reinterpret_cast<void**>(ppUnk));
        } else if (IsEqualIID(riid, IID_IEnumUnknown)) {
            std::vector<fw::ComPtr<IUnknown>> objects;
            for (CGroup* g : groups) objects.emplace_back(g->Identity());
            hr = fw::MakeEnumerator<IEnumUnknown>(std::move(objects), riid, reinterpret_cast<void**>(ppUnk));
        }
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // An empty enumerator is still handed out; S_FALSE says it is empty.
    if (SUCCEEDED(hr) && groups.empty()) return S_FALSE;
    return hr;
}
