#include "CrossProcessBench.h"

#include "BenchClient.h"
#include "BenchTags.h"
#include "NoopServerIdentity.h"
#include "Sampling.h"
#include "Statistics.h"
#include "Stopwatch.h"

#include <cstdio>

namespace bench {
namespace {

// Read sizes, with batch sizes that keep each figure near a second.
struct ReadSize {
    DWORD items;
    int callsPerBatch;
    int batches;
};
constexpr ReadSize kReadSizes[] = {{1, 40, 15}, {10, 40, 15}, {100, 20, 15}, {1000, 5, 9}, {10000, 1, 7}};

// The floor's target: a read of up to this many items should cost no more
// than the floor plus 5 %.
constexpr DWORD kFloorTargetItems = 100;

HRESULT FreeReadResult(HRESULT hr, DWORD count, OPCITEMSTATE* states, HRESULT* errors) {
    if (states)
        for (DWORD i = 0; i < count; ++i) VariantClear(&states[i].vDataValue);
    CoTaskMemFree(states);
    CoTaskMemFree(errors);
    return hr;
}

Call ReadCall(IOPCSyncIO* io, OPCDATASOURCE source, std::vector<OPCHANDLE>& handles) {
    return [io, source, &handles] {
        OPCITEMSTATE* states = nullptr;
        HRESULT* errors = nullptr;
        const auto count = static_cast<DWORD>(handles.size());
        const HRESULT hr = io->Read(source, count, handles.data(), &states, &errors);
        return FreeReadResult(hr == S_OK ? S_OK : (FAILED(hr) ? hr : E_FAIL), count, states, errors);
    };
}

std::string ItemsText(DWORD n) { return FormatCount(n) + (n == 1 ? " item" : " items"); }

struct Connections {
    fw::ComPtr<IOPCServer> noop;
    fw::ComPtr<IOPCServer> server;
    HRESULT Open() {
        HRESULT hr =
            CoCreateInstance(CLSID_BenchNoopServer, nullptr, CLSCTX_LOCAL_SERVER, IID_IOPCServer, noop.put_void());
        if (FAILED(hr)) return hr;
        return CreateBenchServer(server);
    }
    Call EmptyCall() const {
        IOPCServer* target = noop.get();
        return [target] { return target->RemoveGroup(0, FALSE); };
    }
};

}  // namespace

void MeasureTransportAndReads(ResultTable& table) {
    table.AddSection("Transport floor and synchronous reads, cross-process (client STA, server STA)");
    Connections c;
    HRESULT hr = c.Open();
    if (FAILED(hr)) return table.Add(FailureRow("server objects", hr));
    fw::ComPtr<IOPCSyncIO> noopIo;
    if (FAILED(hr = c.noop.query(noopIo))) return table.Add(FailureRow("no-op IOPCSyncIO", hr));

    fw::ComPtr<IOPCItemMgt> items;
    if (FAILED(hr = AddBenchGroup(c.server.get(), L"Reads", 1000, 1, items)))
        return table.Add(FailureRow("AddGroup", hr));
    BenchItemDefs defs(0, kBenchTagCount);
    std::vector<OPCHANDLE> all;
    if ((hr = AddBenchItems(items.get(), defs, &all)) != S_OK) return table.Add(FailureRow("AddItems", hr));
    fw::ComPtr<IOPCSyncIO> io;
    if (FAILED(hr = items.query(io))) return table.Add(FailureRow("IOPCSyncIO", hr));

    const Call empty = c.EmptyCall();
    // Warm both connections up: the first calls set up channels and proxies.
    MedianPerCall(empty, 50, 2);
    std::vector<OPCHANDLE> one = SpreadHandles(all, 1);
    MedianPerCall(ReadCall(io.get(), OPC_DS_CACHE, one), 50, 2);

    const Timing floor = MedianPerCall(empty, 50, 20);
    if (!floor.ok()) return table.Add(FailureRow("empty call", floor.hr));
    table.Add({"Transport floor: empty call (IOPCServer::RemoveGroup of bench_noop_server)",
               FormatDuration(floor.msPerCall), "", "", ""});

    for (const ReadSize& size : kReadSizes) {
        std::fprintf(stderr, "  reads of %lu items\n", static_cast<unsigned long>(size.items));
        std::vector<OPCHANDLE> handles = SpreadHandles(all, size.items);
        const std::string target = size.items <= kFloorTargetItems ? "<= 1.05x floor" : "";
        const SideBySide canned =
            MeasureSideBySide(ReadCall(noopIo.get(), OPC_DS_CACHE, handles), empty, size.callsPerBatch, size.batches);
        if (!canned.subject.ok()) return table.Add(FailureRow("no-op read", canned.subject.hr));
        table.Add({"No-op server's read reply of " + ItemsText(size.items) + " (marshalling only)",
                   FormatDuration(canned.subject.msPerCall), "floor " + FormatDuration(canned.baseline.msPerCall),
                   FormatRatio(canned.Ratio()), ""});
        for (OPCDATASOURCE source : {OPC_DS_CACHE, OPC_DS_DEVICE}) {
            const SideBySide read =
                MeasureSideBySide(ReadCall(io.get(), source, handles), empty, size.callsPerBatch, size.batches);
            const std::string name = std::string("Read ") + ItemsText(size.items) + " of 10,000, " +
                                     (source == OPC_DS_CACHE ? "cache" : "device");
            if (!read.subject.ok()) return table.Add(FailureRow(name, read.subject.hr));
            table.Add({name, FormatDuration(read.subject.msPerCall), "floor " + FormatDuration(read.baseline.msPerCall),
                       FormatRatio(read.Ratio()), target});
        }
    }
}

void MeasureItemsAndGroups(ResultTable& table) {
    table.AddSection("Items and groups, cross-process (baseline: the same calls on the no-op server)");
    Connections c;
    HRESULT hr = c.Open();
    if (FAILED(hr)) return table.Add(FailureRow("server objects", hr));
    MedianPerCall(c.EmptyCall(), 50, 2);

    // AddItems of the whole tag set into a fresh group, three rounds, each
    // on the no-op server first.
    std::vector<double> addMs[2];
    BenchItemDefs defs(0, kBenchTagCount);
    for (int round = 0; round < 3; ++round) {
        for (int target = 0; target < 2; ++target) {
            IOPCServer* server = target == 0 ? c.noop.get() : c.server.get();
            fw::ComPtr<IOPCItemMgt> items;
            OPCHANDLE group = 0;
            if (FAILED(hr = AddBenchGroup(server, L"Add" + std::to_wstring(round), 1000, 1, items, &group)))
                return table.Add(FailureRow("AddGroup", hr));
            const double start = MonotonicMs();
            hr = AddBenchItems(items.get(), defs);
            addMs[target].push_back(MonotonicMs() - start);
            if (hr != S_OK) return table.Add(FailureRow("AddItems 10,000", hr));
            items.reset();
            server->RemoveGroup(group, FALSE);
        }
    }
    const double noopAdd = Median(addMs[0]);
    const double opcAdd = Median(addMs[1]);
    table.Add({"AddItems of 10,000 items into one group", FormatDuration(opcAdd),
               "no-op server: " + FormatDuration(noopAdd), FormatRatio(opcAdd / noopAdd), ""});

    // AddGroup, release of the group, RemoveGroup: three calls a round trip.
    int counter = 0;
    auto roundTrip = [&counter](IOPCServer* server) -> Call {
        return [server, &counter] {
            fw::ComPtr<IOPCItemMgt> items;
            OPCHANDLE group = 0;
            const HRESULT result = AddBenchGroup(server, L"G" + std::to_wstring(++counter), 1000, 1, items, &group);
            if (FAILED(result)) return result;
            items.reset();
            return server->RemoveGroup(group, FALSE);
        };
    };
    const SideBySide groups = MeasureSideBySide(roundTrip(c.server.get()), roundTrip(c.noop.get()), 20, 10);
    if (!groups.subject.ok()) return table.Add(FailureRow("AddGroup + RemoveGroup", groups.subject.hr));
    table.Add({"AddGroup + release + RemoveGroup round trips",
               FormatRate(1000.0 / groups.subject.msPerCall, "round trips"),
               "no-op server: " + FormatRate(1000.0 / groups.baseline.msPerCall, "round trips"),
               FormatRatio(groups.Ratio()), ""});
}

}  // namespace bench
