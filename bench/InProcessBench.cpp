// bench_inproc.exe RESULT_FILE: the server's own cost of its calls, without
// marshalling.  The server's objects are made in this process, as
// VELMORA_OPC makes them, and called directly from this single-threaded
// apartment; the rows go to RESULT_FILE for opc_bench.exe.  It runs from the
// folder of the benchmarks' server copy, beside the bench driver.
#include "BenchClient.h"
#include "BenchTags.h"
#include "ComPtr.h"
#include "GlobalMemory.h"
#include "Group.h"
#include "HalyardApp.h"
#include "HalyardDoc.h"
#include "ResultTable.h"
#include "Sampling.h"
#include "Statistics.h"
#include "Stopwatch.h"
#include "WineTest.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace {

using namespace bench;

// The server code reaches its application object through TheApp().
CHalyardApp theApp;

struct ReadSize {
    DWORD items;
    int callsPerBatch;
    int batches;
};
constexpr ReadSize kReadSizes[] = {{1, 2000, 9}, {10, 1000, 9}, {100, 200, 9}, {1000, 20, 9}, {10000, 2, 7}};

class InProcessBench {
public:
    explicit InProcessBench(CHalyardDoc* doc) : doc_(doc) {}
    void Run(ResultTable& table);

private:
    HRESULT NewGroup(const std::wstring& name, fw::ComPtr<IOPCItemMgt>& items, OPCHANDLE* handle);
    void AddAndRemoveItems(ResultTable& table);
    void Reads(ResultTable& table, IOPCItemMgt* items, const std::vector<OPCHANDLE>& all);
    void SubscriptionCycle(ResultTable& table, IOPCItemMgt* items);
    void GroupRoundTrips(ResultTable& table);

    CHalyardDoc* doc_;
    int groupCounter_ = 0;
};

HRESULT InProcessBench::NewGroup(const std::wstring& name, fw::ComPtr<IOPCItemMgt>& items, OPCHANDLE* handle) {
    OPCHANDLE h = 0;
    DWORD revised = 0;
    const HRESULT hr = doc_->AddGroup((name + std::to_wstring(++groupCounter_)).c_str(), TRUE, 100, 0, nullptr, nullptr,
                                      0x409, &h, &revised, IID_IOPCItemMgt, reinterpret_cast<LPUNKNOWN*>(items.put()));
    if (handle) *handle = h;
    return hr;
}

void InProcessBench::AddAndRemoveItems(ResultTable& table) {
    BenchItemDefs defs(0, kBenchTagCount);
    std::vector<double> addMs, removeMs;
    for (int round = 0; round < 5; ++round) {
        fw::ComPtr<IOPCItemMgt> items;
        OPCHANDLE group = 0;
        HRESULT hr = NewGroup(L"Items", items, &group);
        if (FAILED(hr)) return table.Add(FailureRow("AddGroup", hr));
        std::vector<OPCHANDLE> handles;
        const double added = MonotonicMs();
        hr = AddBenchItems(items.get(), defs, &handles);
        addMs.push_back(MonotonicMs() - added);
        if (hr != S_OK) return table.Add(FailureRow("AddItems", hr));
        // A client removes its items in any order: a fixed shuffle.
        std::shuffle(handles.begin(), handles.end(), std::mt19937(round + 1));
        HRESULT* errors = nullptr;
        const double removed = MonotonicMs();
        hr = items->RemoveItems(static_cast<DWORD>(handles.size()), handles.data(), &errors);
        removeMs.push_back(MonotonicMs() - removed);
        CoTaskMemFree(errors);
        if (hr != S_OK) return table.Add(FailureRow("RemoveItems", hr));
        items.reset();
        doc_->RemoveGroup(group, FALSE);
    }
    table.Add({"AddItems of 10,000 items into one group", FormatDuration(Median(addMs)), "", "", "<= 20 ms"});
    table.Add(
        {"RemoveItems of 10,000 items, shuffled",
         FormatPerItem(Median(removeMs) * 1000.0 / kBenchTagCount) + " (" + FormatDuration(Median(removeMs)) + ")", "",
         "", ""});
}

void InProcessBench::Reads(ResultTable& table, IOPCItemMgt* items, const std::vector<OPCHANDLE>& all) {
    fw::ComPtr<IOPCSyncIO> io;
    HRESULT hr = items->QueryInterface(IID_IOPCSyncIO, io.put_void());
    if (FAILED(hr)) return table.Add(FailureRow("IOPCSyncIO", hr));
    for (const ReadSize& size : kReadSizes) {
        std::vector<OPCHANDLE> handles = SpreadHandles(all, size.items);
        for (OPCDATASOURCE source : {OPC_DS_CACHE, OPC_DS_DEVICE}) {
            IOPCSyncIO* target = io.get();
            const Timing t = MedianPerCall(
                [target, source, &handles] {
                    OPCITEMSTATE* states = nullptr;
                    HRESULT* errors = nullptr;
                    const HRESULT result =
                        target->Read(source, static_cast<DWORD>(handles.size()), handles.data(), &states, &errors);
                    CoTaskMemFree(states);  // values of the driver's types hold nothing to free
                    CoTaskMemFree(errors);
                    return result == S_OK ? S_OK : E_FAIL;
                },
                size.callsPerBatch, size.batches);
            const std::string name = "Read " + FormatCount(size.items) + " of 10,000 items, " +
                                     (source == OPC_DS_CACHE ? "cache" : "device");
            if (!t.ok()) return table.Add(FailureRow(name, t.hr));
            const double perItemUs = t.msPerCall * 1000.0 / size.items;
            table.Add({name, FormatPerItem(perItemUs) + " (" + FormatDuration(t.msPerCall) + " a call)", "", "",
                       "<= 1 us/item"});
        }
    }
}

void InProcessBench::SubscriptionCycle(ResultTable& table, IOPCItemMgt* items) {
    // What an update thread does each period, up to the callback: read the
    // active tags, size the block, write the changed items.
    auto* group = static_cast<CGroup*>(items);
    std::vector<double> ms;
    DWORD sent = 0;
    for (int cycle = 0; cycle < 15; ++cycle) {
        const double start = MonotonicMs();
        const DWORD n = group->ActiveItemCount();
        fw::UniqueGlobal block;
        const HRESULT hr = group->SubscriptionCycle(StreamKind::DataTime, block, &sent);
        block.reset();  // freeing the block is part of the cycle's cost
        ms.push_back(MonotonicMs() - start);
        if (FAILED(hr) || sent != n) return table.Add(FailureRow("subscription cycle", FAILED(hr) ? hr : E_FAIL));
    }
    const double cycleMs = Median(ms);
    table.Add({"Subscription cycle of 10,000 changing items (no callback)",
               FormatPerItem(cycleMs * 1000.0 / kBenchTagCount) + " (" + FormatDuration(cycleMs) + " a cycle)",
               "period 100 ms", FormatPercent(cycleMs) + " of it", "< 5 % of a core"});
}

void InProcessBench::GroupRoundTrips(ResultTable& table) {
    const Timing t = MedianPerCall(
        [this] {
            fw::ComPtr<IOPCItemMgt> items;
            OPCHANDLE group = 0;
            const HRESULT hr = NewGroup(L"Trip", items, &group);
            if (FAILED(hr)) return hr;
            items.reset();
            return doc_->RemoveGroup(group, FALSE);
        },
        20, 9);
    if (!t.ok()) return table.Add(FailureRow("AddGroup + RemoveGroup", t.hr));
    table.Add({"AddGroup + RemoveGroup round trips", FormatRate(1000.0 / t.msPerCall, "round trips"), "", "", ""});
}

void InProcessBench::Run(ResultTable& table) {
    std::fprintf(stderr, "  AddItems and RemoveItems\n");
    AddAndRemoveItems(table);
    fw::ComPtr<IOPCItemMgt> items;
    HRESULT hr = NewGroup(L"Reads", items, nullptr);
    if (FAILED(hr)) return table.Add(FailureRow("AddGroup", hr));
    BenchItemDefs defs(0, kBenchTagCount);
    std::vector<OPCHANDLE> all;
    if ((hr = AddBenchItems(items.get(), defs, &all)) != S_OK) return table.Add(FailureRow("AddItems", hr));
    std::fprintf(stderr, "  reads\n");
    Reads(table, items.get(), all);
    std::fprintf(stderr, "  subscription cycle\n");
    SubscriptionCycle(table, items.get());
    std::fprintf(stderr, "  AddGroup + RemoveGroup\n");
    GroupRoundTrips(table);
}

// The document loads the first driver of its search list that it finds, and
// finds it beside this program as the server does beside itself.
bool DriverBesideProgram() {
    char path[MAX_PATH];
    const std::string self(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    const std::string driver = self.substr(0, self.find_last_of('\\') + 1) + "TARNWNISA.DLL";
    return GetFileAttributesA(driver.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    testsupport::ComScope com;
    if (FAILED(com.result())) return 3;
    ResultTable table;
    table.AddSection("Server-side cost in process (no marshalling), group of 10,000 items");
    fw::ComPtr<CHalyardDoc> doc;
    doc.attach(new CHalyardDoc);
    // Without its driver the document would stop at a message box.
    if (!DriverBesideProgram()) {
        table.Add(FailureRow("bench driver beside bench_inproc.exe", E_FAIL));
    } else if (!doc->OnNewDocument() || !doc->HasDriver() || !doc->FindTag(L"Bench09999")) {
        table.Add(FailureRow("server document with the bench driver's tags", E_FAIL));
    } else {
        InProcessBench(doc.get()).Run(table);
    }
    doc.reset();  // closes the document: its groups go with it
    return table.Save(argv[1]) ? 0 : 1;
}
