#include "shell/config_values.h"

#include <cstring>

#include "item/item_name.h"
#include "link/link_mode.h"

namespace config {

bool IsSystemSectionName(const char* name)
{
    return std::strcmp(name, SystemTopicName) == 0;
}

std::string ValueText(const char* buffer, std::size_t size)
{
    if (buffer == nullptr || size == 0)
        return std::string();
    const void* nul = std::memchr(buffer, '\0', size - 1);
    const std::size_t length =
        nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer)
                       : size - 1;
    return std::string(buffer, length);
}

std::optional<int> ModeNumber(const std::string& text)
{
    // Only the ASCII letters change: the text may hold any byte, and a byte of 128 or above
    // is no letter of the mode names in any code page.
    std::string mode = text;
    for (char& c : mode)
        c = fam3::upperAscii(c);
    if (mode == "BINARY")
        return fam3::ModeBinary;
    if (mode == "ASCII")
        return fam3::ModeAscii;
    if (mode == "AUTO")
        return fam3::ModeAuto;
    return std::nullopt;
}

std::uint16_t PortNumber(unsigned value)
{
    return static_cast<std::uint16_t>(value & 0xFFFFu);
}

} // namespace config
