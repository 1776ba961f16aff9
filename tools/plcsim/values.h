// Text forms of the simulator's settings: device locations, typed value assignments
// ("D200:float=3.14"), demonstration changes ("D2:float,saw,10") and the values file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tools/plcsim/devices.h"
#include "tools/plcsim/memory.h"

namespace plcsim {

// A setting that cannot be understood; the message says what and where.
class ParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One point of one device on one CPU, written like the start of an item name:
// [CPU]DEVICE ADDRESS, for example "D100", "2M5", "X201", "L10001".
struct Location {
    int cpu = 1;
    const Device* device = nullptr;
    std::uint32_t number = 0;  // address number as written
    std::uint32_t point = 0;   // point inside the device
};

// Throws ParseError. A missing CPU number, or 0, means CPU 1.
Location parseLocation(std::string_view text);

// Value types, named as the item types of the server ("B", "W", "INT", "L", "F", "LONG",
// "FLOAT", "DOUBLE") plus "TEXT" (also "C"); long names are accepted too ("bit", "word").
enum class ValueType { Bit, Word, Int, L, F, Long, Float, Double, Text };

ValueType parseValueType(std::string_view text);  // any letter case; throws ParseError
const char* valueTypeName(ValueType type);

// Points a value of the type occupies on a device of the kind (0 for text: its length decides).
std::uint32_t pointsOf(ValueType type, Kind kind);

// A value ready to be written: the point values from the location on.
struct Assignment {
    Location at;
    ValueType type = ValueType::Word;
    std::vector<std::uint16_t> cells;
};

// "LOCATION[:TYPE]=VALUE". The type defaults to B on bit devices and W on word devices.
// Integers are decimal or 0x hex; text is taken as written (double quotes may enclose it).
// Throws ParseError, also when the value does not fit the device from the location on.
Assignment parseAssignment(std::string_view text);

void apply(const Assignment& assignment, Memory& memory);

// Register words of a number of a numeric type, in register order, and back.
std::vector<std::uint16_t> encodeNumber(ValueType type, double value);
double decodeNumber(ValueType type, const std::vector<std::uint16_t>& words);
// Point values of register words on a device of the kind (a bit device takes 16 points per
// word, bit 0 first), and back.
std::vector<std::uint16_t> wordsToCells(Kind kind, const std::vector<std::uint16_t>& words);
std::vector<std::uint16_t> cellsToWords(Kind kind, const std::vector<std::uint16_t>& cells);

// Reads a numeric value from memory, and writes one (integers wrap to the type's width).
double readNumber(const Memory& memory, const Location& at, ValueType type);
void writeNumber(Memory& memory, const Location& at, ValueType type, double value);

// Demonstration changes over time.
enum class DemoKind { Counter, Ramp, Toggle };
enum class Wave { Sine, Sawtooth };

struct Demo {
    DemoKind kind = DemoKind::Counter;
    Location at;
    ValueType type = ValueType::Word;
    Wave wave = Wave::Sine;          // ramp only
    double period = 10.0;            // ramp only, seconds
    double low = 0.0, high = 100.0;  // ramp only: the range swept
    double step = 1.0;               // counter only: added at each step
    bool perRead = false;            // counter and toggle: step after every answered read
                                     // instead of every second
};

// "LOCATION[:TYPE][,STEP][,per-read]" for counters, "LOCATION[:TYPE][,per-read]" for toggles,
// "LOCATION[:TYPE][,sine|saw][,PERIOD[,LOW,HIGH]]" for ramps. Throws ParseError.
Demo parseDemo(DemoKind kind, std::string_view text);

// The value a ramp shows t seconds after the start.
double rampValue(const Demo& demo, double t);

// One step of a counter (add 1) or toggle (0 <-> 1) on memory; a ramp's value at time t.
void stepDemo(const Demo& demo, Memory& memory, double t);

// Contents of a values file: one assignment per line ("D100=1234"), or a demonstration
// ("counter D1", "ramp D2:float,saw", "toggle M1"); '#' starts a comment, blank lines are
// skipped. Errors name the line: "FILE:LINE: ...".
struct ValuesFile {
    std::vector<Assignment> assignments;
    std::vector<Demo> demos;
};
ValuesFile parseValuesText(std::string_view text, const std::string& name);
ValuesFile loadValuesFile(const std::string& path);  // throws ParseError, also when unreadable

}  // namespace plcsim
