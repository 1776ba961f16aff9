#include "tools/plcsim/devices.h"

#include <cctype>
#include <string>

namespace plcsim {
namespace {

constexpr Device Devices[] = {
    {"A", 1, Kind::Word, Rule::Plain},
    {"B", 2, Kind::Word, Rule::Plain},
    {"CU", 3, Kind::Bit, Rule::Plain},
    {"D", 4, Kind::Word, Rule::Plain},
    {"E", 5, Kind::Bit, Rule::Plain},
    {"H", 8, Kind::Bit, Rule::Plain},
    {"I", 9, Kind::Bit, Rule::Plain},
    {"L", 12, Kind::Bit, Rule::UnitPoint},
    {"M", 13, Kind::Bit, Rule::Plain},
    {"P", 16, Kind::Word, Rule::Plain},
    {"R", 18, Kind::Word, Rule::Plain},
    {"TU", 20, Kind::Bit, Rule::Plain},
    {"U", 21, Kind::Bit, Rule::Plain},
    {"V", 22, Kind::Word, Rule::Plain},
    {"W", 23, Kind::Word, Rule::UnitPoint},
    {"X", 24, Kind::Bit, Rule::UnitSlotTerminal},
    {"Y", 25, Kind::Bit, Rule::UnitSlotTerminal},
    {"Z", 26, Kind::Word, Rule::Plain},
    {"TS", 32, Kind::Word, Rule::Plain},
    {"TP", 33, Kind::Word, Rule::Plain},
    {"TI", 37, Kind::Word, Rule::Plain},
    {"CS", 48, Kind::Word, Rule::Plain},
    {"CP", 49, Kind::Word, Rule::Plain},
    {"CI", 53, Kind::Word, Rule::Plain},
};

constexpr std::uint32_t PlainPoints = 262144;
constexpr std::uint32_t Units = 8;
constexpr std::uint32_t UnitPoints = 2048;  // L and W
constexpr std::uint32_t Slots = 16;
constexpr std::uint32_t SlotTerminals = 64;  // X and Y: 16 slots of 64 terminals per unit

}  // namespace

const Device* deviceByAsciiName(std::string_view name)
{
    for (const Device& d : Devices)
        if (name == d.name)
            return &d;
    return nullptr;
}

const Device* deviceByCode(std::uint32_t code)
{
    for (const Device& d : Devices)
        if (code == d.code)
            return &d;
    return nullptr;
}

const Device* deviceByUserName(std::string_view name)
{
    std::string upper;
    for (char c : name)
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper == "C")
        upper = "CU";
    if (upper == "T")
        upper = "TU";
    return deviceByAsciiName(upper);
}

std::uint32_t deviceSize(const Device& device)
{
    switch (device.rule) {
    case Rule::Plain:
        return PlainPoints;
    case Rule::UnitPoint:
        return Units * UnitPoints;
    case Rule::UnitSlotTerminal:
        return Units * Slots * SlotTerminals;
    }
    return 0;
}

std::optional<std::uint32_t> pointOf(const Device& device, std::uint32_t number)
{
    const std::uint32_t unit = number / 10000;
    switch (device.rule) {
    case Rule::Plain:
        if (number < 1 || number > PlainPoints)
            return std::nullopt;
        return number - 1;
    case Rule::UnitPoint: {
        const std::uint32_t point = number % 10000;
        if (unit >= Units || point < 1 || point > UnitPoints)
            return std::nullopt;
        return unit * UnitPoints + point - 1;
    }
    case Rule::UnitSlotTerminal: {
        const std::uint32_t slot = (number % 10000) / 100;
        const std::uint32_t terminal = number % 100;
        if (unit >= Units || slot < 1 || slot > Slots || terminal < 1 || terminal > SlotTerminals)
            return std::nullopt;
        return unit * Slots * SlotTerminals + (slot - 1) * SlotTerminals + terminal - 1;
    }
    }
    return std::nullopt;
}

}  // namespace plcsim
