// Fuzz target of the value holders' decoding and text: any bytes may arrive as an item's data,
// in any number, followed by any status codes. Every one of the sixteen holders must read only
// the bytes it is given (missing ones count as 0), come to the value that an independent
// reading of the same bytes gives, keep and post as its rules say, and show a text that ends
// exactly at its end (no NUL inside, so a client sees all of it) and reads back as the value or
// the status marker.
//   byte 0: the holder, bit 3 set for a bit device, bits 0-2 the value type
//   then events, each one byte:
//     bit 7 clear: new data of (byte & 0x7F) bytes that follow, 0x7F meaning all that is left
//     bit 7 set:   a status code, the next byte as a signed number, or with bit 6 also set
//                  the next four bytes, little-endian
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>

#include "value/dde_text.h"
#include "value/holding.h"
#include "value/value_types.h"

#define FUZZ_TARGET "fuzz_value_decode"
#include "tests/fuzz/invariant.h"

namespace {

typedef std::array<std::uint8_t, 8> Register8;

// The first four registers as eight bytes, high byte first, read independently of the code
// under test: word devices take the bytes as they come; bit devices put point 16i + k into
// bit k of register i. Missing bytes and points are 0.
Register8 registers(bool bits, const std::uint8_t* data, std::size_t size)
{
    Register8 r{};
    if (!bits) {
        for (std::size_t i = 0; i < r.size() && i < size; ++i)
            r[i] = data[i];
        return r;
    }
    for (std::size_t j = 0; j < 64 && j < size; ++j) {
        if (data[j] == 0)
            continue;
        const std::size_t word = j / 16;
        const std::size_t bit = j % 16;
        r[2 * word + (bit < 8 ? 1 : 0)] |= static_cast<std::uint8_t>(1u << (bit % 8));
    }
    return r;
}

std::uint64_t bigEndian(const Register8& r, std::initializer_list<int> order)
{
    std::uint64_t v = 0;
    for (int i : order)
        v = v << 8 | r[static_cast<std::size_t>(i)];
    return v;
}

template <class V, class B> V fromBits(B bits)
{
    static_assert(sizeof(V) == sizeof(B), "same width");
    V v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// What each value type makes of the registers.
template <class T> struct Expected;
template <> struct Expected<fam3::WordType> {
    static std::int16_t of(const Register8& r)
    {
        return static_cast<std::int16_t>(bigEndian(r, {0, 1}));
    }
};
template <> struct Expected<fam3::BasicIntType> : Expected<fam3::WordType> {};
template <> struct Expected<fam3::DWordType> {
    static std::int32_t of(const Register8& r)
    {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(bigEndian(r, {2, 3, 0, 1})));
    }
};
template <> struct Expected<fam3::BasicLongType> {
    static std::int32_t of(const Register8& r)
    {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(bigEndian(r, {0, 1, 2, 3})));
    }
};
template <> struct Expected<fam3::FloatType> {
    static float of(const Register8& r)
    {
        return fromBits<float>(static_cast<std::uint32_t>(bigEndian(r, {2, 3, 0, 1})));
    }
};
template <> struct Expected<fam3::BasicFloatType> {
    static float of(const Register8& r)
    {
        return fromBits<float>(static_cast<std::uint32_t>(bigEndian(r, {0, 1, 2, 3})));
    }
};
template <> struct Expected<fam3::BasicDoubleType> {
    static double of(const Register8& r)
    {
        return fromBits<double>(bigEndian(r, {0, 1, 2, 3, 4, 5, 6, 7}));
    }
};

// The text of a string item: word devices the bytes up to the first 0 byte; bit devices eight
// points per character, first point lowest, at most 32 characters, up to the first 0 one.
std::string expectedText(bool bits, const std::uint8_t* data, std::size_t size)
{
    std::string text;
    if (!bits) {
        for (std::size_t i = 0; i < size && data[i] != 0; ++i)
            text.push_back(static_cast<char>(data[i]));
        return text;
    }
    for (std::size_t j = 0; j < 32 && 8 * j < size; ++j) {
        unsigned c = 0;
        for (std::size_t k = 0; k < 8 && 8 * j + k < size; ++k)
            if (data[8 * j + k] != 0)
                c |= 1u << k;
        if (c == 0)
            break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

template <class V> bool sameBits(const V& a, const V& b)
{
    return std::memcmp(&a, &b, sizeof(V)) == 0;
}
inline bool sameBits(const std::string& a, const std::string& b) { return a == b; }

template <class V> bool isNaN(const V& v) { return std::isnan(static_cast<double>(v)); }
template <> bool isNaN<std::string>(const std::string&) { return false; }
template <> bool isNaN<std::int16_t>(const std::int16_t&) { return false; }
template <> bool isNaN<std::int32_t>(const std::int32_t&) { return false; }

// The text shown for a value: it reads back as that value.
void checkValueText(const std::string& text, std::int32_t value)
{
    CHECK(text[0] != '+');
    char* end = nullptr;
    const long long back = std::strtoll(text.c_str(), &end, 10);
    CHECK(*end == '\0' && back == value);
}
void checkValueText(const std::string& text, std::int16_t value)
{
    checkValueText(text, static_cast<std::int32_t>(value));
}
void checkValueText(const std::string& text, double value)
{
    CHECK(text.find_first_not_of("0123456789.-e+inf") == std::string::npos);
    CHECK(text.size() <= 13); // -1.23457e+308
    if (std::isinf(value)) {
        CHECK(text == (value > 0 ? "inf" : "-inf"));
        return;
    }
    char* end = nullptr;
    const double back = std::strtod(text.c_str(), &end);
    CHECK(*end == '\0');
    // Six significant digits: the text is the value rounded to them (a subnormal double reads
    // back to the nearest subnormal, one step of them away at most).
    CHECK(!std::isinf(back));
    CHECK(std::fabs(back - value) <=
          std::fabs(value) * 5.00001e-6 + std::numeric_limits<double>::denorm_min());
}
void checkValueText(const std::string& text, float value)
{
    checkValueText(text, static_cast<double>(value));
}
void checkValueText(const std::string& text, const std::string& value)
{
    CHECK(text == (value.empty() ? std::string(fam3::NullStringText) : value));
}

// One holder's decisions over a series of events.
template <class A> class Holder {
public:
    typedef typename A::Type Type;
    typedef typename A::Value Value;

    explicit Holder(bool bits) : bits(bits) {}

    void data(const std::uint8_t* bytes, std::size_t size, bool nullWhenEmpty)
    {
        // In a heap block of exactly `size` bytes, so that a read past it is seen.
        std::unique_ptr<unsigned char[]> block(new unsigned char[size == 0 ? 1 : size]);
        if (size != 0)
            std::memcpy(block.get(), bytes, size);
        const unsigned char* p = size == 0 && nullWhenEmpty ? nullptr : block.get();

        const Value expected = expect(bytes, size);
        const Value before = value;
        const std::int32_t statusBefore = status;
        const fam3::DataOutcome outcome =
            fam3::acceptData<A>(value, status, p, static_cast<unsigned>(size));
        if (isNaN(expected)) {
            // Nothing stored; the holder then shows #NaN.
            CHECK(outcome == fam3::DataOutcome::NotANumber);
            CHECK(sameBits(value, before) && status == statusBefore);
            fam3::acceptStatus(status, fam3::StatusNotANumber);
        } else if (statusBefore == fam3::StatusValid && Type::same(before, expected)) {
            CHECK(outcome == fam3::DataOutcome::Unchanged);
            CHECK(sameBits(value, before) && status == fam3::StatusValid);
        } else {
            CHECK(outcome == fam3::DataOutcome::Changed);
            CHECK(sameBits(value, expected) && status == fam3::StatusValid);
        }
        checkText();

        // The same data again changes nothing and posts nothing.
        const Value kept = value;
        const fam3::DataOutcome again =
            fam3::acceptData<A>(value, status, p, static_cast<unsigned>(size));
        CHECK(again == (isNaN(expected) ? fam3::DataOutcome::NotANumber
                                        : fam3::DataOutcome::Unchanged));
        CHECK(sameBits(value, kept));
    }

    void statusCode(std::int32_t code)
    {
        const Value before = value;
        const bool changed = status != code;
        CHECK(fam3::acceptStatus(status, code) == changed);
        CHECK(status == code && sameBits(value, before));
        checkText();
    }

private:
    Value expect(const std::uint8_t* bytes, std::size_t size) const
    {
        if constexpr (std::is_same<Type, fam3::BasicStringType>::value)
            return expectedText(bits, bytes, size);
        else
            return Expected<Type>::of(registers(bits, bytes, size));
    }

    void checkText() const
    {
        const std::string text = fam3::renderText<A>(value, status);
        // The data handle carries the text and its NUL: nothing inside may end it early.
        CHECK(!text.empty());
        CHECK(std::strlen(text.c_str()) == text.size());
        switch (status) {
        case fam3::StatusValid:
            CHECK(!isNaN(value));
            checkValueText(text, value);
            break;
        case fam3::StatusNotANumber:
            CHECK(text == "#NaN");
            break;
        case fam3::StatusTimeOut:
            CHECK(text == "#TMOUT");
            break;
        case fam3::StatusEmpty:
            CHECK(text == "#EMPTY");
            break;
        default: {
            CHECK(text.compare(0, 5, "#ERR ") == 0);
            char* end = nullptr;
            const long long code = std::strtoll(text.c_str() + 5, &end, 10);
            CHECK(*end == '\0' && code == status && text[5] != '+' && text[5] != ' ');
        }
        }
    }

    bool bits;
    Value value{};
    std::int32_t status = fam3::StatusEmpty;
};

template <class A> void run(bool bits, const std::uint8_t* data, std::size_t size)
{
    Holder<A> holder(bits);
    std::size_t at = 0;
    bool nullWhenEmpty = false;
    while (at < size) {
        const std::uint8_t event = data[at++];
        if ((event & 0x80) == 0) {
            std::size_t n = event & 0x7F;
            if (n == 0x7F || n > size - at)
                n = size - at;
            holder.data(data + at, n, nullWhenEmpty);
            nullWhenEmpty = !nullWhenEmpty;
            at += n;
        } else if ((event & 0x40) != 0 && size - at >= 4) {
            std::uint32_t code = 0;
            for (int i = 3; i >= 0; --i)
                code = code << 8 | data[at + static_cast<std::size_t>(i)];
            holder.statusCode(static_cast<std::int32_t>(code));
            at += 4;
        } else if (at < size) {
            holder.statusCode(static_cast<std::int8_t>(data[at++]));
        }
    }
}

template <template <class> class Array> void runKind(bool bits, unsigned type,
                                                   const std::uint8_t* data, std::size_t size)
{
    switch (type) {
    case 0: return run<Array<fam3::BasicStringType>>(bits, data, size);
    case 1: return run<Array<fam3::WordType>>(bits, data, size);
    case 2: return run<Array<fam3::DWordType>>(bits, data, size);
    case 3: return run<Array<fam3::FloatType>>(bits, data, size);
    case 4: return run<Array<fam3::BasicIntType>>(bits, data, size);
    case 5: return run<Array<fam3::BasicLongType>>(bits, data, size);
    case 6: return run<Array<fam3::BasicFloatType>>(bits, data, size);
    default: return run<Array<fam3::BasicDoubleType>>(bits, data, size);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::currentData = data;
    fuzz::currentSize = size;
    if (size < 1)
        return 0;
    const bool bits = (data[0] & 8) != 0;
    const unsigned type = data[0] & 7;
    if (bits)
        runKind<fam3::BrdArray>(true, type, data + 1, size - 1);
    else
        runKind<fam3::WrdArray>(false, type, data + 1, size - 1);
    return 0;
}
