// Fuzz target of the ASCII answer checks: any datagram may arrive as the answer to a bit read
// or a word read. An accepted answer must have exactly the expected length and header and
// yield exactly the expected data; a rejected one must give a status code the items know
// (-3 or a PLC code 1 to 255; status 0 would read as a valid value). Nothing may be read
// outside the datagram.
// Bytes 0 and 1 choose the request (frame_input.h), bytes 2 on are the answer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "link/frames.h"

#define FUZZ_TARGET "fuzz_frame_ascii"
#include "tests/fuzz/invariant.h"
#include "tests/fuzz/frame_input.h"

namespace {

constexpr std::size_t DecodeCapacity = 512;

fam3::AnswerVerdict check(bool bits, const fam3::ReadRequest& r, const unsigned char* answer,
                          std::size_t length, unsigned char* decoded, std::size_t capacity)
{
    return bits ? fam3::CheckAsciiBrd(r, answer, length, decoded, capacity)
                : fam3::CheckAsciiWrd(r, answer, length, decoded, capacity);
}

// The answer a module would send for `data`: upper-case hex digits per byte, or '0'/'1' per bit.
std::string encode(bool bits, int cpu, const unsigned char* data, std::size_t size)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text = "1";
    text += static_cast<char>('0' + cpu);
    text += "OK";
    for (std::size_t i = 0; i < size; ++i) {
        if (bits) {
            text += data[i] ? '1' : '0';
        } else {
            text += digits[data[i] >> 4];
            text += digits[data[i] & 0x0F];
        }
    }
    text += "\r\n";
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::currentData = data;
    fuzz::currentSize = size;
    if (size < 2)
        return 0;
    const bool bits = fuzz::isBitRead(data);
    const fam3::ReadRequest r = fuzz::requestOf(data);
    const std::size_t dataSize = bits ? fam3::BitCount(r) : 2 * fam3::WordCount(r);
    const std::size_t expectedLength = 4 + (bits ? dataSize : 2 * dataSize) + 2;

    // The command for the request is one CR LF terminated line that names the read.
    const std::string command = bits ? fam3::BuildAsciiBrd(r) : fam3::BuildAsciiWrd(r);
    CHECK(command.size() >= 12);
    CHECK(command[0] == '0' && command[1] == '0' + r.cpu);
    CHECK(command.compare(2, 3, bits ? "BRD" : "WRD") == 0);
    CHECK(command.compare(command.size() - 2, 2, "\r\n") == 0);

    // The answer in a heap block of exactly its length, so that a read past it is seen.
    const std::size_t length = size - 2;
    std::unique_ptr<unsigned char[]> answer(new unsigned char[length == 0 ? 1 : length]);
    std::memcpy(answer.get(), data + 2, length);
    std::unique_ptr<unsigned char[]> decoded(new unsigned char[DecodeCapacity]);

    const fam3::AnswerVerdict v =
        check(bits, r, answer.get(), length, decoded.get(), DecodeCapacity);
    if (!v.accepted) {
        CHECK(v.data == nullptr && v.size == 0);
        CHECK(v.status == -3 || (v.status >= 1 && v.status <= 255));
        CHECK(v.status == fam3::AsciiErrorCode(answer.get(), length));
        return 0;
    }

    CHECK(v.status == 0);
    CHECK(length == expectedLength);
    CHECK(v.size == dataSize);
    CHECK(v.data == decoded.get());
    const unsigned char* a = answer.get();
    CHECK(a[0] == '1' && a[1] == '0' + r.cpu && a[2] == 'O' && a[3] == 'K');
    CHECK(a[length - 2] == '\r' && a[length - 1] == '\n');
    if (bits) {
        for (std::size_t i = 0; i < v.size; ++i)
            CHECK(v.data[i] == (a[4 + i] != '0' ? 1 : 0));
    }

    // The data, written back the way a module writes it, decodes to the same bytes.
    const std::string again = encode(bits, r.cpu, v.data, v.size);
    unsigned char redecoded[DecodeCapacity];
    const fam3::AnswerVerdict w =
        check(bits, r, reinterpret_cast<const unsigned char*>(again.data()), again.size(),
              redecoded, sizeof redecoded);
    CHECK(w.accepted && w.size == v.size);
    CHECK(std::memcmp(w.data, v.data, v.size) == 0);

    // A decode buffer one byte too small refuses the answer instead of overrunning.
    std::unique_ptr<unsigned char[]> small(new unsigned char[dataSize]);
    const fam3::AnswerVerdict s = check(bits, r, answer.get(), length, small.get(), dataSize - 1);
    CHECK(!s.accepted && s.status == -3);
    return 0;
}
