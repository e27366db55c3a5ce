#include "StationList.h"

#include <cstdlib>
#include <cstring>

namespace tarn {

void* StationList::HeapAllocate(size_t count, size_t size) { return std::calloc(count, size); }

StationList::StationList(Allocator allocate) : allocate_(allocate) {}

StationList::~StationList() { Clear(); }

std::optional<int32_t> StationList::FindOrAppend(std::string_view name, int32_t number) {
    const std::string_view kept = name.substr(0, kStationNameSize - 1);

    int32_t index = 0;
    StationNode** link = &head_;
    for (; *link; link = &(*link)->next, ++index) {
        const StationNode& node = **link;
        const std::string_view nodeName(node.stationName, strnlen(node.stationName, kStationNameSize));
        if (nodeName == kept && node.stationNumber == number) return index;
    }

    auto* node = static_cast<StationNode*>(allocate_(1, sizeof(StationNode)));
    if (!node) return std::nullopt;
    *node = StationNode{};  // the heap zero-fills; a test allocator need not
    std::memcpy(node->stationName, kept.data(), kept.size());
    node->stationNumber = number;
    *link = node;
    return index;
}

void StationList::Clear() {
    while (head_) {
        StationNode* next = head_->next;
        std::free(head_);
        head_ = next;
    }
}

int32_t StationList::Size() const {
    int32_t n = 0;
    for (const StationNode* node = head_; node; node = node->next) ++n;
    return n;
}

}  // namespace tarn
