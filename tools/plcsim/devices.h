// The module's view of the FA-M3 devices: names, device codes, kinds, address rules and sizes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace plcsim {

constexpr int CpuCount = 4;  // CPUs 1 to 4

enum class Kind { Bit, Word };

// How an address number as written maps onto a point of the device.
enum class Rule {
    Plain,             // point number, 1 to 262144
    UnitPoint,         // unit * 10000 + point; unit 0..7, point 1..2048
    UnitSlotTerminal,  // unit * 10000 + slot * 100 + terminal; unit 0..7, slot 1..16,
                       // terminal 1..64
};

struct Device {
    const char* name;  // the name used in ASCII commands
    std::uint16_t code;     // the code used in binary commands
    Kind kind;
    Rule rule;
};

// Device by its ASCII command name (exact, upper case: "CU", not "C").
const Device* deviceByAsciiName(std::string_view name);
// Device by its binary device code.
const Device* deviceByCode(std::uint32_t code);
// Device by a name as a user writes it: any letter case, "C" for "CU" and "T" for "TU".
const Device* deviceByUserName(std::string_view name);

// Number of points of the device on one CPU: bits for bit devices, registers for word devices.
std::uint32_t deviceSize(const Device& device);

// Point (counted from 0) of an address number as written, or nothing when the number breaks
// the device's rule.
std::optional<std::uint32_t> pointOf(const Device& device, std::uint32_t number);

}  // namespace plcsim
