#pragma once
// The datagrams exchanged with the FA-M3 Ethernet interface module: the probe, the bit-read and
// word-read commands in ASCII and binary form, and the checks of their answers.
//
// Each form is a pair: Build*(request) gives the command bytes, Check*(request, answer) gives
// the verdict on one received datagram, either accepted with the data for the items (words
// high byte first, or one byte 0/1 per bit) or rejected with the status code for the
// request's items. No socket is involved here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "item/status_codes.h"
#include "link/read_request.h"

namespace fam3 {

// Sent in AUTO mode to learn the module's form. Read as binary it is command 0x51 for CPU 1
// with a 2-byte body (CR LF); an ASCII module answers it with an error line ("1?ER..").
constexpr std::array<unsigned char, 6> ProbeFrame = {
    0x51,       // command
    0x01,       // CPU 1
    0x00, 0x02, // length of the rest
    0x0D, 0x0A, // CR LF
};

// The form of the module's reply to the probe: an ASCII module answers with an error line,
// "1" cpu "ER" code ..., so 'E' at index 2 or 'R' at index 3 means ASCII; anything else,
// including a reply too short to hold both tested bytes, means binary.
bool ProbeReplyIsAscii(const unsigned char* reply, std::size_t length);

// Binary command and answer codes.
constexpr unsigned char BinaryBitRead = 0x01;
constexpr unsigned char BinaryWordRead = 0x11;
constexpr unsigned char BinaryBitAnswer = 0x81;
constexpr unsigned char BinaryWordAnswer = 0x91;

// A binary command is always this long.
constexpr std::size_t BinaryCommandSize = 12;
typedef std::array<unsigned char, BinaryCommandSize> BinaryCommand;

// Bits of a bit read: end offset - start offset.
std::uint32_t BitCount(const ReadRequest& request);
// Words of a word read: (end offset - start offset + 1) / 2, an odd byte span rounded up.
std::uint32_t WordCount(const ReadRequest& request);

// "0" cpu "BRD" device address "," count(3 digits at least) CR LF.
std::string BuildAsciiBrd(const ReadRequest& request);
// "0" cpu "WRD" device address "," count(2 digits at least) CR LF.
std::string BuildAsciiWrd(const ReadRequest& request);
// command, CPU, length 0x0008, device code (2), address number (4), count (2), big-endian.
BinaryCommand BuildBinaryBrd(const ReadRequest& request);
BinaryCommand BuildBinaryWrd(const ReadRequest& request);

// The verdict on one answer. Accepted: `data` points at `size` bytes for the items, inside the
// answer itself (binary form) or inside the caller's decode buffer (ASCII form), and `status`
// is 0. Rejected: `data` is null, `size` 0 and `status` the code for the request's items
// (StatusUninterpreted, or the PLC's own error code).
struct AnswerVerdict {
    bool accepted = false;
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    int status = StatusUninterpreted;
};

// ASCII answers: "1" cpu "OK", the data characters (4 hexadecimal digits '0'-'9', 'A'-'F' per
// word, or '0' or '1' per bit), CR LF, of exactly the expected length. The data is decoded into
// `decoded`, which holds `capacity` bytes. An answer with any other data character, or whose
// data would not fit, is rejected with StatusUninterpreted.
AnswerVerdict CheckAsciiBrd(const ReadRequest& request, const unsigned char* answer,
                            std::size_t length, unsigned char* decoded, std::size_t capacity);
AnswerVerdict CheckAsciiWrd(const ReadRequest& request, const unsigned char* answer,
                            std::size_t length, unsigned char* decoded, std::size_t capacity);

// Binary answers: answer code, end code 0, data length L (big-endian, N bits or 2W bytes) and
// L data bytes, nothing more or less. The data stays where it is; `decoded` is not used and
// exists so that all four checks share one signature.
AnswerVerdict CheckBinaryBrd(const ReadRequest& request, const unsigned char* answer,
                             std::size_t length, unsigned char* decoded, std::size_t capacity);
AnswerVerdict CheckBinaryWrd(const ReadRequest& request, const unsigned char* answer,
                             std::size_t length, unsigned char* decoded, std::size_t capacity);

// The status of a rejected ASCII answer: the two hexadecimal digits ('0'-'9', 'A'-'F') at 4 and 5
// of a 15-byte answer that begins "1?ER" (the CPU digit is not compared), StatusUninterpreted for
// anything else, a code 00 or a code that is not two such digits included.
int AsciiErrorCode(const unsigned char* answer, std::size_t length);

// The status of a rejected binary answer: the end code (byte 1) of an answer longer than 4
// bytes whose byte 3 plus 4 is its length, whose byte 0 is `answerCode` and whose end code is
// not 0; StatusUninterpreted for anything else.
int BinaryErrorCode(const unsigned char* answer, std::size_t length, unsigned char answerCode);

} // namespace fam3
