// The five simulated tags: OpcTagCount answers 5, OpcTagList fills exactly
// five records whatever count says.
#include <cstring>
#include <string>
#include <vector>

#include "SimulationTest.h"

namespace drivertest {

using TagList = SimulationTest;

TEST_F(TagList, FiveRecordsWhateverTheCount) {
    int32_t count = kPoison;
    EXPECT_EQ(Call(tarn::OpcTagCount, &count), tarn::TarnOk);
    EXPECT_EQ(count, 5);

    constexpr size_t kRoom = 8;
    for (int32_t asked : {5, 0, 1, 8, -1}) {
        SCOPED_TRACE(asked);
        std::vector<tarn::TarnTagRecord> records(kRoom);
        std::memset(records.data(), kPoisonByte, kRoom * sizeof(tarn::TarnTagRecord));
        ASSERT_EQ(Call(tarn::OpcTagList, records.data(), asked), tarn::TarnOk);
        for (int i = 0; i < 5; ++i) {
            SCOPED_TRACE(i);
            const tarn::TarnTagRecord& record = records[static_cast<size_t>(i)];
            EXPECT_EQ(std::string(record.address), std::to_string(i));
            EXPECT_EQ(std::string(record.name), "Name" + std::to_string(i));
            EXPECT_EQ(record.type, kTagVarTypes[i]);
            // Text fields are terminated within their 32 bytes, the last one included.
            EXPECT_EQ(record.address[tarn::TarnTextSize - 1], '\0');
            EXPECT_EQ(record.name[tarn::TarnTextSize - 1], '\0');
        }
        const auto* beyond = reinterpret_cast<const unsigned char*>(&records[5]);
        const std::vector<unsigned char> tail(beyond, beyond + 3 * sizeof(tarn::TarnTagRecord));
        EXPECT_EQ(tail, std::vector<unsigned char>(tail.size(), kPoisonByte)) << "a sixth record was written";
    }
}

// What the server does after the list: each record's type maps to the code
// the reads serve, and its address (one field: a station of its own, the
// missing numbers 0) parses.
TEST_F(TagList, TypesAndAddressesServeTheReads) {
    tarn::TarnTagRecord records[5];
    ASSERT_EQ(Call(tarn::OpcTagList, records, 5), tarn::TarnOk);
    const int32_t codes[5] = {tarn::TarnInt16, tarn::TarnInt32, tarn::TarnBool16, tarn::TarnFloat32,
                              tarn::TarnFloat64};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(tarn::TarnTypeFromVarType(static_cast<uint16_t>(records[i].type)), codes[i]);
        const tarn::TarnAddress address = Parse(records[i].address);
        EXPECT_EQ(address.device, i);
        EXPECT_EQ(address.number, 0);
        EXPECT_EQ(address.param, 16);
    }
    EXPECT_EQ(DeviceOf("2,0,0"), 2);
}

}  // namespace drivertest
