// The module's side of the FA-M3 Ethernet interface read commands, in ASCII and binary form:
// parsing a command datagram and building its answer. No sockets here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/plcsim/devices.h"
#include "tools/plcsim/memory.h"

namespace plcsim {

enum class Form { Ascii, Binary };

const char* formName(Form form);  // "ascii" or "binary"

using Bytes = std::vector<std::uint8_t>;

// Error codes of the simulated module, sent in error answers (two hex digits in ASCII form,
// the end code in binary form).
namespace errc {
constexpr std::uint8_t Cpu = 0x01;      // CPU number not 1 to 4
constexpr std::uint8_t Command = 0x02;  // unknown command (the probe gets this one)
constexpr std::uint8_t Frame = 0x03;    // malformed frame: syntax, length, missing CR LF
constexpr std::uint8_t Device = 0x04;   // unknown device name or code
constexpr std::uint8_t Address = 0x05;  // address number breaks the device's rule, or the read runs
                                   // past the end of the device
constexpr std::uint8_t Count = 0x06;    // count 0, above 256 bits or above 64 words
constexpr std::uint8_t Kind = 0x07;     // bit read of a word device
}  // namespace errc

constexpr std::uint32_t MaxBits = 256;  // largest count of one bit read
constexpr std::uint32_t MaxWords = 64;  // largest count of one word read

// A read command that passed every check.
struct ReadCommand {
    bool bitRead = false;  // BRD / 0x01, else WRD / 0x11
    int cpu = 1;
    const Device* device = nullptr;
    std::uint32_t number = 0;  // address number as written
    std::uint32_t point = 0;   // first point read
    std::uint32_t count = 0;   // bits of a bit read, words of a word read
    // Points of the device the command covers (a word read of a bit device covers 16 per word).
    std::uint32_t points() const;
};

// What the module made of one datagram.
struct Command {
    Form form = Form::Ascii;
    std::optional<ReadCommand> read;  // set when the command is a valid read
    std::uint8_t error = 0;                // error code when it is not
    std::uint32_t detail = 0;              // position (byte index) of the offending field
    // Echoed in answers: ASCII CPU digit ('0' when unreadable) and command mnemonic ("???"),
    // binary answer code (command byte with bit 7 set).
    char cpuDigit = '0';
    std::string mnemonic = "???";
    std::uint8_t answerCode = 0x80;
};

Command parseCommand(Form form, const std::uint8_t* data, std::size_t size);

// Answer to a valid read, with the data from memory.
Bytes readAnswer(Form form, const ReadCommand& read, const Memory& memory);

// Error answer to a command. ASCII form: 15 bytes, "1" cpu "ER", code as 2 hex digits, the
// command mnemonic (3 characters), the detail as 4 decimal digits, CR LF. Binary form: answer
// code, code, data length 00 01, the detail as one byte.
Bytes errorAnswer(const Command& command, std::uint8_t code, std::uint32_t detail);

// The module's answer to a datagram: readAnswer or errorAnswer.
Bytes answer(const Command& command, const Memory& memory);

}  // namespace plcsim
