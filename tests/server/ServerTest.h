// Shared set-up of the tests that talk to VELMORA_OPC.exe as a real client:
// the server registered in the test prefix and started by COM.
#pragma once

#include "ComPtr.h"
#include "OpcInterfaces.h"
#include "Registration.h"
#include "UniqueHandle.h"
#include "WineTest.h"

#include <ocidl.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

inline constexpr const char* kServerExe = "VELMORA_OPC.exe";

// Registers the server (VELMORA_OPC.exe /RegServer) once per test program.
HRESULT RegisterServerOnce();

// CLSID that "Velmora.VelmoraOPC.1" names in the registry.
HRESULT ServerClsid(CLSID* clsid);

// A new server object, created through COM as any client would.
HRESULT CreateServer(fw::ComPtr<IOPCServer>& server);

// IDs of the simulation driver's five tags, Name0..Name4.
std::vector<std::wstring> SimulationTags();

// Adds a group and returns the requested interface on it.
HRESULT AddGroup(IOPCServer* server, const wchar_t* name, REFIID iid, fw::ComPtr<IUnknown>& group,
                 OPCHANDLE* hServer = nullptr, DWORD rate = 1000);

// Adds items by ID to a group; returns the call's result and fills handles
// and errors (one each per ID).
HRESULT AddItems(IUnknown* group, const std::vector<std::wstring>& ids, std::vector<OPCHANDLE>& handles,
                 std::vector<HRESULT>& errors, std::vector<VARTYPE>* types = nullptr);

// Everything IOPCGroupStateMgt::GetState reports about a group.
struct GroupState {
    DWORD updateRate = 0;
    BOOL active = FALSE;
    std::wstring name;
    LONG timeBias = 0;
    FLOAT percentDeadband = 0;
    DWORD lcid = 0;
    OPCHANDLE hClientGroup = 0;
    OPCHANDLE hServerGroup = 0;
};
HRESULT ReadGroupState(IUnknown* group, GroupState& state);
// The group's name, or a marker text when it cannot be read.
std::wstring GroupName(IUnknown* group);

// The top-level main window of the server and the titles of its MDI children.
HWND ServerMainWindow();
std::vector<std::string> ServerDocumentTitles();
// The server's MDI child window with this title; null when there is none.
HWND ServerDocumentWindow(const std::string& title);

// Runs body on a new thread in the multithreaded apartment and waits up to
// timeoutMs for it, pumping this thread's messages.  A body that does not
// finish (a call stuck in a deadlocked server) is a failure: the server
// process is then ended, which makes its pending calls return, and the
// thread is joined.  Everything the body does through COM must happen inside
// it, releases included, so that no call outlives the watch.
void RunBounded(DWORD timeoutMs, const std::function<void()>& body);

// A thread in the multithreaded apartment, joined when the object goes.
// Interface pointers of the body's apartment may be used in it directly.
class MtaThread {
public:
    explicit MtaThread(std::function<void()> body);
    ~MtaThread() { Join(); }
    MtaThread(const MtaThread&) = delete;
    MtaThread& operator=(const MtaThread&) = delete;
    void Join();

private:
    std::thread thread_;
};

// subscriber_client.exe for one test, terminated if it still runs when the
// owner goes.  The mode follows the ready event's name on its command line:
// none for the plain subscriber; see SubscriberClient.cpp for the others.
class ClientProcess {
public:
    ClientProcess() = default;
    ~ClientProcess() { Kill(); }
    ClientProcess(const ClientProcess&) = delete;
    ClientProcess& operator=(const ClientProcess&) = delete;

    // Starts it and waits up to timeoutMs until it says it is ready; false
    // when it could not start, ended first or took too long.
    bool Start(const std::string& mode, DWORD timeoutMs);
    // Terminates it; true once it has gone.
    bool Kill();
    // Waits for it to end by itself: its exit code, or -1 when it still runs.
    int WaitForExit(DWORD timeoutMs);

private:
    fw::UniqueHandle process_;
};

// Fixture: COM in the test thread, the server registered, and at the end
// every server object released and the COM-started server process gone.
class ServerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    testsupport::ComScope com_;
};

// Fixture for a copy of the server in a scratch folder of its own,
// registered from there, with the test driver installed under the first
// name of the driver search list (or no driver at all).  The registration
// of the built server is restored at the end.
class DriverCopyTest : public ServerTest {
protected:
    // mode is written to TESTDRIVER.TXT for the test driver; null installs
    // no driver.
    void Install(const char* mode);
    void TearDown() override;
    testsupport::ScratchDir scratch_;
    bool registeredCopy_ = false;
};

// Fixture with one server object and the five simulation tags in a group.
class SimulationGroupTest : public ServerTest {
protected:
    void SetUp() override;
    void TearDown() override;
    fw::ComPtr<IOPCServer> server_;
    fw::ComPtr<IUnknown> group_;
    std::vector<OPCHANDLE> handles_;  // Name0..Name4
};
