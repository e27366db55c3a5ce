#include "CapacityBench.h"

#include "ArrivalSink.h"
#include "BenchClient.h"
#include "BenchServerInstall.h"
#include "BenchTags.h"
#include "ProcessStats.h"
#include "Processes.h"
#include "Stopwatch.h"
#include "UniqueHandle.h"
#include "WineTest.h"
#include "WorkerThread.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace bench {
namespace {

constexpr int kClients = 10;
constexpr int kItemsPerGroup = 10;
// Every stream is a cross-process call, and on one CPU under Wine the
// transport carries some 700 of them a second (see the subscription
// figures): the period keeps 2,000 groups' streams well below that.
constexpr DWORD kPeriodMs = 4000;
constexpr DWORD kWindowMs = 3 * kPeriodMs;
constexpr double kTolerance = 0.10;
// The count starts at the target and goes up while every group keeps its
// period; a miss at the start goes down instead.
constexpr int kStepsUp[] = {1000, 1500, 2000, 3000};
constexpr int kStepsDown[] = {500, 250, 100};

constexpr DWORD kSetupTimeoutMs = 180000;

std::wstring EventName(int step, const wchar_t* what, int client = -1) {
    std::wstring name = L"VelmoraBench.capacity." + std::to_wstring(step) + L"." + what;
    if (client >= 0) name += L"." + std::to_wstring(client);
    return name;
}

// What one client found in its window.
struct ClientResult {
    int groups = 0;
    int keeping = 0;
    double worstMeanDeviationMs = 0;
    double worstDeviationMs = 0;
    double callbacksPerSecond = 0;
};

bool ReadResult(const std::string& path, ClientResult& r) {
    std::ifstream file(path);
    return static_cast<bool>(file >> r.groups >> r.keeping >> r.worstMeanDeviationMs >> r.worstDeviationMs >>
                             r.callbacksPerSecond);
}

// Waits for an event while serving the calls COM delivers to this apartment.
bool WaitPumping(HANDLE event, DWORD timeoutMs) {
    const double start = MonotonicMs();
    for (;;) {
        const double left = timeoutMs - (MonotonicMs() - start);
        if (left <= 0) return false;
        const DWORD r = MsgWaitForMultipleObjects(1, &event, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return true;
        testsupport::PumpMessages(0);
    }
}

struct ClientProcess {
    fw::UniqueHandle process;
    fw::UniqueHandle ready;
    fw::UniqueHandle done;
    std::string resultFile;
};

bool Start(ClientProcess& client, const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) return false;
    client.process.reset(info.hProcess);
    fw::UniqueHandle thread(info.hThread);
    thread.reset();  // only the process is waited on
    return true;
}

// Waits until every client has signalled `which`; false when one ended or
// the time ran out first.
bool WaitForAll(std::vector<ClientProcess>& clients, fw::UniqueHandle ClientProcess::*which, DWORD timeoutMs) {
    const double start = MonotonicMs();
    for (ClientProcess& c : clients) {
        HANDLE handles[2] = {(c.*which).get(), c.process.get()};
        const double left = timeoutMs - (MonotonicMs() - start);
        if (left <= 0 || WaitForMultipleObjects(2, handles, FALSE, static_cast<DWORD>(left)) != WAIT_OBJECT_0)
            return false;
    }
    return true;
}

struct StepResult {
    bool setUp = false;
    bool measured = false;
    int groups = 0;
    int keeping = 0;
    double worstMeanDeviationMs = 0;
    double worstDeviationMs = 0;
    double callbacksPerSecond = 0;
    CpuPercent cpu;
    double setupMs = 0;
    ProcessSample server;
    bool Sustained(int step) const { return measured && groups == step && keeping == step; }
};

StepResult RunStep(int step, testsupport::ScratchDir& scratch) {
    StepResult result;
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    fw::UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, EventName(step, L"go").c_str()));
    fw::UniqueHandle quit(CreateEventW(nullptr, TRUE, FALSE, EventName(step, L"quit").c_str()));
    // The server runs before the clients ask for it: clients that all start
    // it at once would each launch a process of their own under Wine.
    fw::ComPtr<IOPCServer> keepAlive;
    if (FAILED(CreateBenchServer(keepAlive))) return result;
    std::vector<ClientProcess> clients(kClients);
    const double setupStart = MonotonicMs();
    for (int i = 0; i < kClients; ++i) {
        ClientProcess& c = clients[i];
        c.ready.reset(CreateEventW(nullptr, TRUE, FALSE, EventName(step, L"ready", i).c_str()));
        c.done.reset(CreateEventW(nullptr, TRUE, FALSE, EventName(step, L"done", i).c_str()));
        c.resultFile = scratch.path() + "client" + std::to_string(step) + "_" + std::to_string(i) + ".txt";
        const std::string command = "\"" + std::string(self) + "\" --capacity-client " +
                                    std::to_string(step / kClients) + " " + std::to_string(step) + " " +
                                    std::to_string(i) + " \"" + c.resultFile + "\"";
        if (!Start(c, command)) {
            clients.resize(static_cast<size_t>(i));
            break;
        }
    }
    result.setUp =
        clients.size() == static_cast<size_t>(kClients) && WaitForAll(clients, &ClientProcess::ready, kSetupTimeoutMs);
    result.setupMs = MonotonicMs() - setupStart;
    if (result.setUp) {
        ProcessWatch server(kServerExe);
        SetEvent(go.get());
        const CpuShare cpu(server);
        Sleep(kWindowMs / 2);
        result.server = server.Sample();
        result.measured = WaitForAll(clients, &ClientProcess::done, kWindowMs + 60000);
        result.cpu = cpu.HostPercentSinceStart();
    }
    SetEvent(quit.get());
    const double teardownStart = MonotonicMs();
    for (ClientProcess& c : clients) {
        if (WaitForSingleObject(c.process.get(), 120000) != WAIT_OBJECT_0) TerminateProcess(c.process.get(), 1);
        DWORD code = 0;
        GetExitCodeProcess(c.process.get(), &code);
        if (code != 0) std::fprintf(stderr, "    a client ended with %lu\n", static_cast<unsigned long>(code));
        ClientResult r;
        if (!ReadResult(c.resultFile, r)) {
            result.measured = false;
            continue;
        }
        result.groups += r.groups;
        result.keeping += r.keeping;
        result.worstMeanDeviationMs = std::max(result.worstMeanDeviationMs, r.worstMeanDeviationMs);
        result.worstDeviationMs = std::max(result.worstDeviationMs, r.worstDeviationMs);
        result.callbacksPerSecond += r.callbacksPerSecond;
    }
    keepAlive.reset();
    std::fprintf(stderr, "    set-up %s, clients ended %s after the window\n", FormatDuration(result.setupMs).c_str(),
                 FormatDuration(MonotonicMs() - teardownStart).c_str());
    // The next step starts with a fresh server process.
    if (!testsupport::WaitForNoProcess(kServerExe, 120000))
        if (fw::UniqueHandle p(OpenProcess(PROCESS_TERMINATE, FALSE, testsupport::FindProcessId(kServerExe))); p) {
            std::fprintf(stderr, "    the server did not end: terminated\n");
            TerminateProcess(p.get(), 1);
            // An open handle can keep the ended process listed, so it goes
            // before the wait for the list to empty.
            p.reset();
            testsupport::WaitForNoProcess(kServerExe, 30000);
        }
    return result;
}

void AddStepRows(int step, const StepResult& r, ResultTable& table) {
    const std::string name = FormatCount(step) + " groups";
    if (!r.setUp) {
        table.Add({name + ": set-up", "failed after " + FormatDuration(r.setupMs), "", "", ""});
        return;
    }
    char kept[128];
    std::snprintf(kept, sizeof kept, "%d of %d on time; worst mean %+.1f %%, worst interval %+.0f %%", r.keeping,
                  r.groups, 100.0 * r.worstMeanDeviationMs / kPeriodMs, 100.0 * r.worstDeviationMs / kPeriodMs);
    table.Add({name + ": mean period within 10 %", r.measured ? kept : "not measured", "period 4,000 ms",
               FormatRatio(r.callbacksPerSecond * kPeriodMs / 1000.0 / step), r.Sustained(step) ? "kept" : "missed"});
    table.Add({name + ": server threads (a group and an update thread per group), private bytes / working set",
               FormatCount(r.server.threads) + " threads, " + FormatMegabytes(r.server.privateBytes) + " / " +
                   FormatMegabytes(r.server.workingSet),
               "", "", ""});
    // The 32-bit server is large-address-aware: 4 GB on 64-bit Windows and Wine.
    const double addressSpace32 = 4096.0 * 1024 * 1024;
    const double own = static_cast<double>(step) * (kGroupThreadStack + kWorkerThreadStack);
    table.Add({name + ": stacks reserved, all threads (Wine: at least 1 MB a thread)", FormatMegabytes(r.server.stacks),
               "32-bit address space: 4,096 MB", FormatRatio(r.server.stacks / addressSpace32), ""});
    table.Add({name + ": stacks the group and update threads ask for (as Windows reserves them)", FormatMegabytes(own),
               "32-bit address space: 4,096 MB", FormatRatio(own / addressSpace32), ""});
    table.Add({name + ": server address space in use, CPU (host's count)",
               FormatMegabytes(r.server.addressSpace) + ", " + FormatCpu(r.cpu) + " of a core", "", "", ""});
}

}  // namespace

void MeasureCapacity(ResultTable& table, double budgetMs) {
    table.AddSection("Capacity: subscribed groups of 10 items at 4,000 ms from 10 client processes");
    testsupport::ScratchDir scratch;
    const double start = MonotonicMs();
    int largest = 0;
    double lastStepMs = 0;
    auto runStep = [&](int step) {
        std::fprintf(stderr, "  %d groups\n", step);
        const double stepStart = MonotonicMs();
        const StepResult r = RunStep(step, scratch);
        lastStepMs = MonotonicMs() - stepStart;
        AddStepRows(step, r, table);
        if (r.Sustained(step)) largest = step;
        return r.Sustained(step);
    };
    for (int step : kStepsUp) {
        // A step takes about as much longer than the last as it has more groups.
        const double expectedMs = largest > 0 ? lastStepMs * step / largest : 0;
        if (largest > 0 && MonotonicMs() - start + expectedMs > budgetMs) {
            table.Add({FormatCount(step) + " groups",
                       "not tried: the time budget of " + FormatDuration(budgetMs) + " would be spent", "", "", ""});
            break;
        }
        if (!runStep(step)) break;
    }
    if (largest == 0)
        for (int step : kStepsDown)
            if (runStep(step)) break;
    table.Add({"Largest count whose every group kept its period", FormatCount(largest) + " groups", "", "",
               ">= 1,000 (32-bit)"});
}

int RunCapacityClient(int argc, char** argv) {
    if (argc < 6) return 10;
    const int groups = std::atoi(argv[2]);
    const int step = std::atoi(argv[3]);
    const int index = std::atoi(argv[4]);
    const std::string resultFile = argv[5];
    testsupport::ComScope com;
    if (FAILED(com.result())) return 11;
    fw::UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(step, L"ready", index).c_str()));
    fw::UniqueHandle done(OpenEventW(EVENT_MODIFY_STATE, FALSE, EventName(step, L"done", index).c_str()));
    fw::UniqueHandle go(OpenEventW(SYNCHRONIZE, FALSE, EventName(step, L"go").c_str()));
    fw::UniqueHandle quit(OpenEventW(SYNCHRONIZE, FALSE, EventName(step, L"quit").c_str()));
    if (!ready || !done || !go || !quit) return 12;

    fw::ComPtr<IOPCServer> server;
    if (FAILED(CreateBenchServer(server))) return 13;
    fw::ComPtr<ArrivalSink> sink;
    sink.attach(new ArrivalSink(static_cast<size_t>(groups)));
    // Items start inactive: the streams begin once every group is made.
    std::vector<fw::ComPtr<IOPCItemMgt>> items(static_cast<size_t>(groups));
    std::vector<std::vector<OPCHANDLE>> handles(static_cast<size_t>(groups));
    for (int g = 0; g < groups; ++g) {
        if (FAILED(
                AddBenchGroup(server.get(), L"C" + std::to_wstring(g), kPeriodMs, static_cast<OPCHANDLE>(g), items[g])))
            return 14;
        BenchItemDefs defs(((index * groups) + g) * kItemsPerGroup % kBenchTagCount, kItemsPerGroup, false);
        if (AddBenchItems(items[g].get(), defs, &handles[g]) != S_OK) return 15;
        fw::ComPtr<IDataObject> data;
        if (FAILED(items[g].query(data))) return 16;
        FORMATETC format{DataTimeFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        DWORD connection = 0;
        if (FAILED(data->DAdvise(&format, 0, sink.get(), &connection))) return 17;
    }
    for (int g = 0; g < groups; ++g)
        if (FAILED(SetItemsActive(items[g].get(), handles[g], true))) return 19;
    SetEvent(ready.get());
    if (!WaitPumping(go.get(), kSetupTimeoutMs + 60000)) return 18;
    sink->Record(true);
    testsupport::PumpMessages(kWindowMs);
    sink->Record(false);
    const PeriodFigures f = EvaluatePeriods(*sink.get(), kPeriodMs, kWindowMs, kTolerance);
    {
        std::ofstream file(resultFile);
        file << groups << ' ' << f.groupsKeeping << ' ' << f.worstMeanDeviationMs << ' ' << f.worstDeviationMs << ' '
             << f.callbacksPerSecond << '\n';
    }
    SetEvent(done.get());
    WaitPumping(quit.get(), 600000);
    // Quiet groups go quickly: removing a group waits for its subscription's
    // cycle, which a busy client would hold up.
    for (int g = 0; g < groups; ++g) SetItemsActive(items[g].get(), handles[g], false);
    return 0;
}

}  // namespace bench
