// A client that dies while subscribed: the server must notice, close what
// that client had, keep serving the others on time, and end once the last
// live client has gone.
#include "DataChangeSink.h"
#include "ServerTest.h"

#include "Processes.h"
#include "UniqueHandle.h"

#include <algorithm>

namespace {

using fw::ComPtr;

constexpr DWORD kRate = 200;

class ClientDeath : public ServerTest {};

// Longest gap between consecutive streams that arrived after `from`.
DWORD LongestGapAfter(const DataChangeSink& sink, size_t from) {
    DWORD longest = 0;
    const auto& streams = sink.Streams();
    for (size_t i = from + 1; i < streams.size(); ++i)
        longest = std::max(longest, streams[i].arrived - streams[i - 1].arrived);
    return longest;
}

// Starts the subscriber client, waits until it is subscribed, kills it and
// waits until the server has closed its document.
void RunAndKillSubscriber(DWORD serverPid, int* threadsWhileAlive) {
    const wchar_t* eventName = L"VelmoraSubscriberReady";
    fw::UniqueHandle ready(CreateEventW(nullptr, TRUE, FALSE, eventName));
    ASSERT_NE(nullptr, ready.get());
    std::string line = "\"" + testsupport::BinPath("subscriber_client.exe") + "\" VelmoraSubscriberReady";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    fw::UniqueHandle process(pi.hProcess);
    fw::UniqueHandle thread(pi.hThread);
    thread.reset();  // only the process is waited on
    const HANDLE waits[] = {ready.get(), process.get()};
    DWORD woke = WAIT_TIMEOUT;
    for (int i = 0; i < 300 && woke == WAIT_TIMEOUT; ++i) {
        woke = WaitForMultipleObjects(2, waits, FALSE, 0);
        testsupport::PumpMessages(50);
    }
    ResetEvent(ready.get());
    ready.reset();
    if (woke != WAIT_OBJECT_0) TerminateProcess(process.get(), 1);
    ASSERT_EQ(WAIT_OBJECT_0, woke) << "the subscriber client did not get going";
    EXPECT_EQ(2u, ServerDocumentTitles().size());
    testsupport::PumpMessages(300);  // a few of its refreshes and cycles
    *threadsWhileAlive = testsupport::CountThreads(serverPid);

    ASSERT_TRUE(TerminateProcess(process.get(), 1));
    WaitForSingleObject(process.get(), 5000);
    process.reset();

    std::vector<std::string> titles;
    for (int i = 0; i < 100 && (titles = ServerDocumentTitles()).size() != 1; ++i) testsupport::PumpMessages(50);
    EXPECT_EQ(1u, titles.size()) << "the dead client's document is closed";
}

// Pumps messages until the process has at most `limit` threads.
int PumpUntilThreadsAtMost(DWORD pid, int limit, DWORD timeoutMs) {
    int threads = testsupport::CountThreads(pid);
    for (DWORD waited = 0; waited < timeoutMs && threads > limit; waited += 50) {
        testsupport::PumpMessages(50);
        threads = testsupport::CountThreads(pid);
    }
    return threads;
}

TEST_F(ClientDeath, KilledSubscriberIsClosedAndOthersKeepTheirPace) {
    ComPtr<IOPCServer> server;
    ASSERT_EQ(S_OK, CreateServer(server));
    ComPtr<IUnknown> group;
    ASSERT_EQ(S_OK, AddGroup(server.get(), L"Survivor", IID_IOPCItemMgt, group, nullptr, kRate));
    std::vector<OPCHANDLE> handles;
    std::vector<HRESULT> errors;
    ASSERT_EQ(S_OK, AddItems(group.get(), {L"Name0", L"Name1", L"Name2", L"Name3", L"Name4"}, handles, errors));
    Subscription sub;
    ASSERT_EQ(S_OK, sub.Advise(group.get(), FormatData()));
    ASSERT_TRUE(sub.Sink().WaitFor(2, 5000));

    const DWORD pid = testsupport::FindProcessId(kServerExe);
    ASSERT_NE(0u, pid);
    fw::UniqueHandle serverProcess(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid));
    ASSERT_NE(nullptr, serverProcess.get());

    // The first death lets the runtime start whatever threads it keeps for
    // good; from then on every dead client must leave the count as it was.
    int alive = 0;
    ASSERT_NO_FATAL_FAILURE(RunAndKillSubscriber(pid, &alive));
    testsupport::PumpMessages(1000);
    const int baseline = testsupport::CountThreads(pid);
    EXPECT_LT(baseline, alive);
    // RPC may keep one connection thread a little longer now and then; a
    // thread left behind by each dead client would add up over the rounds.
    int after = 0;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        const size_t before = sub.Sink().Count();
        ASSERT_NO_FATAL_FAILURE(RunAndKillSubscriber(pid, &alive));
        EXPECT_GE(alive, baseline + 2) << "its group and subscription had threads";
        after = PumpUntilThreadsAtMost(pid, baseline, 5000);
        // The live client was served on time throughout.
        sub.Sink().CountArrivingWithin(1000);
        EXPECT_GE(sub.Sink().Count() - before, 5u);
        EXPECT_LE(LongestGapAfter(sub.Sink(), before), 3 * kRate);
    }
    EXPECT_LE(after, baseline + 1);

    ComPtr<IOPCSyncIO> io;
    ASSERT_EQ(S_OK, group.query(io));
    OPCITEMSTATE* states = nullptr;
    HRESULT* readErrors = nullptr;
    ASSERT_EQ(S_OK, io->Read(OPC_DS_DEVICE, 1, &handles[0], &states, &readErrors));
    CoTaskMemFree(states);
    CoTaskMemFree(readErrors);

    // Once the last live client leaves, the COM-started server ends.
    EXPECT_EQ(S_OK, sub.Unadvise());
    io.reset();
    group.reset();
    server.reset();
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(serverProcess.get(), 10000));
    DWORD code = 1;
    GetExitCodeProcess(serverProcess.get(), &code);
    serverProcess.reset();
    EXPECT_EQ(0u, code);
}

}  // namespace
