#include "SubscriptionBench.h"

#include "ArrivalSink.h"
#include "BenchClient.h"
#include "BenchServerInstall.h"
#include "ConnectionPoint.h"
#include "NoopServerIdentity.h"
#include "ProcessStats.h"
#include "Processes.h"
#include "Stopwatch.h"
#include "WineTest.h"

#include <ocidl.h>

#include <cstdio>
#include <functional>

namespace bench {
namespace {

constexpr DWORD kPeriodMs = 100;
constexpr DWORD kWarmUpMs = 1500;

struct Scenario {
    const char* name;
    size_t groups;
    int itemsPerGroup;
    DWORD windowMs;
    bool dataCallback = false;  // IOPCDataCallback instead of IDataObject streams
};

// A server the scenario runs against: VELMORA_OPC, or the no-op server whose
// subscriptions send streams of the same size with nothing behind them.
struct Server {
    const char* exe;
    std::function<HRESULT(fw::ComPtr<IOPCServer>&)> create;
};

struct Outcome {
    HRESULT hr = S_OK;
    const char* failedStep = "";
    PeriodFigures periods;
    double cpuPercent = 0;      // GetProcessTimes
    CpuPercent hostCpu;         // the host's count of all threads
};

// A group of the scenario with its items.
struct SubscribedGroup {
    fw::ComPtr<IOPCItemMgt> items;
    std::vector<OPCHANDLE> handles;
};

Outcome Fail(Outcome o, const char* step, HRESULT hr) {
    o.failedStep = step;
    o.hr = FAILED(hr) ? hr : E_FAIL;
    return o;
}

Outcome Run(const Scenario& s, const Server& target) {
    const double start = MonotonicMs();
    Outcome outcome;
    fw::ComPtr<IOPCServer> server;
    HRESULT hr = target.create(server);
    if (FAILED(hr)) return Fail(outcome, "server object", hr);
    ProcessWatch process(target.exe);

    // Groups and subscriptions are made with their items inactive, so that
    // no stream competes with the set-up; all start together afterwards.
    fw::ComPtr<ArrivalSink> sink;
    sink.attach(new ArrivalSink(s.groups));
    std::vector<SubscribedGroup> groups(s.groups);
    for (size_t g = 0; g < s.groups; ++g) {
        if (FAILED(hr = AddBenchGroup(server.get(), L"Sub" + std::to_wstring(g), kPeriodMs, static_cast<OPCHANDLE>(g),
                                      groups[g].items)))
            return Fail(outcome, "AddGroup", hr);
        BenchItemDefs defs(static_cast<int>(g) * s.itemsPerGroup, s.itemsPerGroup, false);
        if ((hr = AddBenchItems(groups[g].items.get(), defs, &groups[g].handles)) != S_OK)
            return Fail(outcome, "AddItems", hr);
        if (s.dataCallback) {
            fw::ComPtr<IConnectionPointContainer> container;
            fw::ComPtr<IConnectionPoint> point;
            DWORD cookie = 0;
            if (FAILED(hr = groups[g].items.query(container))) return Fail(outcome, "IConnectionPointContainer", hr);
            if (FAILED(hr = container->FindConnectionPoint(IID_IOPCDataCallback, point.put())))
                return Fail(outcome, "FindConnectionPoint", hr);
            if (FAILED(hr = point->Advise(static_cast<IOPCDataCallback*>(sink.get()), &cookie)))
                return Fail(outcome, "Advise", hr);
            continue;
        }
        fw::ComPtr<IDataObject> data;
        if (FAILED(hr = groups[g].items.query(data))) return Fail(outcome, "IDataObject", hr);
        FORMATETC format{DataTimeFormat(), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
        DWORD connection = 0;
        if (FAILED(hr = data->DAdvise(&format, 0, sink.get(), &connection))) return Fail(outcome, "DAdvise", hr);
    }
    for (SubscribedGroup& group : groups)
        if (FAILED(hr = SetItemsActive(group.items.get(), group.handles, true)))
            return Fail(outcome, "SetActiveState", hr);
    const double setUp = MonotonicMs();
    testsupport::PumpMessages(kWarmUpMs);
    if (sink->GroupsHeardFrom() < s.groups) return Fail(outcome, "first streams", E_FAIL);

    sink->Record(true);
    const CpuShare cpu(process);
    testsupport::PumpMessages(s.windowMs);
    sink->Record(false);
    outcome.cpuPercent = cpu.PercentSinceStart();
    outcome.hostCpu = cpu.HostPercentSinceStart();
    outcome.periods = EvaluatePeriods(*sink.get(), kPeriodMs, s.windowMs, 0.10);

    // Quiet groups go quickly: removing a group waits for its subscription's
    // cycle, which a busy client would hold up.
    const double quieting = MonotonicMs();
    for (SubscribedGroup& group : groups) SetItemsActive(group.items.get(), group.handles, false);
    const double releasing = MonotonicMs();
    groups.clear();
    server.reset();
    std::fprintf(stderr, "    %s: set-up %s, streams stopped in %s, released in %s\n", target.exe,
                 FormatDuration(setUp - start).c_str(), FormatDuration(releasing - quieting).c_str(),
                 FormatDuration(MonotonicMs() - releasing).c_str());
    return outcome;
}

// Rows of one scenario beside its yardstick: the no-op server, or for the
// data callback the same server's DA 1.0 streams.
void AddRows(const Scenario& s, const Outcome& opc, const Outcome& noop, ResultTable& table,
             const std::string& baseName = "no-op server") {
    const std::string name = s.name;
    for (const Outcome* o : {&noop, &opc}) {
        if (SUCCEEDED(o->hr)) continue;
        table.Add(FailureRow(name + (o == &noop ? " (" + baseName + "): " : ": ") + o->failedStep, o->hr));
        return;
    }
    const PeriodFigures& f = opc.periods;
    const PeriodFigures& b = noop.periods;
    char text[64], base[80], deviation[32];
    std::snprintf(text, sizeof text, "%.2f ms (worst %+.1f ms)", f.medianPeriodMs, f.worstDeviationMs);
    std::snprintf(base, sizeof base, "%s: %.2f ms (worst %+.1f ms)", baseName.c_str(), b.medianPeriodMs,
                  b.worstDeviationMs);
    std::snprintf(deviation, sizeof deviation, "%+.2f ms", f.medianPeriodMs - kPeriodMs);
    table.Add({name + ": period, median (worst interval)", text, base, deviation, "median within 1 ms of 100 ms"});
    const double requested = s.groups * 1000.0 / kPeriodMs;
    table.Add({name + ": callbacks (" + FormatCount(requested) + "/s requested)",
               FormatRate(f.callbacksPerSecond, "callbacks"),
               baseName + ": " + FormatRate(b.callbacksPerSecond, "callbacks"),
               FormatRatio(f.callbacksPerSecond / b.callbacksPerSecond), ""});
    table.Add({name + ": values (" + FormatCount(requested * s.itemsPerGroup) + "/s requested)",
               FormatRate(f.valuesPerSecond, "values"), baseName + ": " + FormatRate(b.valuesPerSecond, "values"),
               FormatRatio(f.valuesPerSecond / b.valuesPerSecond), s.dataCallback ? "within 10 % of DA 1.0" : ""});
    table.Add({name + ": server CPU, all threads (host's count)", FormatCpu(opc.hostCpu) + " of a core",
               baseName + ": " + FormatCpu(noop.hostCpu),
               opc.hostCpu.Known() && noop.hostCpu.Known() ? FormatRatio(opc.hostCpu.percent / noop.hostCpu.percent)
                                                          : "n/a",
               s.groups == 1 ? "< 5 %" : ""});
    table.Add({name + ": server CPU by GetProcessTimes (Wine 8 can miss busy threads)",
               FormatPercent(opc.cpuPercent) + " of a core", baseName + ": " + FormatPercent(noop.cpuPercent),
               FormatRatio(opc.cpuPercent / noop.cpuPercent), ""});
}


// IOPCAsyncIO2::Read round trips: one request at a time, each waited for
// until its OnReadComplete has arrived.
void MeasureAsyncReads(ResultTable& table) {
    table.AddSection("IOPCAsyncIO2::Read from the device, one request at a time");
    for (const int items : {1, 100}) {
        const std::string name = std::to_string(items) + (items == 1 ? " item" : " items");
        fw::ComPtr<IOPCServer> server;
        fw::ComPtr<IOPCItemMgt> group;
        std::vector<OPCHANDLE> handles;
        fw::ComPtr<ArrivalSink> sink;
        sink.attach(new ArrivalSink(1));
        fw::ComPtr<IConnectionPointContainer> container;
        fw::ComPtr<IConnectionPoint> point;
        fw::ComPtr<IOPCAsyncIO2> io;
        DWORD cookie = 0;
        // The previous server process may still be leaving Wine's RPC
        // service: a start then fails for a moment.
        HRESULT hr = E_FAIL;
        for (int attempt = 0; attempt < 5 && FAILED(hr = CreateBenchServer(server)); ++attempt) Sleep(1000);
        if (SUCCEEDED(hr)) hr = AddBenchGroup(server.get(), L"Reads", 60000, 0, group);
        BenchItemDefs defs(0, items, true);
        if (SUCCEEDED(hr)) hr = AddBenchItems(group.get(), defs, &handles);
        if (SUCCEEDED(hr)) hr = group.query(container);
        if (SUCCEEDED(hr)) hr = container->FindConnectionPoint(IID_IOPCDataCallback, point.put());
        if (SUCCEEDED(hr)) hr = point->Advise(static_cast<IOPCDataCallback*>(sink.get()), &cookie);
        if (SUCCEEDED(hr)) hr = group.query(io);
        if (FAILED(hr)) {
            table.Add(FailureRow(name + ": set-up", hr));
            continue;
        }
        constexpr double kWindowMs = 2000;
        size_t done = 0;
        const double start = MonotonicMs();
        while (MonotonicMs() - start < kWindowMs && SUCCEEDED(hr)) {
            DWORD cancel = 0;
            HRESULT* errors = nullptr;
            hr = io->Read(static_cast<DWORD>(handles.size()), handles.data(), static_cast<DWORD>(done + 1), &cancel,
                          &errors);
            CoTaskMemFree(errors);
            const size_t target = sink->ReadsCompleted() + 1;
            while (SUCCEEDED(hr) && sink->ReadsCompleted() < target && MonotonicMs() - start < kWindowMs + 5000) {
                MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
                testsupport::PumpMessages(0);
            }
            if (sink->ReadsCompleted() >= target) ++done;
        }
        const double elapsed = MonotonicMs() - start;
        if (FAILED(hr)) {
            table.Add(FailureRow(name + ": Read", hr));
            continue;
        }
        table.Add({name + ": round trips", FormatRate(done * 1000.0 / elapsed, "reads"), "", "", ""});
        point->Unadvise(cookie);
        io.reset();
        point.reset();
        container.reset();
        group.reset();
        server.reset();
        testsupport::WaitForNoProcess(kServerExe, 60000);
    }
}

}  // namespace

void MeasureSubscriptions(ResultTable& table) {
    table.AddSection("Subscriptions at 100 ms, values changing every cycle (OPCSTMFORMATDATATIME)");
    const Server opc{kServerExe, [](fw::ComPtr<IOPCServer>& s) { return CreateBenchServer(s); }};
    const Server noop{"bench_noop_server.exe", [](fw::ComPtr<IOPCServer>& s) {
                          return CoCreateInstance(CLSID_BenchNoopServer, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer,
                                                  s.put_void());
                      }};
    const Scenario scenarios[] = {{"1 group of 10,000 items", 1, 10000, 6000},
                                  {"100 groups of 100 items", 100, 100, 5000}};
    for (const Scenario& s : scenarios) {
        std::fprintf(stderr, "  %s\n", s.name);
        const Outcome baseline = Run(s, noop);
        testsupport::WaitForNoProcess(noop.exe, 60000);
        const Outcome measured = Run(s, opc);
        testsupport::WaitForNoProcess(opc.exe, 60000);
        AddRows(s, measured, baseline, table);
        if (s.groups != 1) continue;
        // The same group through the DA 2.0 data callback, beside the streams.
        Scenario callback = s;
        callback.name = "1 group of 10,000 items, IOPCDataCallback";
        callback.dataCallback = true;
        std::fprintf(stderr, "  %s\n", callback.name);
        const Outcome viaCallback = Run(callback, opc);
        testsupport::WaitForNoProcess(opc.exe, 60000);
        AddRows(callback, viaCallback, measured, table, "DA 1.0 streams");
    }
    MeasureAsyncReads(table);
}

}  // namespace bench
