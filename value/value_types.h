#pragma once
// The eight value types of the holders and the two array policies that turn the data of a read
// answer into a value: WrdArray for word devices (two bytes per register, high byte first) and
// BrdArray for bit devices (one byte per point, nonzero is on). Pure logic, no Windows API.
//
// A numeric value type assembles its value from `Words` 16-bit register words in reception
// order; the array policy builds those words from the answer data. Strings are decoded by the
// policies themselves, since a bit device packs eight points per character.
#include <cstdint>
#include <cstring>
#include <string>

#include "value/dde_text.h"

namespace fam3 {

struct WordType {
    typedef std::int16_t Value;
    static constexpr unsigned Words = 1;
    static Value fromWords(const std::uint16_t* w) { return static_cast<Value>(w[0]); }
    static bool isNaN(Value) { return false; }
    static bool same(Value a, Value b) { return a == b; }
    static std::string text(Value v) { return formatInteger(v); }
};

// Behaves as WordType in every respect; a class of its own so that its holder is one too.
struct BasicIntType : WordType {};

// First register = low half.
struct DWordType {
    typedef std::int32_t Value;
    static constexpr unsigned Words = 2;
    static Value fromWords(const std::uint16_t* w)
    {
        return static_cast<Value>(std::uint32_t(w[1]) << 16 | w[0]);
    }
    static bool isNaN(Value) { return false; }
    static bool same(Value a, Value b) { return a == b; }
    static std::string text(Value v) { return formatInteger(v); }
};

// First register = high half (all four bytes big-endian).
struct BasicLongType {
    typedef std::int32_t Value;
    static constexpr unsigned Words = 2;
    static Value fromWords(const std::uint16_t* w)
    {
        return static_cast<Value>(std::uint32_t(w[0]) << 16 | w[1]);
    }
    static bool isNaN(Value) { return false; }
    static bool same(Value a, Value b) { return a == b; }
    static std::string text(Value v) { return formatInteger(v); }
};

// Shared by the two single-precision types, which differ only in word order.
struct SingleBits {
    typedef float Value;
    static Value fromBits(std::uint32_t bits)
    {
        Value v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    // Exponent all ones and a nonzero fraction; infinities are not NaN. Tested on the bits, so
    // no floating-point operation touches a signalling NaN. Widening to double keeps a NaN a
    // NaN and anything else not one, so this is the same test as on the widened value.
    static bool isNaN(Value v)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return (bits & 0x7F800000u) == 0x7F800000u && (bits & 0x007FFFFFu) != 0;
    }
    // Numeric: +0 and -0 are the same value.
    static bool same(Value a, Value b) { return a == b; }
    static std::string text(Value v) { return formatDouble(static_cast<double>(v)); }
};

// First register = low half.
struct FloatType : SingleBits {
    static constexpr unsigned Words = 2;
    static Value fromWords(const std::uint16_t* w)
    {
        return fromBits(std::uint32_t(w[1]) << 16 | w[0]);
    }
};

// First register = high half.
struct BasicFloatType : SingleBits {
    static constexpr unsigned Words = 2;
    static Value fromWords(const std::uint16_t* w)
    {
        return fromBits(std::uint32_t(w[0]) << 16 | w[1]);
    }
};

// First register most significant (all eight bytes big-endian).
struct BasicDoubleType {
    typedef double Value;
    static constexpr unsigned Words = 4;
    static Value fromWords(const std::uint16_t* w)
    {
        const std::uint64_t bits = std::uint64_t(w[0]) << 48 | std::uint64_t(w[1]) << 32 |
                                   std::uint64_t(w[2]) << 16 | w[3];
        Value v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    static bool isNaN(Value v)
    {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return (bits & 0x7FF0000000000000u) == 0x7FF0000000000000u &&
               (bits & 0x000FFFFFFFFFFFFFu) != 0;
    }
    static bool same(Value a, Value b) { return a == b; }
    static std::string text(Value v) { return formatDouble(v); }
};

// A byte string; characters in reception order.
struct BasicStringType {
    typedef std::string Value;
    static bool isNaN(const Value&) { return false; }
    // Same length and same bytes.
    static bool same(const Value& a, const Value& b) { return a == b; }
    static std::string text(const Value& v) { return v.empty() ? NullStringText : v; }
};

// Most characters a bit-device string holds.
constexpr unsigned BitStringMaxChars = 32;

// Register word `index` of word-device data: bytes 2i (high) and 2i+1 (low); bytes at or
// beyond `size` count as 0.
std::uint16_t registerWord(const unsigned char* data, unsigned size, unsigned index);
// Word `index` of bit-device data: bit k is point 16i + k; points at or beyond `size` are off.
std::uint16_t pointWord(const unsigned char* data, unsigned size, unsigned index);
// Word-device text: the bytes up to the first 0 byte or `size` bytes.
std::string registerText(const unsigned char* data, unsigned size);
// Bit-device text: points packed eight per character, first point in bit 0; ceil(size / 8)
// characters at most 32, ending early at the first 0 character.
std::string pointText(const unsigned char* data, unsigned size);

template<class T>
struct WrdArray {
    typedef T Type;
    typedef typename T::Value Value;
    static Value decode(const unsigned char* data, unsigned size)
    {
        std::uint16_t w[T::Words];
        for (unsigned i = 0; i < T::Words; ++i)
            w[i] = registerWord(data, size, i);
        return T::fromWords(w);
    }
};

template<>
struct WrdArray<BasicStringType> {
    typedef BasicStringType Type;
    typedef BasicStringType::Value Value;
    static Value decode(const unsigned char* data, unsigned size)
    {
        return registerText(data, size);
    }
};

template<class T>
struct BrdArray {
    typedef T Type;
    typedef typename T::Value Value;
    static Value decode(const unsigned char* data, unsigned size)
    {
        std::uint16_t w[T::Words];
        for (unsigned i = 0; i < T::Words; ++i)
            w[i] = pointWord(data, size, i);
        return T::fromWords(w);
    }
};

template<>
struct BrdArray<BasicStringType> {
    typedef BasicStringType Type;
    typedef BasicStringType::Value Value;
    static Value decode(const unsigned char* data, unsigned size) { return pointText(data, size); }
};

} // namespace fam3
