// The bench file's parser, one table: what a good file names, and the line and reason of the
// first bad one. A hostile file must be refused, never crash or bleed into a name.
#include "bench_file.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace pxr7 {
namespace {

struct BenchCase {
    const char* name;
    std::string text;
    int badLine; // 0: the file is good
    const char* problemHas;
    bool unitIds;
    std::string nameOfA0; // laneNameFor serial PX7A0000 at 0x01100000
    std::string nameOfB1; // laneNameFor serial PX7A0001 at 0x01200000
    std::string bench = "";
    std::string operatorName = "";
    bool oldestFirst = false;
    int outOfServiceAfter = 0;
};

const BenchCase kCases[] = {
    {"Empty", "", 0, "", false, "", ""},
    {"CommentsBlanksAndBoth",
     "# pxr7 bench file\n\n  \t\nunit_ids = yes\nserial PX7A0000 = "
     "Fixture A\nlocation 0x01200000 = Fixture B\n",
     0, "", true, "Fixture A", "Fixture B"},
    {"LocationWinsOverSerial", "serial PX7A0001 = By serial\nlocation 0x1200000 = By place\n", 0,
     "", false, "", "By place"},
    {"CrlfLinesAndNoFinalBreak",
     "unit_ids = no\r\nserial PX7A0000 = Fixture A\r\nlocation "
     "0X01100000=Fixture Z",
     0, "", false, "Fixture Z", ""},
    {"NameKeepsInnerBlanksAndEquals", "serial PX7A0000 =  Bench 3 = left  \n", 0, "", false,
     "Bench 3 = left", ""},
    {"DuplicateSerial", "serial PX7A0000 = A\n# x\nserial PX7A0000 = B\n", 3, "line 1", false, "",
     ""},
    {"DuplicateLocationInAnotherSpelling", "location 0x01200000 = A\nlocation 0x1200000 = B\n", 2,
     "0x01200000 is named already on line 1", false, "", ""},
    {"UnitIdsTwice", "unit_ids = yes\nunit_ids = yes\n", 2, "line 1", false, "", ""},
    {"UnitIdsNeitherYesNorNo", "unit_ids = maybe\n", 1, "yes or no", false, "", ""},
    {"NoEquals", "serial PX7A0000 Fixture A\n", 1, "expected", false, "", ""},
    {"NoName", "\nserial PX7A0000 =   \n", 2, "no name", false, "", ""},
    {"TwoSerials", "serial PX7A PX7B = A\n", 1, "one serial number", false, "", ""},
    {"UnknownSetting", "fixture 3 = A\n", 1, "unknown setting fixture", false, "", ""},
    {"LocationNotHex", "location 1-1.4 = A\n", 1, "0x01200000", false, "", ""},
    {"LocationTooLong", "location 0x123456789 = A\n", 1, "location", false, "", ""},
    {"BenchName", "# x\nbench =  Line 3 = east \nunit_ids = yes\n", 0, "", true, "", "",
     "Line 3 = east"},
    {"BenchNameTwice", "bench = A\n\nbench = B\n", 3, "line 1", false, "", ""},
    {"BenchNameEmpty", "unit_ids = no\nbench =\n", 2, "no name", false, "", ""},
    {"BenchNameTooLong", "bench = " + std::string(65, 'n') + "\n", 1, "longer than 64", false, "",
     ""},
    {"BenchNameWithTab", "bench = A\tB\n", 1, "tab", false, "", ""},
    {"BenchNameWithEscape", "bench = A\x1b[2J\n", 1, "control character", false, "", ""},
    {"NameTooLong", "serial S = " + std::string(65, 'n') + "\n", 1, "longer than 64", false, "",
     ""},
    {"EscapeInAName", "serial S = A\x1b[2J\n", 1, "control character", false, "", ""},
    {"NulByte", std::string("serial S = A\0B\n", 15), 1, "control character", false, "", ""},
    {"OperatorAndOldestFirst", "operator =  J. Smith \nunit_id_order = oldest_first\n", 0, "",
     false, "", "", "", "J. Smith", true},
    {"FixtureOrder", "unit_id_order = fixture\n", 0, "", false, "", ""},
    {"OrderNeitherWord", "unit_id_order = newest\n", 1, "fixture or oldest_first", false, "", ""},
    {"OperatorTwice", "operator = A\n\noperator = B\n", 3, "line 1", false, "", ""},
    {"OperatorWithTab", "operator = A\tB\n", 1, "operator's name: the id holds a control", false,
     "", ""},
    {"OperatorTooLong", "operator = " + std::string(65, 'o') + "\n", 1, "longer than 64", false, "",
     ""},
    {"OperatorEmpty", "operator =\n", 1, "no name", false, "", ""},
    {"OutOfServiceAfterThree", "out_of_service_after = 3\n", 0, "", false, "", "", "", "", false,
     3},
    {"OutOfServiceNever", "out_of_service_after = 0\n", 0, "", false, "", ""},
    {"OutOfServiceTooMany", "out_of_service_after = 101\n", 1, "0 (never) to 100", false, "", ""},
    {"OutOfServiceNotANumber", "out_of_service_after = -1\n", 1, "0 (never) to 100", false, "", ""},
    {"OutOfServiceTwice", "out_of_service_after = 3\nout_of_service_after = 4\n", 2, "line 1",
     false, "", ""},
    {"VerifySecondsZero", "verify_seconds = 0\n", 1, "from 1 to 600", false, "", ""},
    {"BinaryJunk", std::string("\xff\xfe\x01\x02\n", 5), 1, "control character", false, "", ""},
};

void PrintTo(const BenchCase& testCase, std::ostream* out) {
    *out << testCase.name;
}

class BenchFileParser : public ::testing::TestWithParam<BenchCase> {};

TEST_P(BenchFileParser, NamesLeadsOrRefusesTheLine) {
    const BenchCase& c = GetParam();
    const BenchFileParse parse = parseBenchFile(c.text);
    EXPECT_EQ(parse.ok, c.badLine == 0) << parse.problem;
    EXPECT_EQ(parse.line, c.badLine) << parse.problem;
    EXPECT_NE(parse.problem.find(c.problemHas), std::string::npos) << parse.problem;
    if (c.badLine != 0) {
        return;
    }
    EXPECT_EQ(parse.bench.unitIds, c.unitIds);
    EXPECT_EQ(parse.bench.name, c.bench);
    EXPECT_EQ(parse.bench.operatorName, c.operatorName);
    EXPECT_EQ(parse.bench.unitIdsOldestFirst, c.oldestFirst);
    EXPECT_EQ(parse.bench.outOfServiceAfter, c.outOfServiceAfter);
    EXPECT_EQ(laneNameFor(parse.bench, "PX7A0000", 0x01100000u), c.nameOfA0);
    EXPECT_EQ(laneNameFor(parse.bench, "PX7A0001", 0x01200000u), c.nameOfB1);
}

INSTANTIATE_TEST_SUITE_P(Cases, BenchFileParser, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<BenchCase>& param) {
                             return std::string(param.param.name);
                         });

} // namespace
} // namespace pxr7
