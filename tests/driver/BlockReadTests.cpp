// OpcBlockRead: one running value, advanced by 1.1 per request, feeds every
// element by its type code.
#include <climits>
#include <cstring>

#include "SimulationTest.h"

namespace drivertest {

using BlockRead = SimulationTest;

TEST_F(BlockRead, ReadsAccumulateByRepeatedAdditionFromOne) {
    for (int k = 1; k <= 40; ++k) {
        SCOPED_TRACE(k);
        const TagValues tags = ReadTags();
        if (k == 1) ExpectTagValues(tags, 2, 2, 0, 2.1f, 7.3);
        if (k == 2) ExpectTagValues(tags, 3, 3, 1, 3.2f, 8.4);
        ExpectTagsFor(tags, RunningAfter(1.0, k));
    }
    Reload();
    ExpectTagsFor(ReadTags(), RunningAfter(1.0, 1));
}

TEST_F(BlockRead, ElementsOfOneRequestSeeTheSameValue) {
    VARIANT values[3];
    tarn::TarnIoItem items[3] = {};
    for (int i = 0; i < 3; ++i) {
        values[i] = NumberVariant(VT_R8, 0);
        items[i].type = tarn::TarnFloat64;
        items[i].value = &values[i];
    }
    ASSERT_EQ(Call(tarn::OpcBlockRead, items, 3, context_), tarn::TarnOk);
    volatile double expected = RunningAfter(1.0, 1) + 5.2;
    for (int i = 0; i < 3; ++i) {
        volatile double got = values[i].dblVal;
        EXPECT_EQ(got, expected) << "element " << i;
    }
}

TEST_F(BlockRead, EmptyRequestsStillAdvance) {
    EXPECT_EQ(Call(tarn::OpcBlockRead, nullptr, 0, context_), tarn::TarnOk);
    EXPECT_EQ(Call(tarn::OpcBlockRead, nullptr, -3, context_), tarn::TarnOk);
    const TagValues tags = ReadTags();
    EXPECT_EQ(tags.i4, 4);
    ExpectTagsFor(tags, RunningAfter(1.0, 3));
}

TEST_F(BlockRead, AlternateIntegerCodesReadLikeTheUsualOnes) {
    VARIANT i16 = NumberVariant(VT_I2, 0);
    VARIANT i32 = NumberVariant(VT_I4, 0);
    i16.lVal = kPoison;  // only the low 16 bits may change
    tarn::TarnIoItem items[2] = {};
    items[0].type = tarn::TarnInt16Alt;
    items[0].value = &i16;
    items[1].type = tarn::TarnInt32Alt;
    items[1].value = &i32;
    ReadTags();
    ReadTags();
    ASSERT_EQ(Call(tarn::OpcBlockRead, items, 2, context_), tarn::TarnOk);  // running value 4.3
    EXPECT_EQ(i16.iVal, 4);
    EXPECT_EQ(static_cast<uint32_t>(i16.lVal) >> 16, static_cast<uint32_t>(kPoison) >> 16);
    EXPECT_EQ(i32.lVal, 4);
    EXPECT_EQ(items[0].status, 0);
    EXPECT_EQ(items[1].status, 0);
}

// Canonical VARTYPE numbers that are not driver type codes (2 is VT_I4's),
// gaps in the code table, out-of-range values, and a known type without a
// value to write to: status 1 and nothing written, the others served.
TEST_F(BlockRead, ElementsThatCannotBeServedGetStatusOne) {
    const int32_t types[] = {tarn::TarnInt16, 2, tarn::TarnInt32, 7, -1, tarn::TarnFloat32, 9,
                             tarn::TarnBool16, 65535, tarn::TarnFloat64, INT_MIN, tarn::TarnInt32};
    constexpr int n = sizeof types / sizeof types[0];
    const VARIANT poisoned = NumberVariant(VT_EMPTY, 0, kPoisonByte);
    VARIANT values[n];
    tarn::TarnIoItem items[n] = {};
    for (int i = 0; i < n; ++i) {
        values[i] = poisoned;
        items[i].type = types[i];
        items[i].value = i == n - 1 ? nullptr : &values[i];
        items[i].status = kPoisonByte;
    }
    ASSERT_EQ(Call(tarn::OpcBlockRead, items, n, context_), tarn::TarnOk);
    for (int i = 0; i < n; ++i) {
        const bool known = i < n - 1 && (types[i] == 1 || types[i] == 3 || types[i] == 4 || types[i] == 6 ||
                                         types[i] == 8);
        EXPECT_EQ(items[i].status, known ? 0 : 1) << "element " << i << ", type " << types[i];
        if (!known) {
            EXPECT_EQ(std::memcmp(&values[i], &poisoned, sizeof poisoned), 0) << "element " << i << " was written";
        }
    }
    EXPECT_EQ(values[0].iVal, 2);
    EXPECT_EQ(values[2].lVal, 2);
    EXPECT_EQ(values[7].boolVal, 0);
}

// The driver writes the value part only, with the width of its type code:
// the VARIANT's first 8 bytes (type field and reserved words) and the bytes
// past the value stay as the host left them.
TEST_F(BlockRead, WritesOnlyTheValueWidthFromOffsetEight) {
    const struct {
        int32_t type;
        size_t width;
    } cases[] = {{tarn::TarnInt16Alt, 2}, {tarn::TarnInt16, 2},     {tarn::TarnFloat32, 4}, {tarn::TarnInt32, 4},
                 {tarn::TarnInt32Alt, 4}, {tarn::TarnBool16, 2}, {tarn::TarnFloat64, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        // A nonsense type field on purpose: the driver must not look at or fix it.
        VARIANT value = NumberVariant(0x1234, 0, kPoisonByte);
        const VARIANT before = value;
        tarn::TarnIoItem item{};
        item.type = c.type;
        item.value = &value;
        ASSERT_EQ(Call(tarn::OpcBlockRead, &item, 1, context_), tarn::TarnOk);
        const auto* now = reinterpret_cast<const unsigned char*>(&value);
        const auto* was = reinterpret_cast<const unsigned char*>(&before);
        EXPECT_EQ(std::memcmp(now, was, 8), 0) << "touched the type field";
        EXPECT_NE(std::memcmp(now + 8, was + 8, c.width), 0) << "wrote no value";
        EXPECT_EQ(std::memcmp(now + 8 + c.width, was + 8 + c.width, sizeof value - 8 - c.width), 0)
            << "wrote past its width";
        EXPECT_EQ(item.status, 0);
    }
}

// A written value can put the running value far outside the int32 range;
// the integer tags then saturate instead of taking an undefined conversion.
// The box shows such a double in full.
TEST_F(BlockRead, HugeRunningValueSaturatesTheIntegerTags) {
    EXPECT_EQ(WriteNumber(tarn::TarnFloat64, VT_R8, 1e20), "100000000000000000000.000000");
    const TagValues tags = ReadTags();
    EXPECT_EQ(tags.i4, INT_MAX);
    EXPECT_EQ(tags.i2, -1);  // low 16 bits of 0x7FFFFFFF
    EXPECT_EQ(tags.boolean, 1);
    volatile double r8 = tags.r8;
    volatile double expected = RunningAfter(1e20, 1) + 5.2;
    EXPECT_EQ(r8, expected);

    WriteNumber(tarn::TarnFloat64, VT_R8, -1e12);
    const TagValues low = ReadTags();
    EXPECT_EQ(low.i4, INT_MIN);
    EXPECT_EQ(low.i2, 0);  // low 16 bits of 0x80000000
    EXPECT_EQ(low.boolean, 0);
}

TEST_F(BlockRead, NegativeRunningValueTruncatesTowardZero) {
    WriteNumber(tarn::TarnInt32, VT_I4, -3);
    const TagValues tags = ReadTags();  // -1.9
    EXPECT_EQ(tags.i4, -1);
    EXPECT_EQ(tags.i2, -1);
    EXPECT_EQ(tags.boolean, 1);
    ExpectTagsFor(tags, RunningAfter(-3.0, 1));
}

}  // namespace drivertest
