// Fuzz target of the item names: any bytes a DDE client may send as an item name go through
// the conversion, which must either accept them with an item that fits its device and the
// read commands, or refuse them with one of the item-name messages. Nothing else may happen.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "item/item_name.h"
#include "item/type_table.h"

#define FUZZ_TARGET "fuzz_item_name"
#include "tests/fuzz/invariant.h"

namespace {

// Size of a device in its kind's unit, from its address rule: plain word devices 262144 words
// (524288 bytes), plain bit devices 262144 bits, L 8 units of 2048 bits, W 8 units of 2048
// words, X and Y 8 units of 16 slots of 64 bits.
std::uint32_t deviceSize(std::uint32_t code)
{
    switch (code) {
    case 12:
        return 16384;
    case 23:
        return 32768;
    case 24:
    case 25:
        return 8192;
    default:
        return fam3::deviceKind(code) == fam3::WordKind ? 524288 : 262144;
    }
}

struct Outcome {
    bool accepted = false;
    int id = 0;
    fam3::ConvertedName converted;
};

// Converts a name held in a heap block that ends right at its NUL, so that reading past the
// NUL is a heap overflow the address sanitizer sees.
Outcome convert(const char* text, std::size_t length)
{
    std::unique_ptr<char[]> name(new char[length + 1]);
    std::copy(text, text + length, name.get());
    name[length] = '\0';
    Outcome out;
    try {
        out.converted = fam3::convertItemName(name.get());
        out.accepted = true;
    } catch (const fam3::DdeItemException& e) {
        out.id = e.id;
    } catch (...) {
        fuzz::fail(FUZZ_TARGET, "an exception other than DdeItemException escaped", __LINE__);
    }
    return out;
}

void checkOutcome(const char* text, std::size_t length, const Outcome& out)
{
    if (!out.accepted) {
        CHECK(out.id == 215 || out.id == 217 || out.id == 218 || out.id == 219 || out.id == 220);
        return;
    }
    const fam3::ConvertedName& s = out.converted;
    CHECK(s.key >= 0);
    CHECK(s.cpu >= 1 && s.cpu <= 4);
    CHECK(s.kind == fam3::BitKind || s.kind == fam3::WordKind);
    CHECK(s.kind == fam3::deviceKind(s.device));
    CHECK(fam3::asciiDeviceName(s.device)[0] != '\0'); // never a slash device
    CHECK(s.span >= 1);
    // One read command can carry every item whole.
    CHECK(s.span <= fam3::LE01ReadDataMaxCount().maxCount(s.device));
    // The first point lies inside the device; a word starts on an even byte.
    CHECK(s.startOffset < deviceSize(s.device));
    CHECK(s.kind == fam3::BitKind || s.startOffset % 2 == 0);
    CHECK(s.startOffset + s.span > s.startOffset);
    CHECK(s.startOffset == fam3::deviceOffset(s.device, s.address));
    CHECK(s.key == fam3::itemKey(s.cpu, s.device, s.address, s.span));
    CHECK((s.key >> 32) == static_cast<std::int64_t>(s.cpu - 1));
    if (s.type != nullptr) {
        const fam3::TypeEntry* table =
            s.kind == fam3::BitKind ? fam3::bitTypeTable : fam3::wordTypeTable;
        const std::size_t rows = s.kind == fam3::BitKind ? fam3::BitTypeCount : fam3::WordTypeCount;
        CHECK(s.type >= table && s.type < table + rows);
        CHECK(s.span == s.type->count);
    } else {
        CHECK(s.kind == fam3::BitKind ? (s.span % 16 == 0 && s.span <= 256) : s.span <= 128);
    }

    // The name's beginning splits into the same CPU, device and address.
    fam3::DeviceAddress split;
    std::unique_ptr<char[]> name(new char[length + 1]);
    std::copy(text, text + length, name.get());
    name[length] = '\0';
    const std::size_t position = fam3::parseDeviceAddress(name.get(), split);
    CHECK(position < length); // a separator follows the address
    CHECK((split.cpu == 0 ? 1u : split.cpu) == s.cpu);
    CHECK(split.device == s.device);
    CHECK(split.address == s.address);
}

bool sameOutcome(const Outcome& a, const Outcome& b)
{
    if (a.accepted != b.accepted)
        return false;
    if (!a.accepted)
        return a.id == b.id;
    return a.converted.cpu == b.converted.cpu && a.converted.device == b.converted.device &&
           a.converted.address == b.converted.address && a.converted.startOffset == b.converted.startOffset &&
           a.converted.span == b.converted.span && a.converted.kind == b.converted.kind &&
           a.converted.type == b.converted.type && a.converted.key == b.converted.key;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::currentData = data;
    fuzz::currentSize = size;
    // A DDE item name ends at its first NUL.
    const char* text = reinterpret_cast<const char*>(data);
    std::size_t length = 0;
    while (length < size && text[length] != '\0')
        ++length;

    const Outcome whole = convert(text, length);
    checkOutcome(text, length, whole);

    // The server hands over at most 18 characters.
    const std::size_t cut = length < 18 ? length : 18;
    checkOutcome(text, cut, convert(text, cut));

    // Names are read without regard to the case of ASCII letters, and only of those.
    std::unique_ptr<char[]> flipped(new char[length + 1]);
    for (std::size_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (c >= 'a' && c <= 'z')
            flipped[i] = static_cast<char>(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            flipped[i] = static_cast<char>(c - 'A' + 'a');
        else
            flipped[i] = c;
    }
    CHECK(sameOutcome(whole, convert(flipped.get(), length)));

    // The device functions take any code and any address number.
    if (size >= 8) {
        std::uint32_t code;
        std::uint32_t address;
        std::memcpy(&code, data, 4);
        std::memcpy(&address, data + 4, 4);
        code %= 130; // mostly codes near the table
        const int kind = fam3::deviceKind(code);
        CHECK(kind == 0 || kind == fam3::BitKind || kind == fam3::WordKind);
        CHECK(fam3::asciiDeviceName(code) != nullptr);
        try {
            const std::uint32_t offset = fam3::deviceOffset(code, address);
            CHECK(kind != 0);
            CHECK(offset < deviceSize(code));
        } catch (const fam3::AddrConvException&) {
        }
        CHECK(fam3::itemKey(address, code, address, code) >= 0);
    }
    return 0;
}
