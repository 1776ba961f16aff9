// The probe, binary commands and the checks of their answers.
#include <gtest/gtest.h>

#include <vector>

#include "link/frames.h"
#include "tests/unit/frame_request.h"

namespace {

using fam3::AnswerVerdict;
using fam3::ReadRequest;

using frame_test::Bytes;
using frame_test::request;

Bytes bytesOf(const fam3::BinaryCommand& command) { return Bytes(command.begin(), command.end()); }

const ReadRequest D100x3 = request(1, 4, 100, 198, 204);  // three words
const ReadRequest X201x16 = request(1, 24, 201, 64, 80);  // sixteen bits

AnswerVerdict checkWrd(const ReadRequest& r, const Bytes& answer)
{
    return fam3::CheckBinaryWrd(r, answer.data(), answer.size(), nullptr, 0);
}

AnswerVerdict checkBrd(const ReadRequest& r, const Bytes& answer)
{
    return fam3::CheckBinaryBrd(r, answer.data(), answer.size(), nullptr, 0);
}

TEST(Probe, IsCommand51ForCpu1WithCrLfBody)
{
    const Bytes expected = {0x51, 0x01, 0x00, 0x02, 0x0D, 0x0A};
    EXPECT_EQ(Bytes(fam3::ProbeFrame.begin(), fam3::ProbeFrame.end()), expected);
}

TEST(Probe, ReplyWithEAtTwoOrRAtThreeIsAsciiAnythingElseBinary)
{
    const Bytes ascii[] = {
        {'1', '1', 'E', 'R', '0', '2'}, // an ASCII module's error line
        {'1', '1', 'E', 'x'},           // 'E' at 2 alone is enough
        {0x00, 0x00, 0x00, 'R'},        // and so is 'R' at 3
    };
    for (const Bytes& reply : ascii)
        EXPECT_TRUE(fam3::ProbeReplyIsAscii(reply.data(), reply.size())) << reply.size();
    const Bytes binary[] = {
        {0xD1, 0x02, 0x00, 0x01, 0x00}, // a binary module's error answer
        {'1', '1', 'O', 'K'},           // an ASCII read answer is no reply to the probe
        {'1', '1', 'E'},                // too short to be tested
        {'R', 'E', 'R'},
        {},
    };
    for (const Bytes& reply : binary)
        EXPECT_FALSE(fam3::ProbeReplyIsAscii(reply.data(), reply.size())) << reply.size();
    EXPECT_FALSE(fam3::ProbeReplyIsAscii(nullptr, 0));
}

TEST(BinaryCommand, WordReadOfTheWorkedExampleIsByteForByte)
{
    const Bytes expected = {
        0x11,                   // word read
        0x01,                   // CPU 1
        0x00, 0x08,             // 8 bytes follow
        0x00, 0x04,             // device D
        0x00, 0x00, 0x00, 0x64, // address number 100
        0x00, 0x03,             // W = 3
    };
    EXPECT_EQ(bytesOf(fam3::BuildBinaryWrd(D100x3)), expected);
}

TEST(BinaryCommand, BitReadOfTheWorkedExampleIsByteForByte)
{
    const Bytes expected = {
        0x01,                   // bit read
        0x01,                   // CPU 1
        0x00, 0x08,             // 8 bytes follow
        0x00, 0x18,             // device X (24)
        0x00, 0x00, 0x00, 0xC9, // address number 201, not the offset 64
        0x00, 0x10,             // N = 16
    };
    EXPECT_EQ(bytesOf(fam3::BuildBinaryBrd(X201x16)), expected);
}

TEST(BinaryCommand, AddressNumberAndCountsAreBigEndian)
{
    // L10001 as 256 bits on CPU 3.
    const Bytes expected = {
        0x01, 0x03, 0x00, 0x08,
        0x00, 0x0C,             // device L (12)
        0x00, 0x00, 0x27, 0x11, // 10001
        0x01, 0x00,             // N = 256
    };
    EXPECT_EQ(bytesOf(fam3::BuildBinaryBrd(request(3, 12, 10001, 2048, 2304))), expected);

    // D262081 as 64 words: an address above 16 bits.
    const Bytes words = {
        0x11, 0x01, 0x00, 0x08,
        0x00, 0x04,
        0x00, 0x03, 0xFF, 0xC1, // 262081
        0x00, 0x40,             // W = 64
    };
    EXPECT_EQ(bytesOf(fam3::BuildBinaryWrd(request(1, 4, 262081, 524160, 524288))), words);
}

TEST(BinaryCommand, OddByteSpanIsRoundedUpToWholeWords)
{
    EXPECT_EQ(fam3::BuildBinaryWrd(request(1, 4, 1, 0, 5))[11], 3);
}

TEST(BinaryWordAnswer, WorkedExampleIsAcceptedWithTheDataInPlace)
{
    const Bytes answer = {
        0x91,                               // answer to a word read
        0x00,                               // end code: no error
        0x00, 0x06,                         // 6 data bytes
        0x00, 0x01, 0x00, 0x02, 0x00, 0x03, // words 1, 2, 3
    };
    const AnswerVerdict v = checkWrd(D100x3, answer);
    ASSERT_TRUE(v.accepted);
    EXPECT_EQ(v.status, 0);
    EXPECT_EQ(v.data, answer.data() + 4);
    EXPECT_EQ(Bytes(v.data, v.data + v.size), (Bytes{0x00, 0x01, 0x00, 0x02, 0x00, 0x03}));
}

TEST(BinaryBitAnswer, WorkedExampleIsAcceptedWithTheBytesAsReceived)
{
    Bytes answer = {0x81, 0x00, 0x00, 0x10}; // bit read answer, no error, 16 bytes
    for (int i = 0; i < 16; ++i)
        answer.push_back(static_cast<unsigned char>(i % 3)); // 0, 1, 2: not tested
    const AnswerVerdict v = checkBrd(X201x16, answer);
    ASSERT_TRUE(v.accepted);
    ASSERT_EQ(v.size, 16u);
    EXPECT_EQ(Bytes(v.data, v.data + v.size), Bytes(answer.begin() + 4, answer.end()));
}

TEST(BinaryWordAnswer, EveryLengthButTheExactOneIsRejected)
{
    const Bytes full = {0x91, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x00, 0x03};
    for (std::size_t length = 0; length <= full.size() + 2; ++length) {
        if (length == full.size())
            continue;
        Bytes answer(full.begin(), full.begin() + std::min(length, full.size()));
        answer.resize(length, 0x00);
        const AnswerVerdict v = checkWrd(D100x3, answer);
        EXPECT_FALSE(v.accepted) << "length " << length;
        EXPECT_EQ(v.status, fam3::StatusUninterpreted) << "length " << length;
        EXPECT_EQ(v.data, nullptr);
    }
}

TEST(BinaryWordAnswer, HeaderMismatchesAreRejected)
{
    const Bytes wrong[] = {
        {0x81, 0x00, 0x00, 0x06, 0, 1, 0, 2, 0, 3}, // bit-read answer code
        {0x91, 0x00, 0x01, 0x06, 0, 1, 0, 2, 0, 3}, // data length 0x0106
        {0x91, 0x00, 0x00, 0x04, 0, 1, 0, 2, 0, 3}, // data length 4, frame of 6
    };
    for (const Bytes& answer : wrong) {
        const AnswerVerdict v = checkWrd(D100x3, answer);
        EXPECT_FALSE(v.accepted);
        EXPECT_EQ(v.status, fam3::StatusUninterpreted);
    }
}

TEST(BinaryWordAnswer, ErrorEndCodeOfTheExpectedLengthGivesThatCode)
{
    // Good length and length field, but end code 0x22.
    const Bytes answer = {0x91, 0x22, 0x00, 0x06, 0, 1, 0, 2, 0, 3};
    const AnswerVerdict v = checkWrd(D100x3, answer);
    EXPECT_FALSE(v.accepted);
    EXPECT_EQ(v.status, 0x22);
}

TEST(BinaryErrorCode, FourByteErrorAnswerIsNotUnderstood)
{
    const Bytes answer = {0x91, 0x02, 0x00, 0x00};
    EXPECT_EQ(fam3::BinaryErrorCode(answer.data(), answer.size(), 0x91), fam3::StatusUninterpreted);
    EXPECT_EQ(checkWrd(D100x3, answer).status, fam3::StatusUninterpreted);
}

TEST(BinaryErrorCode, ErrorAnswerWithOneDetailByteGivesTheEndCode)
{
    const Bytes answer = {0x91, 0x02, 0x00, 0x01, 0x5A};
    EXPECT_EQ(fam3::BinaryErrorCode(answer.data(), answer.size(), 0x91), 2);
    EXPECT_EQ(checkWrd(D100x3, answer).status, 2);
}

TEST(BinaryErrorCode, ByteTwoPlaysNoPart)
{
    const Bytes answer = {0x81, 0xFF, 0x7E, 0x02, 0x00, 0x00};
    EXPECT_EQ(fam3::BinaryErrorCode(answer.data(), answer.size(), 0x81), 255);
    EXPECT_EQ(checkBrd(X201x16, answer).status, 255);
}

TEST(BinaryErrorCode, AnythingElseGivesMinusThree)
{
    const Bytes answer = {0x91, 0x02, 0x00, 0x01, 0x5A};
    // The code of the other read command.
    EXPECT_EQ(fam3::BinaryErrorCode(answer.data(), answer.size(), 0x81), fam3::StatusUninterpreted);
    EXPECT_EQ(checkBrd(X201x16, answer).status, fam3::StatusUninterpreted);
    // End code 0 is no error.
    const Bytes noError = {0x91, 0x00, 0x00, 0x01, 0x5A};
    EXPECT_EQ(fam3::BinaryErrorCode(noError.data(), noError.size(), 0x91),
              fam3::StatusUninterpreted);
    // Byte 3 + 4 must be the length, one byte short or over.
    const Bytes shortFrame = {0x91, 0x02, 0x00, 0x02, 0x5A};
    const Bytes longFrame = {0x91, 0x02, 0x00, 0x01, 0x5A, 0x5A};
    EXPECT_EQ(fam3::BinaryErrorCode(shortFrame.data(), shortFrame.size(), 0x91),
              fam3::StatusUninterpreted);
    EXPECT_EQ(fam3::BinaryErrorCode(longFrame.data(), longFrame.size(), 0x91),
              fam3::StatusUninterpreted);
    EXPECT_EQ(fam3::BinaryErrorCode(nullptr, 0, 0x91), fam3::StatusUninterpreted);
}

TEST(BinaryBitAnswer, LargestReadOf256BitsCarriesALengthAbove255)
{
    const ReadRequest bits = request(1, 13, 1, 0, 256);
    Bytes answer = {0x81, 0x00, 0x01, 0x00}; // 256 data bytes
    answer.resize(260, 0x01);
    const AnswerVerdict v = checkBrd(bits, answer);
    ASSERT_TRUE(v.accepted);
    EXPECT_EQ(v.size, 256u);
    answer[2] = 0x00; // length field 0x0000: mismatch
    EXPECT_FALSE(checkBrd(bits, answer).accepted);
}

} // namespace
