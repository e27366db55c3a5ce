// ColdStart reads one number from TARNISA<instance>.INT in the current
// directory into the first int32 of the context block.
#include <string>

#include "SimulationTest.h"
#include "WineTest.h"

namespace drivertest {

class ColdStartFile : public SimulationTest {
protected:
    // The parameter read with the given files present (name, contents).
    int32_t ParameterWith(std::initializer_list<std::pair<const char*, std::string>> files, int32_t instance = 0) {
        testsupport::ScratchDir dir;
        for (const auto& file : files) dir.WriteFile(file.first, file.second);
        testsupport::CurrentDirScope cwd(dir.path());
        int32_t context[2] = {kPoison, kPoison};
        EXPECT_EQ(ColdStart(context, instance), tarn::TarnOk);
        EXPECT_EQ(context[1], kPoison) << "the second word of the context block is not the driver's to write";
        return context[0];
    }
};

TEST_F(ColdStartFile, NumbersInRangeAreKept) {
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "1"}}), 1);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "50000"}}), 50000);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "1234\n"}}), 1234);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", " \t\n 42 99"}}), 42);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "+7"}}), 7);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "123abc"}}), 123);
}

TEST_F(ColdStartFile, NumbersOutOfRangeGiveTheDefault) {
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "0"}}), 2500);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "-5"}}), 2500);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "50001"}}), 2500);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "4294967297"}}), 2500) << "must not wrap to 1";
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "-4294967295"}}), 2500) << "must not wrap to 1";
}

TEST_F(ColdStartFile, FileWithoutLeadingNumberGivesTheDefault) {
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "abc"}}), 2500);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", ""}}), 2500);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "x 10"}}), 2500);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "- 10"}}), 2500);
}

TEST_F(ColdStartFile, NoFileGivesTheDefault) {
    EXPECT_EQ(ParameterWith({}), 2500);
    EXPECT_EQ(ParameterWith({{"TARNISA01.INT", "10"}, {"TARNISA1.INT", "11"}}), 2500) << "other instances' files";
}

TEST_F(ColdStartFile, NamesAreTriedTwoDigitThenOneDigitThenPlain) {
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "11"}, {"TARNISA.INT", "33"}}), 11);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "11"}, {"TARNISA0.INT", "22"}, {"TARNISA.INT", "33"}}), 11);
    EXPECT_EQ(ParameterWith({{"TARNISA0.INT", "22"}, {"TARNISA.INT", "33"}}), 22);
    EXPECT_EQ(ParameterWith({{"TARNISA.INT", "33"}}), 33);
}

TEST_F(ColdStartFile, FirstFileThatOpensDecidesEvenWhenItHoldsNoNumber) {
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "none"}, {"TARNISA.INT", "33"}}), 2500);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "0"}, {"TARNISA.INT", "33"}}), 2500);
}

TEST_F(ColdStartFile, InstanceChoosesTheNames) {
    EXPECT_EQ(ParameterWith({{"TARNISA07.INT", "70"}, {"TARNISA7.INT", "7"}, {"TARNISA.INT", "1"}}, 7), 70);
    EXPECT_EQ(ParameterWith({{"TARNISA7.INT", "7"}, {"TARNISA.INT", "1"}}, 7), 7);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "5"}, {"TARNISA.INT", "1"}}, 7), 1);
    EXPECT_EQ(ParameterWith({{"TARNISA123.INT", "123"}, {"TARNISA.INT", "1"}}, 123), 123);
}

TEST_F(ColdStartFile, EveryColdStartRereadsTheFile) {
    testsupport::ScratchDir dir;
    testsupport::CurrentDirScope cwd(dir.path());
    dir.WriteFile("TARNISA00.INT", "100");
    int32_t first[2] = {kPoison, kPoison};
    ASSERT_EQ(ColdStart(first), tarn::TarnOk);
    dir.WriteFile("TARNISA00.INT", "200");
    int32_t second[2] = {kPoison, kPoison};
    ASSERT_EQ(ColdStart(second), tarn::TarnOk);
    EXPECT_EQ(first[0], 100);
    EXPECT_EQ(second[0], 200);
}

}  // namespace drivertest
