#include "ServerTest.h"

#include "Processes.h"
#include "Registration.h"
#include "TaskMem.h"

#include <atomic>
#include <cstdio>

HRESULT RegisterServerOnce() {
    static const HRESULT hr = [] {
        const int rc = testsupport::RunToEnd("\"" + testsupport::BinPath(kServerExe) + "\" /RegServer", 60000);
        return rc == 0 ? S_OK : E_FAIL;
    }();
    return hr;
}

std::vector<std::wstring> SimulationTags() { return {L"Name0", L"Name1", L"Name2", L"Name3", L"Name4"}; }

HRESULT ServerClsid(CLSID* clsid) { return CLSIDFromProgID(L"Velmora.VelmoraOPC.1", clsid); }

HRESULT CreateServer(fw::ComPtr<IOPCServer>& server) {
    CLSID clsid;
    const HRESULT hr = ServerClsid(&clsid);
    if (FAILED(hr)) return hr;
    return CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, server.put_void());
}

HRESULT AddGroup(IOPCServer* server, const wchar_t* name, REFIID iid, fw::ComPtr<IUnknown>& group,
                 OPCHANDLE* hServer, DWORD rate) {
    OPCHANDLE handle = 0;
    DWORD revised = 0;
    const HRESULT hr = server->AddGroup(name, TRUE, rate, 77, nullptr, nullptr, 0x409, &handle, &revised, iid,
                                        reinterpret_cast<LPUNKNOWN*>(group.put()));
    if (hServer) *hServer = handle;
    return hr;
}

HRESULT AddItems(IUnknown* group, const std::vector<std::wstring>& ids, std::vector<OPCHANDLE>& handles,
                 std::vector<HRESULT>& errors, std::vector<VARTYPE>* types) {
    fw::ComPtr<IOPCItemMgt> items;
    HRESULT hr = group->QueryInterface(IID_IOPCItemMgt, items.put_void());
    if (FAILED(hr)) return hr;
    std::vector<OPCITEMDEF> defs(ids.size());
    for (size_t i = 0; i < ids.size(); ++i) {
        defs[i].szAccessPath = const_cast<LPWSTR>(L"");
        defs[i].szItemID = const_cast<LPWSTR>(ids[i].c_str());
        defs[i].bActive = TRUE;
        defs[i].hClient = static_cast<OPCHANDLE>(100 + i);
    }
    OPCITEMRESULT* results = nullptr;
    HRESULT* codes = nullptr;
    hr = items->AddItems(static_cast<DWORD>(ids.size()), defs.data(), &results, &codes);
    handles.clear();
    errors.clear();
    if (types) types->clear();
    if (results && codes) {
        for (size_t i = 0; i < ids.size(); ++i) {
            handles.push_back(results[i].hServer);
            errors.push_back(codes[i]);
            if (types) types->push_back(results[i].vtCanonicalDataType);
            CoTaskMemFree(results[i].pBlob);
        }
    }
    CoTaskMemFree(results);
    CoTaskMemFree(codes);
    return hr;
}

HRESULT ReadGroupState(IUnknown* group, GroupState& out) {
    if (!group) return E_POINTER;
    fw::ComPtr<IOPCGroupStateMgt> state;
    HRESULT hr = group->QueryInterface(IID_IOPCGroupStateMgt, state.put_void());
    if (FAILED(hr)) return hr;
    LPWSTR name = nullptr;
    hr = state->GetState(&out.updateRate, &out.active, &name, &out.timeBias, &out.percentDeadband, &out.lcid,
                         &out.hClientGroup, &out.hServerGroup);
    fw::TaskMemPtr<wchar_t> owner(name);
    out.name = name ? name : L"<null>";
    return hr;
}

std::wstring GroupName(IUnknown* group) {
    GroupState state;
    return SUCCEEDED(ReadGroupState(group, state)) ? state.name : L"<failed>";
}

namespace {
BOOL CALLBACK FindMainWindow(HWND hwnd, LPARAM param) {
    char text[256] = {};
    GetWindowTextA(hwnd, text, sizeof text);
    if (std::string(text).rfind("Velmora OPC Server", 0) == 0 && !GetParent(hwnd)) {
        *reinterpret_cast<HWND*>(param) = hwnd;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND ServerMainWindow() {
    HWND found = nullptr;
    EnumWindows(FindMainWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

std::vector<std::string> ServerDocumentTitles() {
    std::vector<std::string> titles;
    HWND frame = ServerMainWindow();
    if (!frame) return titles;
    HWND client = FindWindowExA(frame, nullptr, "MDIClient", nullptr);
    for (HWND child = client ? GetWindow(client, GW_CHILD) : nullptr; child; child = GetWindow(child, GW_HWNDNEXT)) {
        char text[256] = {};
        GetWindowTextA(child, text, sizeof text);
        titles.push_back(text);
    }
    return titles;
}

HWND ServerDocumentWindow(const std::string& title) {
    HWND frame = ServerMainWindow();
    HWND client = frame ? FindWindowExA(frame, nullptr, "MDIClient", nullptr) : nullptr;
    return client ? FindWindowExA(client, nullptr, nullptr, title.c_str()) : nullptr;
}

namespace {

// Ends the running server processes; what was waiting in a call to them gets
// an error back.
void EndServer() {
    for (int tries = 0; tries < 5; ++tries) {
        const DWORD pid = testsupport::FindProcessId(kServerExe);
        if (!pid) return;
        const fw::UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
        if (!process || !TerminateProcess(process.get(), 1)) return;
        WaitForSingleObject(process.get(), 5000);
    }
}

// Runs body with the calling thread in the multithreaded apartment.
void RunInMta(const std::function<void()>& body) {
    const testsupport::ComScope mta(COINIT_MULTITHREADED);
    if (SUCCEEDED(mta.result()))
        body();
    else
        ADD_FAILURE() << "no multithreaded apartment: " << std::hex << mta.result();
}

}  // namespace

void RunBounded(DWORD timeoutMs, const std::function<void()>& body) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        RunInMta(body);
        done = true;
    });
    const auto finished = [&] { return done.load(); };
    if (!testsupport::PumpUntil(finished, timeoutMs)) {
        ADD_FAILURE() << "the test did not finish within " << timeoutMs
                      << " ms; the server is ended so that the calls waiting on it return";
        EndServer();
        if (!testsupport::PumpUntil(finished, 60000)) {
            // Not even the server's end freed it: a hang of the test program
            // itself, which must not keep the whole run waiting.
            std::fprintf(stderr, "the test is still stuck after the server ended; the test program stops here\n");
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 3);
        }
    }
    worker.join();
}

MtaThread::MtaThread(std::function<void()> body)
    : thread_([body = std::move(body)] { RunInMta(body); }) {}

void MtaThread::Join() {
    if (thread_.joinable()) thread_.join();
}

bool ClientProcess::Start(const std::string& mode, DWORD timeoutMs) {
    // A name of its own for every start: a signal left from an earlier
    // client can never be taken for this one's.
    static std::atomic<int> starts{0};
    const std::string eventName =
        "VelmoraClientReady" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++starts);
    const fw::UniqueHandle ready(CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
    if (!ready) return false;
    std::string line = "\"" + testsupport::BinPath("subscriber_client.exe") + "\" " + eventName;
    if (!mode.empty()) line += " " + mode;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    process_.reset(pi.hProcess);
    const fw::UniqueHandle thread(pi.hThread);  // only the process is waited on
    const HANDLE waits[] = {ready.get(), process_.get()};
    return WaitForMultipleObjects(2, waits, FALSE, timeoutMs) == WAIT_OBJECT_0;
}

bool ClientProcess::Kill() {
    if (!process_) return true;
    TerminateProcess(process_.get(), 1);  // fails when it has ended already
    const bool gone = WaitForSingleObject(process_.get(), 5000) == WAIT_OBJECT_0;
    process_.reset();
    return gone;
}

int ClientProcess::WaitForExit(DWORD timeoutMs) {
    DWORD code = 0;
    if (!process_ || WaitForSingleObject(process_.get(), timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process_.get(), &code))
        return -1;
    return static_cast<int>(code);
}

void ServerTest::SetUp() {
    ASSERT_HRESULT_SUCCEEDED(com_.result());
    ASSERT_HRESULT_SUCCEEDED(RegisterServerOnce());
}

void ServerTest::TearDown() {
    // Each test starts from a fresh server process: the simulation's running
    // number and the document numbering begin again.
    EXPECT_TRUE(testsupport::WaitForNoProcess(kServerExe, 15000)) << "the server did not end";
}

void DriverCopyTest::Install(const char* mode) {
    const std::string dir = scratch_.path();
    ASSERT_TRUE(CopyFileA(testsupport::BinPath(kServerExe).c_str(), (dir + kServerExe).c_str(), FALSE));
    ASSERT_TRUE(
        CopyFileA(testsupport::BinPath("VELMORA_OPCPS.dll").c_str(), (dir + "VELMORA_OPCPS.dll").c_str(), FALSE));
    if (mode) {
        ASSERT_TRUE(
            CopyFileA(testsupport::BinPath("test_driver.dll").c_str(), (dir + "TARNWNISA.DLL").c_str(), FALSE));
        scratch_.WriteFile("TESTDRIVER.TXT", mode);
    }
    ASSERT_EQ(0, testsupport::RunToEnd("\"" + dir + kServerExe + "\" /RegServer", 60000));
    registeredCopy_ = true;
}

void DriverCopyTest::TearDown() {
    ServerTest::TearDown();
    if (registeredCopy_) {
        // Under a loaded Wine session a start now and then fails outright;
        // the registration itself is what matters to the next test.
        int rc = -1;
        for (int attempt = 0; attempt < 3 && rc != 0; ++attempt)
            rc = testsupport::RunToEnd("\"" + testsupport::BinPath(kServerExe) + "\" /RegServer", 60000);
        EXPECT_EQ(0, rc);
    }
}

void SimulationGroupTest::SetUp() {
    ServerTest::SetUp();
    ASSERT_EQ(S_OK, CreateServer(server_));
    ASSERT_EQ(S_OK, AddGroup(server_.get(), L"Tags", IID_IOPCItemMgt, group_));
    std::vector<HRESULT> errors;
    ASSERT_EQ(S_OK, AddItems(group_.get(), SimulationTags(), handles_, errors));
}

void SimulationGroupTest::TearDown() {
    group_.reset();
    server_.reset();
    ServerTest::TearDown();
}
