// The address parser: "station name,station number,address number" to a
// device index (the station's position in the list), the address number,
// and the fixed outputs 3, -1 and 16.
#include <climits>

#include "SimulationTest.h"

namespace drivertest {

using AddressParser = SimulationTest;

TEST_F(AddressParser, WritesTheOutputFieldsAndLeavesTheInputs) {
    const char* text = "PLC,1,40";
    const tarn::TarnAddress address = Parse(text);
    EXPECT_EQ(address.device, 0);
    EXPECT_EQ(address.reserved20, 3);
    EXPECT_EQ(address.number, 40);
    EXPECT_EQ(address.reserved28, -1);
    EXPECT_EQ(address.param, 16);
    EXPECT_EQ(address.address, text);
    EXPECT_EQ(address.reserved4, 1);
    EXPECT_EQ(address.type, tarn::TarnInt32);
    EXPECT_EQ(address.reserved12, 1);
}

// A station is its name and number; a new one takes the next free index, and
// both parser codes share one list.
TEST_F(AddressParser, EachNewStationTakesTheNextFreeIndex) {
    const struct {
        const char* text;
        int32_t code;
        int32_t device;
    } steps[] = {
        {"PLC,1,40", tarn::SingleAddressParser, 0},
        {"PLC,1,41", tarn::BlockAddressParser, 0},
        {"PLC,1", tarn::SingleAddressParser, 0},
        {"PLC,2,40", tarn::BlockAddressParser, 1},   // same name, other number
        {"RTU,1,40", tarn::SingleAddressParser, 2},  // other name, same number
        {"plc,1,40", tarn::SingleAddressParser, 3},  // names compare case-sensitively
        {"PLC,-1", tarn::BlockAddressParser, 4},     // the sign belongs to the number
        {"PLC,2,99", tarn::SingleAddressParser, 1},
        {"RTU,1", tarn::BlockAddressParser, 2},
    };
    for (const auto& step : steps) EXPECT_EQ(Parse(step.text, step.code).device, step.device) << step.text;
}

// What lies after the terminator must never be read: with these buffers a
// parser that ran on would find further fields.
TEST_F(AddressParser, StopsAtTheEndOfTheText) {
    static const char oneField[] = "7\0,9,8";
    tarn::TarnAddress address = Parse(oneField);
    EXPECT_EQ(address.number, 0);
    EXPECT_EQ(DeviceOf("7,0"), address.device);

    static const char twoFields[] = "S,5\0" "6,8";
    address = Parse(twoFields);
    EXPECT_EQ(address.number, 0);
    EXPECT_EQ(DeviceOf("S,5"), address.device);
    EXPECT_NE(DeviceOf("S,56"), address.device);
}

TEST_F(AddressParser, MissingOrEmptyFieldsCountAsZero) {
    const int32_t device = DeviceOf("S,0,0");
    for (const char* text : {"S", "S,", "S,,", "S,0", "S,,0", "S,x,y", "S, ,"}) {
        const tarn::TarnAddress address = Parse(text);
        EXPECT_EQ(address.device, device) << text;
        EXPECT_EQ(address.number, 0) << text;
    }
    EXPECT_EQ(Parse("").device, DeviceOf(",0,0")) << "the empty name is a station too";
}

// Numbers take leading space, a sign and the digits up to the first other
// character; address numbers saturate at the int32 range.
TEST_F(AddressParser, AddressNumbersTakeSpaceSignLeadingDigitsAndSaturate) {
    const struct {
        const char* text;
        int32_t number;
    } cases[] = {
        {"S,1,  -42xyz", -42},
        {"S,1,+8", 8},
        {"S,1,x9", 0},
        {"S,1,12,34", 12},  // a fourth field is ignored
        {"S,1,2147483647", INT_MAX},
        {"S,1,2147483648", INT_MAX},
        {"S,1,99999999999999999999", INT_MAX},
        {"S,1,-2147483648", INT_MIN},
        {"S,1,-99999999999", INT_MIN},
        {"S,1,00000000000000000000042", 42},
    };
    for (const auto& c : cases) EXPECT_EQ(Parse(c.text).number, c.number) << c.text;
    EXPECT_EQ(DeviceOf("S, 3"), DeviceOf("S,3"));
    EXPECT_EQ(DeviceOf("S,+3"), DeviceOf("S,3"));
}

// A station number is taken from at most its first four characters; the
// address number after it is still found at the next comma.
TEST_F(AddressParser, StationNumberExaminesFourCharacters) {
    const int32_t device = DeviceOf("S,1234");
    const tarn::TarnAddress address = Parse("S,12345,6");
    EXPECT_EQ(address.device, device);
    EXPECT_EQ(address.number, 6);
    EXPECT_EQ(DeviceOf("S,1234567890123"), device);
    EXPECT_NE(DeviceOf("S,1235"), device);
    EXPECT_EQ(DeviceOf("S,   12"), DeviceOf("S,1")) << "spaces count among the four";
}

// A station keeps 19 characters of its name.  The name is cut before it is
// compared, so a long name finds its own station again, and every name that
// shares those 19 characters is that same station.
TEST_F(AddressParser, LongStationNamesAreCutToNineteenCharacters) {
    const tarn::TarnAddress first = Parse("ABCDEFGHIJKLMNOPQRSTUVWXY,1,2");
    EXPECT_EQ(first.device, 0);
    EXPECT_EQ(first.number, 2) << "a long name must not shift the fields after it";
    EXPECT_EQ(DeviceOf("ABCDEFGHIJKLMNOPQRSTUVWXY,1,3"), 0) << "the same long address again";
    EXPECT_EQ(DeviceOf("ABCDEFGHIJKLMNOPQRSzzzzzz,1"), 0);
    EXPECT_EQ(DeviceOf("ABCDEFGHIJKLMNOPQRST,1"), 0) << "twenty characters";
    EXPECT_EQ(DeviceOf("ABCDEFGHIJKLMNOPQRS,1"), 0) << "exactly the kept nineteen";
    EXPECT_EQ(DeviceOf("ABCDEFGHIJKLMNOPQR,1"), 1) << "eighteen is another name";
    EXPECT_EQ(DeviceOf("ABCDEFGHIJKLMNOPQRSTUVWXY,2"), 2) << "the number still tells stations apart";
    EXPECT_EQ(DeviceOf("ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJ"), DeviceOf("ABCDEFGHIJKLMNOPQRS,0"));
}

}  // namespace drivertest
