// Fuzz target of the binary frames: the command of any read request carries that read's fields
// and nothing else, and any datagram may arrive as its answer. An accepted answer must have
// exactly the expected length and header and hand on exactly the expected data in place; a
// rejected one must give StatusUninterpreted or the PLC's end code (1 to 255). The same datagram
// taken as the reply to the probe is judged by its bytes 2 and 3 alone. Nothing may be read outside
// the datagram. Bytes 0 to 4 choose the request (frame_input.h), bytes 5 on are the answer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "link/frames.h"

#define FUZZ_TARGET "fuzz_frame_binary"
#include "tests/fuzz/invariant.h"
#include "tests/fuzz/frame_target.h"

void fuzz::checkFrame(const FrameInput& in)
{
    const auto& [r, bits, count, dataSize, length, answer] = in;
    const unsigned char* a = answer.get();
    const unsigned char answerCode = bits ? fam3::BinaryBitAnswer : fam3::BinaryWordAnswer;

    // The command: code, CPU, length 8, device, address number, count, big-endian.
    const fam3::BinaryCommand c = bits ? fam3::BuildBinaryBrd(r) : fam3::BuildBinaryWrd(r);
    CHECK(c[0] == (bits ? fam3::BinaryBitRead : fam3::BinaryWordRead));
    CHECK(c[1] == r.cpu && c[2] == 0x00 && c[3] == 0x08);
    CHECK(((c[4] << 8) | c[5]) == static_cast<int>(r.device));
    const std::uint32_t address = std::uint32_t(c[6]) << 24 | std::uint32_t(c[7]) << 16 |
                                  std::uint32_t(c[8]) << 8 | c[9];
    CHECK(address == static_cast<std::uint32_t>(r.address));
    CHECK(((c[10] << 8) | c[11]) == static_cast<int>(count));

    // Taken as the probe's reply: too short to hold bytes 2 and 3 is binary; otherwise only
    // those two bytes decide.
    const bool ascii = fam3::ProbeReplyIsAscii(a, length);
    if (length < 4) {
        CHECK(!ascii);
    } else {
        std::unique_ptr<unsigned char[]> other(new unsigned char[length]);
        for (std::size_t i = 0; i < length; ++i)
            other[i] = (i == 2 || i == 3) ? a[i] : static_cast<unsigned char>(~a[i]);
        CHECK(fam3::ProbeReplyIsAscii(other.get(), length) == ascii);
        CHECK(fam3::ProbeReplyIsAscii(a, 4) == ascii);
        CHECK(ascii == (a[2] == 'E' || a[3] == 'R'));
    }

    const fam3::AnswerVerdict v = bits ? fam3::CheckBinaryBrd(r, a, length, nullptr, 0)
                                       : fam3::CheckBinaryWrd(r, a, length, nullptr, 0);
    if (!v.accepted) {
        CHECK(v.data == nullptr && v.size == 0);
        CHECK(v.status == fam3::StatusUninterpreted || (v.status >= 1 && v.status <= 255));
        CHECK(v.status == fam3::BinaryErrorCode(a, length, answerCode));
        if (v.status != fam3::StatusUninterpreted) {
            CHECK(length > 4 && a[3] + 4u == length);
            CHECK(a[0] == answerCode && a[1] == v.status);
        }
        return;
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
}
