// GetTarnInfo: version, display name, console banner, context size and the
// two reserved words the simulation writes.
#include <cstring>
#include <string>

#include "SimulationTest.h"

namespace drivertest {
namespace {

std::string ExpectedBanner() {
    std::string banner;
    banner += '\x08';
    banner += '\xC9';
    banner += std::string(70, '\xCD');
    banner += '\xBB';
    banner += '\n';
    banner += '\xBA';
    banner += "  TARNISA:    Corvell (32-bit driver) ";
    banner += '\xBA';
    banner += std::string(33, ' ');
    banner += '\n';
    banner += '\xC8';
    banner += std::string(70, '\xCD');
    banner += '\xBC';
    return banner;
}

}  // namespace

using DriverInfo = SimulationTest;

TEST_F(DriverInfo, FillsTheSimulationsFields) {
    tarn::TarnDriverInfo info;
    std::memset(&info, kPoisonByte, sizeof info);
    ASSERT_EQ(Call(tarn::GetTarnInfo, &info), tarn::TarnOk);
    EXPECT_EQ(info.version, 1272);
    ASSERT_NE(info.name, nullptr);
    EXPECT_STREQ(info.name, "Corvell TCP/IP");
    EXPECT_EQ(info.contextSize, 8);
    EXPECT_EQ(info.reserved16, 1);
    EXPECT_EQ(info.reserved28, 1);
    EXPECT_EQ(info.reserved20, kPoison) << "not the driver's to write";
    EXPECT_EQ(info.reserved24, kPoison) << "not the driver's to write";
}

TEST_F(DriverInfo, BannerHasItsExactBytes) {
    tarn::TarnDriverInfo info{};
    ASSERT_EQ(Call(tarn::GetTarnInfo, &info), tarn::TarnOk);
    ASSERT_NE(info.banner, nullptr);
    const std::string banner(info.banner);  // up to its NUL
    const std::string expected = ExpectedBanner();
    EXPECT_EQ(banner.size(), 1u + 72u + 1u + 73u + 1u + 72u);
    EXPECT_EQ(banner, expected);
    EXPECT_NE(banner.back(), '\n') << "no final line feed";
}

// The host keeps the pointers, not copies: the texts must stay where they are.
TEST_F(DriverInfo, TextsLiveInTheDriversOwnStorage) {
    tarn::TarnDriverInfo first{};
    tarn::TarnDriverInfo second{};
    ASSERT_EQ(Call(tarn::GetTarnInfo, &first), tarn::TarnOk);
    ASSERT_EQ(Call(tarn::GetTarnInfo, &second), tarn::TarnOk);
    EXPECT_EQ(first.name, second.name);
    EXPECT_EQ(first.banner, second.banner);
    HMODULE owner = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   first.banner, &owner));
    EXPECT_EQ(owner, GetModuleHandleA(kDriverFileName)) << "the banner is not in the driver's image";
}

}  // namespace drivertest
