// A client's side of the benchmarks: server objects of VELMORA_OPC, groups of
// the benchmark driver's tags, and the handles to read.
#pragma once

#include "ComPtr.h"
#include "OpcInterfaces.h"

#include <string>
#include <vector>

namespace bench {

// A new server object of the registered VELMORA_OPC.
HRESULT CreateBenchServer(fw::ComPtr<IOPCServer>& server);

// An active group at `rate` ms.
HRESULT AddBenchGroup(IOPCServer* server, const std::wstring& name, DWORD rate, OPCHANDLE clientGroup,
                      fw::ComPtr<IOPCItemMgt>& items, OPCHANDLE* serverGroup = nullptr);

// Definitions of `count` items on the tags from `first` on (wrapping round
// the tag set); client handles are 1, 2, ...
class BenchItemDefs {
public:
    BenchItemDefs(int first, int count, bool active = true);
    DWORD Count() const { return static_cast<DWORD>(defs_.size()); }
    OPCITEMDEF* Data() { return defs_.data(); }

private:
    std::vector<std::wstring> names_;
    std::vector<OPCITEMDEF> defs_;
};

// AddItems; S_OK only when every item was added.  The server handles go to
// `handles` when it is given.
HRESULT AddBenchItems(IOPCItemMgt* items, BenchItemDefs& defs, std::vector<OPCHANDLE>* handles = nullptr);

// Makes every item behind the handles active or inactive.
HRESULT SetItemsActive(IOPCItemMgt* items, std::vector<OPCHANDLE>& handles, bool active);

// `n` of the handles, spread evenly over the list (all of them for n >= size).
std::vector<OPCHANDLE> SpreadHandles(const std::vector<OPCHANDLE>& handles, size_t n);

// The clipboard format of time-stamped data-change streams.
CLIPFORMAT DataTimeFormat();

}  // namespace bench
