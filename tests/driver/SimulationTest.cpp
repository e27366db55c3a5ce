#include "SimulationTest.h"

#include <cstring>

#include "BlockingCall.h"

namespace drivertest {

void SimulationTest::SetUp() {
    ASSERT_FALSE(DriverModuleMapped()) << "the driver is already loaded: this test would inherit its state";
    ASSERT_TRUE(library_.Load()) << "cannot load " << kDriverFileName << " or its TarnMain export";
}

void SimulationTest::TearDown() {
    EXPECT_TRUE(library_.Unload()) << "the driver stayed loaded after FreeLibrary";
}

void SimulationTest::Reload() {
    ASSERT_TRUE(library_.Unload()) << "the driver stayed loaded after FreeLibrary";
    ASSERT_TRUE(library_.Load());
}

int32_t SimulationTest::Call(int32_t code, void* data, int32_t count, void* context, int32_t instance) {
    tarn::TarnRequest request{context, code, instance, count, data};
    return library_.Call(request);
}

int32_t SimulationTest::ColdStart(int32_t* context, int32_t instance) {
    unsigned char reserved[tarn::TarnColdStartDataSize] = {};
    return Call(tarn::ColdStart, reserved, 0, context, instance);
}

TagValues SimulationTest::ReadTags() {
    VARIANT values[5];
    tarn::TarnIoItem items[5];
    for (int i = 0; i < 5; ++i) {
        VariantInit(&values[i]);
        values[i].vt = kTagVarTypes[i];
        std::memset(&items[i], 0, sizeof items[i]);
        items[i].type = tarn::TarnTypeFromVarType(kTagVarTypes[i]);
        items[i].value = &values[i];
        items[i].status = kPoisonByte;
    }
    TagValues tags;
    tags.result = Call(tarn::OpcBlockRead, items, 5, context_);
    tags.i2 = values[0].iVal;
    tags.i4 = values[1].lVal;
    tags.boolean = values[2].boolVal;
    tags.r4 = values[3].fltVal;
    tags.r8 = values[4].dblVal;
    for (int i = 0; i < 5; ++i) tags.status[i] = items[i].status;
    return tags;
}

tarn::TarnAddress SimulationTest::Parse(const char* text, int32_t code, int32_t* result) {
    tarn::TarnAddress address;
    std::memset(&address, kPoisonByte, sizeof address);
    address.address = text;
    address.reserved4 = 1;
    address.type = tarn::TarnInt32;
    address.reserved12 = 1;
    const int32_t answer = Call(code, &address, 0, context_);
    if (result) *result = answer;
    else EXPECT_EQ(answer, tarn::TarnOk) << "parsing \"" << text << "\"";
    return address;
}

WriteOutcome SimulationTest::Write(int32_t type, VARIANT& value) {
    tarn::TarnIoItem item;
    std::memset(&item, 0, sizeof item);
    item.address = "1";
    item.type = type;
    item.value = &value;
    const tarn::TarnRequest request{context_, tarn::OpcWrite, 0, 0, &item};

    WriteOutcome outcome;
    BlockingCall call(library_.entry(), request);
    outcome.box = testsupport::WaitForMessageBox("Write");
    outcome.returned = call.WaitDone(10000);
    outcome.result = call.result();
    return outcome;
}

std::string SimulationTest::WriteNumber(int32_t type, VARTYPE vt, double number) {
    VARIANT value = NumberVariant(vt, number, 0x7F);
    const VARIANT before = value;
    const WriteOutcome write = Write(type, value);
    EXPECT_TRUE(write.returned) << "the write did not return after its box was closed";
    EXPECT_EQ(write.result, tarn::TarnOk);
    EXPECT_EQ(std::memcmp(&value, &before, sizeof value), 0) << "the written VARIANT changed";
    return write.box ? write.box->text : "(no box)";
}

VARIANT NumberVariant(VARTYPE vt, double number, unsigned char fill) {
    VARIANT value;
    std::memset(&value, fill, sizeof value);
    value.vt = vt;
    switch (vt) {
    case VT_I2: value.iVal = static_cast<SHORT>(number); break;
    case VT_BOOL: value.boolVal = static_cast<VARIANT_BOOL>(number); break;
    case VT_I4: value.lVal = static_cast<LONG>(number); break;
    case VT_R4: value.fltVal = static_cast<float>(number); break;
    case VT_R8: value.dblVal = number; break;
    default: break;
    }
    return value;
}

void ExpectTagsFor(const TagValues& tags, double running) {
    // volatile: compare values rounded to their declared width, not whatever
    // excess precision the compiler keeps in registers.
    volatile double r = running;
    const int32_t truncated = static_cast<int32_t>(r);
    EXPECT_EQ(tags.result, tarn::TarnOk);
    EXPECT_EQ(tags.i2, static_cast<int16_t>(truncated)) << "running value " << running;
    EXPECT_EQ(tags.i4, truncated) << "running value " << running;
    EXPECT_EQ(tags.boolean, (truncated % 2 != 0) ? 1 : 0) << "running value " << running;
    volatile float expectedR4 = static_cast<float>(r);
    volatile float r4 = tags.r4;
    EXPECT_EQ(r4, expectedR4) << "running value " << running;
    volatile double expectedR8 = r + 5.2;
    volatile double r8 = tags.r8;
    EXPECT_EQ(r8, expectedR8) << "running value " << running;
    for (int i = 0; i < 5; ++i) EXPECT_EQ(tags.status[i], 0) << "tag " << i;
}

void ExpectTagValues(const TagValues& tags, int16_t i2, int32_t i4, int16_t boolean, float r4, double r8) {
    EXPECT_EQ(tags.i2, i2);
    EXPECT_EQ(tags.i4, i4);
    EXPECT_EQ(tags.boolean, boolean);
    volatile float gotR4 = tags.r4;
    EXPECT_EQ(gotR4, r4);
    volatile double gotR8 = tags.r8;
    EXPECT_DOUBLE_EQ(gotR8, r8);
}

double RunningAfter(double start, int reads) {
    volatile double running = start;
    for (int i = 0; i < reads; ++i) running = running + 1.1;
    return running;
}

}  // namespace drivertest
