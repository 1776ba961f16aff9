// Fuzz target of the binary answer checks: any datagram may arrive as the answer to a bit read
// or a word read. An accepted answer must have exactly the expected length and header and hand
// on exactly the expected data in place; a rejected one must give -3 or the PLC's end code
// (1 to 255). Nothing may be read outside the datagram.
// Bytes 0 and 1 choose the request (frame_input.h), bytes 2 on are the answer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "link/frames.h"

#define FUZZ_TARGET "fuzz_frame_binary"
#include "tests/fuzz/invariant.h"
#include "tests/fuzz/frame_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::currentData = data;
    fuzz::currentSize = size;
    if (size < 2)
        return 0;
    const bool bits = fuzz::isBitRead(data);
    const fam3::ReadRequest r = fuzz::requestOf(data);
    const std::uint32_t count = bits ? fam3::BitCount(r) : fam3::WordCount(r);
    const std::size_t dataSize = bits ? count : 2 * count;
    const unsigned char answerCode = bits ? fam3::BinaryBitAnswer : fam3::BinaryWordAnswer;

    // The command: code, CPU, length 8, device, address, count, big-endian.
    const fam3::BinaryCommand command = bits ? fam3::BuildBinaryBrd(r) : fam3::BuildBinaryWrd(r);
    CHECK(command[0] == (bits ? fam3::BinaryBitRead : fam3::BinaryWordRead));
    CHECK(command[1] == r.cpu && command[2] == 0x00 && command[3] == 0x08);
    CHECK(((command[10] << 8) | command[11]) == static_cast<int>(count));

    const std::size_t length = size - 2;
    std::unique_ptr<unsigned char[]> answer(new unsigned char[length == 0 ? 1 : length]);
    std::memcpy(answer.get(), data + 2, length);
    const unsigned char* a = answer.get();

    const fam3::AnswerVerdict v = bits ? fam3::CheckBinaryBrd(r, a, length, nullptr, 0)
                                       : fam3::CheckBinaryWrd(r, a, length, nullptr, 0);
    if (!v.accepted) {
        CHECK(v.data == nullptr && v.size == 0);
        CHECK(v.status == -3 || (v.status >= 1 && v.status <= 255));
        CHECK(v.status == fam3::BinaryErrorCode(a, length, answerCode));
        if (v.status != -3) {
            CHECK(length > 4 && a[3] + 4u == length);
            CHECK(a[0] == answerCode && a[1] == v.status);
        }
        return 0;
    }

    CHECK(v.status == 0);
    CHECK(length == 4 + dataSize);
    CHECK(v.size == dataSize);
    CHECK(v.data == a + 4);
    CHECK(a[0] == answerCode && a[1] == 0x00);
    CHECK(((a[2] << 8) | a[3]) == static_cast<int>(dataSize));
    // The answer of the other read command never passes for this one.
    const fam3::AnswerVerdict other = bits ? fam3::CheckBinaryWrd(r, a, length, nullptr, 0)
                                           : fam3::CheckBinaryBrd(r, a, length, nullptr, 0);
    CHECK(!other.accepted);
    return 0;
}
