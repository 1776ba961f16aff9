#pragma once
// What the configuration step makes of the texts and numbers of KOMVAS.ini: the keys of a PLC's
// section with their defaults, and the interpretation of the values that the profile functions
// return. Pure logic, no Windows API: the profile calls themselves stay in shell/config.cpp.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace config {

// The DDE service that the server registers and its clients connect to.
constexpr const char* ServiceName = "KOMVAS";

// The name of the system topic; a section of that name therefore cannot name a PLC.
constexpr const char* SystemTopicName = "SYSTEM";

// Keys of a PLC's section and their defaults.
constexpr const char* IpKey = "IP";
constexpr const char* DefaultIp = "127.0.0.1";
constexpr const char* PortKey = "PORT";
constexpr int DefaultPort = 12289;
constexpr const char* ModeKey = "MODE";
constexpr const char* DefaultMode = "AUTO";

// The "IP" and "MODE" texts are read into buffers of this size: 31 characters and the NUL.
constexpr std::size_t TextBufferSize = 32;

// True for the section name "SYSTEM", compared byte for byte: System or system may name a PLC.
bool IsSystemSectionName(const char* name);

// The text that a profile read left in `buffer` of `size` bytes: its bytes up to the first NUL,
// and never more than size - 1 of them, so that a longer value is cut (31 characters for the
// buffers of TextBufferSize) and a buffer without a NUL is never read beyond its end.
std::string ValueText(const char* buffer, std::size_t size);

// The mode number (link/link_mode.h) of a "MODE" text, whose ASCII letters may be in either case
// ("binary", "Ascii"); every other byte must match exactly. Nothing for any other text ("BIN",
// "AUTO "), which is a configuration error.
std::optional<int> ModeNumber(const std::string& text);

// The port of a "PORT" number: its low 16 bits (70000 gives 4464).
std::uint16_t PortNumber(unsigned value);

} // namespace config
