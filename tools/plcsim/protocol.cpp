#include "tools/plcsim/protocol.h"

#include <cstdio>
#include <string_view>

namespace plcsim {
namespace {

bool isDigit(std::uint8_t c)
{
    return c >= '0' && c <= '9';
}
bool isUpper(std::uint8_t c)
{
    return c >= 'A' && c <= 'Z';
}

// Reads decimal digits from pos; caps the value so that an overlong number stays out of range.
bool readDecimal(std::string_view text, std::size_t& pos, std::uint32_t& value)
{
    const std::size_t begin = pos;
    std::uint64_t v = 0;
    while (pos < text.size() && isDigit(static_cast<std::uint8_t>(text[pos]))) {
        v = v * 10 + static_cast<std::uint64_t>(text[pos] - '0');
        if (v > 0xFFFFFFFFull)
            v = 0xFFFFFFFFull;
        ++pos;
    }
    value = static_cast<std::uint32_t>(v);
    return pos > begin;
}

Command fail(Command c, std::uint8_t code, std::uint32_t detail)
{
    c.error = code;
    c.detail = detail;
    return c;
}

// Checks common to both forms once device, address and count are known.
Command finishRead(Command c, bool bitRead, int cpu, const Device& device, std::uint32_t number,
                   std::uint32_t count, std::uint32_t kindPos, std::uint32_t addressPos, std::uint32_t countPos)
{
    if (bitRead && device.kind == Kind::Word)
        return fail(c, errc::Kind, kindPos);
    const std::optional<std::uint32_t> point = pointOf(device, number);
    if (!point)
        return fail(c, errc::Address, addressPos);
    if (count == 0 || count > (bitRead ? MaxBits : MaxWords))
        return fail(c, errc::Count, countPos);
    ReadCommand r;
    r.bitRead = bitRead;
    r.cpu = cpu;
    r.device = &device;
    r.number = number;
    r.point = *point;
    r.count = count;
    if (static_cast<std::uint64_t>(r.point) + r.points() > deviceSize(device))
        return fail(c, errc::Address, addressPos);
    c.read = r;
    return c;
}

Command parseAscii(const std::uint8_t* data, std::size_t size)
{
    Command c;
    c.form = Form::Ascii;
    if (size >= 2 && isDigit(data[1]))
        c.cpuDigit = static_cast<char>(data[1]);
    if (size >= 5 && isUpper(data[2]) && isUpper(data[3]) && isUpper(data[4]))
        c.mnemonic.assign(reinterpret_cast<const char*>(data) + 2, 3);

    if (size < 2 || data[size - 2] != '\r' || data[size - 1] != '\n')
        return fail(c, errc::Frame, size >= 2 ? static_cast<std::uint32_t>(size - 2) : 0);
    const std::string_view body(reinterpret_cast<const char*>(data), size - 2);
    if (body.empty() || body[0] != '0')
        return fail(c, errc::Frame, 0);
    if (body.size() < 2 || body[1] < '1' || body[1] > '4')
        return fail(c, errc::Cpu, 1);
    const int cpu = body[1] - '0';
    const std::string_view mnemonic = body.substr(2, 3);
    const bool bitRead = mnemonic == "BRD";
    if (!bitRead && mnemonic != "WRD")
        return fail(c, errc::Command, 2);

    std::size_t pos = 5;
    while (pos < body.size() && isUpper(static_cast<std::uint8_t>(body[pos])))
        ++pos;
    const Device* device = deviceByAsciiName(body.substr(5, pos - 5));
    if (!device)
        return fail(c, errc::Device, 5);

    const std::uint32_t addressPos = static_cast<std::uint32_t>(pos);
    std::uint32_t number = 0;
    if (!readDecimal(body, pos, number))
        return fail(c, errc::Frame, addressPos);
    if (pos >= body.size() || body[pos] != ',')
        return fail(c, errc::Frame, static_cast<std::uint32_t>(pos));
    ++pos;
    const std::uint32_t countPos = static_cast<std::uint32_t>(pos);
    std::uint32_t count = 0;
    if (!readDecimal(body, pos, count))
        return fail(c, errc::Frame, countPos);
    if (pos != body.size())
        return fail(c, errc::Frame, static_cast<std::uint32_t>(pos));
    return finishRead(c, bitRead, cpu, *device, number, count, 2, addressPos, countPos);
}

Command parseBinary(const std::uint8_t* data, std::size_t size)
{
    Command c;
    c.form = Form::Binary;
    if (size >= 1)
        c.answerCode = static_cast<std::uint8_t>(data[0] | 0x80);
    if (size < 4)
        return fail(c, errc::Frame, 0);
    const bool bitRead = data[0] == 0x01;
    if (!bitRead && data[0] != 0x11)
        return fail(c, errc::Command, 0);
    if (data[1] < 1 || data[1] > CpuCount)
        return fail(c, errc::Cpu, 1);
    const std::uint32_t length = (std::uint32_t{data[2]} << 8) | data[3];
    if (length != size - 4 || length != 8)
        return fail(c, errc::Frame, 2);
    const Device* device = deviceByCode((std::uint32_t{data[4]} << 8) | data[5]);
    if (!device)
        return fail(c, errc::Device, 4);
    const std::uint32_t number =
        (std::uint32_t{data[6]} << 24) | (std::uint32_t{data[7]} << 16) | (std::uint32_t{data[8]} << 8) | data[9];
    const std::uint32_t count = (std::uint32_t{data[10]} << 8) | data[11];
    return finishRead(c, bitRead, data[1], *device, number, count, 4, 6, 10);
}

// The 16-bit words a read returns, or the bits of a bit read (0 or 1 each).
std::vector<std::uint16_t> readValues(const ReadCommand& r, const Memory& memory)
{
    std::vector<std::uint16_t> values;
    values.reserve(r.count);
    const Device& d = *r.device;
    for (std::uint32_t i = 0; i < r.count; ++i) {
        if (r.bitRead || d.kind == Kind::Word) {
            values.push_back(memory.get(r.cpu, d, r.point + i));
        } else {
            // A word of a bit device: 16 consecutive points, the first one in bit 0.
            std::uint16_t w = 0;
            for (std::uint32_t k = 0; k < 16; ++k)
                if (memory.get(r.cpu, d, r.point + i * 16 + k))
                    w = static_cast<std::uint16_t>(w | (1u << k));
            values.push_back(w);
        }
    }
    return values;
}

}  // namespace

const char* formName(Form form)
{
    return form == Form::Ascii ? "ascii" : "binary";
}

std::uint32_t ReadCommand::points() const
{
    return (!bitRead && device && device->kind == Kind::Bit) ? count * 16 : count;
}

Command parseCommand(Form form, const std::uint8_t* data, std::size_t size)
{
    return form == Form::Ascii ? parseAscii(data, size) : parseBinary(data, size);
}

Bytes readAnswer(Form form, const ReadCommand& read, const Memory& memory)
{
    const std::vector<std::uint16_t> values = readValues(read, memory);
    Bytes out;
    if (form == Form::Ascii) {
        out = {'1', static_cast<std::uint8_t>('0' + read.cpu), 'O', 'K'};
        static const char Hex[] = "0123456789ABCDEF";
        for (std::uint16_t v : values) {
            if (read.bitRead) {
                out.push_back(v ? '1' : '0');
            } else {
                for (int shift = 12; shift >= 0; shift -= 4)
                    out.push_back(Hex[(v >> shift) & 0xF]);
            }
        }
        out.push_back('\r');
        out.push_back('\n');
    } else {
        const std::size_t length = read.bitRead ? values.size() : values.size() * 2;
        out = {static_cast<std::uint8_t>(read.bitRead ? 0x81 : 0x91), 0x00,
               static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length & 0xFF)};
        for (std::uint16_t v : values) {
            if (read.bitRead) {
                out.push_back(v ? 1 : 0);
            } else {
                out.push_back(static_cast<std::uint8_t>(v >> 8));
                out.push_back(static_cast<std::uint8_t>(v & 0xFF));
            }
        }
    }
    return out;
}

Bytes errorAnswer(const Command& command, std::uint8_t code, std::uint32_t detail)
{
    if (command.form == Form::Binary)
        return {command.answerCode, code, 0x00, 0x01, static_cast<std::uint8_t>(detail & 0xFF)};
    char text[32];
    std::snprintf(text, sizeof text, "1%cER%02X%.3s%04u\r\n", command.cpuDigit, code,
                  command.mnemonic.c_str(), static_cast<unsigned>(detail % 10000));
    return Bytes(text, text + 15);
}

Bytes answer(const Command& command, const Memory& memory)
{
    if (command.read)
        return readAnswer(command.form, *command.read, memory);
    return errorAnswer(command, command.error, command.detail);
}

}  // namespace plcsim
