#include "item/item_name.h"

#include <cstring>

#include "item/type_table.h"
#include "resources/message_ids.h"

namespace fam3 {

namespace {

// How an address number turns into an offset inside its device.
enum class AddressRule {
    None,             // no number is accepted
    Plain,            // point number 1 to 262144
    UnitPoint,        // unit x 10000 + point, unit 0 to 7, point 1 to 2048
    UnitSlotTerminal, // unit x 10000 + slot x 100 + terminal, unit 0 to 7, slot 1 to 16,
                      // terminal 1 to 64
};

struct DeviceEntry {
    const char* name;
    std::uint32_t code;
    int kind;
    AddressRule rule;
    const char* asciiName;
};

// Every device the item names know. "C"/"CU" and "T"/"TU" are two names of one device; the
// first row of a code gives its ASCII name. The slash names have a kind but no address rule.
constexpr DeviceEntry deviceTable[] = {
    {"A", 1, WordKind, AddressRule::Plain, "A"},
    {"B", 2, WordKind, AddressRule::Plain, "B"},
    {"C", 3, BitKind, AddressRule::Plain, "CU"},
    {"CU", 3, BitKind, AddressRule::Plain, "CU"},
    {"D", 4, WordKind, AddressRule::Plain, "D"},
    {"E", 5, BitKind, AddressRule::Plain, "E"},
    {"H", 8, BitKind, AddressRule::Plain, "H"},
    {"I", 9, BitKind, AddressRule::Plain, "I"},
    {"L", 12, BitKind, AddressRule::UnitPoint, "L"},
    {"M", 13, BitKind, AddressRule::Plain, "M"},
    {"P", 16, WordKind, AddressRule::Plain, "P"},
    {"R", 18, WordKind, AddressRule::Plain, "R"},
    {"T", 20, BitKind, AddressRule::Plain, "TU"},
    {"TU", 20, BitKind, AddressRule::Plain, "TU"},
    {"U", 21, BitKind, AddressRule::Plain, "U"},
    {"V", 22, WordKind, AddressRule::Plain, "V"},
    {"W", 23, WordKind, AddressRule::UnitPoint, "W"},
    {"X", 24, BitKind, AddressRule::UnitSlotTerminal, "X"},
    {"Y", 25, BitKind, AddressRule::UnitSlotTerminal, "Y"},
    {"Z", 26, WordKind, AddressRule::Plain, "Z"},
    {"TS", 32, WordKind, AddressRule::Plain, "TS"},
    {"TP", 33, WordKind, AddressRule::Plain, "TP"},
    {"TI", 37, WordKind, AddressRule::Plain, "TI"},
    {"CS", 48, WordKind, AddressRule::Plain, "CS"},
    {"CP", 49, WordKind, AddressRule::Plain, "CP"},
    {"CI", 53, WordKind, AddressRule::Plain, "CI"},
    {"/T", 113, BitKind, AddressRule::None, ""},
    {"/C", 114, BitKind, AddressRule::None, ""},
    {"/B", 123, WordKind, AddressRule::None, ""},
    {"/D", 124, WordKind, AddressRule::None, ""},
    {"/I", 125, BitKind, AddressRule::None, ""},
};

// The first row of a code, null for codes not in the table (0 among them).
const DeviceEntry* findCode(std::uint32_t code)
{
    if (code == 0)
        return nullptr;
    for (const DeviceEntry& entry : deviceTable) {
        if (entry.code == code)
            return &entry;
    }
    return nullptr;
}

// Character tests on raw bytes: a name may hold any byte, and bytes of 128 and above arrive
// as negative chars, which the <cctype> functions must never see.
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The 32 ASCII punctuation characters !"#$%&'()*+,-./:;<=>?@[\]^_`{|}~.
bool isAsciiPunct(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return (u >= 0x21 && u <= 0x2F) || (u >= 0x3A && u <= 0x40) || (u >= 0x5B && u <= 0x60) ||
           (u >= 0x7B && u <= 0x7E);
}

// Reads the decimal digits at `text[pos]` into `value` (value x 10 + digit, starting from 0)
// and returns the position after them. A number too large for 32 bits stays at NumberOverflow.
std::size_t readNumber(const char* text, std::size_t pos, std::uint32_t& value)
{
    value = 0;
    for (; isDigit(text[pos]); ++pos) {
        const std::uint32_t digit = static_cast<std::uint32_t>(text[pos] - '0');
        if (value > (NumberOverflow - digit) / 10)
            value = NumberOverflow;
        else
            value = value * 10 + digit;
    }
    return pos;
}

// Largest string length: 16 groups of 16 bits on a bit device, 128 bytes on a word device.
constexpr std::uint32_t MaxBitStringSpan = 256;
constexpr std::uint32_t MaxWordStringSpan = 128;

// Type texts are compared within their first 8 characters; one of 8 or more is refused.
constexpr std::size_t TypeTextLimit = 8;

} // namespace

std::size_t parseDeviceAddress(const char* name, DeviceAddress& out)
{
    out = DeviceAddress();
    if (name == nullptr)
        return 0;

    std::size_t pos = readNumber(name, 0, out.cpu);

    // The device name is every non-digit up to the address digits; the buffer keeps 31
    // characters and skips the rest.
    char device[32];
    std::size_t length = 0;
    for (; name[pos] != '\0' && !isDigit(name[pos]); ++pos) {
        if (length < sizeof device - 1)
            device[length++] = upperAscii(name[pos]);
    }
    device[length] = '\0';
    out.device = deviceCode(device);

    return readNumber(name, pos, out.address);
}

std::uint32_t deviceCode(const char* name)
{
    if (name == nullptr)
        return 0;
    for (const DeviceEntry& entry : deviceTable) {
        if (std::strcmp(entry.name, name) == 0)
            return entry.code;
    }
    return 0;
}

std::vector<const char*> deviceNames()
{
    std::vector<const char*> names;
    for (const DeviceEntry& entry : deviceTable)
        names.push_back(entry.name);
    return names;
}

int deviceKind(std::uint32_t code)
{
    const DeviceEntry* entry = findCode(code);
    return entry != nullptr ? entry->kind : 0;
}

const char* asciiDeviceName(std::uint32_t code)
{
    const DeviceEntry* entry = findCode(code);
    return entry != nullptr ? entry->asciiName : "";
}

std::uint32_t deviceOffset(std::uint32_t code, std::uint32_t address)
{
    const DeviceEntry* entry = findCode(code);
    if (entry == nullptr)
        throw AddrConvException();
    // Word devices count two bytes per point, bit devices one bit.
    const std::uint32_t unitsPerPoint = entry->kind == WordKind ? 2 : 1;

    switch (entry->rule) {
    case AddressRule::Plain:
        if (address < 1 || address > 262144)
            throw AddrConvException();
        return (address - 1) * unitsPerPoint;

    case AddressRule::UnitPoint: {
        const std::uint32_t unit = address / 10000;
        const std::uint32_t point = address % 10000;
        if (unit > 7 || point < 1 || point > 2048)
            throw AddrConvException();
        return (unit * 2048 + point - 1) * unitsPerPoint;
    }

    case AddressRule::UnitSlotTerminal: {
        const std::uint32_t unit = address / 10000;
        const std::uint32_t slot = (address % 10000) / 100;
        const std::uint32_t terminal = address % 100;
        if (unit > 7 || slot < 1 || slot > 16 || terminal < 1 || terminal > 64)
            throw AddrConvException();
        return (unit * 1024 + (slot - 1) * 64 + terminal - 1) * unitsPerPoint;
    }

    case AddressRule::None:
        break;
    }
    throw AddrConvException();
}

std::int64_t itemKey(std::uint32_t cpu, std::uint32_t code, std::uint32_t address,
                     std::uint32_t span)
{
    // Bit 63 stays clear even for a CPU number of 0, which no item has, so a key is never
    // negative.
    const std::uint64_t cpuPart = static_cast<std::uint64_t>((cpu - 1) & 0x7FFFFFFFu) << 32;
    const std::uint64_t devicePart = static_cast<std::uint64_t>(code & 0x3Fu) << 26;
    const std::uint64_t addressPart = static_cast<std::uint64_t>((address - 1) & 0x3FFFFu) << 8;
    const std::uint64_t spanPart = (255u - span) & 0xFFu;
    return static_cast<std::int64_t>(cpuPart | devicePart | addressPart | spanPart);
}

std::uint32_t LE01ReadDataMaxCount::maxCount(std::uint32_t code) const
{
    switch (deviceKind(code)) {
    case BitKind:
        return 256;
    case WordKind:
        return 128;
    default:
        return 0;
    }
}

ConvertedName convertItemName(const char* name)
{
    if (name == nullptr)
        name = "";
    ConvertedName converted;

    // 1. CPU number, device and address number.
    DeviceAddress split;
    const std::size_t separator = parseDeviceAddress(name, split);
    converted.device = split.device;
    converted.address = split.address;

    // 2. CPU 1 to 4; no digits mean CPU 1.
    converted.cpu = split.cpu == 0 ? 1 : split.cpu;
    if (converted.cpu > 4)
        throw DdeItemException(msgid::BadCpu);

    // 3. The device's address rule; unknown and slash names have none.
    try {
        converted.startOffset = deviceOffset(converted.device, converted.address);
    } catch (const AddrConvException&) {
        throw DdeItemException(msgid::BadAddress);
    }

    // 4. One punctuation character between address and type; the end of the name is none.
    if (!isAsciiPunct(name[separator]))
        throw DdeItemException(msgid::NoSeparator);

    // 5. The type text, upper-cased, read no further than its 8th character.
    char type[TypeTextLimit + 1];
    std::size_t length = 0;
    for (const char* p = name + separator + 1; length < TypeTextLimit && *p != '\0'; ++p)
        type[length++] = upperAscii(*p);
    type[length] = '\0';
    if (length >= TypeTextLimit)
        throw DdeItemException(type[0] == 'C' ? msgid::BadStringLength : msgid::BadType);

    // 6. Bit or word device; every device with an address rule has a kind.
    converted.kind = deviceKind(converted.device);

    if (type[0] == 'C') {
        // 7. String: "C" and a length that ends the type text.
        std::uint32_t n = 0;
        const std::size_t end = readNumber(type, 1, n);
        if (end == 1 || type[end] != '\0')
            throw DdeItemException(msgid::BadStringLength);
        if (converted.kind == BitKind) {
            if (n < 1 || n > MaxBitStringSpan / 16)
                throw DdeItemException(msgid::BadStringLength);
            converted.span = 16 * n;
        } else {
            if (n < 1 || n > MaxWordStringSpan)
                throw DdeItemException(msgid::BadStringLength);
            converted.span = n;
        }
        converted.type = nullptr;
    } else {
        // 8. A row of the kind's type table.
        const TypeEntry* table = converted.kind == BitKind ? bitTypeTable : wordTypeTable;
        const std::size_t rows = converted.kind == BitKind ? BitTypeCount : WordTypeCount;
        for (std::size_t i = 0; i < rows && converted.type == nullptr; ++i) {
            if (std::strcmp(table[i].name, type) == 0)
                converted.type = &table[i];
        }
        if (converted.type == nullptr)
            throw DdeItemException(msgid::BadType);
        converted.span = converted.type->count;
    }

    // 9. Key of the item.
    converted.key = itemKey(converted.cpu, converted.device, converted.address, converted.span);
    return converted;
}

} // namespace fam3
