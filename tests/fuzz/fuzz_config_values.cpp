// Fuzz target of the meaning of the KOMVAS.ini values: the profile functions hand the
// configuration step any bytes a file may hold as the "IP" and "MODE" texts (cut to fit their
// buffers) and any number as "PORT". A text is read only inside its buffer, ends at its first
// NUL and keeps at most 31 characters; a mode is one of the three names in any letter case of
// the ASCII letters and nothing else; a port is the number's low 16 bits; only "SYSTEM" itself
// is the system topic's name.
//   input: the buffer's bytes; its first four bytes, little-endian, are also the PORT number
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include "link/link_mode.h"
#include "shell/config_values.h"

#define FUZZ_TARGET "fuzz_config_values"
#include "tests/fuzz/invariant.h"

namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char flip(char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z')
        return static_cast<char>(c - 'A' + 'a');
    return c;
}

// The text of a buffer of `size` bytes, held in a heap block of exactly that size so that a
// read past it is seen.
std::string textOf(const std::uint8_t* data, std::size_t size)
{
    std::unique_ptr<char[]> buffer(new char[size == 0 ? 1 : size]);
    if (size != 0)
        std::memcpy(buffer.get(), data, size);
    const std::string text = config::ValueText(size == 0 ? nullptr : buffer.get(), size);
    // The bytes up to the first NUL, never the last byte of the buffer, which holds a NUL
    // whenever the profile function filled it.
    const char* bytes = reinterpret_cast<const char*>(data);
    std::size_t length = 0;
    while (length + 1 < size && bytes[length] != '\0')
        ++length;
    CHECK(text.size() == length);
    CHECK(text.compare(0, length, bytes, length) == 0);
    CHECK(std::strlen(text.c_str()) == text.size());
    return text;
}

void checkMode(const std::string& text)
{
    const std::optional<int> mode = config::ModeNumber(text);
    std::string upperText = text;
    for (char& c : upperText)
        c = upper(c);
    if (upperText == "AUTO")
        CHECK(mode == fam3::ModeAuto);
    else if (upperText == "BINARY")
        CHECK(mode == fam3::ModeBinary);
    else if (upperText == "ASCII")
        CHECK(mode == fam3::ModeAscii);
    else
        CHECK(!mode);

    // The letter case of the ASCII letters plays no part, and only theirs.
    std::string flipped = text;
    for (char& c : flipped)
        c = flip(c);
    CHECK(config::ModeNumber(flipped) == mode);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::currentData = data;
    fuzz::currentSize = size;

    // The whole input as one buffer, and its head as the 32-byte buffer of "IP" and "MODE".
    const std::string text = textOf(data, size);
    const std::size_t head = size < config::TextBufferSize ? size : config::TextBufferSize;
    const std::string value = textOf(data, head);
    CHECK(value.size() <= 31);
    CHECK(text.compare(0, value.size(), value) == 0);

    checkMode(text);
    checkMode(value);
    CHECK(config::IsSystemSectionName(text.c_str()) == (text == "SYSTEM"));

    if (size >= 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i)
            number = number << 8 | data[i];
        const std::uint16_t port = config::PortNumber(number);
        CHECK(port == (number & 0xFFFFu));
        CHECK(config::PortNumber(number ^ 0xFFFF0000u) == port);
    }
    return 0;
}
