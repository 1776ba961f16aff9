#include "link/frames.h"

#include "item/item_name.h"

namespace fam3 {

namespace {

constexpr unsigned char CR = 0x0D;
constexpr unsigned char LF = 0x0A;

// Value of one hexadecimal digit as the module writes it, '0' to '9' and 'A' to 'F'; -1 for any
// other character, lower case included, which a module never sends: such an answer has been
// corrupted on its way and must not become a plausible number.
int hexDigit(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The byte of two hexadecimal digits, high digit first; false when either is not a digit.
bool hexByte(unsigned char high, unsigned char low, unsigned char& byte)
{
    const int h = hexDigit(high);
    const int l = hexDigit(low);
    if (h < 0 || l < 0)
        return false;
    byte = static_cast<unsigned char>(h * 16 + l);
    return true;
}

// `value` in decimal, padded on the left with '0' to at least `width` digits.
std::string padded(std::uint32_t value, std::size_t width)
{
    std::string digits = std::to_string(value);
    if (digits.size() < width)
        digits.insert(0, width - digits.size(), '0');
    return digits;
}

std::string asciiCommand(const ReadRequest& request, const char* command, std::uint32_t count,
                         std::size_t countWidth)
{
    std::string text = "0";
    text += std::to_string(request.cpu);
    text += command;
    text += asciiDeviceName(request.device);
    text += std::to_string(request.address);
    text += ',';
    text += padded(count, countWidth);
    text += static_cast<char>(CR);
    text += static_cast<char>(LF);
    return text;
}

BinaryCommand binaryCommand(const ReadRequest& request, unsigned char command,
                            std::uint32_t count)
{
    const std::uint32_t address = static_cast<std::uint32_t>(request.address);
    return BinaryCommand{
        command,
        static_cast<unsigned char>(request.cpu),
        0x00, 0x08, // length of the rest of the frame
        static_cast<unsigned char>(request.device >> 8),
        static_cast<unsigned char>(request.device),
        static_cast<unsigned char>(address >> 24),
        static_cast<unsigned char>(address >> 16),
        static_cast<unsigned char>(address >> 8),
        static_cast<unsigned char>(address),
        static_cast<unsigned char>(count >> 8),
        static_cast<unsigned char>(count),
    };
}

AnswerVerdict rejected(int status)
{
    AnswerVerdict verdict;
    verdict.status = status;
    return verdict;
}

AnswerVerdict accepted(const unsigned char* data, std::size_t size)
{
    AnswerVerdict verdict;
    verdict.accepted = true;
    verdict.data = data;
    verdict.size = size;
    verdict.status = StatusValid;
    return verdict;
}

// Length, header "1" cpu "OK" and the closing CR LF of an ASCII answer with `dataChars`
// characters of data between them.
bool asciiFrameMatches(const ReadRequest& request, const unsigned char* answer,
                       std::size_t length, std::uint64_t dataChars)
{
    if (static_cast<std::uint64_t>(length) != 4 + dataChars + 2)
        return false;
    return answer[0] == '1' && int(answer[1]) == '0' + request.cpu && answer[2] == 'O' &&
           answer[3] == 'K' && answer[length - 2] == CR && answer[length - 1] == LF;
}

// Length and header (answer code, end code 0, data length) of a binary answer carrying
// `dataBytes` bytes.
bool binaryFrameMatches(const unsigned char* answer, std::size_t length,
                        unsigned char answerCode, std::uint64_t dataBytes)
{
    if (dataBytes > 0xFFFF || static_cast<std::uint64_t>(length) != 4 + dataBytes)
        return false;
    return answer[0] == answerCode && answer[1] == 0x00 &&
           answer[2] == static_cast<unsigned char>(dataBytes >> 8) &&
           answer[3] == static_cast<unsigned char>(dataBytes);
}

} // namespace

std::uint32_t BitCount(const ReadRequest& request)
{
    return request.endOffset - request.startOffset;
}

std::uint32_t WordCount(const ReadRequest& request)
{
    return (request.endOffset - request.startOffset + 1) / 2;
}

std::string BuildAsciiBrd(const ReadRequest& request)
{
    return asciiCommand(request, "BRD", BitCount(request), 3);
}

std::string BuildAsciiWrd(const ReadRequest& request)
{
    return asciiCommand(request, "WRD", WordCount(request), 2);
}

BinaryCommand BuildBinaryBrd(const ReadRequest& request)
{
    return binaryCommand(request, BinaryBitRead, BitCount(request));
}

BinaryCommand BuildBinaryWrd(const ReadRequest& request)
{
    return binaryCommand(request, BinaryWordRead, WordCount(request));
}

AnswerVerdict CheckAsciiBrd(const ReadRequest& request, const unsigned char* answer,
                            std::size_t length, unsigned char* decoded, std::size_t capacity)
{
    const std::uint64_t bits = BitCount(request);
    if (!asciiFrameMatches(request, answer, length, bits))
        return rejected(AsciiErrorCode(answer, length));
    if (bits > capacity)
        return rejected(StatusUninterpreted);
    // A bit is '0' or '1' and nothing else.
    for (std::size_t i = 0; i < bits; ++i) {
        const unsigned char c = answer[4 + i];
        if (c != '0' && c != '1')
            return rejected(StatusUninterpreted);
        decoded[i] = c == '1' ? 1 : 0;
    }
    return accepted(decoded, static_cast<std::size_t>(bits));
}

AnswerVerdict CheckAsciiWrd(const ReadRequest& request, const unsigned char* answer,
                            std::size_t length, unsigned char* decoded, std::size_t capacity)
{
    const std::uint64_t bytes = 2ull * WordCount(request);
    if (!asciiFrameMatches(request, answer, length, 2 * bytes))
        return rejected(AsciiErrorCode(answer, length));
    if (bytes > capacity)
        return rejected(StatusUninterpreted);
    for (std::size_t i = 0; i < bytes; ++i) {
        if (!hexByte(answer[4 + 2 * i], answer[5 + 2 * i], decoded[i]))
            return rejected(StatusUninterpreted);
    }
    return accepted(decoded, static_cast<std::size_t>(bytes));
}

AnswerVerdict CheckBinaryBrd(const ReadRequest& request, const unsigned char* answer,
                             std::size_t length, unsigned char*, std::size_t)
{
    const std::uint64_t bits = BitCount(request);
    if (!binaryFrameMatches(answer, length, BinaryBitAnswer, bits))
        return rejected(BinaryErrorCode(answer, length, BinaryBitAnswer));
    return accepted(answer + 4, static_cast<std::size_t>(bits));
}

AnswerVerdict CheckBinaryWrd(const ReadRequest& request, const unsigned char* answer,
                             std::size_t length, unsigned char*, std::size_t)
{
    const std::uint64_t bytes = 2ull * WordCount(request);
    if (!binaryFrameMatches(answer, length, BinaryWordAnswer, bytes))
        return rejected(BinaryErrorCode(answer, length, BinaryWordAnswer));
    return accepted(answer + 4, static_cast<std::size_t>(bytes));
}

int AsciiErrorCode(const unsigned char* answer, std::size_t length)
{
    if (length != 15 || answer[0] != '1' || answer[2] != 'E' || answer[3] != 'R')
        return StatusUninterpreted;
    // A code that is not two hexadecimal digits is not understood. Status 0 means a valid value
    // to the holders: an error line that claims code 00 must not make them show their last value
    // as if the read had worked.
    unsigned char code = 0;
    if (!hexByte(answer[4], answer[5], code) || code == 0)
        return StatusUninterpreted;
    return code;
}

bool ProbeReplyIsAscii(const unsigned char* reply, std::size_t length)
{
    return length >= 4 && (reply[2] == 'E' || reply[3] == 'R');
}

int BinaryErrorCode(const unsigned char* answer, std::size_t length, unsigned char answerCode)
{
    if (length <= 4 || answer[3] + std::size_t(4) != length || answer[0] != answerCode ||
        answer[1] == 0x00)
        return StatusUninterpreted;
    return answer[1];
}

} // namespace fam3
