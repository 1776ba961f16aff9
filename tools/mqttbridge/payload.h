#pragma once
// What the bridge publishes for a DDE text: the quality and value of a reading, and its payload,
// a JSON object {"value":..., "quality":..., "time":...}. Pure logic, no Windows API.
#include <cstdint>
#include <string>

#include "shell/local_time.h"

namespace mqttbridge {

// How an item's value is shown: a JSON number for the numeric types, a string for text items.
enum class ValueKind { Number, Text };

// The kind of an item of a PLC topic, from its type as KOMVAS reads the name (its first 18
// characters): Text for the string types, Number for every other name, including names that
// KOMVAS refuses and that therefore never get a value.
ValueKind KindOfItem(const std::string& item);

// The qualities of a payload. Every value but a good one is null, except that a stale payload
// keeps the last value received.
namespace quality {
constexpr const char* Good = "good";        // the value as KOMVAS shows it
constexpr const char* Empty = "empty";      // no value read yet ("#EMPTY")
constexpr const char* Timeout = "timeout";  // the PLC stopped answering ("#TMOUT")
constexpr const char* Error = "error";      // the PLC refused the read ("#ERR "), code in "error"
constexpr const char* NaN = "nan";          // a float that is not a number ("#NaN")
constexpr const char* Infinite = "inf";     // a float of positive infinity ("inf")
constexpr const char* NegativeInfinite = "-inf";  // a float of negative infinity ("-inf")
constexpr const char* Stale = "stale";  // KOMVAS is not reachable: the last value received
}  // namespace quality

// A DDE text as the bridge understands it.
struct Reading {
    const char* quality = quality::Empty;
    // The value as JSON text ("1234", "1.5", "\"LINE1\""), "null" when there is none.
    std::string value = "null";
    std::int32_t error = 0;  // the code of an Error reading
};

// The reading of a DDE text received for an item of `kind`.
Reading Interpret(const std::string& text, ValueKind kind);

// The payload of `reading`, received at `time` (IsoTime). A stale payload keeps the reading's
// value and time and says "stale".
std::string Payload(const Reading& reading, const std::string& time, bool stale = false);

// ISO 8601 local time with milliseconds and the offset from UTC:
// "2026-12-10T08:15:02.125+09:00".
std::string IsoTime(const local_time::LocalTime& t, int utcOffsetMinutes);

}  // namespace mqttbridge
