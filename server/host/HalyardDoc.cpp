#include "HalyardDoc.h"

#include "HalyardApp.h"
#include "ServerIdentity.h"
#include "TextConversion.h"
#include "ComPtr.h"
#include "Enumer.h"
#include "Group.h"
#include "HResult.h"
#include "Text.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

struct DriverRow {
    const char* file;
    const char* label;
};

// Tried in this order; the first library that loads and exports TarnMain is
// the document's driver.
constexpr DriverRow kDriverSearchList[] = {
    {"TARNWNISA.DLL", "Corvell"},
    {"TARNWNSIMUL.DLL", "Simulation"},
    {"TARNWNSTO.DLL", "Merrow"},
    {"OPCDAqel.dll", "Dunmere"},
    {"OPCQelStd.dll", "Corvell Std"},
};

constexpr const char* kNoDriverLabel = "No SCADA";
constexpr const char* kNoDriverText = "No interface library found!";
constexpr const char* kServerCaption = "Velmora OPC Server";

std::string RegistryDefault(HKEY root, const std::string& subKey) {
    char value[260] = {};
    DWORD size = sizeof value - 1;
    // RRF_RT_REG_SZ alone also accepts REG_EXPAND_SZ (expanded); asking for
    // REG_EXPAND_SZ without RRF_NOEXPAND is refused as an invalid parameter.
    if (RegGetValueA(root, subKey.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS)
        return std::string();
    return value;
}

}  // namespace

CHalyardDoc::CHalyardDoc() : m_resumeWindow(TheApp().Activation().NotifyWindow()) {
    TheApp().Lock();
    m_shutdownPoint.attach(new fw::ConnectionPoint<IOPCShutdown>(this, 0));
    m_points.Add(m_shutdownPoint);
}

CHalyardDoc::~CHalyardDoc() {
    m_tags.Clear();
    // The driver's context block outlives the document on purpose: a driver
    // may keep pointers into it, and the protocol gives it the process's life.
    TheApp().Unlock();
}

bool CHalyardDoc::OnNewDocument() {
    if (HasView()) ActivateFirstFrame();
    if (!fw::Document::OnNewDocument()) return false;

    GetSystemTimeAsFileTime(&m_startTime);
    m_pfnTarnMain = nullptr;
    m_tags.Clear();
    m_pFirstGroup = nullptr;
    m_lastGroupHandle = 0;
    // Private to this document: a system-wide name would let any program
    // (or another document) release AddGroup's wait early.
    m_hGroupEvent.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!m_hGroupEvent) return false;

    ReadServerDirectory();
    for (const DriverRow& row : kDriverSearchList) {
        if (m_pfnTarnMain) break;
        m_driverPath = m_serverDir + row.file;
        const HRESULT loaded = EnumerateTags(m_driverPath.c_str());
        m_label = row.label;
        // Only "none at all" reaches the person (the box below); why a
        // library on the list was passed over goes to the debugger.
        if (FAILED(loaded)) {
            char text[400];
            std::snprintf(text, sizeof text, "VELMORA_OPC: driver %s: 0x%08lX\n", m_driverPath.c_str(),
                          static_cast<unsigned long>(loaded));
            OutputDebugStringA(text);
        }
    }

    if (m_pfnTarnMain) {
        TheApp().m_scadaLabel = m_label;
    } else {
        m_label = kNoDriverLabel;
        TheApp().m_scadaLabel.clear();
        MessageBoxA(nullptr, kNoDriverText, kServerCaption, MB_ICONERROR | MB_OK);
    }
    // The label is the driver's ANSI text; the framework's titles are UTF-8.
    SetTitle(Title() + " - " + fw::Narrow(AnsiToWide(m_label.c_str())));
    return true;
}

void CHalyardDoc::ReadServerDirectory() {
    m_serverDir.clear();
    const std::string clsid = RegistryDefault(HKEY_CLASSES_ROOT, std::string(kServerProgId) + "\\CLSID");
    if (clsid.empty()) return;
    std::string path = RegistryDefault(HKEY_CLASSES_ROOT, "CLSID\\" + clsid + "\\LocalServer32");
    // A quoted registration ("C:\dir\server.exe" -x) names the same folder.
    if (!path.empty() && path[0] == '"') {
        const size_t close = path.find('"', 1);
        path = path.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    const size_t slash = path.find_last_of('\\');
    m_serverDir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

HRESULT CHalyardDoc::LoadDriver(const char* path) {
    // The library stays loaded for the process's life, like its context.
    HMODULE library = LoadLibraryA(path);
    if (!library) return HRESULT_FROM_WIN32(GetLastError());
    m_pfnTarnMain = reinterpret_cast<tarn::TarnMainProc>(
        reinterpret_cast<void*>(GetProcAddress(library, tarn::TarnEntryName)));
    if (!m_pfnTarnMain) return HRESULT_FROM_WIN32(GetLastError());

    tarn::TarnDriverInfo info{};
    tarn::TarnRequest request{nullptr, tarn::GetTarnInfo, 0, 0, &info};
    if (const DriverStatus rc{m_pfnTarnMain(&request)}; !Succeeded(rc)) return HResultFromDriverStatus(rc);

    m_pDriverContext = std::calloc(info.contextSize > 0 ? static_cast<size_t>(info.contextSize) : 1, 1);
    if (!m_pDriverContext) return E_OUTOFMEMORY;
    if (info.name) m_label = std::string(info.name).substr(0, 299);

    std::vector<char> coldStart(tarn::TarnColdStartDataSize, 0);
    tarn::TarnRequest start{m_pDriverContext, tarn::ColdStart, 0, 0, coldStart.data()};
    return HResultFromDriverStatus(DriverStatus{m_pfnTarnMain(&start)});
}

HRESULT CHalyardDoc::EnumerateTags(const char* path) {
    // A library that is no driver, or a driver that fails to start, fails
    // here; the caller tries the next of its list as long as none loaded.
    RETURN_IF_FAILED(LoadDriver(path));
    if (!m_pfnTarnMain) return E_FAIL;

    int32_t count = 0;
    tarn::TarnRequest countRequest{nullptr, tarn::OpcTagCount, 0, 0, &count};
    if (const DriverStatus rc{m_pfnTarnMain(&countRequest)}; !Succeeded(rc)) return HResultFromDriverStatus(rc);
    if (count < 1) return S_OK;

    std::unique_ptr<tarn::TarnTagRecord[]> records(new (std::nothrow) tarn::TarnTagRecord[count]());
    if (!records) return E_OUTOFMEMORY;
    tarn::TarnRequest listRequest{nullptr, tarn::OpcTagList, 0, count, records.get()};
    if (const DriverStatus rc{m_pfnTarnMain(&listRequest)}; !Succeeded(rc)) return HResultFromDriverStatus(rc);

    for (int32_t i = 0; i < count; ++i) {
        tarn::TarnTagRecord& record = records[i];
        // A driver that fills a text field to the brim still gets a terminator.
        record.name[tarn::TarnTextSize - 1] = '\0';
        record.address[tarn::TarnTextSize - 1] = '\0';
        // S_FALSE (an address the driver could not parse) still lists the tag.
        // Every tag is read as well as written: a client that honours the
        // rights must be able to read it.
        RETURN_IF_FAILED(CreateTag(record.name, OPC_READABLE | OPC_WRITEABLE, static_cast<VARTYPE>(record.type & 0xFFFF),
                                   record.address, kDeviceTag));
    }
    return S_OK;
}

HRESULT CHalyardDoc::CreateTag(const char* name, int32_t accessRights, VARTYPE canonicalType,
                               const char* address, int32_t ioMode) {
    auto* tag = new (std::nothrow) CRealItem;
    if (!tag) return E_OUTOFMEMORY;
    tag->m_name = AnsiToWide(name);
    if (!m_tags.Append(tag)) {
        delete tag;
        return E_OUTOFMEMORY;
    }
    tag->m_accessRights = accessRights;
    tag->m_canonicalType = canonicalType;
    tag->m_ioMode = ioMode;
    tag->m_pContext = this;
    if (!m_pfnTarnMain) return E_FAIL;

    std::strncpy(tag->m_address, address ? address : "", sizeof tag->m_address - 1);
    tarn::TarnAddress parse{};
    parse.address = tag->m_address;
    parse.reserved4 = 1;
    parse.type = tarn::TarnTypeFromVarType(canonicalType);
    parse.reserved12 = 1;
    tarn::TarnRequest request{m_pDriverContext, tarn::SingleAddressParser, 0, 0, &parse};
    if (m_pfnTarnMain(&request) != 0) return S_FALSE;
    tag->m_device = parse.device;
    tag->m_addressNumber = parse.number;
    tag->m_addressParam = parse.param;
    return S_OK;
}

DriverStatus CHalyardDoc::SendToDriver(tarn::TarnRequest& request) {
    // No driver answers like a driver that failed the request, and so does
    // one already inside a request on this thread (callers ask first).
    if (!m_pfnTarnMain || DriverHeldByThisThread()) return DriverStatus{static_cast<int32_t>(E_FAIL)};
    DriverLock& driver = TheApp().m_driverLock;
    fw::Lock lock(driver.lock);
    driver.owner = GetCurrentThreadId();
    const DriverStatus rc{m_pfnTarnMain(&request)};
    driver.owner = 0;
    return rc;
}

bool CHalyardDoc::DriverHeldByThisThread() const {
    // Only this thread can have set its own id there.
    return TheApp().m_driverLock.owner == GetCurrentThreadId();
}

CRealItem* CHalyardDoc::FindTag(const wchar_t* itemId) const { return m_tags.Find(itemId); }

HRESULT CHalyardDoc::FindGroupByName(const wchar_t* name, CGroup** out) const {
    if (!name) return E_FAIL;
    for (CGroup* group = m_pFirstGroup; group; group = group->m_pNext) {
        if (group->Name() == name) {
            if (out) *out = group;
            return S_OK;
        }
    }
    return E_FAIL;
}

void CHalyardDoc::RemoveTagEnumerator(CEnumer* enumerator) {
    m_tagEnumerators.erase(std::remove(m_tagEnumerators.begin(), m_tagEnumerators.end(), enumerator),
                           m_tagEnumerators.end());
}

void CHalyardDoc::WatchClient(DWORD pid) {
    const ServerActivation& activation = TheApp().Activation();
    m_clientWatch.Start(pid, activation.NotifyWindow(), ServerActivation::ClientGoneMessage());
}

void CHalyardDoc::ReleaseWorkerUse() {
    // After the count reaches 0 the document may be destroyed at once: the
    // window is read before.
    const HWND resume = m_resumeWindow;
    if (--m_workerUses == 0) PostMessageW(resume, ServerActivation::ResumeCloseMessage(), 0, 0);
}

void CHalyardDoc::EndModalCall() {
    if (--m_modalCalls == 0 && m_closeRequested)
        PostMessageW(m_resumeWindow, ServerActivation::ResumeCloseMessage(), 0, 0);
}

void CHalyardDoc::ResumeClose() {
    if (m_closeRequested && m_modalCalls == 0 && !m_closing) {
        m_closeRequested = false;
        OnCloseDocument();
        return;
    }
    if (m_closing && !m_destroying && m_workerUses == 0) {
        m_destroying = true;
        fw::Document::OnCloseDocument();  // destroys the windows and this object
    }
}

void CHalyardDoc::OnClientGone() {
    if (m_closing) return;
    m_clientGone = true;
    // The dead client's references would never be released (COM under Wine
    // never runs them down; on Windows the rundown finds them disconnected
    // and does nothing): its groups are cut loose like the object itself.
    for (CGroup* group = m_pFirstGroup; group; group = group->m_pNext) group->DisconnectClients();
    if (m_shutdownPoint) CoDisconnectObject(m_shutdownPoint->Identity(), 0);
    OnCloseDocument();
}

void CHalyardDoc::OnCloseDocument() {
    if (m_closing) return;
    // A call still on the stack below (a driver write whose box dispatched
    // this close) goes on using the document: the close follows its return.
    if (m_modalCalls > 0) {
        m_closeRequested = true;
        return;
    }
    m_closing = true;
    m_clientWatch.Stop();
    // Keep the object alive while its groups go: removing them releases
    // references that may be the last ones held by clients' group objects.
    // Its release below ends in OnFinalRelease, which does nothing while
    // closing: the object goes with the document, deleted by the close.
    fw::ComPtr<IUnknown> keepAlive(Identity());
    // Closed from its window, or by the program's end, while clients still
    // hold it: those who asked are told first, then all are cut off, so that
    // their next call fails instead of reaching a destroyed object.
    NotifyShutdown();
    m_points.DetachAll();
    if (!m_finalReleasing) CoDisconnectObject(Identity(), 0);
    while (m_pFirstGroup) {
        if (RemoveGroup(m_pFirstGroup->ServerHandle(), TRUE) != S_OK) break;
    }
    // Enumerators a client still holds outlive the tag table: they stop
    // enumerating, and those of a client cut off above are cut off as well.
    std::vector<CEnumer*> enumerators;
    enumerators.swap(m_tagEnumerators);
    for (CEnumer* enumerator : enumerators) enumerator->ServerClosed();
    if (!m_finalReleasing)
        for (CEnumer* enumerator : enumerators) CoDisconnectObject(enumerator->Identity(), 0);
    keepAlive.reset();
    // Subscriptions and requests were told to end; their threads may still
    // be inside a device read or a client's callback.  The document is
    // destroyed once the last of them lets go (ResumeClose), never waited for.
    ResumeClose();
}

void CHalyardDoc::OnFinalRelease() {
    // The reference OnCloseDocument holds while closing ends here as well:
    // the document is then being destroyed by its own close.
    if (m_closing) return;
    m_finalReleasing = true;
    OnCloseDocument();
}
