// Fuzz target of the ASCII frames: the command of any read request names that read and
// nothing else, and any datagram may arrive as its answer. An accepted answer must have exactly
// the expected length and header, data characters that are upper-case hexadecimal digits (word
// read) or '0'/'1' (bit read), and yield exactly the data that a module writes as that answer;
// a rejected one must give a status code the items know (StatusUninterpreted or a PLC code 1 to
// 255; status 0 would read as a valid value). The same datagram taken as the reply to the probe
// shows ASCII form exactly when it could be an ASCII module's error line. Nothing may be read
// outside the datagram. Bytes 0 to 4 choose the request (frame_input.h), bytes 5 on are the answer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "item/item_name.h"
#include "link/frames.h"

#define FUZZ_TARGET "fuzz_frame_ascii"
#include "tests/fuzz/invariant.h"
#include "tests/fuzz/frame_target.h"

namespace {

constexpr std::size_t DecodeCapacity = 512;

fam3::AnswerVerdict check(bool bits, const fam3::ReadRequest& r, const unsigned char* answer,
                          std::size_t length, unsigned char* decoded, std::size_t capacity)
{
    return bits ? fam3::CheckAsciiBrd(r, answer, length, decoded, capacity)
                : fam3::CheckAsciiWrd(r, answer, length, decoded, capacity);
}

bool isHexDigit(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

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

// The decimal number of text[at, end), or -1 when it holds anything but digits or nothing.
long decimal(const std::string& text, std::size_t at, std::size_t end)
{
    if (at >= end)
        return -1;
    long value = 0;
    for (std::size_t i = at; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9' || value > 100000000)
            return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// The command line, read the way a module reads it, names exactly the request's read.
void checkCommand(bool bits, const fam3::ReadRequest& r, std::uint32_t count)
{
    const std::string command = bits ? fam3::BuildAsciiBrd(r) : fam3::BuildAsciiWrd(r);
    const std::string device = fam3::asciiDeviceName(r.device);
    CHECK(!device.empty());
    CHECK(command.size() >= 2 + 3 + device.size() + 1 + 1 + 2 + 2);
    CHECK(command[0] == '0' && command[1] == '0' + r.cpu);
    CHECK(command.compare(2, 3, bits ? "BRD" : "WRD") == 0);
    CHECK(command.compare(5, device.size(), device) == 0);
    CHECK(command.compare(command.size() - 2, 2, "\r\n") == 0);
    const std::size_t comma = command.find(',');
    CHECK(comma != std::string::npos && comma > 5 + device.size());
    CHECK(command[5 + device.size()] != '0'); // no leading zero, no fill
    CHECK(decimal(command, 5 + device.size(), comma) == r.address);
    // The count, padded to the width the module expects: 3 digits for bits, 2 for words.
    CHECK(command.size() - 2 - (comma + 1) == (bits ? 3u : 2u));
    CHECK(decimal(command, comma + 1, command.size() - 2) == static_cast<long>(count));
}

} // namespace

void fuzz::checkFrame(const FrameInput& in)
{
    const auto& [r, bits, count, dataSize, length, answer] = in;
    const unsigned char* a = answer.get();
    const std::size_t dataChars = bits ? dataSize : 2 * dataSize;
    checkCommand(bits, r, count);
    std::unique_ptr<unsigned char[]> decoded(new unsigned char[DecodeCapacity]);

    // Taken as the probe's reply: ASCII form for 'E' at 2 or 'R' at 3, binary for anything
    // else and for a reply too short to hold both; an error line is always ASCII.
    const bool ascii = fam3::ProbeReplyIsAscii(a, length);
    CHECK(ascii == (length >= 4 && (a[2] == 'E' || a[3] == 'R')));
    if (fam3::AsciiErrorCode(a, length) != fam3::StatusUninterpreted)
        CHECK(ascii);

    // Length, header and CR LF as an accepted answer has them.
    const bool frameMatches = length == 4 + dataChars + 2 && a[0] == '1' && a[1] == '0' + r.cpu &&
                              a[2] == 'O' && a[3] == 'K' && a[length - 2] == '\r' &&
                              a[length - 1] == '\n';
    bool charactersValid = frameMatches;
    for (std::size_t i = 0; frameMatches && i < dataChars; ++i) {
        const unsigned char c = a[4 + i];
        if (bits ? (c != '0' && c != '1') : !isHexDigit(c))
            charactersValid = false;
    }

    const fam3::AnswerVerdict v = check(bits, r, a, length, decoded.get(), DecodeCapacity);
    if (!v.accepted) {
        CHECK(v.data == nullptr && v.size == 0);
        CHECK(v.status == fam3::StatusUninterpreted || (v.status >= 1 && v.status <= 255));
        // An answer that differs only in a data character is not understood, like one of a
        // wrong length; anything else gets the error line's code if it is one.
        CHECK(!charactersValid);
        CHECK(v.status ==
              (frameMatches ? fam3::StatusUninterpreted : fam3::AsciiErrorCode(a, length)));
        if (v.status != fam3::StatusUninterpreted) {
            CHECK(length == 15 && a[0] == '1' && a[2] == 'E' && a[3] == 'R');
            CHECK(isHexDigit(a[4]) && isHexDigit(a[5]));
            CHECK(v.status == static_cast<int>(std::strtol(
                                  std::string(reinterpret_cast<const char*>(a) + 4, 2).c_str(),
                                  nullptr, 16)));
        }
        return;
    }

    CHECK(charactersValid);
    CHECK(!ascii); // "1?OK" is no error line
    CHECK(v.status == 0);
    CHECK(v.size == dataSize);
    CHECK(v.data == decoded.get());
    if (bits) {
        for (std::size_t i = 0; i < v.size; ++i)
            CHECK(v.data[i] == (a[4 + i] == '1' ? 1 : 0));
    }

    // Only what a module writes is accepted, so the data written back the way a module writes
    // it is the answer itself, byte for byte.
    const std::string again = encode(bits, r.cpu, v.data, v.size);
    CHECK(again.size() == length && std::memcmp(again.data(), a, length) == 0);

    // A decode buffer one byte too small refuses the answer instead of overrunning.
    std::unique_ptr<unsigned char[]> small(new unsigned char[dataSize]);
    const fam3::AnswerVerdict s = check(bits, r, a, length, small.get(), dataSize - 1);
    CHECK(!s.accepted && s.status == fam3::StatusUninterpreted);
    // The other read's check never takes it: its data has another length.
    const fam3::AnswerVerdict other =
        check(!bits, r, a, length, decoded.get(), DecodeCapacity);
    CHECK(!other.accepted);
}
