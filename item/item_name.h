#pragma once
// Item names: "[cpu]device address separator type", for example D100,W or 2X00201,B.
// Splitting a name, the device table, the conversion of an address into an offset inside its
// device, and the 64-bit key that orders items for reading. Pure logic, no Windows API.
#include <cstdint>
#include <cstddef>
#include <vector>

namespace fam3 {

struct TypeEntry;

// Refusal of an item name or holder: the id of the message that tells why.
class DdeItemException {
public:
    explicit DdeItemException(int id) : id(id) {}
    int id;
};

// An address that its device's rule does not accept (or a device without a rule).
class AddrConvException {};

// CPU number, device code and address number at the start of an item name.
struct DeviceAddress {
    std::uint32_t cpu = 0;     // 0 when the name has no CPU digits
    std::uint32_t device = 0;  // 0 when the device name is not in the table
    std::uint32_t address = 0; // 0 when no address digits follow the device name
};

// The upper case of an ASCII letter, any other byte unchanged: names (items, topics, modes) may
// hold any byte, and only the 26 letters change case.
inline char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Numbers too large for 32 bits saturate at this value, which every limit rejects.
constexpr std::uint32_t NumberOverflow = 0xFFFFFFFFu;

// Splits the beginning of `name` into CPU number, device code and address number and returns
// the position of the first character after the address digits. Never fails.
std::size_t parseDeviceAddress(const char* name, DeviceAddress& out);

// The device code of an upper-cased device name, 0 if the name is not in the table.
std::uint32_t deviceCode(const char* name);

// Every device name of the table, in table order: both names of a device that has two, and
// the slash names that no address rule accepts.
std::vector<const char*> deviceNames();

// Device kinds: the bits of one point.
constexpr int BitKind = 1;    // relays and other one-bit points
constexpr int WordKind = 16;  // 16-bit registers

// BitKind for bit devices, WordKind for word devices, 0 for codes without a kind.
int deviceKind(std::uint32_t code);

// The device name that ASCII read commands write for a code, "" for codes without one.
const char* asciiDeviceName(std::uint32_t code);

// Offset of address number `address` inside device `code`: bits for bit devices, bytes for
// word devices. Throws AddrConvException when the code has no address rule or the number is
// outside it.
std::uint32_t deviceOffset(std::uint32_t code, std::uint32_t address);

// Sort key: CPU - 1 in bits 63..32, device code & 0x3F in 31..26, (address - 1) & 0x3FFFF in
// 25..8, (255 - span) mod 256 in 7..0. Never negative.
std::int64_t itemKey(std::uint32_t cpu, std::uint32_t code, std::uint32_t address,
                     std::uint32_t span);

// The largest span, in the kind's unit, that one read command may cover for a device.
class CommReadDataMaxCount {
public:
    virtual ~CommReadDataMaxCount() = default;
    virtual std::uint32_t maxCount(std::uint32_t code) const = 0;
};

// The limits of the FA-M3 Ethernet module: 256 bits for bit devices, 128 bytes (64 words) for
// word devices, 0 for any other code.
class LE01ReadDataMaxCount : public CommReadDataMaxCount {
public:
    std::uint32_t maxCount(std::uint32_t code) const override;
};

// An item name converted into what the item and the read scheduling need.
struct ConvertedName {
    std::uint32_t cpu = 0;
    std::uint32_t device = 0;
    std::uint32_t address = 0;
    std::uint32_t startOffset = 0;
    std::uint32_t span = 0;
    int kind = 0;                     // 1 bit device, 16 word device
    const TypeEntry* type = nullptr;  // the type-table row; null for a string type
    std::int64_t key = 0;
};

// Converts a whole item name (at most the 18 characters the server obtains) or throws
// DdeItemException with 215, 217, 218, 219 or 220. The checks run in a fixed order and the
// first that fails decides the id.
ConvertedName convertItemName(const char* name);

} // namespace fam3
