// Locations, typed assignments, demonstrations and the values file.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "tools/plcsim/values.h"

namespace plcsim {
namespace {

using Cells = std::vector<uint16_t>;

// The message of the ParseError that parsing text throws ("" when it throws none).
template <typename F>
std::string errorOf(F&& parse)
{
    try {
        parse();
    } catch (const ParseError& e) {
        return e.what();
    }
    return "";
}

TEST(Locations, AreWrittenLikeTheStartOfItemNames)
{
    const Location d = parseLocation("D100");
    EXPECT_EQ(d.cpu, 1);
    EXPECT_STREQ(d.device->name, "D");
    EXPECT_EQ(d.number, 100u);
    EXPECT_EQ(d.point, 99u);

    EXPECT_EQ(parseLocation("2M5").cpu, 2);
    EXPECT_EQ(parseLocation("0D1").cpu, 1);
    EXPECT_EQ(parseLocation("4d1").cpu, 4);
    EXPECT_EQ(parseLocation("x201").point, 64u);
    EXPECT_EQ(parseLocation("X00201").point, 64u);
    EXPECT_EQ(parseLocation("L10001").point, 2048u);
    EXPECT_EQ(parseLocation("W02048").point, 2047u);
    EXPECT_STREQ(parseLocation("C5").device->name, "CU");
    EXPECT_STREQ(parseLocation("T5").device->name, "TU");
}

TEST(Locations, RefuseWhatNoDeviceHas)
{
    EXPECT_NE(errorOf([] { parseLocation("5D1"); }).find("outside 1 to 4"), std::string::npos);
    EXPECT_NE(errorOf([] { parseLocation("99999999999D1"); }).find("outside 1 to 4"),
              std::string::npos);
    EXPECT_NE(errorOf([] { parseLocation("Q1"); }).find("unknown device 'Q'"), std::string::npos);
    EXPECT_NE(errorOf([] { parseLocation("100"); }).find("outside 1 to 4"),
              std::string::npos);  // digits lead
    EXPECT_NE(errorOf([] { parseLocation("2"); }).find("missing device name"), std::string::npos);
    EXPECT_NE(errorOf([] { parseLocation(""); }).find("missing device name"), std::string::npos);
    EXPECT_NE(errorOf([] { parseLocation("D"); }).find("missing address number"),
              std::string::npos);
    EXPECT_NE(errorOf([] { parseLocation("D1x"); }).find("unexpected 'x'"), std::string::npos);
    for (const char* bad :
         {"D0", "D262145", "D99999999999", "X00001", "X00165", "L80001", "L2049", "W0"})
        EXPECT_NE(errorOf([&] { parseLocation(bad); }).find("not valid for device"),
                  std::string::npos)
            << bad;
}

TEST(Assignments, IntegersFitTheirTypeInRegisterOrder)
{
    EXPECT_EQ(parseAssignment("D100=1234").cells, Cells{1234});
    EXPECT_EQ(parseAssignment("D100=0xFFFF").cells, Cells{0xFFFF});
    EXPECT_EQ(parseAssignment("D100=-1").cells, Cells{0xFFFF});
    EXPECT_EQ(parseAssignment("D100:int=-32768").cells, Cells{0x8000});
    EXPECT_EQ(parseAssignment("D400:long=-7").cells, (Cells{0xFFFF, 0xFFF9}));       // high first
    EXPECT_EQ(parseAssignment("D400:L=0x12345678").cells, (Cells{0x5678, 0x1234}));  // low first
    EXPECT_EQ(parseAssignment("D400:LONG=4294967295").cells, (Cells{0xFFFF, 0xFFFF}));
}

TEST(Assignments, FloatsFollowTheWordOrderOfTheirType)
{
    EXPECT_EQ(parseAssignment("D200:float=3.14").cells, (Cells{0x4048, 0xF5C3}));
    EXPECT_EQ(parseAssignment("D200:F=3.14").cells, (Cells{0xF5C3, 0x4048}));
    EXPECT_EQ(parseAssignment("D300:double=1").cells, (Cells{0x3FF0, 0, 0, 0}));
    EXPECT_EQ(parseAssignment("D300:DOUBLE=-2.5e-3").cells.size(), 4u);
    const Cells nan = parseAssignment("D200:float=nan").cells;
    EXPECT_EQ(nan[0] & 0x7F80, 0x7F80);
}

TEST(Assignments, TextFillsRegistersHighByteFirst)
{
    EXPECT_EQ(parseAssignment("D500:text=HELLO").cells, (Cells{0x4845, 0x4C4C, 0x4F00}));
    EXPECT_EQ(parseAssignment("D500:C=HI").cells, Cells{0x4849});
    EXPECT_EQ(parseAssignment("D500:text=\"A B\"").cells, (Cells{0x4120, 0x4200}));
}

TEST(Assignments, BitDevicesTakeSixteenPointsPerWordAndEightPerCharacter)
{
    EXPECT_EQ(parseAssignment("M1=1").cells, Cells{1});
    EXPECT_EQ(parseAssignment("2M5:b=0").cells, Cells{0});
    Cells word(16, 0);
    word[0] = word[15] = 1;
    EXPECT_EQ(parseAssignment("M1:W=0x8001").cells, word);
    EXPECT_EQ(parseAssignment("M1:LONG=1").cells.size(), 32u);
    EXPECT_EQ(parseAssignment("M1:LONG=1").cells[16], 1);  // low word is the second one
    EXPECT_EQ(parseAssignment("M1:text=A").cells, (Cells{1, 0, 0, 0, 0, 0, 1, 0}));  // 0x41
}

TEST(Assignments, WrongValuesAreRefusedWithTheReason)
{
    struct Case {
        const char* text;
        const char* reason;
    };
    for (const Case& c : {Case{"D1", "missing '='"},
                          Case{"D1=", "missing value"},
                          Case{"D1=abc", "not an integer"},
                          Case{"D1=1.5", "not an integer"},
                          Case{"D1=0x", "not an integer"},
                          Case{"D1=0xG1", "not an integer"},
                          Case{"D1=65536", "does not fit type W"},
                          Case{"D1=-32769", "does not fit"},
                          Case{"D1:long=4294967296", "does not fit type LONG"},
                          Case{"D1:int=99999999999999999999", "does not fit"},
                          Case{"D1:float=x", "not a number"},
                          Case{"D1:float=1.0x", "not a number"},
                          Case{"D1:float= ", "missing value"},
                          Case{"D1:zz=1", "unknown value type"},
                          Case{"D1:b=1", "needs a bit device"},
                          Case{"M1=2", "0 or 1"},
                          Case{"M1=on", "0 or 1"},
                          Case{"D262144:long=1", "past the end"},
                          Case{"X71664:W=1", "past the end"},
                          Case{"D1:text=", "empty text"},
                          Case{"Q1=1", "unknown device"},
                          Case{"=1", "missing device name"}}) {
        EXPECT_NE(errorOf([&] { parseAssignment(c.text); }).find(c.reason), std::string::npos)
            << c.text << " gave: " << errorOf([&] { parseAssignment(c.text); });
    }
}

TEST(Assignments, ApplyWritesTheCellsFromTheLocationOn)
{
    Memory memory;
    apply(parseAssignment("D400:long=0x12345678"), memory);
    const Device& d = *deviceByAsciiName("D");
    EXPECT_EQ(memory.get(1, d, 399), 0x1234);
    EXPECT_EQ(memory.get(1, d, 400), 0x5678);
    EXPECT_EQ(memory.get(2, d, 399), 0);
    EXPECT_DOUBLE_EQ(readNumber(memory, parseLocation("D400"), ValueType::Long), 0x12345678);
}

TEST(Demos, ParseWithDefaultsAndRampOptions)
{
    const Demo counter = parseDemo(DemoKind::Counter, "D1");
    EXPECT_EQ(counter.type, ValueType::Word);
    EXPECT_EQ(parseDemo(DemoKind::Counter, "M1").type, ValueType::Word);  // M1 to M16
    EXPECT_EQ(parseDemo(DemoKind::Toggle, "M1").type, ValueType::Bit);
    EXPECT_EQ(parseDemo(DemoKind::Toggle, "D1").type, ValueType::Word);

    const Demo stepped = parseDemo(DemoKind::Counter, "D1,64,per-read");
    EXPECT_DOUBLE_EQ(stepped.step, 64);
    EXPECT_TRUE(stepped.perRead);
    EXPECT_FALSE(counter.perRead);
    EXPECT_TRUE(parseDemo(DemoKind::Toggle, "M1,PER-READ").perRead);

    const Demo ramp = parseDemo(DemoKind::Ramp, "D2:float");
    EXPECT_EQ(ramp.type, ValueType::Float);
    EXPECT_EQ(ramp.wave, Wave::Sine);
    EXPECT_DOUBLE_EQ(ramp.period, 10);
    const Demo saw = parseDemo(DemoKind::Ramp, "D2:float,saw,30,-1,1");
    EXPECT_EQ(saw.wave, Wave::Sawtooth);
    EXPECT_DOUBLE_EQ(saw.period, 30);
    EXPECT_DOUBLE_EQ(saw.low, -1);
    EXPECT_DOUBLE_EQ(saw.high, 1);
}

TEST(Demos, RefuseSettingsThatCannotChangeOverTime)
{
    EXPECT_NE(errorOf([] { parseDemo(DemoKind::Ramp, "M1:b"); }).find("wider than one bit"),
              std::string::npos);
    EXPECT_NE(errorOf([] { parseDemo(DemoKind::Counter, "D1:text"); }).find("numeric type"),
              std::string::npos);
    EXPECT_NE(errorOf([] { parseDemo(DemoKind::Ramp, "D1,0"); }).find("above 0"),
              std::string::npos);
    EXPECT_NE(errorOf([] { parseDemo(DemoKind::Ramp, "D1,10,5"); }).find("PERIOD,LOW,HIGH"),
              std::string::npos);
    EXPECT_NE(errorOf([] { parseDemo(DemoKind::Ramp, "D1,square"); }).find("'square'"),
              std::string::npos);
    EXPECT_NE(errorOf([] { parseDemo(DemoKind::Ramp, "D1,inf"); }).find("'inf'"),
              std::string::npos);
    EXPECT_NE(errorOf([] { parseDemo(DemoKind::Counter, "D1,saw"); }).find("unexpected"),
              std::string::npos);
    EXPECT_NE(errorOf([] { parseDemo(DemoKind::Counter, "D1,per-read,2"); }).find("'2'"),
              std::string::npos);
    EXPECT_NE(errorOf([] { parseDemo(DemoKind::Toggle, "M1,2"); }).find("'2'"), std::string::npos);
    EXPECT_NE(errorOf([] { parseDemo(DemoKind::Counter, "D262144:double"); }).find("past the end"),
              std::string::npos);
    EXPECT_NE(errorOf([] { parseDemo(DemoKind::Toggle, ""); }).find("missing device name"),
              std::string::npos);
}

TEST(Demos, CountersWrapAtTheWidthOfTheirType)
{
    Memory memory;
    const Demo word = parseDemo(DemoKind::Counter, "D1");
    apply(parseAssignment("D1=65535"), memory);
    stepDemo(word, memory, 0);
    EXPECT_EQ(readNumber(memory, word.at, ValueType::Word), 0);
    stepDemo(word, memory, 0);
    EXPECT_EQ(readNumber(memory, word.at, ValueType::Word), 1);

    const Demo wide = parseDemo(DemoKind::Counter, "D10:long");
    apply(parseAssignment("D10:long=-1"), memory);
    stepDemo(wide, memory, 0);
    EXPECT_EQ(readNumber(memory, wide.at, ValueType::Long), 0);

    const Demo real = parseDemo(DemoKind::Counter, "D20:float");
    apply(parseAssignment("D20:float=0.5"), memory);
    stepDemo(real, memory, 0);
    EXPECT_FLOAT_EQ(static_cast<float>(readNumber(memory, real.at, ValueType::Float)), 1.5f);
}

TEST(Demos, TogglesSwitchBetweenZeroAndOne)
{
    Memory memory;
    const Demo toggle = parseDemo(DemoKind::Toggle, "M1");
    stepDemo(toggle, memory, 0);
    EXPECT_EQ(memory.get(1, *toggle.at.device, 0), 1);
    stepDemo(toggle, memory, 0);
    EXPECT_EQ(memory.get(1, *toggle.at.device, 0), 0);
}

TEST(Demos, RampsSweepFromLowToHighOverThePeriod)
{
    const Demo sine = parseDemo(DemoKind::Ramp, "D2,sine,8");
    EXPECT_NEAR(rampValue(sine, 0), 50, 1e-9);
    EXPECT_NEAR(rampValue(sine, 2), 100, 1e-9);
    EXPECT_NEAR(rampValue(sine, 6), 0, 1e-9);
    EXPECT_NEAR(rampValue(sine, 10), 100, 1e-9);  // the next period
    const Demo saw = parseDemo(DemoKind::Ramp, "D2:float,saw,10,-1,1");
    EXPECT_NEAR(rampValue(saw, 0), -1, 1e-9);
    EXPECT_NEAR(rampValue(saw, 5), 0, 1e-9);
    EXPECT_NEAR(rampValue(saw, 12.5), -0.5, 1e-9);

    Memory memory;
    stepDemo(parseDemo(DemoKind::Ramp, "D2,saw,10"), memory, 2.5);
    EXPECT_EQ(memory.get(1, *deviceByAsciiName("D"), 1), 25);
}

TEST(ValuesFiles, HoldAssignmentsDemosCommentsAndBlankLines)
{
    const ValuesFile f = parseValuesText("# plant values\r\n"
                                         "D100=1234\r\n"
                                         "\r\n"
                                         "  D200:float = 3.5   # set point\n"
                                         "D500:text=\"A#B\"  # quoted text keeps its '#'\n"
                                         "counter D1\n"
                                         "RAMP D2:float,saw\n"
                                         "toggle M1",
                                         "plant.txt");
    ASSERT_EQ(f.assignments.size(), 3u);
    EXPECT_EQ(f.assignments[0].cells, Cells{1234});
    EXPECT_EQ(f.assignments[1].cells, (Cells{0x4060, 0x0000}));
    EXPECT_EQ(f.assignments[2].cells, (Cells{0x4123, 0x4200}));
    ASSERT_EQ(f.demos.size(), 3u);
    EXPECT_EQ(f.demos[0].kind, DemoKind::Counter);
    EXPECT_EQ(f.demos[1].kind, DemoKind::Ramp);
    EXPECT_EQ(f.demos[1].wave, Wave::Sawtooth);
    EXPECT_EQ(f.demos[2].kind, DemoKind::Toggle);
    EXPECT_TRUE(parseValuesText("", "empty.txt").assignments.empty());
}

TEST(ValuesFiles, ErrorsNameTheFileAndLine)
{
    EXPECT_EQ(errorOf([] { parseValuesText("D1=1\n\nD2=zz\n", "v.txt"); }),
              "v.txt:3: not an integer: 'zz' in 'D2=zz'");
    EXPECT_EQ(errorOf([] { parseValuesText("D1:text=\"open\n", "v.txt"); }),
              "v.txt:1: missing closing '\"'");
    EXPECT_EQ(errorOf([] { parseValuesText("D1:text=\"a\" b\n", "v.txt"); }),
              "v.txt:1: unexpected text after the closing '\"'");
    EXPECT_EQ(errorOf([] { parseValuesText("#\ncounter\n", "v.txt"); }),
              "v.txt:2: missing location after 'counter'");
    EXPECT_NE(errorOf([] { parseValuesText("ramp M1:b\n", "v.txt"); }).find("v.txt:1: "),
              std::string::npos);
    EXPECT_NE(
        errorOf([] { parseValuesText(std::string("D1=\0\n", 5), "v.txt"); }).find("v.txt:1: "),
        std::string::npos);
}

TEST(ValuesFiles, AMissingFileIsAnError)
{
    EXPECT_EQ(errorOf([] { loadValuesFile("no/such/values.txt"); }),
              "cannot read values file 'no/such/values.txt'");
}

}  // namespace
}  // namespace plcsim
