// The DDE text of values and status markers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <locale>
#include <string>

#include "value/dde_text.h"
#include "value/holding.h"
#include "value/value_types.h"

using namespace fam3;

TEST(DoubleText, GeneralNotationWithSixSignificantDigits)
{
    EXPECT_EQ("1.5", formatDouble(1.5));
    EXPECT_EQ("100", formatDouble(100));
    EXPECT_EQ("123457", formatDouble(123456.7));
    EXPECT_EQ("1.23457e+06", formatDouble(1234567));
    EXPECT_EQ("0.0001", formatDouble(0.0001));
    EXPECT_EQ("1e-05", formatDouble(0.00001));
    EXPECT_EQ("3.14159", formatDouble(3.141592653589793));
    EXPECT_EQ("-2.5", formatDouble(-2.5));
    EXPECT_EQ("0", formatDouble(0.0));
    EXPECT_EQ("1e+100", formatDouble(1e100));
    EXPECT_EQ("999999", formatDouble(999999));
    EXPECT_EQ("1e+06", formatDouble(999999.5));  // rounding carries into the exponent
}

TEST(DoubleText, InfinitiesAreWrittenOut)
{
    EXPECT_EQ("inf", formatDouble(std::numeric_limits<double>::infinity()));
    EXPECT_EQ("-inf", formatDouble(-std::numeric_limits<double>::infinity()));
}

TEST(SingleText, WidenedToDoubleThenSixDigits)
{
    EXPECT_EQ("0.1", FloatType::text(0.1f));  // not 0.100000001
    EXPECT_EQ("1.67772e+07", FloatType::text(16777216.0f));
    EXPECT_EQ("-2.5", BasicFloatType::text(-2.5f));
    EXPECT_EQ("3.14159", FloatType::text(SingleBits::fromBits(0x40490FDBu)));
    EXPECT_EQ("inf", FloatType::text(SingleBits::fromBits(0x7F800000u)));
    EXPECT_EQ("-inf", BasicFloatType::text(SingleBits::fromBits(0xFF800000u)));
}

namespace {

// A locale that writes numbers the German way with grouping: 1.234.567,5.
struct GroupingPunct : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
    char do_thousands_sep() const override { return '.'; }
    std::string do_grouping() const override { return "\3"; }
};

class GlobalLocale : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved = std::locale::global(std::locale(std::locale::classic(), new GroupingPunct));
    }
    void TearDown() override { std::locale::global(saved); }
    std::locale saved;
};

} // namespace

TEST_F(GlobalLocale, DoesNotChangeNumberText)
{
    EXPECT_EQ("1234.5", formatDouble(1234.5));
    EXPECT_EQ("123457", formatDouble(123456.7));
    EXPECT_EQ("1234567", formatInteger(1234567));
    EXPECT_EQ("-32768", WordType::text(-32768));
}

TEST(IntegerText, SignedDecimalOverTheFullRange)
{
    EXPECT_EQ("-1", WordType::text(-1));
    EXPECT_EQ("-32768", BasicIntType::text(-32768));
    EXPECT_EQ("32767", WordType::text(32767));
    EXPECT_EQ("0", WordType::text(0));
    EXPECT_EQ("-2147483648", DWordType::text(std::numeric_limits<std::int32_t>::min()));
    EXPECT_EQ("2147483647", BasicLongType::text(std::numeric_limits<std::int32_t>::max()));
}

TEST(StatusText, MarkersForTheNamedCodes)
{
    EXPECT_EQ("#NaN", statusText(StatusNotANumber));
    EXPECT_EQ("#TMOUT", statusText(StatusTimeOut));
    EXPECT_EQ("#EMPTY", statusText(StatusEmpty));
}

TEST(StatusText, OtherCodesAreErrorsWithTheSignedCode)
{
    EXPECT_EQ("#ERR -3", statusText(StatusUninterpreted));
    EXPECT_EQ("#ERR 3", statusText(3));
    EXPECT_EQ("#ERR 255", statusText(255));
    EXPECT_EQ("#ERR -5", statusText(-5));
    EXPECT_EQ("#ERR -2147483648", statusText(std::numeric_limits<std::int32_t>::min()));
}

TEST(HolderText, StatusZeroShowsTheValueAnyOtherTheMarker)
{
    EXPECT_EQ("-1", renderText<WrdArray<WordType> >(-1, StatusValid));
    EXPECT_EQ("#EMPTY", renderText<WrdArray<WordType> >(-1, StatusEmpty));
    EXPECT_EQ("#TMOUT", renderText<BrdArray<BasicDoubleType> >(1.5, StatusTimeOut));
    EXPECT_EQ("1.5", renderText<BrdArray<BasicDoubleType> >(1.5, StatusValid));
}

TEST(HolderText, StringsPassUnchangedAndEmptyShowsNull)
{
    EXPECT_EQ("(null)", renderText<WrdArray<BasicStringType> >("", StatusValid));
    EXPECT_EQ("A,B\r\n", renderText<WrdArray<BasicStringType> >("A,B\r\n", StatusValid));
    EXPECT_EQ("#ERR -3", renderText<BrdArray<BasicStringType> >("ABC", StatusUninterpreted));
}
