// OpcWrite: the written number replaces the running value and is shown in a
// modal "Write" box; the write returns once the box is closed.
#include <cstring>
#include <string>

#include "SimulationTest.h"

namespace drivertest {

using WriteRequest = SimulationTest;

TEST_F(WriteRequest, TenToTheInt32TagShowsItAndSteersTheNextRead) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 10;
    const WriteOutcome write = Write(tarn::TarnTypeFromVarType(VT_I4), value);
    ASSERT_TRUE(write.box.has_value()) << "no \"Write\" box appeared";
    EXPECT_EQ(write.box->caption, "Write");
    EXPECT_EQ(write.box->text, "10");
    EXPECT_EQ(write.box->icon, 0u);
    ASSERT_TRUE(write.returned) << "the write did not return after its box was closed";
    EXPECT_EQ(write.result, tarn::TarnOk);

    const TagValues tags = ReadTags();
    ExpectTagValues(tags, 11, 11, 1, 11.1f, 16.3);
    ExpectTagsFor(tags, RunningAfter(10.0, 1));
}

// Each type code reads its own width from offset 8 (the bytes past it are
// poisoned), shows it with its own format, and restarts the running value.
TEST_F(WriteRequest, EveryTypeShowsItsValueAndReplacesTheRunningValue) {
    struct Case {
        int32_t type;
        VARTYPE vt;
        double number;  // the value as the running value takes it
        const char* text;
    } const cases[] = {
        {tarn::TarnInt16, VT_I2, -5, "-5"},
        {tarn::TarnInt16Alt, VT_I2, 300, "300"},
        {tarn::TarnInt32, VT_I4, -70000, "-70000"},
        {tarn::TarnInt32Alt, VT_I4, 123456, "123456"},
        {tarn::TarnFloat32, VT_R4, 2.5, "2.500000"},
        {tarn::TarnBool16, VT_BOOL, -1, "-1"},  // VARIANT_TRUE
        {tarn::TarnFloat64, VT_R8, 16.25, "16.250000"},
        {tarn::TarnFloat64, VT_R8, -0.125, "-0.125000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        VARIANT value;
        std::memset(&value, 0x7F, sizeof value);
        value.vt = c.vt;
        switch (c.vt) {
        case VT_I2: value.iVal = static_cast<SHORT>(c.number); break;
        case VT_BOOL: value.boolVal = static_cast<VARIANT_BOOL>(c.number); break;
        case VT_I4: value.lVal = static_cast<LONG>(c.number); break;
        case VT_R4: value.fltVal = static_cast<float>(c.number); break;
        default: value.dblVal = c.number; break;
        }
        const WriteOutcome write = Write(c.type, value);
        ASSERT_TRUE(write.box.has_value());
        EXPECT_EQ(write.box->text, c.text);
        ASSERT_TRUE(write.returned);
        EXPECT_EQ(write.result, tarn::TarnOk);
        ExpectTagsFor(ReadTags(), RunningAfter(c.number, 1));
    }
}

TEST_F(WriteRequest, LargeDoubleIsShownInFull) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_R8;
    value.dblVal = 1e20;
    const WriteOutcome write = Write(tarn::TarnFloat64, value);
    ASSERT_TRUE(write.box.has_value());
    EXPECT_EQ(write.box->text, "100000000000000000000.000000");
    ASSERT_TRUE(write.returned);
}

// A type code without a width cannot be read: the box names the code, and the
// running value keeps its course.
TEST_F(WriteRequest, UnknownTypeShowsTheCodeAndKeepsTheRunningValue) {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_I4;
    value.lVal = 10;
    const WriteOutcome write = Write(7, value);
    ASSERT_TRUE(write.box.has_value());
    EXPECT_EQ(write.box->text, "(type 7)");
    ASSERT_TRUE(write.returned);
    EXPECT_EQ(write.result, tarn::TarnOk);
    ExpectTagsFor(ReadTags(), RunningAfter(1.0, 1));
}

TEST_F(WriteRequest, LeavesTheWrittenVariantAlone) {
    VARIANT value;
    std::memset(&value, kPoisonByte, sizeof value);
    value.vt = VT_I4;
    value.lVal = 42;
    const VARIANT before = value;
    ASSERT_TRUE(Write(tarn::TarnInt32, value).returned);
    EXPECT_EQ(std::memcmp(&value, &before, sizeof value), 0);
}

}  // namespace drivertest
