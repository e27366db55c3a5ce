// OpcWrite: the written number replaces the running value and is shown in a
// modal "Write" box; the write returns once the box is closed.
#include "SimulationTest.h"

namespace drivertest {

using WriteRequest = SimulationTest;

TEST_F(WriteRequest, TenToTheInt32TagShowsItAndSteersTheNextRead) {
    VARIANT value = NumberVariant(VT_I4, 10);
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
// poisoned), shows it with its own format, and restarts the running value;
// the written VARIANT stays as it was.
TEST_F(WriteRequest, EveryTypeShowsItsValueAndReplacesTheRunningValue) {
    const struct {
        int32_t type;
        VARTYPE vt;
        double number;  // the value as the running value takes it
        const char* text;
    } cases[] = {
        {tarn::TarnInt16, VT_I2, -5, "-5"},
        {tarn::TarnInt16Alt, VT_I2, 300, "300"},
        {tarn::TarnInt32, VT_I4, -70000, "-70000"},
        {tarn::TarnInt32Alt, VT_I4, 123456, "123456"},
        {tarn::TarnFloat32, VT_R4, 2.5, "2.500000"},
        {tarn::TarnBool16, VT_BOOL, -1, "-1"},  // VARIANT_TRUE
        {tarn::TarnFloat64, VT_R8, 16.25, "16.250000"},
        {tarn::TarnFloat64, VT_R8, -0.125, "-0.125000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(WriteNumber(c.type, c.vt, c.number), c.text);
        ExpectTagsFor(ReadTags(), RunningAfter(c.number, 1));
    }
}

// A type code without a width cannot be read: the box names the code, and the
// running value keeps its course.
TEST_F(WriteRequest, UnknownTypeShowsTheCodeAndKeepsTheRunningValue) {
    EXPECT_EQ(WriteNumber(7, VT_I4, 10), "(type 7)");
    ExpectTagsFor(ReadTags(), RunningAfter(1.0, 1));
}

}  // namespace drivertest
