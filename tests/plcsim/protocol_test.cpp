// Command parsing and answers of the simulated module, without sockets.
#include <gtest/gtest.h>

#include <random>

#include "link/frames.h"
#include "tools/plcsim/protocol.h"
#include "tests/plcsim/test_support.h"

namespace plcsim {
namespace {

using test::bytes;
using test::str;
using test::text;

class ModuleAnswers : public ::testing::Test {
protected:
    Bytes ask(Form form, const Bytes& command)
    {
        return answer(parseCommand(form, command.data(), command.size()), memory);
    }
    std::string askAscii(const std::string& command)
    {
        return str(ask(Form::Ascii, text(command)));
    }
    void setWord(int cpu, const char* device, uint32_t number, uint16_t v)
    {
        const Device& d = *deviceByAsciiName(device);
        memory.set(cpu, d, *pointOf(d, number), v);
    }
    Memory memory;
};

// --- ASCII form -----------------------------------------------------------------------------

TEST_F(ModuleAnswers, AsciiWordReadGivesFourUpperCaseHexDigitsPerRegister)
{
    setWord(1, "D", 100, 1);
    setWord(1, "D", 101, 2);
    setWord(1, "D", 102, 3);
    EXPECT_EQ(askAscii("01WRDD100,03\r\n"), "11OK000100020003\r\n");
    setWord(1, "D", 101, 0xABCD);
    EXPECT_EQ(askAscii("01WRDD101,01\r\n"), "11OKABCD\r\n");
}

TEST_F(ModuleAnswers, AsciiBitReadGivesOneCharacterPerPoint)
{
    setWord(1, "X", 201, 1);  // unit 0, slot 2, terminal 1
    setWord(1, "X", 216, 1);  // terminal 16 of the same slot
    EXPECT_EQ(askAscii("01BRDX201,016\r\n"), "11OK1000000000000001\r\n");
}

TEST_F(ModuleAnswers, EachCpuHasItsOwnMemoryAndItsDigitInTheAnswer)
{
    setWord(3, "D", 1, 7);
    EXPECT_EQ(askAscii("03WRDD1,01\r\n"), "13OK0007\r\n");
    EXPECT_EQ(askAscii("01WRDD1,01\r\n"), "11OK0000\r\n");
    EXPECT_EQ(askAscii("04WRDD1,01\r\n"), "14OK0000\r\n");
}

TEST_F(ModuleAnswers, AsciiCountsAreAcceptedWithAnyPaddingUpToTheLimits)
{
    EXPECT_EQ(askAscii("01WRDD1,1\r\n"), "11OK0000\r\n");
    EXPECT_EQ(askAscii("01WRDD1,0001\r\n"), "11OK0000\r\n");
    EXPECT_EQ(askAscii("01WRDD1,64\r\n").size(), 4u + 64 * 4 + 2);
    EXPECT_EQ(askAscii("01BRDM1,256\r\n").size(), 4u + 256 + 2);
}

TEST_F(ModuleAnswers, WordReadOfABitDevicePacksSixteenPointsFirstPointInBitZero)
{
    setWord(1, "M", 1, 1);
    setWord(1, "M", 16, 1);
    setWord(1, "M", 18, 1);
    EXPECT_EQ(askAscii("01WRDM1,02\r\n"), "11OK80010002\r\n");
}

TEST_F(ModuleAnswers, ReadsRunOnAcrossUnitsOfLinkRelaysAndRegisters)
{
    setWord(1, "L", 2048, 1);   // last point of unit 0
    setWord(1, "L", 10001, 1);  // first point of unit 1
    EXPECT_EQ(askAscii("01BRDL2048,002\r\n"), "11OK11\r\n");
    setWord(1, "W", 10001, 0x1234);
    EXPECT_EQ(askAscii("01WRDW2048,02\r\n"), "11OK00001234\r\n");
    EXPECT_EQ(askAscii("01BRDL10001,001\r\n"), "11OK1\r\n");
}

TEST_F(ModuleAnswers, TimersAndCountersAreReadUnderTheirAsciiNames)
{
    setWord(1, "CU", 5, 1);
    setWord(1, "TU", 7, 1);
    EXPECT_EQ(askAscii("01BRDCU5,001\r\n"), "11OK1\r\n");
    EXPECT_EQ(askAscii("01BRDTU7,001\r\n"), "11OK1\r\n");
    // The item-name aliases C and T are not command names.
    EXPECT_EQ(askAscii("01BRDC5,001\r\n"), "11ER04BRD0005\r\n");
    EXPECT_EQ(askAscii("01BRDT7,001\r\n"), "11ER04BRD0005\r\n");
}

TEST_F(ModuleAnswers, LastPointsOfEachDeviceCanBeRead)
{
    EXPECT_EQ(askAscii("01WRDD262144,01\r\n"), "11OK0000\r\n");
    EXPECT_EQ(askAscii("01BRDX71664,001\r\n"), "11OK0\r\n");
    EXPECT_EQ(askAscii("01BRDL72048,001\r\n"), "11OK0\r\n");
    EXPECT_EQ(askAscii("01WRDW72048,01\r\n"), "11OK0000\r\n");
}

struct AsciiErrorCase {
    const char* command;
    const char* answer;
};

class AsciiErrorAnswers : public ModuleAnswers,
                          public ::testing::WithParamInterface<AsciiErrorCase> { };

TEST_P(AsciiErrorAnswers, AreFifteenBytesWithCodeCommandAndPosition)
{
    const std::string got = askAscii(GetParam().command);
    EXPECT_EQ(got, GetParam().answer);
    EXPECT_EQ(got.size(), 15u);
    EXPECT_EQ(got.substr(2, 2), "ER");
}

INSTANTIATE_TEST_SUITE_P(
    BadCommands, AsciiErrorAnswers,
    ::testing::Values(
        AsciiErrorCase{"05WRDD1,01\r\n", "15ER01WRD0001\r\n"},       // CPU 5
        AsciiErrorCase{"00WRDD1,01\r\n", "10ER01WRD0001\r\n"},       // CPU 0
        AsciiErrorCase{"0XWRDD1,01\r\n", "10ER01WRD0001\r\n"},       // CPU not a digit
        AsciiErrorCase{"01XRDD1,01\r\n", "11ER02XRD0002\r\n"},       // unknown command
        AsciiErrorCase{"01wrdD1,01\r\n", "11ER02???0002\r\n"},       // lower case
        AsciiErrorCase{"01WRDQ1,01\r\n", "11ER04WRD0005\r\n"},       // unknown device
        AsciiErrorCase{"01WRD1,01\r\n", "11ER04WRD0005\r\n"},        // no device
        AsciiErrorCase{"01BRDD1,001\r\n", "11ER07BRD0002\r\n"},      // bit read of D
        AsciiErrorCase{"01WRDD0,01\r\n", "11ER05WRD0006\r\n"},       // address 0
        AsciiErrorCase{"01WRDD262145,01\r\n", "11ER05WRD0006\r\n"},  // beyond D
        AsciiErrorCase{"01WRDD262144,02\r\n", "11ER05WRD0006\r\n"},  // runs past the end
        AsciiErrorCase{"01BRDX1,001\r\n", "11ER05BRD0006\r\n"},      // slot 0
        AsciiErrorCase{"01BRDX165,001\r\n", "11ER05BRD0006\r\n"},    // terminal 65
        AsciiErrorCase{"01BRDX1701,001\r\n", "11ER05BRD0006\r\n"},   // slot 17
        AsciiErrorCase{"01BRDL80001,001\r\n", "11ER05BRD0006\r\n"},  // unit 8
        AsciiErrorCase{"01BRDL2049,001\r\n", "11ER05BRD0006\r\n"},   // point 2049
        AsciiErrorCase{"01WRDD99999999999,01\r\n", "11ER05WRD0006\r\n"},
        AsciiErrorCase{"01WRDD1,00\r\n", "11ER06WRD0008\r\n"},      // count 0
        AsciiErrorCase{"01WRDD1,65\r\n", "11ER06WRD0008\r\n"},      // 65 words
        AsciiErrorCase{"01BRDM1,257\r\n", "11ER06BRD0008\r\n"},     // 257 bits
        AsciiErrorCase{"01WRDD1,01", "11ER03WRD0008\r\n"},          // no CR LF
        AsciiErrorCase{"01WRDD1,01\n", "11ER03WRD0009\r\n"},        // LF only
        AsciiErrorCase{"01WRDD,01\r\n", "11ER03WRD0006\r\n"},       // no address
        AsciiErrorCase{"01WRDD1;01\r\n", "11ER03WRD0007\r\n"},      // no comma
        AsciiErrorCase{"01WRDD1,\r\n", "11ER03WRD0008\r\n"},        // no count
        AsciiErrorCase{"01WRDD1,01 \r\n", "11ER03WRD0010\r\n"},     // trailing space
        AsciiErrorCase{"01WRDD1,01\r\n\r\n", "11ER03WRD0010\r\n"},  // two lines
        AsciiErrorCase{"11WRDD1,01\r\n", "11ER03WRD0000\r\n"},      // an answer, not a command
        AsciiErrorCase{"", "10ER03???0000\r\n"}, AsciiErrorCase{"\r\n", "10ER03???0000\r\n"}));

// --- binary form ----------------------------------------------------------------------------

TEST_F(ModuleAnswers, BinaryWordReadGivesRegistersHighByteFirst)
{
    setWord(1, "D", 100, 1);
    setWord(1, "D", 101, 2);
    setWord(1, "D", 102, 3);
    //                         cmd   cpu  length    device    address               count
    EXPECT_EQ(ask(Form::Binary,
                  bytes({0x11, 1, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x64, 0x00, 0x03})),
              bytes({0x91, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03}));
    setWord(2, "D", 100, 0xA55A);
    EXPECT_EQ(ask(Form::Binary,
                  bytes({0x11, 2, 0x00, 0x08, 0x00, 0x04, 0x00, 0x00, 0x00, 0x64, 0x00, 0x01})),
              bytes({0x91, 0x00, 0x00, 0x02, 0xA5, 0x5A}));
}

TEST_F(ModuleAnswers, BinaryBitReadGivesOneByteZeroOrOnePerPoint)
{
    setWord(1, "X", 201, 1);
    setWord(1, "X", 203, 1);
    Bytes expected = bytes({0x81, 0x00, 0x00, 0x10, 1, 0, 1});
    expected.resize(4 + 16, 0);
    EXPECT_EQ(ask(Form::Binary,
                  bytes({0x01, 1, 0x00, 0x08, 0x00, 0x18, 0x00, 0x00, 0x00, 0xC9, 0x00, 0x10})),
              expected);
}

TEST_F(ModuleAnswers, BinaryAddressIsTheNumberAsWritten)
{
    setWord(1, "L", 10001, 1);  // 10001 = 0x2711
    EXPECT_EQ(ask(Form::Binary,
                  bytes({0x01, 1, 0x00, 0x08, 0x00, 0x0C, 0x00, 0x00, 0x27, 0x11, 0x00, 0x01})),
              bytes({0x81, 0x00, 0x00, 0x01, 0x01}));
}

TEST_F(ModuleAnswers, BinaryReadsAtTheLimits)
{
    EXPECT_EQ(ask(Form::Binary, bytes({0x11, 1, 0, 8, 0, 4, 0, 0, 0, 1, 0, 64})).size(), 4u + 128);
    EXPECT_EQ(ask(Form::Binary, bytes({0x01, 1, 0, 8, 0, 13, 0, 0, 0, 1, 1, 0})).size(), 4u + 256);
}

struct BinaryErrorCase {
    const char* what;
    Bytes command;
    Bytes answer;
};

class BinaryErrorAnswers : public ModuleAnswers,
                           public ::testing::WithParamInterface<BinaryErrorCase> { };

TEST_P(BinaryErrorAnswers, CarryAnswerCodeEndCodeAndTheFieldPosition)
{
    EXPECT_EQ(ask(Form::Binary, GetParam().command), GetParam().answer) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    BadCommands, BinaryErrorAnswers,
    ::testing::Values(
        BinaryErrorCase{"CPU 0", bytes({0x11, 0, 0, 8, 0, 4, 0, 0, 0, 1, 0, 1}),
                        bytes({0x91, 0x01, 0, 1, 1})},
        BinaryErrorCase{"CPU 5", bytes({0x01, 5, 0, 8, 0, 13, 0, 0, 0, 1, 0, 1}),
                        bytes({0x81, 0x01, 0, 1, 1})},
        BinaryErrorCase{"command 0x21", bytes({0x21, 1, 0, 8, 0, 4, 0, 0, 0, 1, 0, 1}),
                        bytes({0xA1, 0x02, 0, 1, 0})},
        BinaryErrorCase{"length field 7", bytes({0x11, 1, 0, 7, 0, 4, 0, 0, 0, 1, 0, 1}),
                        bytes({0x91, 0x03, 0, 1, 2})},
        BinaryErrorCase{"one byte too many", bytes({0x11, 1, 0, 8, 0, 4, 0, 0, 0, 1, 0, 1, 0}),
                        bytes({0x91, 0x03, 0, 1, 2})},
        BinaryErrorCase{"one byte short", bytes({0x11, 1, 0, 8, 0, 4, 0, 0, 0, 1, 0}),
                        bytes({0x91, 0x03, 0, 1, 2})},
        BinaryErrorCase{"length matching a short frame", bytes({0x11, 1, 0, 2, 0x0D, 0x0A}),
                        bytes({0x91, 0x03, 0, 1, 2})},
        BinaryErrorCase{"device code 6", bytes({0x11, 1, 0, 8, 0, 6, 0, 0, 0, 1, 0, 1}),
                        bytes({0x91, 0x04, 0, 1, 4})},
        BinaryErrorCase{"device code 0x0104", bytes({0x11, 1, 0, 8, 1, 4, 0, 0, 0, 1, 0, 1}),
                        bytes({0x91, 0x04, 0, 1, 4})},
        BinaryErrorCase{"slash device /D", bytes({0x11, 1, 0, 8, 0, 124, 0, 0, 0, 1, 0, 1}),
                        bytes({0x91, 0x04, 0, 1, 4})},
        BinaryErrorCase{"bit read of D", bytes({0x01, 1, 0, 8, 0, 4, 0, 0, 0, 1, 0, 1}),
                        bytes({0x81, 0x07, 0, 1, 4})},
        BinaryErrorCase{"address 0", bytes({0x11, 1, 0, 8, 0, 4, 0, 0, 0, 0, 0, 1}),
                        bytes({0x91, 0x05, 0, 1, 6})},
        BinaryErrorCase{"address 2^32-1",
                        bytes({0x11, 1, 0, 8, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0, 1}),
                        bytes({0x91, 0x05, 0, 1, 6})},
        BinaryErrorCase{"past the end of W", bytes({0x11, 1, 0, 8, 0, 23, 0, 1, 0x19, 0x70, 0, 2}),
                        bytes({0x91, 0x05, 0, 1, 6})},
        BinaryErrorCase{"count 0", bytes({0x11, 1, 0, 8, 0, 4, 0, 0, 0, 1, 0, 0}),
                        bytes({0x91, 0x06, 0, 1, 10})},
        BinaryErrorCase{"65 words", bytes({0x11, 1, 0, 8, 0, 4, 0, 0, 0, 1, 0, 65}),
                        bytes({0x91, 0x06, 0, 1, 10})},
        BinaryErrorCase{"257 bits", bytes({0x01, 1, 0, 8, 0, 13, 0, 0, 0, 1, 1, 1}),
                        bytes({0x81, 0x06, 0, 1, 10})},
        BinaryErrorCase{"three bytes", bytes({0x11, 1, 0}), bytes({0x91, 0x03, 0, 1, 0})},
        BinaryErrorCase{"empty", bytes({}), bytes({0x80, 0x03, 0, 1, 0})}));

// --- the probe of AUTO mode ------------------------------------------------------------------

// The probe exactly as the server's link sends it.
const Bytes Probe(fam3::ProbeFrame.begin(), fam3::ProbeFrame.end());

TEST_F(ModuleAnswers, AsciiModuleAnswersTheProbeWithItsErrorFrame)
{
    const Bytes got = ask(Form::Ascii, Probe);
    ASSERT_EQ(got.size(), 15u);
    EXPECT_EQ(got[0], '1');
    EXPECT_EQ(got[2], 'E');
    EXPECT_EQ(got[3], 'R');
    EXPECT_EQ(str(got), "10ER03???0000\r\n");
}

TEST_F(ModuleAnswers, BinaryModuleAnswersTheProbeWithANonAsciiLookingFrame)
{
    const Bytes got = ask(Form::Binary, Probe);
    EXPECT_EQ(got, bytes({0xD1, 0x02, 0x00, 0x01, 0x00}));
    ASSERT_GE(got.size(), 4u);
    EXPECT_NE(got[2], 'E');
    EXPECT_NE(got[3], 'R');
}

// --- any datagram ---------------------------------------------------------------------------

// Random datagrams, some built from command pieces, never break the module: every answer is an
// OK answer or an error frame of the form's fixed size.
TEST(ModuleRobustness, EveryDatagramGetsAWellFormedAnswer)
{
    Memory memory;
    std::mt19937 random(12345);
    const std::string pieces[] = {"0",  "1",   "4",    "WRD",   "BRD", "D",     "X",  "CU", ",",
                                  "01", "256", "\r\n", "99999", "L",   "10001", "\r", "Z"};
    for (int i = 0; i < 20000; ++i) {
        Bytes datagram;
        const size_t n = random() % 24;
        for (size_t k = 0; k < n; ++k) {
            if (random() % 2) {
                datagram.push_back(static_cast<uint8_t>(random()));
            } else {
                const std::string& p = pieces[random() % std::size(pieces)];
                datagram.insert(datagram.end(), p.begin(), p.end());
            }
        }
        for (Form form : {Form::Ascii, Form::Binary}) {
            const Command c = parseCommand(form, datagram.data(), datagram.size());
            const Bytes a = answer(c, memory);
            if (c.read) {
                EXPECT_EQ(c.error, 0);
                continue;
            }
            EXPECT_NE(c.error, 0);
            EXPECT_EQ(a.size(), form == Form::Ascii ? 15u : 5u);
        }
    }
}

}  // namespace
}  // namespace plcsim
