// The server as a COM local server: registration, start by COM or by a
// person, one process and one document per client, the end with the last
// client.
#include "ServerTest.h"

#include "MessageBoxWatcher.h"
#include "Processes.h"
#include "Registration.h"
#include "RegistryKey.h"
#include "UniqueHandle.h"

#include <algorithm>
#include <thread>

namespace {

using fw::ComPtr;

std::string ClsidKey() {
    CLSID clsid;
    if (FAILED(ServerClsid(&clsid))) return std::string();
    return "CLSID\\" + testsupport::GuidText(clsid);
}

bool KeyExists(const std::string& key) {
    fw::UniqueRegKey h;
    return fw::OpenRegKey(HKEY_CLASSES_ROOT, key.c_str(), KEY_READ, h) == ERROR_SUCCESS;
}

using ServerRegistration = ServerTest;

TEST_F(ServerRegistration, WritesClassProgIdOpcMarkerFileTypeCategoryAndProxy) {
    const std::string clsidKey = ClsidKey();
    ASSERT_FALSE(clsidKey.empty());
    const std::string localServer = testsupport::ClassesRootValue(clsidKey + "\\LocalServer32");
    EXPECT_NE(std::string::npos, localServer.find("VELMORA_OPC.exe")) << localServer;
    EXPECT_EQ("Velmora.VelmoraOPC.1", testsupport::ClassesRootValue(clsidKey + "\\ProgID"));
    EXPECT_TRUE(KeyExists("Velmora.VelmoraOPC.1\\OPC"));
    EXPECT_EQ(clsidKey.substr(6), testsupport::ClassesRootValue("VELMORAOPC.Document\\CLSID"));
    EXPECT_TRUE(KeyExists(clsidKey + "\\Implemented Categories\\{63D5F430-CFE4-11D1-B2C8-0060083BA1FB}"));
    EXPECT_TRUE(KeyExists(clsidKey + "\\Implemented Categories\\{63D5F432-CFE4-11D1-B2C8-0060083BA1FB}"));
    EXPECT_EQ("OPC Data Access Servers Version 1.0",
              testsupport::ClassesRootValue("Component Categories\\{63D5F430-CFE4-11D1-B2C8-0060083BA1FB}", "409"));
    const std::string proxy = testsupport::ClassesRootValue(
        "Interface\\" + testsupport::GuidText(IID_IOPCServer) + "\\ProxyStubClsid32");
    EXPECT_FALSE(proxy.empty());
}

TEST_F(ServerRegistration, UnregisterRemovesEverythingAndSaysSo) {
    const std::string clsidKey = ClsidKey();
    ASSERT_FALSE(clsidKey.empty());
    int rc = -2;
    std::thread unregister([&] {
        rc = testsupport::RunToEnd("\"" + testsupport::BinPath(kServerExe) + "\" -UnregServer", 30000);
    });
    const auto box = testsupport::WaitForMessageBox("VELMORA_OPC", 20000);
    unregister.join();
    ASSERT_TRUE(box.has_value());
    EXPECT_EQ("System registry entries have been removed and the INI file (if any) was deleted.", box->text);
    EXPECT_EQ(0, rc);
    EXPECT_FALSE(KeyExists(clsidKey));
    EXPECT_FALSE(KeyExists("Velmora.VelmoraOPC.1"));
    EXPECT_FALSE(KeyExists("VELMORAOPC.Document"));
    EXPECT_TRUE(testsupport::ClassesRootValue("Interface\\" + testsupport::GuidText(IID_IOPCServer) +
                                              "\\ProxyStubClsid32")
                    .empty());

    // Registered again for the tests that follow.
    EXPECT_EQ(0, testsupport::RunToEnd("\"" + testsupport::BinPath(kServerExe) + "\" /RegServer", 60000));
    EXPECT_TRUE(KeyExists(clsidKey + "\\LocalServer32"));
}

using ServerLifecycle = ServerTest;

TEST_F(ServerLifecycle, ComStartsOneProcessWithADocumentPerClient) {
    ComPtr<IOPCServer> first, second;
    ASSERT_EQ(S_OK, CreateServer(first));
    EXPECT_EQ(1, testsupport::CountProcesses(kServerExe));
    HWND frame = ServerMainWindow();
    ASSERT_NE(nullptr, frame);
    EXPECT_TRUE(IsIconic(frame)) << "a server started by COM shows its window minimised";
    EXPECT_EQ(std::vector<std::string>({"OPC Server1 - Simulation"}), ServerDocumentTitles());

    ASSERT_EQ(S_OK, CreateServer(second));
    EXPECT_EQ(1, testsupport::CountProcesses(kServerExe));
    auto titles = ServerDocumentTitles();
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(std::vector<std::string>({"OPC Server1 - Simulation", "OPC Server2 - Simulation"}), titles);

    // Each server object has its own groups.
    ComPtr<IUnknown> group;
    OPCHANDLE h1 = 0, h2 = 0;
    ASSERT_EQ(S_OK, AddGroup(first.get(), L"", IID_IUnknown, group, &h1));
    group.reset();
    ASSERT_EQ(S_OK, AddGroup(second.get(), L"", IID_IUnknown, group, &h2));
    EXPECT_EQ(1u, h1);
    EXPECT_EQ(1u, h2);
    group.reset();

    first.reset();
    EXPECT_EQ(std::vector<std::string>({"OPC Server2 - Simulation"}), ServerDocumentTitles());
    EXPECT_EQ(1, testsupport::CountProcesses(kServerExe));
    second.reset();
    EXPECT_TRUE(testsupport::WaitForNoProcess(kServerExe, 10000)) << "the last release ends a COM-started server";
}

// Closing a client's document window cuts the client off: its next call fails
// with an error instead of reaching a destroyed object.
TEST_F(ServerLifecycle, ClosingAClientsWindowDisconnectsTheClient) {
    ComPtr<IOPCServer> server, other;
    ASSERT_EQ(S_OK, CreateServer(server));
    ASSERT_EQ(S_OK, CreateServer(other));  // keeps the process running
    ComPtr<IUnknown> group;
    ASSERT_EQ(S_OK, AddGroup(server.get(), L"", IID_IOPCSyncIO, group));
    HWND frame = ServerMainWindow();
    ASSERT_NE(nullptr, frame);
    HWND client = FindWindowExA(frame, nullptr, "MDIClient", nullptr);
    HWND child = client ? FindWindowExA(client, nullptr, nullptr, "OPC Server1 - Simulation") : nullptr;
    ASSERT_NE(nullptr, child);
    fw::UniqueHandle process(
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, testsupport::FindProcessId(kServerExe)));
    ASSERT_NE(nullptr, process.get());
    SendMessageA(child, WM_CLOSE, 0, 0);
    EXPECT_EQ(std::vector<std::string>({"OPC Server2 - Simulation"}), ServerDocumentTitles());

    OPCSERVERSTATUS* status = nullptr;
    const HRESULT hr = server->GetStatus(&status);
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
    EXPECT_EQ(nullptr, status);
    ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, group.query(io));
    OPCHANDLE h = 1;
    OPCITEMSTATE* states = nullptr;
    HRESULT* errors = nullptr;
    EXPECT_TRUE(FAILED(io->Read(OPC_DS_DEVICE, 1, &h, &states, &errors))) << "a removed group serves no more";

    // The other client is unaffected.
    ASSERT_EQ(S_OK, other->GetStatus(&status));
    CoTaskMemFree(status);
    io.reset();
    group.reset();
    server.reset();
    other.reset();
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 10000));
    DWORD code = 1;
    GetExitCodeProcess(process.get(), &code);
    process.reset();
    EXPECT_EQ(0u, code) << "the server ends cleanly";
}

TEST_F(ServerLifecycle, StartedByAPersonShowsOneDocumentAndStaysUntilClosed) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string line = "\"" + testsupport::BinPath(kServerExe) + "\"";
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    const fw::UniqueHandle process(pi.hProcess);
    fw::UniqueHandle thread(pi.hThread);
    thread.reset();  // only the process is waited on
    HWND frame = nullptr;
    for (int i = 0; i < 200 && !(frame = ServerMainWindow()); ++i) Sleep(50);
    ASSERT_NE(nullptr, frame);
    // The child window is titled before the driver is loaded; the driver's
    // name follows once the new document has found it.
    const std::vector<std::string> expected{"OPC Server1 - Simulation"};
    for (int i = 0; i < 200 && ServerDocumentTitles() != expected; ++i) Sleep(50);
    EXPECT_EQ(expected, ServerDocumentTitles());
    EXPECT_FALSE(IsIconic(frame));

    // A client of the running program gets a document of its own, and its
    // release does not end a program the user started.
    {
        ComPtr<IOPCServer> server;
        ASSERT_EQ(S_OK, CreateServer(server));
        EXPECT_EQ(2u, ServerDocumentTitles().size());
    }
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(process.get(), 500));
    PostMessageA(frame, WM_CLOSE, 0, 0);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process.get(), 10000));
}

}  // namespace
