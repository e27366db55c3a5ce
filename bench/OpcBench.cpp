// opc_bench.exe: every benchmark figure of VELMORA_OPC in one table.  Run by
// scripts/run-bench.sh (`make bench`) inside the build tree's Wine session;
// "--only NAME[,NAME...]" runs some of the groups of figures (transport,
// inproc, items, subscriptions, capacity, client, list); "--capacity-budget S"
// gives the capacity steps S seconds instead of 90.  The figures are
// measured, never judged: the program fails only when it cannot measure.
#include "BenchServerInstall.h"
#include "CapacityBench.h"
#include "CrossProcessBench.h"
#include "NoopServerIdentity.h"
#include "Processes.h"
#include "Registration.h"
#include "ResultTable.h"
#include "Stopwatch.h"
#include "SubscriptionBench.h"
#include "WineTest.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

using namespace bench;

// Runs a helper program of the benchmarks with a result file and takes its rows.
void RunHelper(const std::string& exePath, const char* figure, ResultTable& table) {
    testsupport::ScratchDir scratch;
    const std::string results = scratch.path() + "rows.txt";
    const int rc = testsupport::RunToEnd("\"" + exePath + "\" \"" + results + "\"", 300000);
    ResultTable rows;
    if (rc != 0 || !rows.Load(results)) {
        table.Add(FailureRow(figure, rc == -1 ? E_ABORT : E_FAIL));
        return;
    }
    table.Append(rows);
}

bool Selected(const std::string& only, const char* name) {
    if (only.empty()) return true;
    const std::string list = "," + only + ",";
    return list.find("," + std::string(name) + ",") != std::string::npos;
}

int RunAll(const std::string& only, double capacityBudgetMs) {
    testsupport::ComScope com;
    if (FAILED(com.result()) || FAILED(testsupport::RegisterOpcProxy())) {
        std::fprintf(stderr, "COM or the proxy/stub DLL could not be set up\n");
        return 1;
    }
    BenchServerInstall server;
    if (FAILED(server.Install()) || FAILED(server.AddProgram("bench_inproc.exe"))) {
        std::fprintf(stderr, "the server copy with the bench driver could not be installed\n");
        return 1;
    }
    testsupport::LocalServerRegistration noop(CLSID_BenchNoopServer,
                                              "\"" + testsupport::BinPath("bench_noop_server.exe") + "\"");
    if (FAILED(noop.result())) {
        std::fprintf(stderr, "bench_noop_server.exe could not be registered\n");
        return 1;
    }

    ResultTable table;
    const struct {
        const char* name;
        std::function<void()> run;
    } groups[] = {
        {"transport", [&] { MeasureTransportAndReads(table); }},
        {"inproc", [&] { RunHelper(server.Path("bench_inproc.exe"), "in-process figures", table); }},
        {"items", [&] { MeasureItemsAndGroups(table); }},
        {"subscriptions", [&] { MeasureSubscriptions(table); }},
        {"capacity", [&] { MeasureCapacity(table, capacityBudgetMs); }},
        {"client", [&] { RunHelper(testsupport::BinPath("bench_client_model.exe"), "client model figures", table); }},
        {"list", [&] { RunHelper(testsupport::BinPath("bench_ostrel_list.exe"), "OSTREL list figures", table); }},
    };
    for (const auto& group : groups) {
        if (!Selected(only, group.name)) continue;
        std::fprintf(stderr, "%s ...\n", group.name);
        const double start = MonotonicMs();
        group.run();
        // Each group starts with a server process of its own.
        testsupport::WaitForNoProcess(kServerExe, 60000);
        std::fprintf(stderr, "%s: %s\n", group.name, FormatDuration(MonotonicMs() - start).c_str());
    }
    std::printf("\n%s build, run under Wine\n\n", sizeof(void*) == 8 ? "64-bit (x86_64)" : "32-bit (i686)");
    table.Print(stdout);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], kCapacityClientSwitch) == 0) return RunCapacityClient(argc, argv);
    std::string only;
    double capacityBudgetMs = 90000;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--only") == 0) only = argv[i + 1];
        if (std::strcmp(argv[i], "--capacity-budget") == 0) capacityBudgetMs = std::atof(argv[i + 1]) * 1000.0;
    }
    return RunAll(only, capacityBudgetMs);
}
