// Item names: splitting, the device table, address rules, type lookup, refusals and keys.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "item/item_name.h"
#include "item/type_table.h"

using namespace fam3;

namespace {

// Runs the conversion and returns the refusal id, 0 when the name is accepted.
int refusalOf(const std::string& name)
{
    try {
        convertItemName(name.c_str());
    } catch (const DdeItemException& e) {
        return e.id;
    }
    return 0;
}

// The offset of an address, or -1 when the rule refuses it.
std::int64_t offsetOf(std::uint32_t code, std::uint32_t address)
{
    try {
        return deviceOffset(code, address);
    } catch (const AddrConvException&) {
        return -1;
    }
}

// "" when the conversion names no table row (a string type).
std::string typeName(const ConvertedName& converted) { return converted.type != nullptr ? converted.type->name : ""; }

struct Accepted {
    const char* name;
    std::uint32_t cpu;
    std::uint32_t device;
    int kind;
    std::uint32_t address;
    std::uint32_t offset;
    std::uint32_t span;
    const char* type; // "" for a string
};

const Accepted acceptedNames[] = {
    {"D100,W", 1, 4, WordKind, 100, 198, 2, "W"},
    {"d100,w", 1, 4, WordKind, 100, 198, 2, "W"},
    {"0D100,W", 1, 4, WordKind, 100, 198, 2, "W"},
    {"4D1,W", 4, 4, WordKind, 1, 0, 2, "W"},
    {"D262144,W", 1, 4, WordKind, 262144, 524286, 2, "W"},
    {"X00201,B", 1, 24, BitKind, 201, 64, 1, "B"},
    {"X71664,W", 1, 24, BitKind, 71664, 8191, 16, "W"},
    {"L10001,L", 1, 12, BitKind, 10001, 2048, 32, "L"},
    {"W02048,INT", 1, 23, WordKind, 2048, 4094, 2, "INT"},
    {"C5,W", 1, 3, BitKind, 5, 4, 16, "W"},
    {"CU5,W", 1, 3, BitKind, 5, 4, 16, "W"},
    {"D100.W", 1, 4, WordKind, 100, 198, 2, "W"},
    {"D100;W", 1, 4, WordKind, 100, 198, 2, "W"},
    {"D100,C128", 1, 4, WordKind, 100, 198, 128, ""},
    {"M1,C16", 1, 13, BitKind, 1, 0, 256, ""},
    {"d1,c5", 1, 4, WordKind, 1, 0, 5, ""},
    {"D0100,W", 1, 4, WordKind, 100, 198, 2, "W"},
    // Beyond the edge-case list.
    {"2D100,DOUBLE", 2, 4, WordKind, 100, 198, 8, "DOUBLE"},
    {"M1,C1", 1, 13, BitKind, 1, 0, 16, ""},
    {"D1,C1", 1, 4, WordKind, 1, 0, 1, ""},
    {"D1,C000005", 1, 4, WordKind, 1, 0, 5, ""},  // a 7-character type text is still read
    {"00004W71234,DOUBLE", 4, 23, WordKind, 71234, 32766 - 2 * (2048 - 1234), 8, "DOUBLE"},
    {"0000000000000000001D1,W", 1, 4, WordKind, 1, 0, 2, "W"},  // leading zeros never overflow
    {"t1,b", 1, 20, BitKind, 1, 0, 1, "B"},
    {"Tu1,b", 1, 20, BitKind, 1, 0, 1, "B"},
    {"tS1,Float", 1, 32, WordKind, 1, 0, 4, "FLOAT"},
    {"Y10101,LONG", 1, 25, BitKind, 10101, 1024, 32, "LONG"},
};

struct Refused {
    const char* name;
    int id;
};

const Refused refusedNames[] = {
    {"5D1,W", 215},
    {"5Q1,W", 215},  // the CPU is tested before the device
    {"Q1,W", 217},
    {"100,W", 215},  // the leading digits are the CPU number
    {"2,W", 217},    // device name ",W"
    {"D0,W", 217},
    {"D262145,W", 217},
    {"D,W", 217},
    {"/T1,B", 217},
    {"X00001,W", 217},
    {"L80001,W", 217},
    {"D100W", 218},
    {"D100", 218},
    {"D100 ,W", 218},
    {"D100,W ", 220},
    {"D100,", 220},
    {"D100,B", 220},
    {"D100,CHAR", 219},
    {"D100,C", 219},
    {"D100,C0", 219},
    {"D100,C129", 219},
    {"M1,C17", 219},
    {"D1,DOUBLEXY", 220},
    {"D1,C1234567", 219},
    // Beyond the edge-case list: check order and string lengths.
    {"", 217},
    {"5", 215},
    {"D0W", 217},            // the address is tested before the separator
    {"5D0W", 215},
    {"D0,ABCDEFGHIJ", 217},  // the address is tested before the type
    {"D100,ABCDEFGHIJ", 220},
    {"D100,CHARACTER", 219},
    {"D1,DOUBLEX", 220},     // 7 characters: looked up, not in the table
    {"D1,C123456", 219},     // 7 characters: length out of range
    {"D1,C0000005", 219},    // 8 characters
    {"D100,C5X", 219},
    {"D100,C-1", 219},
    {"D100,C+5", 219},
    {"D100,C 5", 219},
    {"D100,,W", 220},
    {"D100,W,", 220},
    {"M1,C0", 219},
    {"CU0,W", 217},
    {"TU262145,B", 217},
    {"/C1,B", 217},
    {"/B1,W", 217},
    {"/D1,W", 217},
    {"/I1,B", 217},
    {"DD1,W", 217},          // names are whole words
    {"CUX1,W", 217},
    {"D 100,W", 217},        // the space belongs to the device name
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJ1,W", 217}, // device name longer than its buffer
};

} // namespace

TEST(ItemNameConversion, AcceptsTheNamesOfTheTable)
{
    for (const Accepted& a : acceptedNames) {
        SCOPED_TRACE(a.name);
        ConvertedName converted;
        ASSERT_NO_THROW(converted = convertItemName(a.name));
        EXPECT_EQ(converted.cpu, a.cpu);
        EXPECT_EQ(converted.device, a.device);
        EXPECT_EQ(converted.kind, a.kind);
        EXPECT_EQ(converted.address, a.address);
        EXPECT_EQ(converted.startOffset, a.offset);
        EXPECT_EQ(converted.span, a.span);
        EXPECT_EQ(typeName(converted), a.type);
        EXPECT_EQ(converted.key, itemKey(a.cpu, a.device, a.address, a.span));
    }
}

TEST(ItemNameConversion, RefusesWithTheIdOfTheFirstFailingCheck)
{
    for (const Refused& r : refusedNames) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(refusalOf(r.name), r.id);
    }
}

TEST(ItemNameConversion, TreatsANullNameAsEmpty)
{
    EXPECT_EQ(refusalOf(""), 217);
    try {
        convertItemName(nullptr);
        FAIL() << "accepted";
    } catch (const DdeItemException& e) {
        EXPECT_EQ(e.id, 217);
    }
}

TEST(ItemNameConversion, NamesWithTheSameAddressShareTheKey)
{
    const ConvertedName a = convertItemName("D100,W");
    const ConvertedName b = convertItemName("D0100,W");
    EXPECT_EQ(a.startOffset, b.startOffset);
    EXPECT_EQ(a.span, b.span);
    EXPECT_EQ(a.key, b.key);
    // Same width, another type: the same key, another row.
    const ConvertedName c = convertItemName("D100,INT");
    EXPECT_EQ(a.key, c.key);
    EXPECT_NE(a.type, c.type);
}

TEST(ItemNameConversion, TakesAnEighteenCharacterName)
{
    const std::string name = "00004W71234,DOUBLE";
    ASSERT_EQ(name.size(), 18u);
    EXPECT_EQ(refusalOf(name), 0);
    EXPECT_EQ(refusalOf("00004W71234,DOUBLX"), 220);
    EXPECT_EQ(refusalOf("00004W81234,DOUBLE"), 217);
}

TEST(ItemNameSeparator, AcceptsExactlyTheAsciiPunctuation)
{
    const std::string punctuation = "!\"#$%&'()*+,-./:;<=>?@[\\]^_`{|}~";
    ASSERT_EQ(punctuation.size(), 32u);
    for (int c = 1; c < 256; ++c) {
        if (c >= '0' && c <= '9')
            continue; // a digit is still part of the address
        const std::string name = std::string("D100") + static_cast<char>(c) + "W";
        SCOPED_TRACE(c);
        const bool punct = punctuation.find(static_cast<char>(c)) != std::string::npos;
        EXPECT_EQ(refusalOf(name), punct ? 0 : 218);
    }
}

TEST(ItemNameNumbers, CpuDigitsBeyond32BitsAreRefused)
{
    EXPECT_EQ(refusalOf("99999999999D1,W"), 215);
    EXPECT_EQ(refusalOf("4294967297D1,W"), 215); // 2^32 + 1 must not wrap to CPU 1
    EXPECT_EQ(refusalOf("4294967296D1,W"), 215); // 2^32 must not wrap to CPU 0 (= 1)
    EXPECT_EQ(refusalOf("4294967295D1,W"), 215);
    EXPECT_EQ(refusalOf("4294967300D1,W"), 215); // 2^32 + 4 must not wrap to CPU 4
}

TEST(ItemNameNumbers, AddressDigitsBeyond32BitsAreRefused)
{
    EXPECT_EQ(refusalOf("D99999999999,W"), 217);
    EXPECT_EQ(refusalOf("D4294967297,W"), 217);  // must not wrap to D1
    EXPECT_EQ(refusalOf("D4294967396,W"), 217);  // must not wrap to D100
    EXPECT_EQ(refusalOf("X4294977497,B"), 217);  // must not wrap to X10201
    EXPECT_EQ(refusalOf("D00000000000000100,W"), 0);
}

TEST(ItemNameNumbers, LongStringLengthsAreRefused)
{
    EXPECT_EQ(refusalOf("D100,C99999999999"), 219);
    EXPECT_EQ(refusalOf("M1,C268435457"), 219); // 16 x n would wrap to 16
    EXPECT_EQ(refusalOf("D100,C9999999"), 219);
}

TEST(ItemNameNumbers, ParsingSaturatesAtNumberOverflow)
{
    DeviceAddress out;
    parseDeviceAddress("99999999999D99999999999,W", out);
    EXPECT_EQ(out.cpu, NumberOverflow);
    EXPECT_EQ(out.address, NumberOverflow);
    parseDeviceAddress("4294967295D4294967294", out);
    EXPECT_EQ(out.cpu, 4294967295u);
    EXPECT_EQ(out.address, 4294967294u);
}

TEST(ItemNameBytes, HighBytesAreNeitherLettersNorPunctuation)
{
    // Latin-1 lower-case letters must not be upper-cased into anything of the table, and a
    // high byte must never count as a digit, a letter or punctuation.
    EXPECT_EQ(refusalOf("\xE4" "100,W"), 217);
    EXPECT_EQ(refusalOf("D\xFF" "100,W"), 217);
    EXPECT_EQ(refusalOf("\xFF\xFE\xFD"), 217);
    EXPECT_EQ(refusalOf("D100\xA1W"), 218);   // half-width ideographic full stop in CP932
    EXPECT_EQ(refusalOf("D100\x81\x41W"), 218); // CP932 lead byte of an ideographic comma
    EXPECT_EQ(refusalOf("D100,\xFF"), 220);
    EXPECT_EQ(refusalOf("D100,W\xE9"), 220);
    EXPECT_EQ(refusalOf("D100,\xC3" "5"), 220);   // 0xC3 is not "C"
    EXPECT_EQ(refusalOf("D100,\xE3" "1"), 220);   // 0xE3 is no lower-case "c"
    EXPECT_EQ(refusalOf("D100,C5\x80"), 219);
    EXPECT_EQ(refusalOf("D100,\x80\x81\x82\x83\x84\x85\x86\x87"), 220);
    EXPECT_EQ(refusalOf("D100,C\x80\x81\x82\x83\x84\x85\x86"), 219);
    EXPECT_EQ(refusalOf("\xB5" "5D1,W"), 217); // the CPU digits end at the high byte
}

TEST(ItemNameBytes, HighBytesInTheDeviceNameLeaveTheNumbersAlone)
{
    DeviceAddress out;
    EXPECT_EQ(parseDeviceAddress("3\xE4\xF6\xFC" "77,W", out), 6u);
    EXPECT_EQ(out.cpu, 3u);
    EXPECT_EQ(out.device, 0u);
    EXPECT_EQ(out.address, 77u);
}

TEST(ItemNameSplitting, ReturnsThePositionAfterTheAddressDigits)
{
    struct Case {
        const char* name;
        std::uint32_t cpu, device, address;
        std::size_t position;
    };
    const Case cases[] = {
        {"D100,W", 0, 4, 100, 4},
        {"2D100,W", 2, 4, 100, 5},
        {"d100", 0, 4, 100, 4},
        {"D", 0, 4, 0, 1},
        {"", 0, 0, 0, 0},
        {"100,W", 100, 0, 0, 5}, // the device name ",W" runs to the end
        {"2,W", 2, 0, 0, 3},
        {"cu5,w", 0, 3, 5, 3},
        {"/t1,B", 0, 113, 1, 3},
        {"ts12TS", 0, 32, 12, 4},
        {"1/D2", 1, 124, 2, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DeviceAddress out;
        out.cpu = out.device = out.address = 77;
        EXPECT_EQ(parseDeviceAddress(c.name, out), c.position);
        EXPECT_EQ(out.cpu, c.cpu);
        EXPECT_EQ(out.device, c.device);
        EXPECT_EQ(out.address, c.address);
    }
}

TEST(ItemNameSplitting, SkipsDeviceNameCharactersBeyondTheBuffer)
{
    // 40 letters, then the address: the position still lands after the digits.
    const std::string name = std::string(40, 'D') + "123,W";
    DeviceAddress out;
    EXPECT_EQ(parseDeviceAddress(name.c_str(), out), 43u);
    EXPECT_EQ(out.device, 0u);
    EXPECT_EQ(out.address, 123u);
    // 31 and 32 letters: neither is a table name, and the 32nd is dropped, never written.
    EXPECT_EQ(parseDeviceAddress((std::string(31, 'X') + "1").c_str(), out), 32u);
    EXPECT_EQ(out.device, 0u);
    EXPECT_EQ(parseDeviceAddress((std::string(32, 'X') + "1").c_str(), out), 33u);
    EXPECT_EQ(out.device, 0u);
}

TEST(ItemNameSplitting, StopsAtTheTerminatingNul)
{
    // The bytes after the NUL would make a valid item; they must never be looked at.
    const char text[] = "D\0" "100,W";
    DeviceAddress out;
    EXPECT_EQ(parseDeviceAddress(text, out), 1u);
    EXPECT_EQ(out.address, 0u);
    EXPECT_EQ(refusalOf(std::string("D100,W\0X", 8)), 0);
    const char typeCut[] = "D1,C\0" "5";
    try {
        convertItemName(typeCut);
        FAIL() << "accepted";
    } catch (const DdeItemException& e) {
        EXPECT_EQ(e.id, 219);
    }
}

// Every device name as an item uses it: the device it reads, its kind seen in the offset of
// address 5 (bit 4 of a bit device, byte 8 of a word device; L and W unit 1 point 1, X and Y
// unit 0 slot 2 terminal 1), and the name that the module's ASCII commands give the device. The
// slash names have no address rule: their items are refused, their devices still have a code and
// a kind.
TEST(DeviceTable, EveryDeviceNameReadsItsDevice)
{
    struct Example {
        const char* item;
        std::uint32_t code;
        int kind;
        std::uint32_t startOffset;
        const char* ascii;
    };
    const Example examples[] = {
        {"A5,W", 1, WordKind, 8, "A"},         {"B5,W", 2, WordKind, 8, "B"},
        {"C5,W", 3, BitKind, 4, "CU"},         {"CU5,W", 3, BitKind, 4, "CU"},
        {"D5,W", 4, WordKind, 8, "D"},         {"E5,W", 5, BitKind, 4, "E"},
        {"H5,W", 8, BitKind, 4, "H"},          {"I5,W", 9, BitKind, 4, "I"},
        {"L10001,W", 12, BitKind, 2048, "L"},  {"M5,W", 13, BitKind, 4, "M"},
        {"P5,W", 16, WordKind, 8, "P"},        {"R5,W", 18, WordKind, 8, "R"},
        {"T5,W", 20, BitKind, 4, "TU"},        {"TU5,W", 20, BitKind, 4, "TU"},
        {"U5,W", 21, BitKind, 4, "U"},         {"V5,W", 22, WordKind, 8, "V"},
        {"W10001,W", 23, WordKind, 4096, "W"}, {"X00201,W", 24, BitKind, 64, "X"},
        {"Y00201,W", 25, BitKind, 64, "Y"},    {"Z5,W", 26, WordKind, 8, "Z"},
        {"TS5,W", 32, WordKind, 8, "TS"},      {"TP5,W", 33, WordKind, 8, "TP"},
        {"TI5,W", 37, WordKind, 8, "TI"},      {"CS5,W", 48, WordKind, 8, "CS"},
        {"CP5,W", 49, WordKind, 8, "CP"},      {"CI5,W", 53, WordKind, 8, "CI"},
    };
    for (const Example& e : examples) {
        SCOPED_TRACE(e.item);
        const ConvertedName converted = convertItemName(e.item);
        EXPECT_EQ(converted.device, e.code);
        EXPECT_EQ(converted.kind, e.kind);
        EXPECT_EQ(converted.startOffset, e.startOffset);
        EXPECT_STREQ(asciiDeviceName(converted.device), e.ascii);
    }

    const Example slashes[] = {
        {"/T5,W", 113, BitKind, 0, ""},  {"/C5,W", 114, BitKind, 0, ""},
        {"/B5,W", 123, WordKind, 0, ""}, {"/D5,W", 124, WordKind, 0, ""},
        {"/I5,W", 125, BitKind, 0, ""},
    };
    for (const Example& e : slashes) {
        SCOPED_TRACE(e.item);
        EXPECT_EQ(refusalOf(e.item), 217);
        EXPECT_EQ(deviceCode(std::string(e.item, 2).c_str()), e.code);
        EXPECT_EQ(deviceKind(e.code), e.kind);
        EXPECT_STREQ(asciiDeviceName(e.code), e.ascii);
    }
}

TEST(DeviceTable, KnowsNoOtherNameOrCode)
{
    for (const char* name : {"", "d", "cu", "F", "G", "J", "K", "N", "O", "Q", "S", "DD", "CUX",
                             "TSX", "/", "/X", "T/", " D", "D ", ",W", "\xC4"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(deviceCode(name), 0u);
    }
    EXPECT_EQ(deviceCode(nullptr), 0u);
    for (std::uint32_t code : {0u, 6u, 7u, 10u, 11u, 19u, 27u, 64u, 112u, 126u, 0xFFFFFFFFu,
                               4u + 0x40u}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(deviceKind(code), 0);
        EXPECT_STREQ(asciiDeviceName(code), "");
        EXPECT_EQ(offsetOf(code, 1), -1);
    }
}

// One read command covers at most 256 points of a bit device or 128 bytes (64 words) of a word
// device; a code without a device has no limit to offer.
TEST(ReadDataMaxCount, BitDevices256PointsWordDevices128Bytes)
{
    const std::set<std::uint32_t> bitDevices = {3, 5, 8, 9, 12, 13, 20, 21, 24, 25, 113, 114, 125};
    const std::set<std::uint32_t> wordDevices = {1,  2,  4,  16, 18, 22, 23,  26,
                                                 32, 33, 37, 48, 49, 53, 123, 124};
    const LE01ReadDataMaxCount limits;
    const CommReadDataMaxCount& base = limits;
    for (std::uint32_t code = 0; code < 256; ++code) {
        SCOPED_TRACE(code);
        const std::uint32_t expected = bitDevices.count(code) != 0    ? 256u
                                       : wordDevices.count(code) != 0 ? 128u
                                                                      : 0u;
        EXPECT_EQ(base.maxCount(code), expected);
    }
    EXPECT_EQ(limits.maxCount(0xFFFFFFFFu), 0u);
}

TEST(AddressRule, PlainCoversOneTo262144)
{
    // D word device, M bit device, and one more of each kind.
    for (std::uint32_t code : {4u, 1u, 53u}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(offsetOf(code, 0), -1);
        EXPECT_EQ(offsetOf(code, 1), 0);
        EXPECT_EQ(offsetOf(code, 2), 2);
        EXPECT_EQ(offsetOf(code, 262144), 524286);
        EXPECT_EQ(offsetOf(code, 262145), -1);
        EXPECT_EQ(offsetOf(code, 0xFFFFFFFFu), -1);
    }
    for (std::uint32_t code : {13u, 3u, 20u}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(offsetOf(code, 0), -1);
        EXPECT_EQ(offsetOf(code, 1), 0);
        EXPECT_EQ(offsetOf(code, 2), 1);
        EXPECT_EQ(offsetOf(code, 262144), 262143);
        EXPECT_EQ(offsetOf(code, 262145), -1);
        EXPECT_EQ(offsetOf(code, 0xFFFFFFFFu), -1);
    }
}

TEST(AddressRule, UnitAndPointOfLAndW)
{
    struct Case {
        std::uint32_t address;
        std::int64_t bits; // offset in L, -1 refused
    };
    const Case cases[] = {
        {0, -1},         {1, 0},         {2048, 2047},   {2049, -1},     {9999, -1},
        {10000, -1},     {10001, 2048},  {12048, 4095},  {12049, -1},    {70001, 7 * 2048},
        {72048, 16383},  {72049, -1},    {80000, -1},    {80001, -1},    {82048, -1},
        {0xFFFFFFFFu, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(offsetOf(12, c.address), c.bits);
        EXPECT_EQ(offsetOf(23, c.address), c.bits < 0 ? -1 : 2 * c.bits);
    }
}

TEST(AddressRule, UnitSlotAndTerminalOfXAndY)
{
    struct Case {
        std::uint32_t address;
        std::int64_t bits;
    };
    const Case cases[] = {
        {0, -1},          {1, -1},       {100, -1},      // slot 0
        {101, 0},         {164, 63},     {165, -1},      {100, -1}, // terminal 1, 64, 65, 0
        {201, 64},        {1601, 960},   {1664, 1023},   {1701, -1}, // slot 16, 17
        {9901, -1},       {10101, 1024}, {71664, 8191},  {80101, -1}, // unit 1, 7, 8
        {71665, -1},      {70100, -1},   {0xFFFFFFFFu, -1},
    };
    for (std::uint32_t code : {24u, 25u}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << code << ":" << c.address);
            EXPECT_EQ(offsetOf(code, c.address), c.bits);
        }
    }
}

TEST(AddressRule, SlashDevicesHaveNone)
{
    for (std::uint32_t code : {113u, 114u, 123u, 124u, 125u}) {
        for (std::uint32_t address : {0u, 1u, 100u, 10101u, 262144u}) {
            SCOPED_TRACE(testing::Message() << code << ":" << address);
            EXPECT_EQ(offsetOf(code, address), -1);
        }
    }
}

TEST(ItemKey, MatchesTheKnownKeys)
{
    EXPECT_EQ(convertItemName("D100,W").key, 0x100063FDll);
    EXPECT_EQ(convertItemName("X00201,B").key, 0x6000C8FEll);
    EXPECT_EQ(convertItemName("2D100,DOUBLE").key, 0x1100063F7ll);
    EXPECT_EQ(itemKey(1, 4, 100, 2), 0x100063FDll);
    // A 256-bit string wraps the span part to 255.
    EXPECT_EQ(convertItemName("M1,C16").key & 0xFF, 0xFF);
}

TEST(ItemKey, IsNeverNegative)
{
    EXPECT_GE(itemKey(4, 0xFFFFFFFFu, 0xFFFFFFFFu, 0), 0);
    EXPECT_GE(itemKey(0, 4, 1, 2), 0); // CPU 0 reaches no item, but still no sign bit
    EXPECT_GE(itemKey(0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0xFFFFFFFFu), 0);
    EXPECT_EQ(itemKey(4, 0xFFFFFFFFu, 0, 0) >> 32, 3);
}

TEST(ItemKey, SortsByCpuThenDeviceThenPositionThenLongerFirst)
{
    // Each name sorts strictly before the next.
    const char* ordered[] = {
        "A262144,W",  // CPU 1, lowest device code, highest address
        "D1,DOUBLE",  "D1,L",     "D1,W",   "D2,C128", "D262144,W",
        "M1,C2",      "M1,W",     "M1,B",
        "M1,C16",     // its span part wraps to 255: after every shorter item at M1
        "M2,B",
        "X00101,B",   "X71664,B", "CI1,W",
        "2A1,W",      "3A1,W",    "4A1,C1",
    };
    for (std::size_t i = 0; i + 1 < sizeof ordered / sizeof ordered[0]; ++i) {
        SCOPED_TRACE(testing::Message() << ordered[i] << " < " << ordered[i + 1]);
        EXPECT_LT(convertItemName(ordered[i]).key, convertItemName(ordered[i + 1]).key);
    }
}

// Ascending address numbers of a rule and its neighbours: every unit 0 to 8 with every point
// 0 to 2049 (L, W), or with every slot 0 to 17 and terminal 0 to 65 (X, Y).
std::vector<std::uint32_t> unitPointAddresses()
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t unit = 0; unit <= 8; ++unit)
        for (std::uint32_t point = 0; point <= 2049; ++point)
            out.push_back(unit * 10000 + point);
    return out;
}

std::vector<std::uint32_t> unitSlotTerminalAddresses()
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t unit = 0; unit <= 8; ++unit)
        for (std::uint32_t slot = 0; slot <= 17; ++slot)
            for (std::uint32_t terminal = 0; terminal <= 65; ++terminal)
                out.push_back(unit * 10000 + slot * 100 + terminal);
    return out;
}

std::vector<std::uint32_t> plainAddresses()
{
    std::vector<std::uint32_t> out;
    for (std::uint32_t n = 0; n <= 262145; n += n < 300 || n > 261800 ? 1 : 97)
        out.push_back(n);
    return out;
}

TEST(ItemKey, FollowsTheOffsetOrderInsideEveryDevice)
{
    struct Device {
        std::uint32_t code;
        std::vector<std::uint32_t> addresses; // ascending
        std::size_t valid;                    // how many of them the rule accepts, 0: sample
    };
    const Device devices[] = {
        {12, unitPointAddresses(), 8 * 2048},       {23, unitPointAddresses(), 8 * 2048},
        {24, unitSlotTerminalAddresses(), 8192},    {25, unitSlotTerminalAddresses(), 8192},
    };
    std::vector<Device> all(std::begin(devices), std::end(devices));
    all.push_back({4, plainAddresses(), 0});
    all.push_back({13, plainAddresses(), 0});
    for (const Device& d : all) {
        SCOPED_TRACE(d.code);
        std::int64_t lastKey = -1;
        std::int64_t lastOffset = -1;
        std::size_t valid = 0;
        for (std::uint32_t address : d.addresses) {
            const std::int64_t offset = offsetOf(d.code, address);
            if (offset < 0)
                continue;
            const std::int64_t key = itemKey(1, d.code, address, 1);
            ASSERT_GT(key, lastKey) << address;
            ASSERT_GT(offset, lastOffset) << address;
            lastKey = key;
            lastOffset = offset;
            ++valid;
        }
        if (d.valid != 0) {
            EXPECT_EQ(valid, d.valid); // every point of the device, each once
        } else {
            EXPECT_GT(valid, 600u); // every number near both ends and some between
        }
    }
}

TEST(TypeRows, ConvertItemNameFindsEveryRowOfItsKind)
{
    for (const TypeEntry& row : bitTypeTable) {
        SCOPED_TRACE(row.name);
        const ConvertedName converted = convertItemName((std::string("M1,") + row.name).c_str());
        EXPECT_EQ(converted.type, &row);
        EXPECT_EQ(converted.span, row.count);
        EXPECT_EQ(converted.kind, BitKind);
    }
    for (const TypeEntry& row : wordTypeTable) {
        SCOPED_TRACE(row.name);
        const ConvertedName converted = convertItemName((std::string("D1,") + row.name).c_str());
        EXPECT_EQ(converted.type, &row);
        EXPECT_EQ(converted.span, row.count);
        EXPECT_EQ(converted.kind, WordKind);
    }
    // "B" and "W" of bit devices make the same holder; only the span differs.
    EXPECT_EQ(convertItemName("M1,B").type->factory, convertItemName("M1,W").type->factory);
    EXPECT_EQ(convertItemName("M1,F").span, 32u);
    EXPECT_EQ(convertItemName("D1,F").span, 4u);
}

TEST(TypeRows, StringsHaveNoRowAndScaleWithTheKind)
{
    for (std::uint32_t n : {1u, 2u, 15u, 16u}) {
        const ConvertedName converted = convertItemName(("X00101,C" + std::to_string(n)).c_str());
        EXPECT_EQ(converted.type, nullptr);
        EXPECT_EQ(converted.span, 16 * n);
    }
    for (std::uint32_t n : {1u, 2u, 127u, 128u}) {
        const ConvertedName converted = convertItemName(("W1,C" + std::to_string(n)).c_str());
        EXPECT_EQ(converted.type, nullptr);
        EXPECT_EQ(converted.span, n);
    }
}
