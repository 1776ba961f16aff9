#include "value/value_types.h"

namespace fam3 {

namespace {

// Byte `i` of the data, 0 at or beyond `size`.
unsigned char byteAt(const unsigned char* data, unsigned size, unsigned long long i)
{
    return data != nullptr && i < size ? data[i] : 0;
}

} // namespace

std::uint16_t registerWord(const unsigned char* data, unsigned size, unsigned index)
{
    const unsigned long long first = 2ull * index;
    return static_cast<std::uint16_t>(byteAt(data, size, first) << 8 |
                                      byteAt(data, size, first + 1));
}

std::uint16_t pointWord(const unsigned char* data, unsigned size, unsigned index)
{
    const unsigned long long first = 16ull * index;
    std::uint16_t word = 0;
    for (unsigned k = 0; k < 16; ++k)
        if (byteAt(data, size, first + k) != 0)
            word |= static_cast<std::uint16_t>(1u << k);
    return word;
}

std::string registerText(const unsigned char* data, unsigned size)
{
    if (data == nullptr)
        return std::string();
    const void* end = std::memchr(data, 0, size);
    const unsigned length =
        end != nullptr ? static_cast<unsigned>(static_cast<const unsigned char*>(end) - data)
                       : size;
    return std::string(reinterpret_cast<const char*>(data), length);
}

std::string pointText(const unsigned char* data, unsigned size)
{
    unsigned count = size / 8 + (size % 8 != 0 ? 1 : 0);
    if (count > BitStringMaxChars)
        count = BitStringMaxChars;
    std::string text;
    text.reserve(count);
    for (unsigned j = 0; j < count; ++j) {
        unsigned char c = 0;
        for (unsigned k = 0; k < 8; ++k)
            if (byteAt(data, size, 8ull * j + k) != 0)
                c = static_cast<unsigned char>(c | 1u << k);
        if (c == 0)
            break;
        text.push_back(static_cast<char>(c));
    }
    return text;
}

} // namespace fam3
