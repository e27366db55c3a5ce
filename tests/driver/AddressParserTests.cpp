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

TEST_F(AddressParser, SameStationSharesItsDeviceIndex) {
    EXPECT_EQ(DeviceOf("PLC,1,40"), 0);
    EXPECT_EQ(DeviceOf("PLC,1,41"), 0);
    EXPECT_EQ(DeviceOf("PLC,1"), 0);
}

TEST_F(AddressParser, NewStationsTakeTheNextFreeIndex) {
    EXPECT_EQ(DeviceOf("PLC,1,40"), 0);
    EXPECT_EQ(DeviceOf("PLC,2,40"), 1) << "same name, other number";
    EXPECT_EQ(DeviceOf("RTU,1,40"), 2) << "other name, same number";
    EXPECT_EQ(DeviceOf("plc,1,40"), 3) << "names compare case-sensitively";
    EXPECT_EQ(DeviceOf("PLC,-1"), 4) << "the sign belongs to the number";
    EXPECT_EQ(DeviceOf("PLC,2,99"), 1);
    EXPECT_EQ(DeviceOf("RTU,1"), 2);
}

TEST_F(AddressParser, BothParserCodesShareOneStationList) {
    EXPECT_EQ(Parse("A,1", tarn::SingleAddressParser).device, 0);
    EXPECT_EQ(Parse("B,1", tarn::BlockAddressParser).device, 1);
    EXPECT_EQ(Parse("A,1", tarn::BlockAddressParser).device, 0);
    EXPECT_EQ(Parse("B,1", tarn::SingleAddressParser).device, 1);
}

// The simulation's own addresses "0" to "4" have one field: each names a
// station of its own, and the missing numbers count as 0.
TEST_F(AddressParser, OneFieldAddressesOfTheSimulationTags) {
    const char* texts[] = {"0", "1", "2", "3", "4"};
    for (int i = 0; i < 5; ++i) {
        const tarn::TarnAddress address = Parse(texts[i]);
        EXPECT_EQ(address.device, i);
        EXPECT_EQ(address.number, 0);
        EXPECT_EQ(address.param, 16);
    }
    EXPECT_EQ(DeviceOf("2,0"), 2);
    EXPECT_EQ(DeviceOf("2,0,0"), 2);
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

TEST_F(AddressParser, NumbersTakeSpaceSignAndLeadingDigits) {
    EXPECT_EQ(Parse("S,1,  -42xyz").number, -42);
    EXPECT_EQ(Parse("S,1,+8").number, 8);
    EXPECT_EQ(Parse("S,1,x9").number, 0);
    EXPECT_EQ(Parse("S,1,12,34").number, 12) << "a fourth field is ignored";
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

TEST_F(AddressParser, LongAddressNumbersSaturate) {
    EXPECT_EQ(Parse("S,1,2147483647").number, INT_MAX);
    EXPECT_EQ(Parse("S,1,2147483648").number, INT_MAX);
    EXPECT_EQ(Parse("S,1,99999999999999999999").number, INT_MAX);
    EXPECT_EQ(Parse("S,1,-2147483648").number, INT_MIN);
    EXPECT_EQ(Parse("S,1,-99999999999").number, INT_MIN);
    EXPECT_EQ(Parse("S,1,00000000000000000000042").number, 42);
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
