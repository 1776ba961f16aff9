// Decoding of read-answer data into values: word orders on both device kinds, missing data,
// and strings on word and bit devices.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "value/value_types.h"

using namespace fam3;

namespace {

typedef std::vector<unsigned char> Bytes;

// Bit-device data for register words: 16 points per word, bit k of word i is point 16i + k.
// Points that are on carry `on`, so that any nonzero byte is tested as on.
Bytes pointsOf(const std::vector<std::uint16_t>& words, unsigned char on = 1)
{
    Bytes points;
    for (std::uint16_t w : words)
        for (unsigned k = 0; k < 16; ++k)
            points.push_back((w >> k & 1) ? on : 0);
    return points;
}

template<class A>
typename A::Value decode(const Bytes& data)
{
    return A::decode(data.data(), static_cast<unsigned>(data.size()));
}

float singleOf(std::uint32_t bits) { return SingleBits::fromBits(bits); }

// Registers 5678h 1234h.
const Bytes wordPattern = {0x56, 0x78, 0x12, 0x34};
const std::vector<std::uint16_t> pattern = {0x5678, 0x1234};

} // namespace

TEST(WordDeviceWordOrder, FirstRegisterIsLowHalfOfDWord)
{
    EXPECT_EQ(305419896, decode<WrdArray<DWordType> >(wordPattern));  // 12345678h
}

TEST(WordDeviceWordOrder, FirstRegisterIsHighHalfOfBasicLong)
{
    EXPECT_EQ(1450709556, decode<WrdArray<BasicLongType> >(wordPattern));  // 56781234h
}

TEST(WordDeviceWordOrder, SinglesInBothOrdersGiveTheSameValue)
{
    const float pi = singleOf(0x40490FDBu);
    EXPECT_EQ(pi, decode<WrdArray<FloatType> >({0x0F, 0xDB, 0x40, 0x49}));
    EXPECT_EQ(pi, decode<WrdArray<BasicFloatType> >({0x40, 0x49, 0x0F, 0xDB}));
    EXPECT_NEAR(3.14159, pi, 1e-5);
}

TEST(WordDeviceWordOrder, DoubleIsBigEndianOverFourRegisters)
{
    const Bytes bytes = {0x40, 0x09, 0x21, 0xFB, 0x54, 0x44, 0x2D, 0x18};
    EXPECT_EQ(3.141592653589793, decode<WrdArray<BasicDoubleType> >(bytes));
}

TEST(WordDeviceWordOrder, WordsAreSignedWithHighByteFirst)
{
    EXPECT_EQ(-1, decode<WrdArray<WordType> >({0xFF, 0xFF}));
    EXPECT_EQ(-32768, decode<WrdArray<WordType> >({0x80, 0x00}));
    EXPECT_EQ(0x1234, decode<WrdArray<BasicIntType> >({0x12, 0x34}));
    EXPECT_EQ(-2, decode<WrdArray<BasicIntType> >({0xFF, 0xFE}));
    EXPECT_EQ(-1, decode<WrdArray<DWordType> >({0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(WordDeviceMissingData, BytesBeyondSizeCountAsZero)
{
    const unsigned char bytes[] = {0x12, 0x34, 0x56, 0x78};
    EXPECT_EQ(0x1200, WrdArray<WordType>::decode(bytes, 1));
    EXPECT_EQ(0x1234, WrdArray<DWordType>::decode(bytes, 2));  // low half only
    EXPECT_EQ(0x12340000, WrdArray<BasicLongType>::decode(bytes, 2));
    EXPECT_EQ(0, WrdArray<WordType>::decode(nullptr, 0));
    EXPECT_EQ(0.0, WrdArray<BasicDoubleType>::decode(bytes, 0));
}

TEST(WordDeviceMissingData, BytesBeyondTheTypeAreIgnored)
{
    EXPECT_EQ(0x1234, decode<WrdArray<WordType> >({0x12, 0x34, 0xFF, 0xFF}));
}

TEST(BitDeviceWordOrder, FirstSixteenPointsAreLowHalfOfDWord)
{
    EXPECT_EQ(0x12345678, decode<BrdArray<DWordType> >(pointsOf(pattern)));
}

TEST(BitDeviceWordOrder, FirstSixteenPointsAreHighHalfOfBasicLong)
{
    EXPECT_EQ(0x56781234, decode<BrdArray<BasicLongType> >(pointsOf(pattern)));
}

TEST(BitDeviceWordOrder, SinglesFollowTheirWordOrder)
{
    const float pi = singleOf(0x40490FDBu);
    EXPECT_EQ(pi, decode<BrdArray<FloatType> >(pointsOf({0x0FDB, 0x4049})));
    EXPECT_EQ(pi, decode<BrdArray<BasicFloatType> >(pointsOf({0x4049, 0x0FDB})));
}

TEST(BitDeviceWordOrder, DoubleHasFirstSixteenPointsMostSignificant)
{
    const Bytes points = pointsOf({0x4009, 0x21FB, 0x5444, 0x2D18});
    EXPECT_EQ(3.141592653589793, decode<BrdArray<BasicDoubleType> >(points));
}

TEST(BitDeviceWord, FirstPointIsBitZeroAndSixteenthIsSign)
{
    Bytes points(16, 0);
    points[0] = 1;
    EXPECT_EQ(1, decode<BrdArray<WordType> >(points));
    points[0] = 0;
    points[15] = 1;
    EXPECT_EQ(-32768, decode<BrdArray<WordType> >(points));
    EXPECT_EQ(-32768, decode<BrdArray<BasicIntType> >(points));
}

TEST(BitDeviceWord, AnyNonzeroByteIsOn)
{
    EXPECT_EQ(-1, decode<BrdArray<WordType> >(pointsOf({0xFFFF}, 0xFF)));
    EXPECT_EQ(0x1234, decode<BrdArray<WordType> >(pointsOf({0x1234}, 0x80)));
}

TEST(BitDeviceWord, SinglePointItemIsZeroOrOne)
{
    const unsigned char on = 1, off = 0;
    EXPECT_EQ(1, BrdArray<WordType>::decode(&on, 1));
    EXPECT_EQ(0, BrdArray<WordType>::decode(&off, 1));
}

TEST(BitDeviceMissingData, PointsBeyondSizeAreOff)
{
    Bytes points = pointsOf({0xFFFF, 0xFFFF});
    EXPECT_EQ(0x0000FFFF, BrdArray<DWordType>::decode(points.data(), 16));
    EXPECT_EQ(0x7, BrdArray<WordType>::decode(points.data(), 3));
    EXPECT_EQ(0, BrdArray<BasicDoubleType>::decode(nullptr, 0));
}

TEST(WordDeviceString, OddLengthTakesOnlyTheHighByteOfTheLastRegister)
{
    EXPECT_EQ("ABC", decode<WrdArray<BasicStringType> >({'A', 'B', 'C'}));
}

TEST(WordDeviceString, EndsAtFirstZeroByte)
{
    EXPECT_EQ("ABC", decode<WrdArray<BasicStringType> >({'A', 'B', 'C', 0, 'D', 'E'}));
    EXPECT_EQ("", decode<WrdArray<BasicStringType> >({0, 'A', 'B', 'C'}));
}

TEST(WordDeviceString, WithoutZeroByteTakesAllBytesUnchanged)
{
    const Bytes bytes = {0x82, 0xA0, '\r', '\n', ',', 0xFF};  // a CP932 character, CR LF, ...
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), decode<WrdArray<BasicStringType> >(bytes));
    EXPECT_EQ("", WrdArray<BasicStringType>::decode(nullptr, 0));
}

namespace {

// Bit-device data for a text: eight points per character, first point in bit 0.
Bytes pointsOfText(const std::string& text)
{
    Bytes points;
    for (unsigned char c : text)
        for (unsigned k = 0; k < 8; ++k)
            points.push_back(c >> k & 1);
    return points;
}

} // namespace

TEST(BitDeviceString, PacksEightPointsPerCharacterFirstPointLowest)
{
    Bytes points(16, 0);
    points[0] = points[6] = 1;   // 41h 'A'
    points[9] = points[14] = 1;  // 42h 'B'
    EXPECT_EQ("AB", decode<BrdArray<BasicStringType> >(points));
}

TEST(BitDeviceString, SixteenPointsGiveAtMostTwoCharacters)
{
    const Bytes points = pointsOfText("ABCD");
    EXPECT_EQ("AB", BrdArray<BasicStringType>::decode(points.data(), 16));
}

TEST(BitDeviceString, AtMostThirtyTwoCharacters)
{
    const std::string text(40, 'x');
    const Bytes points = pointsOfText(text);
    EXPECT_EQ(std::string(32, 'x'), BrdArray<BasicStringType>::decode(points.data(), 256));
    EXPECT_EQ(std::string(32, 'x'), decode<BrdArray<BasicStringType> >(points));  // 320 points
}

TEST(BitDeviceString, PartialLastCharacterHasMissingBitsZero)
{
    Bytes points = pointsOfText("A");
    points.insert(points.end(), {1, 0, 1, 1});  // 13 points: second character 0Dh
    EXPECT_EQ("A\r", decode<BrdArray<BasicStringType> >(points));
}

TEST(BitDeviceString, EndsAtFirstZeroCharacter)
{
    EXPECT_EQ("A", decode<BrdArray<BasicStringType> >(pointsOfText(std::string("A\0B", 3))));
    EXPECT_EQ("", decode<BrdArray<BasicStringType> >(Bytes(16, 0)));
}
