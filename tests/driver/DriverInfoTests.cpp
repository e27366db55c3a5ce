// GetTarnInfo: version, display name, console banner, context size and the
// two reserved words the simulation writes.
#include <cstring>
#include <string>

#include "SimulationTest.h"

namespace drivertest {

using DriverInfo = SimulationTest;

TEST_F(DriverInfo, FillsTheSimulationsFieldsFromItsOwnStorage) {
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

    ASSERT_NE(info.banner, nullptr);
    const std::string rule(70, '\xCD');
    const std::string expected = "\x08\xC9" + rule + "\xBB\n\xBA  TARNISA:    Corvell (32-bit driver) \xBA" +
                                 std::string(33, ' ') + "\n\xC8" + rule + "\xBC";  // no final line feed
    EXPECT_EQ(std::string(info.banner), expected);

    // The host keeps the pointers, not copies: the texts must stay where they are.
    tarn::TarnDriverInfo again{};
    ASSERT_EQ(Call(tarn::GetTarnInfo, &again), tarn::TarnOk);
    EXPECT_EQ(info.name, again.name);
    EXPECT_EQ(info.banner, again.banner);
    HMODULE owner = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   info.banner, &owner));
    EXPECT_EQ(owner, GetModuleHandleA(kDriverFileName)) << "the banner is not in the driver's image";
}

}  // namespace drivertest
