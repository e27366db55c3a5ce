// What one server object, and so one client, may take of the process.  One
// process serves every client: without bounds a single client adding
// blobs, items, groups or subscriptions until memory, threads or address
// space ran out would crash the server, or leave the next client's ordinary
// call failing.  The limits are far above real use (the README names them);
// a call beyond one fails for that client alone.
#pragma once

#include <atomic>
#include <cstddef>

// A count of something taken and given back from any thread, never above
// its limit.
class BoundedCount {
public:
    explicit BoundedCount(size_t limit) : limit_(limit) {}
    BoundedCount(const BoundedCount&) = delete;
    BoundedCount& operator=(const BoundedCount&) = delete;

    // False, and nothing taken, when n more would pass the limit.
    bool Take(size_t n = 1) {
        size_t used = used_.load();
        do {
            if (n > limit_ || used > limit_ - n) return false;
        } while (!used_.compare_exchange_weak(used, used + n));
        return true;
    }
    void Give(size_t n = 1) { used_ -= n; }
    size_t Used() const { return used_.load(); }

private:
    const size_t limit_;
    std::atomic<size_t> used_{0};
};

namespace server_limits {
constexpr size_t kGroups = 256;
constexpr size_t kItems = 100000;
constexpr size_t kBlobBytes = 16 * 1024 * 1024;
constexpr size_t kSubscriptions = 256;
// Asynchronous requests accepted and not yet delivered.
constexpr size_t kPendingRequests = 256;
constexpr size_t kPendingRequestsPerSubscription = 64;
}  // namespace server_limits

struct ServerBudget {
    BoundedCount groups{server_limits::kGroups};
    BoundedCount items{server_limits::kItems};
    BoundedCount blobBytes{server_limits::kBlobBytes};
    BoundedCount subscriptions{server_limits::kSubscriptions};
    BoundedCount pendingRequests{server_limits::kPendingRequests};
};
