#include "tools/mqttbridge/payload.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <nlohmann/json.hpp>

#include "item/item_name.h"
#include "value/dde_text.h"

namespace mqttbridge {

namespace {

// KOMVAS obtains at most this many characters of an item name; the rest never reaches its
// conversion.
constexpr std::size_t ObtainedNameLength = 18;

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// A whole signed decimal integer within 32 bits: what KOMVAS shows for an error code.
bool ReadInteger(const std::string& text, std::int32_t& value)
{
    if (text.empty() || text.size() > 11)
        return false;
    char* end = nullptr;
    errno = 0;
    const long long number = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || !(text[0] == '-' || (text[0] >= '0' && text[0] <= '9')) ||
        number < INT32_MIN || number > INT32_MAX)
        return false;
    value = static_cast<std::int32_t>(number);
    return true;
}

// The JSON number of a numeric text as KOMVAS writes it (decimal integers, general notation),
// as JSON text; false for anything else.
bool NumberJson(const std::string& text, std::string& json)
{
    if (text.empty() || text.size() > 64)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.' || c == 'e' || c == 'E'))
            return false;
    }
    char* end = nullptr;
    errno = 0;
    const long long integer = std::strtoll(text.c_str(), &end, 10);
    if (*end == '\0' && errno != ERANGE) {
        json = nlohmann::json(integer).dump();
        return true;
    }
    errno = 0;
    const double number = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(number))
        return false;
    json = nlohmann::json(number).dump();
    return true;
}

}  // namespace

ValueKind KindOfItem(const std::string& item)
{
    try {
        const fam3::ConvertedName name =
            fam3::convertItemName(item.substr(0, ObtainedNameLength).c_str());
        return name.type == nullptr ? ValueKind::Text : ValueKind::Number;
    } catch (const fam3::DdeItemException&) {
        return ValueKind::Number;
    }
}

Reading Interpret(const std::string& text, ValueKind kind)
{
    Reading reading;
    if (text == fam3::EmptyText)
        return reading;
    if (text == fam3::TimeOutText) {
        reading.quality = quality::Timeout;
        return reading;
    }
    if (text == fam3::NaNText) {
        reading.quality = quality::NaN;
        return reading;
    }
    std::int32_t code = 0;
    if (StartsWith(text, fam3::ErrorTextPrefix) &&
        ReadInteger(text.substr(std::strlen(fam3::ErrorTextPrefix)), code)) {
        reading.quality = quality::Error;
        reading.error = code;
        return reading;
    }
    // JSON has no number for an infinite float.
    if (kind == ValueKind::Number && (text == "inf" || text == "-inf")) {
        reading.quality = text[0] == '-' ? quality::NegativeInfinite : quality::Infinite;
        return reading;
    }
    reading.quality = quality::Good;
    if (kind == ValueKind::Number && NumberJson(text, reading.value))
        return reading;
    // A text item, or a number KOMVAS wrote in a form this bridge does not know: the text as it
    // came. KOMVAS shows an empty string as "(null)". Bytes that are not UTF-8 become U+FFFD.
    const std::string shown = kind == ValueKind::Text && text == fam3::NullStringText ? "" : text;
    reading.value =
        nlohmann::json(shown).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    return reading;
}

std::string Payload(const Reading& reading, const std::string& time, bool stale)
{
    // Members in the order a reader expects them: value, quality, the error code, time.
    nlohmann::ordered_json payload;
    payload["value"] = nlohmann::ordered_json::parse(reading.value);
    payload["quality"] = stale ? quality::Stale : reading.quality;
    if (!stale && reading.quality == quality::Error)
        payload["error"] = reading.error;
    payload["time"] = time;
    return payload.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string IsoTime(const local_time::LocalTime& t, int utcOffsetMinutes)
{
    const int offset = utcOffsetMinutes < 0 ? -utcOffsetMinutes : utcOffsetMinutes;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", t.year,
                  t.month, t.day, t.hour, t.minute, t.second, t.millisecond,
                  utcOffsetMinutes < 0 ? '-' : '+', offset / 60, offset % 60);
    return text;
}

}  // namespace mqttbridge
