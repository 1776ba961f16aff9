// When a holder's new data or status reaches DDE clients: the decisions of value/holding.h,
// driven the way the Windows holders drive them (a NaN reading goes on as StatusNotANumber).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "value/holding.h"
#include "value/value_types.h"

using namespace fam3;

namespace {

typedef std::vector<unsigned char> Bytes;

// A holder without DDE: counts the advise notifications it would post.
template<class A>
struct Holder {
    typename A::Value value{};
    std::int32_t status = StatusEmpty;
    int posts = 0;

    void setData(const Bytes& data)
    {
        switch (acceptData<A>(value, status, data.data(), static_cast<unsigned>(data.size()))) {
        case DataOutcome::Changed:
            ++posts;
            break;
        case DataOutcome::NotANumber:
            setStatus(StatusNotANumber);
            break;
        case DataOutcome::Unchanged:
            break;
        }
    }
    void setStatus(std::int32_t code)
    {
        if (acceptStatus(status, code))
            ++posts;
    }
    std::string text() const { return renderText<A>(value, status); }
};

const Bytes floatOnePointFive = {0x00, 0x00, 0x3F, 0xC0};  // 3FC00000h, low register first
const Bytes floatNaN = {0x00, 0x00, 0x7F, 0xC0};           // 7FC00000h
const Bytes floatSignallingNaN = {0x00, 0x01, 0x7F, 0x80};  // 7F800001h
const Bytes floatPlusZero = {0x00, 0x00, 0x00, 0x00};
const Bytes floatMinusZero = {0x00, 0x00, 0x80, 0x00};     // 80000000h

} // namespace

TEST(FreshHolder, ShowsEmptyUntilFirstDataOrStatus)
{
    Holder<WrdArray<WordType> > word;
    Holder<BrdArray<BasicStringType> > text;
    EXPECT_EQ("#EMPTY", word.text());
    EXPECT_EQ("#EMPTY", text.text());
    EXPECT_EQ(0, word.posts);
}

TEST(FreshHolder, StatusZeroPostsOnceAndShowsInitialValue)
{
    Holder<WrdArray<DWordType> > number;
    Holder<WrdArray<BasicStringType> > text;
    Holder<BrdArray<FloatType> > single;
    number.setStatus(StatusValid);
    text.setStatus(StatusValid);
    single.setStatus(StatusValid);
    number.setStatus(StatusValid);
    EXPECT_EQ(1, number.posts);
    EXPECT_EQ("0", number.text());
    EXPECT_EQ(1, text.posts);
    EXPECT_EQ("(null)", text.text());
    EXPECT_EQ("0", single.text());
}

TEST(IntegerChange, SameValueAgainPostsNothing)
{
    Holder<WrdArray<WordType> > h;
    h.setData({0xFF, 0xFF});
    EXPECT_EQ(-1, h.value);
    EXPECT_EQ(1, h.posts);
    h.setData({0xFF, 0xFF});
    EXPECT_EQ(1, h.posts);
    h.setData({0x80, 0x00});
    EXPECT_EQ(2, h.posts);
    EXPECT_EQ("-32768", h.text());
}

TEST(IntegerChange, FirstReadingOfZeroPostsBecauseStatusChanges)
{
    Holder<WrdArray<BasicLongType> > h;
    h.setData({0, 0, 0, 0});
    EXPECT_EQ(1, h.posts);
    EXPECT_EQ("0", h.text());
}

TEST(StatusChange, TwoTimeOutsPostOnce)
{
    Holder<WrdArray<WordType> > h;
    h.setData({0x00, 0x07});
    h.setStatus(StatusTimeOut);
    h.setStatus(StatusTimeOut);
    EXPECT_EQ(2, h.posts);
    EXPECT_EQ("#TMOUT", h.text());
}

TEST(StatusChange, TimeOutThenSameValuePostsTwiceInAll)
{
    Holder<WrdArray<WordType> > h;
    h.setData({0x00, 0x07});
    h.posts = 0;
    h.setStatus(StatusTimeOut);
    h.setData({0x00, 0x07});
    EXPECT_EQ(2, h.posts);
    EXPECT_EQ("7", h.text());
}

TEST(StatusChange, ErrorCodesPostWhenTheCodeChanges)
{
    Holder<BrdArray<DWordType> > h;
    h.setStatus(StatusUninterpreted);
    h.setStatus(StatusUninterpreted);
    h.setStatus(3);
    EXPECT_EQ(2, h.posts);
    EXPECT_EQ("#ERR 3", h.text());
}

TEST(StatusChange, KeepsTheValueForALaterStatusZero)
{
    Holder<WrdArray<WordType> > h;
    h.setData({0x01, 0x00});
    h.setStatus(StatusTimeOut);
    h.setStatus(StatusValid);
    EXPECT_EQ(3, h.posts);
    EXPECT_EQ("256", h.text());
}

TEST(FloatChange, NaNTwicePostsOnceAndKeepsTheValue)
{
    Holder<WrdArray<FloatType> > h;
    h.setData(floatOnePointFive);
    h.setData(floatNaN);
    h.setData(floatNaN);
    EXPECT_EQ(2, h.posts);
    EXPECT_EQ(StatusNotANumber, h.status);
    EXPECT_EQ(1.5f, h.value);
    EXPECT_EQ("#NaN", h.text());
}

TEST(FloatChange, ValueBeforeNaNPostsAgainAndClearsTheStatus)
{
    Holder<WrdArray<FloatType> > h;
    h.setData(floatOnePointFive);
    h.setData(floatNaN);
    h.setData(floatOnePointFive);
    EXPECT_EQ(3, h.posts);
    EXPECT_EQ("1.5", h.text());
}

TEST(FloatChange, SignallingNaNIsNaN)
{
    Holder<WrdArray<FloatType> > h;
    h.setData(floatSignallingNaN);
    EXPECT_EQ("#NaN", h.text());
    EXPECT_EQ(1, h.posts);
}

TEST(FloatChange, NaNOnFreshHolderKeepsTheZeroValue)
{
    Holder<WrdArray<BasicFloatType> > h;
    h.setData({0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_EQ(1, h.posts);
    EXPECT_EQ(0.0f, h.value);
    h.setStatus(StatusValid);
    EXPECT_EQ("0", h.text());
}

TEST(FloatChange, InfinityIsAValueNotNaN)
{
    Holder<WrdArray<FloatType> > h;
    h.setData({0x00, 0x00, 0x7F, 0x80});
    EXPECT_EQ(StatusValid, h.status);
    EXPECT_EQ("inf", h.text());
    h.setData({0x00, 0x00, 0xFF, 0x80});
    EXPECT_EQ("-inf", h.text());
    EXPECT_EQ(2, h.posts);
}

TEST(FloatChange, SignOfZeroAloneIsNoChange)
{
    Holder<WrdArray<FloatType> > h;
    h.setData(floatPlusZero);
    h.setData(floatMinusZero);
    EXPECT_EQ(1, h.posts);
    EXPECT_FALSE(std::signbit(h.value));

    Holder<WrdArray<FloatType> > reverse;
    reverse.setData(floatMinusZero);
    reverse.setData(floatPlusZero);
    EXPECT_EQ(1, reverse.posts);
    EXPECT_TRUE(std::signbit(reverse.value));
}

TEST(FloatChange, DoubleNaNAndSignedZero)
{
    Holder<WrdArray<BasicDoubleType> > h;
    h.setData({0, 0, 0, 0, 0, 0, 0, 0});
    h.setData({0x80, 0, 0, 0, 0, 0, 0, 0});        // -0.0
    EXPECT_EQ(1, h.posts);
    h.setData({0x7F, 0xF0, 0, 0, 0, 0, 0, 0x01});  // signalling NaN
    h.setData({0xFF, 0xF8, 0, 0, 0, 0, 0, 0});     // negative quiet NaN
    EXPECT_EQ(2, h.posts);
    EXPECT_EQ("#NaN", h.text());
    h.setData({0x7F, 0xF0, 0, 0, 0, 0, 0, 0});     // +inf
    EXPECT_EQ("inf", h.text());
}

TEST(FloatChange, BitDeviceNaN)
{
    Holder<BrdArray<BasicFloatType> > h;
    // 7FC00000h: the first 16 points are the high half 7FC0h, points 6 to 14 on.
    Bytes points(32, 0);
    for (unsigned k = 6; k <= 14; ++k)
        points[k] = 1;
    h.setData(points);
    EXPECT_EQ("#NaN", h.text());
}

TEST(StringChange, DifferenceAfterTheZeroBytePostsNothing)
{
    Holder<WrdArray<BasicStringType> > h;
    h.setData({'A', 'B', 'C', 0, 'D', 'E'});
    EXPECT_EQ("ABC", h.value);
    h.setData({'A', 'B', 'C', 0, 'X', 'Y'});
    EXPECT_EQ(1, h.posts);
    EXPECT_EQ("ABC", h.text());
}

TEST(StringChange, LengthOrBytesDifferingPosts)
{
    Holder<WrdArray<BasicStringType> > h;
    h.setData({'A', 'B', 'C', 0});
    h.setData({'A', 'B', 'C', 'D'});
    h.setData({'A', 'B', 'X', 'D'});
    EXPECT_EQ(3, h.posts);
    EXPECT_EQ("ABXD", h.text());
}

TEST(StringChange, FirstByteZeroIsTheEmptyTextWithStatusZero)
{
    Holder<WrdArray<BasicStringType> > h;
    h.setData({0, 'A'});
    EXPECT_EQ(StatusValid, h.status);
    EXPECT_EQ("", h.value);
    EXPECT_EQ("(null)", h.text());
    EXPECT_EQ(1, h.posts);
}

TEST(StringChange, SameTextAfterTimeOutPostsAgain)
{
    Holder<BrdArray<BasicStringType> > h;
    const Bytes a = {1, 0, 0, 0, 0, 0, 1, 0};  // 'A'
    h.setData(a);
    h.setStatus(StatusTimeOut);
    h.setData(a);
    EXPECT_EQ(3, h.posts);
    EXPECT_EQ("A", h.text());
}
