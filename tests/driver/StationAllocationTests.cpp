// Running out of memory for a station node.  The DLL always allocates from
// the heap, so these cases drive the driver's logic library directly with an
// allocator that fails on demand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "SimulationDriver.h"
#include "StationList.h"

namespace drivertest {
namespace {

// Fails every allocation after the first `budget`.
size_t g_budget = 0;
void* BudgetedAllocate(size_t count, size_t size) {
    if (g_budget == 0) return nullptr;
    --g_budget;
    return std::calloc(count, size);
}

class NoWrites final : public tarn::WriteNotifier {
public:
    void ShowWrite(const std::string& text) override { ADD_FAILURE() << "unexpected write \"" << text << "\""; }
};

class StationAllocation : public testing::Test {
protected:
    int32_t Parse(const char* text) {
        std::memset(&address_, 0xA5, sizeof address_);
        address_.address = text;
        tarn::TarnRequest request{context_, tarn::SingleAddressParser, 0, 0, &address_};
        return driver_.Dispatch(&request);
    }

    NoWrites notifier_;
    tarn::SimulationDriver driver_{notifier_, &BudgetedAllocate};
    int32_t context_[2] = {};
    tarn::TarnAddress address_;
};

}  // namespace

TEST_F(StationAllocation, FailedNodeFailsTheRequestAndWritesNothing) {
    g_budget = 0;
    EXPECT_EQ(Parse("A,1,5"), 1);
    tarn::TarnAddress untouched;
    std::memset(&untouched, 0xA5, sizeof untouched);
    untouched.address = address_.address;
    EXPECT_EQ(std::memcmp(&address_, &untouched, sizeof address_), 0);
    EXPECT_EQ(driver_.stations().Size(), 0);
}

TEST_F(StationAllocation, KnownStationsNeedNoNewNodeAndTheListRecovers) {
    g_budget = 1;
    ASSERT_EQ(Parse("A,1"), 0);
    EXPECT_EQ(address_.device, 0);
    EXPECT_EQ(Parse("B,1"), 1) << "the second node cannot be allocated";
    EXPECT_EQ(Parse("A,1,9"), 0);
    EXPECT_EQ(address_.device, 0);
    EXPECT_EQ(address_.number, 9);
    EXPECT_EQ(driver_.stations().Size(), 1);

    g_budget = 1;
    ASSERT_EQ(Parse("B,1"), 0);
    EXPECT_EQ(address_.device, 1) << "the failed station left no gap";
}

}  // namespace drivertest
