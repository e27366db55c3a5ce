// After EndTarn the driver plays dead: every code but ColdStart (1) and
// GetTarnInfo (14) answers 0 and does nothing, until the next ColdStart.
#include <climits>
#include <cstring>
#include <vector>

#include "BlockingCall.h"
#include "SimulationTest.h"
#include "WineTest.h"

namespace drivertest {

class EndedState : public SimulationTest {
protected:
    void SetUp() override {
        SimulationTest::SetUp();
        ASSERT_EQ(EndTarn(), tarn::TarnOk);
    }
};

TEST_F(EndedState, EveryCodeButOneAndFourteenAnswersZeroWithoutEffect) {
    // The parsers with a real address, which they would fill in.
    for (int32_t code : {int32_t{tarn::SingleAddressParser}, int32_t{tarn::BlockAddressParser}, int32_t{88}}) {
        int32_t result = -1;
        const tarn::TarnAddress address = Parse("A,1,7", code, &result);
        EXPECT_EQ(result, tarn::TarnOk) << "code " << code;
        for (int32_t field : {address.device, address.reserved20, address.number, address.reserved28, address.param})
            EXPECT_EQ(field, kPoison) << "code " << code;
    }
    // Includes codes that answer 2 while running, the aliases 86 and 99 of the
    // two exempt codes, and the protocol's high range.
    const int32_t codes[] = {INT_MIN, -1, 0,  2,  3,   4,   5,   8,   11,  12,  15,  16,  50,
                             85,      86, 93, 96, 99,  100, 101, 103, 104, 105, 106, 500, INT_MAX};
    for (int32_t code : codes) {
        std::vector<unsigned char> data(8 * sizeof(tarn::TarnTagRecord), kPoisonByte);
        int32_t context[2] = {kPoison, kPoison};
        EXPECT_EQ(Call(code, data.data(), 5, context), tarn::TarnOk) << "code " << code;
        EXPECT_EQ(data, std::vector<unsigned char>(data.size(), kPoisonByte)) << "code " << code << " wrote its data";
        EXPECT_EQ(context[0], kPoison) << "code " << code;
        EXPECT_EQ(context[1], kPoison) << "code " << code;
    }
}

// Neither a block read nor a write touches the running value: after the next
// ColdStart the first read is the first after loading.
TEST_F(EndedState, ReadsAndWritesNeitherWriteNorAdvance) {
    VARIANT value = NumberVariant(VT_I4, kPoison);
    tarn::TarnIoItem item{};
    item.type = tarn::TarnInt32;
    item.value = &value;
    item.status = kPoisonByte;
    EXPECT_EQ(Call(tarn::OpcBlockRead, &item, 1, context_), tarn::TarnOk);
    EXPECT_EQ(value.lVal, kPoison);
    EXPECT_EQ(item.status, kPoisonByte);

    value.lVal = 10;
    {
        BlockingCall call(library_.entry(), tarn::TarnRequest{context_, tarn::OpcWrite, 0, 0, &item});
        // A box would keep the call from returning; the call object closes it
        // if the check fails.
        ASSERT_TRUE(call.WaitDone(10000)) << "the write waited for a box";
        EXPECT_EQ(call.result(), tarn::TarnOk);
    }
    ASSERT_EQ(ColdStart(context_), tarn::TarnOk);
    ExpectTagsFor(ReadTags(), RunningAfter(1.0, 1));
}

TEST_F(EndedState, GetTarnInfoStillAnswersAndColdStartRevivesTheDriver) {
    EXPECT_EQ(EndTarn(), tarn::TarnOk) << "ending twice is harmless";
    tarn::TarnDriverInfo info;
    std::memset(&info, kPoisonByte, sizeof info);
    EXPECT_EQ(Call(tarn::GetTarnInfo, &info), tarn::TarnOk);
    EXPECT_EQ(info.version, 1272);
    EXPECT_STREQ(info.name, "Corvell TCP/IP");
    EXPECT_EQ(info.contextSize, 8);

    testsupport::ScratchDir dir;
    dir.WriteFile("TARNISA00.INT", "321");
    testsupport::CurrentDirScope cwd(dir.path());
    EXPECT_EQ(ColdStart(context_), tarn::TarnOk);
    EXPECT_EQ(context_[0], 321);
    const tarn::TarnAddress address = Parse("A,1,4");
    EXPECT_EQ(address.device, 0);
    EXPECT_EQ(address.number, 4);
    int32_t count = kPoison;
    EXPECT_EQ(Call(tarn::OpcTagCount, &count), tarn::TarnOk);
    EXPECT_EQ(count, 5);
}

// The lifecycle around the ended state.
using DriverLifecycle = SimulationTest;

TEST_F(DriverLifecycle, EndTarnEmptiesTheStationList) {
    EXPECT_EQ(DeviceOf("A,1"), 0);
    EXPECT_EQ(DeviceOf("B,1"), 1);
    EXPECT_EQ(DeviceOf("C,1"), 2);
    ASSERT_EQ(EndTarn(), tarn::TarnOk);
    ASSERT_EQ(ColdStart(context_), tarn::TarnOk);
    EXPECT_EQ(DeviceOf("C,1"), 0);
    EXPECT_EQ(DeviceOf("A,1"), 1);
}

TEST_F(DriverLifecycle, ColdStartKeepsTheRunningValue) {
    ReadTags();
    ReadTags();
    ASSERT_EQ(ColdStart(context_), tarn::TarnOk);
    ExpectTagsFor(ReadTags(), RunningAfter(1.0, 3));
}

}  // namespace drivertest
