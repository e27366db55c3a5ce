// How TarnMain maps request codes onto handlers: two ranges (1..15 and
// 101..105), the 86..100 aliases of the low range, and "not supported" (2)
// for everything else.
#include <climits>
#include <cstring>
#include <utility>
#include <vector>

#include "SimulationTest.h"
#include "WineTest.h"

namespace drivertest {

// Sends a code with poisoned data and context buffers and expects an answer
// that leaves both as they were.
class DispatchCodes : public SimulationTest {
protected:
    void ExpectAnswer(int32_t code, int32_t answer) {
        std::vector<unsigned char> data(256, kPoisonByte);
        int32_t context[2] = {kPoison, kPoison};
        EXPECT_EQ(Call(code, data.data(), 5, context), answer) << "code " << code;
        EXPECT_EQ(data, std::vector<unsigned char>(256, kPoisonByte)) << "code " << code << " wrote its data";
        EXPECT_EQ(context[0], kPoison) << "code " << code;
        EXPECT_EQ(context[1], kPoison) << "code " << code;
    }
};

// Codes without a handler, their aliases (93, 94, 97, 98 and 100 sit on the
// slots of 8, 9, 12, 13 and 15), and everything outside the two ranges.
TEST_F(DispatchCodes, CodesWithoutHandlerAnswerNotSupported) {
    for (int32_t code : {8, 9, 12, 13, 15, 105, 93, 94, 97, 98, 100, INT_MIN, INT_MIN + 1, INT_MAX})
        ExpectAnswer(code, tarn::TarnNotSupported);
    for (const auto& range : {std::make_pair(-300, 0), std::make_pair(16, 85), std::make_pair(106, 1200)})
        for (int32_t code = range.first; code <= range.second; ++code) ExpectAnswer(code, tarn::TarnNotSupported);
}

TEST_F(DispatchCodes, AcceptedRequestsAnswerZeroWithoutEffect) {
    // WarmStart, SingleRead, BlockRead, SingleWrite, BlockWrite and their aliases.
    for (int32_t code : {2, 5, 6, 7, 10, 87, 90, 91, 92, 95}) ExpectAnswer(code, tarn::TarnOk);
    // None of them is a block read: the running value has not moved.
    const TagValues tags = ReadTags();
    EXPECT_EQ(tags.i4, 2);
    ExpectTagsFor(tags, RunningAfter(1.0, 1));
}

TEST_F(DispatchCodes, AliasesReachTheHandlersOfTheLowRange) {
    testsupport::ScratchDir dir;
    dir.WriteFile("TARNISA00.INT", "77");
    testsupport::CurrentDirScope cwd(dir.path());
    int32_t context[2] = {kPoison, kPoison};
    unsigned char reserved[tarn::TarnColdStartDataSize] = {};
    EXPECT_EQ(Call(86, reserved, 0, context, 0), tarn::TarnOk) << "ColdStart";
    EXPECT_EQ(context[0], 77);
    EXPECT_EQ(context[1], kPoison);

    // The parsers' aliases share the station list with the codes they stand for.
    EXPECT_EQ(Parse("A,1,5", 88).device, 0);
    const tarn::TarnAddress b = Parse("B,1,6", 89);
    EXPECT_EQ(b.device, 1);
    EXPECT_EQ(b.number, 6);
    EXPECT_EQ(b.param, 16);
    EXPECT_EQ(Parse("A,1", tarn::SingleAddressParser).device, 0);
    EXPECT_EQ(Parse("B,1", tarn::BlockAddressParser).device, 1);

    tarn::TarnDriverInfo info;
    std::memset(&info, kPoisonByte, sizeof info);
    EXPECT_EQ(Call(99, &info), tarn::TarnOk) << "GetTarnInfo";
    EXPECT_EQ(info.version, 1272);

    EXPECT_EQ(Call(96), tarn::TarnOk) << "EndTarn";
    // Ended: the parser now answers 0 without writing.
    int32_t result = -1;
    EXPECT_EQ(Parse("C,1", tarn::SingleAddressParser, &result).device, kPoison);
    EXPECT_EQ(result, tarn::TarnOk);
}

// A handler that needs a buffer refuses a request without one instead of
// crashing the host; nothing else changes.
TEST_F(DispatchCodes, MissingBuffersFail) {
    EXPECT_EQ(library_.entry()(nullptr), 1) << "no request at all";
    unsigned char reserved[tarn::TarnColdStartDataSize] = {};
    EXPECT_EQ(Call(tarn::ColdStart, reserved, 0, nullptr), 1) << "ColdStart without context";
    EXPECT_EQ(Call(tarn::SingleAddressParser, nullptr), 1);
    EXPECT_EQ(Call(tarn::BlockAddressParser, nullptr), 1);
    tarn::TarnAddress noText{};
    EXPECT_EQ(Call(tarn::SingleAddressParser, &noText), 1) << "address without text";
    EXPECT_EQ(Call(tarn::GetTarnInfo, nullptr), 1);
    EXPECT_EQ(Call(tarn::OpcWrite, nullptr), 1);
    tarn::TarnIoItem noValue{};
    noValue.type = tarn::TarnInt32;
    EXPECT_EQ(Call(tarn::OpcWrite, &noValue), 1) << "write without value";
    EXPECT_EQ(Call(tarn::OpcTagList, nullptr, 5), 1);
    EXPECT_EQ(Call(tarn::OpcTagCount, nullptr), 1);
    EXPECT_EQ(Call(tarn::OpcBlockRead, nullptr, 2), 1);
    // The refused read did not count: the next one is still the first.
    const TagValues tags = ReadTags();
    EXPECT_EQ(tags.i4, 2);
    EXPECT_EQ(tags.boolean, 0);
}

}  // namespace drivertest
