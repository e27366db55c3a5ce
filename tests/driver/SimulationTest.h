// The fixture every driver test shares: a freshly loaded TARNWNSIMUL.dll per
// test (running value 1.0, empty station list, not ended), and the requests
// as the server builds them.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "MessageBoxWatcher.h"
#include "SimulationLibrary.h"
#include "TarnProtocol.h"

namespace drivertest {

// Filler for buffers that the driver must leave alone.
constexpr unsigned char kPoisonByte = 0xA5;
constexpr int32_t kPoison = static_cast<int32_t>(0xA5A5A5A5u);

// The five simulated tags as one block read leaves them.
struct TagValues {
    int32_t result = -1;
    int16_t i2 = 0;
    int32_t i4 = 0;
    int16_t boolean = 0;
    float r4 = 0;
    double r8 = 0;
    uint8_t status[5] = {};
};

struct WriteOutcome {
    bool returned = false;  // the call came back once the box was closed
    int32_t result = -1;
    std::optional<testsupport::MessageBoxSeen> box;
};

// Canonical VARTYPEs of the simulation's tags, in record order.
constexpr VARTYPE kTagVarTypes[5] = {VT_I2, VT_I4, VT_BOOL, VT_R4, VT_R8};

class SimulationTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Unloads the driver (checking that it is really gone) and loads it again.
    void Reload();

    int32_t Call(int32_t code, void* data = nullptr, int32_t count = 0, void* context = nullptr,
                 int32_t instance = 0);
    // ColdStart with the 28 zero bytes the server sends.
    int32_t ColdStart(int32_t* context, int32_t instance = 0);
    int32_t EndTarn() { return Call(tarn::EndTarn); }

    // One OpcBlockRead of the five tags, typed as the server types them.
    TagValues ReadTags();
    // Parses an address; the record's other fields are poisoned beforehand.
    tarn::TarnAddress Parse(const char* text, int32_t code = tarn::SingleAddressParser, int32_t* result = nullptr);
    int32_t DeviceOf(const char* text) { return Parse(text).device; }

    // OpcWrite on a worker thread; the "Write" box is read and closed here.
    WriteOutcome Write(int32_t type, VARIANT& value);
    // Writes `number` as a VARIANT of type vt under type code `type`; expects
    // a box and the call's return with TarnOk, and answers the box's text.
    std::string WriteNumber(int32_t type, VARTYPE vt, double number);

    SimulationLibrary library_;
    int32_t context_[2] = {kPoison, kPoison};
};

// A VARIANT of type vt holding `number` (for the five tag types; any other
// type holds nothing), its other bytes set to `fill`.
VARIANT NumberVariant(VARTYPE vt, double number, unsigned char fill = 0);

// Expects the tag values that the running value `running` yields, computed
// here independently: truncation toward zero, the odd test, float rounding
// and the 5.2 offset.
void ExpectTagsFor(const TagValues& tags, double running);

// The five tag values as a test states them in decimal (floats compared
// after storing, against x87 excess precision).
void ExpectTagValues(const TagValues& tags, int16_t i2, int32_t i4, int16_t boolean, float r4, double r8);

// The running value after `reads` block reads from `start`, by the same
// repeated double additions the driver makes.
double RunningAfter(double start, int reads);

}  // namespace drivertest
