// OpcBlockRead: one running value, advanced by 1.1 per request, feeds every
// element by its type code.
#include <climits>
#include <cstring>

#include "SimulationTest.h"

namespace drivertest {

using BlockRead = SimulationTest;

TEST_F(BlockRead, FirstReadAfterLoad) {
    const TagValues tags = ReadTags();
    EXPECT_EQ(tags.result, tarn::TarnOk);
    ExpectTagValues(tags, 2, 2, 0, 2.1f, 7.3);
    ExpectTagsFor(tags, RunningAfter(1.0, 1));
}

TEST_F(BlockRead, SecondReadAfterLoad) {
    ReadTags();
    const TagValues tags = ReadTags();
    ExpectTagValues(tags, 3, 3, 1, 3.2f, 8.4);
    ExpectTagsFor(tags, RunningAfter(1.0, 2));
}

TEST_F(BlockRead, ManyReadsAccumulateByRepeatedAddition) {
    for (int k = 1; k <= 40; ++k) {
        SCOPED_TRACE(k);
        ExpectTagsFor(ReadTags(), RunningAfter(1.0, k));
    }
}

TEST_F(BlockRead, ReloadingStartsAgainFromOne) {
    ReadTags();
    ReadTags();
    Reload();
    ExpectTagsFor(ReadTags(), RunningAfter(1.0, 1));
}

TEST_F(BlockRead, ElementsOfOneRequestSeeTheSameValue) {
    VARIANT values[3];
    tarn::TarnIoItem items[3];
    std::memset(items, 0, sizeof items);
    for (int i = 0; i < 3; ++i) {
        VariantInit(&values[i]);
        values[i].vt = VT_R8;
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
    VARIANT i16;
    VARIANT i32;
    VariantInit(&i16);
    VariantInit(&i32);
    i16.vt = VT_I2;
    i32.vt = VT_I4;
    i16.lVal = kPoison;  // only the low 16 bits may change
    tarn::TarnIoItem items[2];
    std::memset(items, 0, sizeof items);
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

TEST_F(BlockRead, UnknownTypeCodesGetStatusOneWhileTheOthersAreServed) {
    // Canonical VARTYPE numbers that are not driver type codes (2 is VT_I4's),
    // gaps in the code table, and out-of-range values.
    const int32_t types[] = {tarn::TarnInt16, 2, tarn::TarnInt32, 7, -1, tarn::TarnFloat32, 9,
                             tarn::TarnBool16, 65535, tarn::TarnFloat64, INT_MIN};
    constexpr int n = sizeof types / sizeof types[0];
    VARIANT values[n];
    tarn::TarnIoItem items[n];
    std::memset(items, 0, sizeof items);
    for (int i = 0; i < n; ++i) {
        std::memset(&values[i], kPoisonByte, sizeof values[i]);
        values[i].vt = VT_EMPTY;
        items[i].type = types[i];
        items[i].value = &values[i];
        items[i].status = kPoisonByte;
    }
    ASSERT_EQ(Call(tarn::OpcBlockRead, items, n, context_), tarn::TarnOk);
    VARIANT poisoned;
    std::memset(&poisoned, kPoisonByte, sizeof poisoned);
    poisoned.vt = VT_EMPTY;
    for (int i = 0; i < n; ++i) {
        const bool known = types[i] == 1 || types[i] == 3 || types[i] == 4 || types[i] == 6 || types[i] == 8;
        EXPECT_EQ(items[i].status, known ? 0 : 1) << "type " << types[i];
        if (!known) {
            EXPECT_EQ(std::memcmp(&values[i], &poisoned, sizeof poisoned), 0) << "type " << types[i] << " wrote a value";
        }
    }
    EXPECT_EQ(values[0].iVal, 2);
    EXPECT_EQ(values[2].lVal, 2);
    EXPECT_EQ(values[7].boolVal, 0);
}

TEST_F(BlockRead, ElementWithoutValueCacheGetsStatusOne) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    tarn::TarnIoItem items[2];
    std::memset(items, 0, sizeof items);
    items[0].type = tarn::TarnInt32;
    items[0].value = nullptr;
    items[1].type = tarn::TarnInt32;
    items[1].value = &value;
    ASSERT_EQ(Call(tarn::OpcBlockRead, items, 2, context_), tarn::TarnOk);
    EXPECT_EQ(items[0].status, 1);
    EXPECT_EQ(items[1].status, 0);
    EXPECT_EQ(value.lVal, 2);
}

// The driver writes the value part only, with the width of its type code:
// the VARIANT's first 8 bytes (type field and reserved words) and the bytes
// past the value stay as the host left them.
TEST_F(BlockRead, WritesOnlyTheValueWidthFromOffsetEight) {
    struct Case {
        int32_t type;
        size_t width;
    } const cases[] = {{tarn::TarnInt16Alt, 2}, {tarn::TarnInt16, 2}, {tarn::TarnFloat32, 4},
                       {tarn::TarnInt32, 4},    {tarn::TarnInt32Alt, 4}, {tarn::TarnBool16, 2},
                       {tarn::TarnFloat64, 8}};
    for (const Case& c : cases) {
        VARIANT value;
        std::memset(&value, kPoisonByte, sizeof value);
        value.vt = 0x1234;  // nonsense on purpose: the driver must not look at or fix it
        VARIANT before = value;
        tarn::TarnIoItem item{};
        item.type = c.type;
        item.value = &value;
        ASSERT_EQ(Call(tarn::OpcBlockRead, &item, 1, context_), tarn::TarnOk);
        const auto* now = reinterpret_cast<const unsigned char*>(&value);
        const auto* was = reinterpret_cast<const unsigned char*>(&before);
        EXPECT_EQ(std::memcmp(now, was, 8), 0) << "type " << c.type << " touched the type field";
        EXPECT_NE(std::memcmp(now + 8, was + 8, c.width), 0) << "type " << c.type << " wrote no value";
        EXPECT_EQ(std::memcmp(now + 8 + c.width, was + 8 + c.width, sizeof value - 8 - c.width), 0)
            << "type " << c.type << " wrote past its width";
        EXPECT_EQ(item.status, 0);
    }
}

// A written value can put the running value far outside the int32 range;
// the integer tags then saturate instead of taking an undefined conversion.
TEST_F(BlockRead, HugeRunningValueSaturatesTheIntegerTags) {
    VARIANT big;
    VariantInit(&big);
    big.vt = VT_R8;
    big.dblVal = 1e12;
    const WriteOutcome write = Write(tarn::TarnFloat64, big);
    ASSERT_TRUE(write.box.has_value());
    ASSERT_TRUE(write.returned);
    const TagValues tags = ReadTags();
    EXPECT_EQ(tags.i4, INT_MAX);
    EXPECT_EQ(tags.i2, -1);  // low 16 bits of 0x7FFFFFFF
    EXPECT_EQ(tags.boolean, 1);
    volatile double r8 = tags.r8;
    volatile double expected = RunningAfter(1e12, 1) + 5.2;
    EXPECT_EQ(r8, expected);

    big.dblVal = -1e12;
    ASSERT_TRUE(Write(tarn::TarnFloat64, big).returned);
    const TagValues low = ReadTags();
    EXPECT_EQ(low.i4, INT_MIN);
    EXPECT_EQ(low.i2, 0);  // low 16 bits of 0x80000000
    EXPECT_EQ(low.boolean, 0);
}

TEST_F(BlockRead, NegativeRunningValueTruncatesTowardZero) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = -3;
    ASSERT_TRUE(Write(tarn::TarnInt32, value).returned);
    const TagValues tags = ReadTags();  // -1.9
    EXPECT_EQ(tags.i4, -1);
    EXPECT_EQ(tags.i2, -1);
    EXPECT_EQ(tags.boolean, 1);
    ExpectTagsFor(tags, RunningAfter(-3.0, 1));
}

}  // namespace drivertest
