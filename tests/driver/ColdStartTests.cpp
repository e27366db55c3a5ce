// ColdStart reads one number from TARNISA<instance>.INT in the current
// directory into the first int32 of the context block.
#include <string>
#include <utility>

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

// Numbers from 1 to 50000 are kept, read up to their first non-digit; out of
// range (never wrapped into it) or without a leading number, the default.
TEST_F(ColdStartFile, TheFilesNumberOrTheDefault) {
    const std::pair<const char*, int32_t> cases[] = {
        {"1", 1},       {"50000", 50000}, {"1234\n", 1234}, {" \t\n 42 99", 42}, {"+7", 7},
        {"123abc", 123}, {"0", 2500},      {"-5", 2500},     {"50001", 2500},     {"4294967297", 2500},
        {"-4294967295", 2500}, {"abc", 2500}, {"", 2500}, {"x 10", 2500}, {"- 10", 2500},
    };
    for (const auto& c : cases) EXPECT_EQ(ParameterWith({{"TARNISA00.INT", c.first}}), c.second) << '"' << c.first << '"';
    EXPECT_EQ(ParameterWith({}), 2500);
    EXPECT_EQ(ParameterWith({{"TARNISA01.INT", "10"}, {"TARNISA1.INT", "11"}}), 2500) << "other instances' files";
}

// Two digits, then one digit, then the plain name; the first file that opens
// decides even when it holds no number.
TEST_F(ColdStartFile, InstanceNamesTheFilesTriedInTurn) {
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "11"}, {"TARNISA0.INT", "22"}, {"TARNISA.INT", "33"}}), 11);
    EXPECT_EQ(ParameterWith({{"TARNISA0.INT", "22"}, {"TARNISA.INT", "33"}}), 22);
    EXPECT_EQ(ParameterWith({{"TARNISA.INT", "33"}}), 33);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "none"}, {"TARNISA.INT", "33"}}), 2500);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "0"}, {"TARNISA.INT", "33"}}), 2500);
    EXPECT_EQ(ParameterWith({{"TARNISA07.INT", "70"}, {"TARNISA7.INT", "7"}, {"TARNISA.INT", "1"}}, 7), 70);
    EXPECT_EQ(ParameterWith({{"TARNISA7.INT", "7"}, {"TARNISA.INT", "1"}}, 7), 7);
    EXPECT_EQ(ParameterWith({{"TARNISA00.INT", "5"}, {"TARNISA.INT", "1"}}, 7), 1);
    EXPECT_EQ(ParameterWith({{"TARNISA123.INT", "123"}, {"TARNISA.INT", "1"}}, 123), 123);
}

TEST_F(ColdStartFile, EveryColdStartRereadsTheFile) {
    testsupport::ScratchDir dir;
    testsupport::CurrentDirScope cwd(dir.path());
    for (const char* number : {"100", "200"}) {
        dir.WriteFile("TARNISA00.INT", number);
        int32_t context[2] = {kPoison, kPoison};
        ASSERT_EQ(ColdStart(context), tarn::TarnOk);
        EXPECT_EQ(context[0], std::stoi(number));
    }
}

}  // namespace drivertest
