// ASCII command lines and the checks of their answers.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/frames.h"
#include "tests/unit/frame_request.h"

namespace {

using fam3::AnswerVerdict;
using fam3::ReadRequest;

using frame_test::Bytes;
using frame_test::request;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// D100 as three words: W = (204 - 198 + 1) / 2 = 3.
const ReadRequest D100x3 = request(1, 4, 100, 198, 204);
// X00201 as sixteen bits: N = 80 - 64 = 16.
const ReadRequest X201x16 = request(1, 24, 201, 64, 80);

struct Checked {
    AnswerVerdict verdict;
    unsigned char buffer[512];
};

Checked checkWrd(const ReadRequest& r, const Bytes& answer)
{
    Checked c;
    c.verdict = fam3::CheckAsciiWrd(r, answer.data(), answer.size(), c.buffer, sizeof c.buffer);
    return c;
}

Checked checkBrd(const ReadRequest& r, const Bytes& answer)
{
    Checked c;
    c.verdict = fam3::CheckAsciiBrd(r, answer.data(), answer.size(), c.buffer, sizeof c.buffer);
    return c;
}

Bytes dataOf(const Checked& c) { return Bytes(c.verdict.data, c.verdict.data + c.verdict.size); }

TEST(AsciiCommand, WordReadOfTheWorkedExampleIsByteForByte)
{
    const Bytes expected = {
        0x30, 0x31,             // "01": '0' and CPU 1
        0x57, 0x52, 0x44,       // "WRD"
        0x44,                   // "D"
        0x31, 0x30, 0x30,       // "100": the address number as written
        0x2C,                   // ","
        0x30, 0x33,             // "03": W = 3
        0x0D, 0x0A,             // CR LF
    };
    EXPECT_EQ(bytesOf(fam3::BuildAsciiWrd(D100x3)), expected);
}

TEST(AsciiCommand, BitReadOfTheWorkedExampleIsByteForByte)
{
    EXPECT_EQ(fam3::BuildAsciiBrd(X201x16), "01BRDX201,016\r\n");
    EXPECT_EQ(fam3::BuildAsciiBrd(X201x16).size(), 15u);
}

TEST(AsciiCommand, CountsArePaddedWithZerosToThreeDigitsForBitsAndTwoForWords)
{
    EXPECT_EQ(fam3::BuildAsciiBrd(request(1, 13, 1, 0, 1)), "01BRDM1,001\r\n");
    EXPECT_EQ(fam3::BuildAsciiBrd(request(1, 13, 1, 0, 16)), "01BRDM1,016\r\n");
    EXPECT_EQ(fam3::BuildAsciiBrd(request(1, 13, 1, 0, 256)), "01BRDM1,256\r\n");
    EXPECT_EQ(fam3::BuildAsciiWrd(request(1, 4, 1, 0, 2)), "01WRDD1,01\r\n");
    EXPECT_EQ(fam3::BuildAsciiWrd(request(1, 4, 1, 0, 6)), "01WRDD1,03\r\n");
    EXPECT_EQ(fam3::BuildAsciiWrd(request(1, 4, 1, 0, 128)), "01WRDD1,64\r\n");
}

TEST(AsciiCommand, OddByteSpanIsRoundedUpToWholeWords)
{
    // A five-character text on D1: bytes 0..5, three words.
    EXPECT_EQ(fam3::BuildAsciiWrd(request(1, 4, 1, 0, 5)), "01WRDD1,03\r\n");
}

TEST(AsciiCommand, AddressNumberIsWrittenAsInTheItemNameWithoutLeadingZeros)
{
    // L10001: unit 1, point 1, offset 2048 bits; the command names 10001, not the offset.
    EXPECT_EQ(fam3::BuildAsciiBrd(request(1, 12, 10001, 2048, 2080)), "01BRDL10001,032\r\n");
    EXPECT_EQ(fam3::BuildAsciiWrd(request(1, 23, 2048, 4094, 4096)), "01WRDW2048,01\r\n");
}

TEST(AsciiCommand, CountersAndTimersAreNamedCUAndTU)
{
    EXPECT_EQ(fam3::BuildAsciiBrd(request(1, 3, 5, 4, 20)), "01BRDCU5,016\r\n");
    EXPECT_EQ(fam3::BuildAsciiBrd(request(1, 20, 7, 6, 7)), "01BRDTU7,001\r\n");
}

TEST(AsciiCommand, CpuNumberFollowsTheLeadingZero)
{
    EXPECT_EQ(fam3::BuildAsciiWrd(request(4, 4, 1, 0, 2)), "04WRDD1,01\r\n");
    EXPECT_EQ(fam3::BuildAsciiWrd(request(2, 48, 3, 4, 6)), "02WRDCS3,01\r\n");
}

const std::string D100Answer = "11OK000100020003\r\n"; // 18 bytes: words 1, 2, 3

TEST(AsciiWordAnswer, WorkedExampleIsAcceptedWithSixDataBytes)
{
    const Checked c = checkWrd(D100x3, bytesOf(D100Answer));
    ASSERT_TRUE(c.verdict.accepted);
    EXPECT_EQ(c.verdict.status, 0);
    EXPECT_EQ(dataOf(c), (Bytes{0x00, 0x01, 0x00, 0x02, 0x00, 0x03}));
}

TEST(AsciiWordAnswer, HexDigitsDecodeHighDigitFirst)
{
    const ReadRequest r = request(1, 4, 1, 0, 4);
    const Checked c = checkWrd(r, bytesOf("11OKFFA509C0\r\n"));
    ASSERT_TRUE(c.verdict.accepted);
    EXPECT_EQ(dataOf(c), (Bytes{0xFF, 0xA5, 0x09, 0xC0}));
}

TEST(AsciiWordAnswer, DataCharactersOtherThanUpperCaseHexDigitsAreNotUnderstood)
{
    // A corrupted answer must not become a plausible number: one character outside '0'-'9' and
    // 'A'-'F' anywhere in the data, lower case included, rejects the whole answer with
    // StatusUninterpreted.
    const char* const corrupted[] = {
        "11OKffa5\r\n", // lower case, which the module never writes
        "11OK00a5\r\n",
        "11OKG000\r\n", // the letter after 'F'
        "11OK000@\r\n", // the character before 'A'
        "11OK0:00\r\n", // the character after '9'
        "11OK00/0\r\n", // the character before '0'
        "11OK 000\r\n",
        ("11OK00\xB0" "00\r\n"), // a byte of 128 or above
    };
    for (const char* text : corrupted) {
        const Checked c = checkWrd(request(1, 4, 1, 0, 2), bytesOf(text));
        EXPECT_FALSE(c.verdict.accepted) << text;
        EXPECT_EQ(c.verdict.status, fam3::StatusUninterpreted) << text;
        EXPECT_EQ(c.verdict.data, nullptr) << text;
    }
    // Every digit of both kinds decodes.
    const Checked c = checkWrd(request(1, 4, 1, 0, 8), bytesOf("11OK0123456789ABCDEF\r\n"));
    ASSERT_TRUE(c.verdict.accepted);
    EXPECT_EQ(dataOf(c), (Bytes{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
}

TEST(AsciiWordAnswer, OddTextSpanExpectsWholeWordsAndYieldsThem)
{
    // Span 5 bytes, W = 3: an 18-byte answer, 6 bytes of data.
    const Checked c = checkWrd(request(1, 4, 1, 0, 5), bytesOf("11OK414243444500\r\n"));
    ASSERT_TRUE(c.verdict.accepted);
    EXPECT_EQ(dataOf(c), (Bytes{'A', 'B', 'C', 'D', 'E', 0x00}));
}

TEST(AsciiWordAnswer, EveryLengthButTheExactOneIsRejected)
{
    const Bytes full = bytesOf(D100Answer);
    for (std::size_t length = 0; length <= full.size() + 2; ++length) {
        if (length == full.size())
            continue;
        // Truncations of the good answer, and the good answer with bytes added before CR LF.
        Bytes answer;
        if (length < full.size()) {
            answer.assign(full.begin(), full.begin() + length);
        } else {
            answer.assign(full.begin(), full.end() - 2);
            answer.insert(answer.end(), length - full.size(), '0');
            answer.push_back('\r');
            answer.push_back('\n');
        }
        const Checked c = checkWrd(D100x3, answer);
        EXPECT_FALSE(c.verdict.accepted) << "length " << length;
        EXPECT_EQ(c.verdict.status, fam3::StatusUninterpreted) << "length " << length;
        EXPECT_EQ(c.verdict.data, nullptr);
        EXPECT_EQ(c.verdict.size, 0u);
    }
}

TEST(AsciiWordAnswer, HeaderAndEndMismatchesAreRejected)
{
    const char* const wrong[] = {
        "01OK000100020003\r\n", // position 0 not '1'
        "12OK000100020003\r\n", // answer of CPU 2 to a command for CPU 1
        "11Ok000100020003\r\n", // "Ok"
        "11PK000100020003\r\n", // "PK"
        "11OK000100020003\n\n", // no CR
        "11OK000100020003\r\r", // no LF
        "11OK00010002000\r\n0", // CR LF one byte early
    };
    for (const char* text : wrong) {
        const Checked c = checkWrd(D100x3, bytesOf(text));
        EXPECT_FALSE(c.verdict.accepted) << text;
        EXPECT_EQ(c.verdict.status, fam3::StatusUninterpreted) << text;
    }
}

TEST(AsciiWordAnswer, CpuDigitMustMatchTheRequest)
{
    const ReadRequest cpu3 = request(3, 4, 100, 198, 200);
    EXPECT_TRUE(checkWrd(cpu3, bytesOf("13OK1234\r\n")).verdict.accepted);
    EXPECT_FALSE(checkWrd(cpu3, bytesOf("11OK1234\r\n")).verdict.accepted);
}

TEST(AsciiWordAnswer, DataThatDoesNotFitTheDecodeBufferIsRejected)
{
    const Bytes answer = bytesOf(D100Answer);
    unsigned char buffer[5];
    const AnswerVerdict v =
        fam3::CheckAsciiWrd(D100x3, answer.data(), answer.size(), buffer, sizeof buffer);
    EXPECT_FALSE(v.accepted);
    EXPECT_EQ(v.status, fam3::StatusUninterpreted);
}

TEST(AsciiBitAnswer, WorkedExampleIsAcceptedWithOneBytePerBit)
{
    const Checked c = checkBrd(X201x16, bytesOf("11OK1000000001111111\r\n"));
    ASSERT_TRUE(c.verdict.accepted);
    EXPECT_EQ(dataOf(c), (Bytes{1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 1, 1, 1}));
}

TEST(AsciiBitAnswer, BitCharactersOtherThanZeroAndOneAreNotUnderstood)
{
    // Any other character, even a digit or a hex digit, rejects the whole answer with
    // StatusUninterpreted.
    for (const char bad : {'2', '9', 'A', 'X', 'a', ' ', '\0'}) {
        std::string text = "11OK1000000001111111\r\n";
        text[4 + 9] = bad;
        const Checked c = checkBrd(X201x16, bytesOf(text));
        EXPECT_FALSE(c.verdict.accepted) << "character " << int(bad);
        EXPECT_EQ(c.verdict.status, fam3::StatusUninterpreted) << "character " << int(bad);
    }
}

TEST(AsciiBitAnswer, LengthOffByOneEitherWayIsRejected)
{
    EXPECT_FALSE(checkBrd(X201x16, bytesOf("11OK000000000000000\r\n")).verdict.accepted);
    EXPECT_TRUE(checkBrd(X201x16, bytesOf("11OK0000000000000000\r\n")).verdict.accepted);
    EXPECT_FALSE(checkBrd(X201x16, bytesOf("11OK00000000000000000\r\n")).verdict.accepted);
}

TEST(AsciiBitAnswer, LargestReadOf256BitsExpectsA262ByteAnswer)
{
    const ReadRequest bits = request(1, 13, 1, 0, 256);
    const Checked c = checkBrd(bits, bytesOf("11OK" + std::string(256, '1') + "\r\n"));
    ASSERT_TRUE(c.verdict.accepted);
    EXPECT_EQ(c.verdict.size, 256u);
    EXPECT_EQ(c.verdict.data[255], 1);
}

TEST(AsciiErrorCode, FifteenByteErrorLineGivesItsHexCode)
{
    // '1', CPU digit, "ER", code "41", then 9 bytes the link does not read.
    const Bytes error = bytesOf("11ER41 ABCDEF\r\n");
    ASSERT_EQ(error.size(), 15u);
    EXPECT_EQ(fam3::AsciiErrorCode(error.data(), error.size()), 65);
    const Checked c = checkWrd(D100x3, error);
    EXPECT_FALSE(c.verdict.accepted);
    EXPECT_EQ(c.verdict.status, 65);
}

TEST(AsciiErrorCode, CpuDigitOfAnErrorLineIsNotCompared)
{
    const Bytes error = bytesOf("14ER0A_________");
    EXPECT_EQ(fam3::AsciiErrorCode(error.data(), error.size()), 10);
    EXPECT_EQ(checkWrd(D100x3, error).verdict.status, 10);
}

TEST(AsciiErrorCode, CodesSpanOneToFFAndZeroIsNotUnderstood)
{
    const Bytes zero = bytesOf("11ER00_________");
    const Bytes one = bytesOf("11ER01_________");
    const Bytes ff = bytesOf("11ERFF_________");
    // An error line with code 00 would otherwise read as "valid value" in every holder.
    EXPECT_EQ(fam3::AsciiErrorCode(zero.data(), zero.size()), fam3::StatusUninterpreted);
    EXPECT_EQ(fam3::AsciiErrorCode(one.data(), one.size()), 1);
    EXPECT_EQ(fam3::AsciiErrorCode(ff.data(), ff.size()), 255);
}

TEST(AsciiErrorCode, CodeThatIsNotTwoUpperCaseHexDigitsIsNotUnderstood)
{
    for (const char* text : {"11ER4a_________", "11ERa1_________", "11ERG1_________",
                             "11ER1:_________", "11ER 1_________", "11ER-1_________"}) {
        const Bytes b = bytesOf(text);
        EXPECT_EQ(fam3::AsciiErrorCode(b.data(), b.size()), fam3::StatusUninterpreted) << text;
        EXPECT_EQ(checkWrd(D100x3, b).verdict.status, fam3::StatusUninterpreted) << text;
    }
}

TEST(AsciiErrorCode, AnythingElseGivesMinusThree)
{
    const char* const other[] = {
        "11ER41 ABCDEF\r",   // 14 bytes
        "11ER41 ABCDEF\r\n!", // 16 bytes
        "21ER41 ABCDEF\r\n", // not '1' at 0
        "11XR41 ABCDEF\r\n", // not 'E' at 2
        "11EX41 ABCDEF\r\n", // not 'R' at 3
    };
    for (const char* text : other) {
        const Bytes b = bytesOf(text);
        EXPECT_EQ(fam3::AsciiErrorCode(b.data(), b.size()), fam3::StatusUninterpreted) << text;
    }
    EXPECT_EQ(fam3::AsciiErrorCode(nullptr, 0), fam3::StatusUninterpreted);
}

} // namespace
