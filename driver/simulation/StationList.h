// The stations named by addresses, in the order they were first seen.  A
// station's position in the list is the device index handed back to the host,
// so nodes are only ever appended, and the list is emptied as a whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarn {

constexpr size_t kStationNameSize = 20;  // NUL included: names keep 19 characters

struct StationNode {
    char stationName[kStationNameSize];
    int32_t stationNumber;
    StationNode* next;
};

class StationList {
public:
    // Nodes come zero-filled from the runtime heap; tests pass an allocator
    // that fails to reach the out-of-memory path.
    using Allocator = void* (*)(size_t count, size_t size);
    static void* HeapAllocate(size_t count, size_t size);

    explicit StationList(Allocator allocate = &HeapAllocate);
    ~StationList();
    StationList(const StationList&) = delete;
    StationList& operator=(const StationList&) = delete;

    // Position of the first station with this name and number, appending a new
    // station at the tail when there is none.  The name is cut to what a node
    // can hold before it is compared, so a long name finds the station it
    // created instead of adding a new one on every lookup.  Nothing when a new
    // node cannot be allocated; the list is then unchanged.
    std::optional<int32_t> FindOrAppend(std::string_view name, int32_t number);

    void Clear();
    int32_t Size() const;

private:
    Allocator allocate_;
    StationNode* head_ = nullptr;
};

}  // namespace tarn
