#include "tools/plcsim/values.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace plcsim {
namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}
bool isLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string quoted(std::string_view text)
{
    return "'" + std::string(text) + "'";
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

std::string upper(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return out;
}

// Decimal digits from pos, capped so that overlong numbers stay out of every range.
std::uint64_t readDigits(std::string_view s, std::size_t& pos)
{
    std::uint64_t v = 0;
    while (pos < s.size() && isDigit(s[pos])) {
        v = v * 10 + static_cast<std::uint64_t>(s[pos] - '0');
        if (v > 0xFFFFFFFFFull)
            v = 0xFFFFFFFFFull;
        ++pos;
    }
    return v;
}

// A whole integer, decimal or 0x hex, optionally negative.
bool parseInteger(std::string_view s, std::int64_t& value)
{
    bool negative = false;
    if (!s.empty() && s[0] == '-') {
        negative = true;
        s.remove_prefix(1);
    }
    if (s.empty())
        return false;
    std::uint64_t v = 0;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        for (char c : s.substr(2)) {
            int digit;
            if (isDigit(c))
                digit = c - '0';
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else
                return false;
            v = v * 16 + static_cast<std::uint64_t>(digit);
            if (v > 0xFFFFFFFFFull)
                v = 0xFFFFFFFFFull;
        }
    } else {
        std::size_t pos = 0;
        v = readDigits(s, pos);
        if (pos != s.size())
            return false;
    }
    value = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
    return true;
}

bool parseReal(std::string_view s, double& value)
{
    if (s.empty() || s[0] == ' ' || s[0] == '\t')
        return false;
    const std::string text(s);
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

int wordsOf(ValueType type)
{
    switch (type) {
    case ValueType::Word:
    case ValueType::Int:
        return 1;
    case ValueType::L:
    case ValueType::F:
    case ValueType::Long:
    case ValueType::Float:
        return 2;
    case ValueType::Double:
        return 4;
    case ValueType::Bit:
    case ValueType::Text:
        return 0;
    }
    return 0;
}

bool isReal(ValueType type)
{
    return type == ValueType::F || type == ValueType::Float || type == ValueType::Double;
}

std::uint32_t toRaw(double value)
{
    if (!std::isfinite(value))
        return 0;
    value = std::round(value);
    if (value > 1e12)
        value = 1e12;
    if (value < -1e12)
        value = -1e12;
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(static_cast<std::int64_t>(value)));
}

// Splits "LOCATION[:TYPE]"; the type defaults to B on bit devices and W on word devices.
void parseTarget(std::string_view text, Location& at, ValueType& type, bool& typed)
{
    text = trim(text);
    const std::size_t colon = text.find(':');
    at = parseLocation(trim(text.substr(0, colon)));
    typed = colon != std::string_view::npos;
    if (typed) {
        type = parseValueType(trim(text.substr(colon + 1)));
    } else {
        type = at.device->kind == Kind::Bit ? ValueType::Bit : ValueType::Word;
    }
    if (type == ValueType::Bit && at.device->kind == Kind::Word)
        throw ParseError("type B needs a bit device, " + std::string(at.device->name) +
                         " is a word device");
}

void checkFits(const Location& at, std::uint64_t points)
{
    if (at.point + points > deviceSize(*at.device))
        throw ParseError("the value runs past the end of device " + std::string(at.device->name));
}

std::vector<std::uint16_t> encodeText(Kind kind, std::string_view text)
{
    std::vector<std::uint16_t> cells;
    if (kind == Kind::Word) {
        for (std::size_t i = 0; i < text.size(); i += 2) {
            const std::uint16_t high = static_cast<std::uint8_t>(text[i]);
            const std::uint16_t low = i + 1 < text.size() ? static_cast<std::uint8_t>(text[i + 1]) : 0;
            cells.push_back(static_cast<std::uint16_t>((high << 8) | low));
        }
    } else {
        for (char c : text)
            for (int k = 0; k < 8; ++k)
                cells.push_back((static_cast<std::uint8_t>(c) >> k) & 1);
    }
    return cells;
}

}  // namespace

Location parseLocation(std::string_view text)
{
    Location at;
    std::size_t pos = 0;
    const std::uint64_t cpu = readDigits(text, pos);
    if (cpu > static_cast<std::uint64_t>(CpuCount))
        throw ParseError("CPU number in " + quoted(text) + " is outside 1 to 4");
    at.cpu = cpu == 0 ? 1 : static_cast<int>(cpu);
    const std::size_t nameBegin = pos;
    while (pos < text.size() && isLetter(text[pos]))
        ++pos;
    const std::string_view name = text.substr(nameBegin, pos - nameBegin);
    if (name.empty())
        throw ParseError("missing device name in " + quoted(text));
    at.device = deviceByUserName(name);
    if (!at.device)
        throw ParseError("unknown device " + quoted(name) + " in " + quoted(text));
    const std::size_t numberBegin = pos;
    const std::uint64_t number = readDigits(text, pos);
    if (pos == numberBegin)
        throw ParseError("missing address number in " + quoted(text));
    if (pos != text.size())
        throw ParseError("unexpected " + quoted(text.substr(pos)) + " after the address in " +
                         quoted(text));
    const std::optional<std::uint32_t> point =
        number > 0xFFFFFFFFull ? std::nullopt : pointOf(*at.device, static_cast<std::uint32_t>(number));
    if (!point) {
        const char* rule = at.device->rule == Rule::Plain ? "1 to 262144"
                           : at.device->rule == Rule::UnitPoint
                               ? "unit*10000+point, unit 0-7, point 1-2048"
                               : "unit*10000+slot*100+terminal, unit 0-7, slot 1-16, terminal 1-64";
        throw ParseError("address number in " + quoted(text) + " is not valid for device " +
                         at.device->name + " (" + rule + ")");
    }
    at.number = static_cast<std::uint32_t>(number);
    at.point = *point;
    return at;
}

ValueType parseValueType(std::string_view text)
{
    const std::string t = upper(text);
    if (t == "B" || t == "BIT")
        return ValueType::Bit;
    if (t == "W" || t == "WORD")
        return ValueType::Word;
    if (t == "INT")
        return ValueType::Int;
    if (t == "L" || t == "DWORD")
        return ValueType::L;
    if (t == "F")
        return ValueType::F;
    if (t == "LONG")
        return ValueType::Long;
    if (t == "FLOAT")
        return ValueType::Float;
    if (t == "DOUBLE")
        return ValueType::Double;
    if (t == "TEXT" || t == "C" || t == "STRING")
        return ValueType::Text;
    throw ParseError("unknown value type " + quoted(text) +
                     " (B, W, INT, L, F, LONG, FLOAT, DOUBLE or TEXT)");
}

const char* valueTypeName(ValueType type)
{
    switch (type) {
    case ValueType::Bit:
        return "B";
    case ValueType::Word:
        return "W";
    case ValueType::Int:
        return "INT";
    case ValueType::L:
        return "L";
    case ValueType::F:
        return "F";
    case ValueType::Long:
        return "LONG";
    case ValueType::Float:
        return "FLOAT";
    case ValueType::Double:
        return "DOUBLE";
    case ValueType::Text:
        return "TEXT";
    }
    return "?";
}

std::uint32_t pointsOf(ValueType type, Kind kind)
{
    if (type == ValueType::Bit)
        return kind == Kind::Bit ? 1 : 0;
    const std::uint32_t words = static_cast<std::uint32_t>(wordsOf(type));
    return kind == Kind::Bit ? words * 16 : words;
}

std::vector<std::uint16_t> encodeNumber(ValueType type, double value)
{
    if (type == ValueType::Bit)
        return {static_cast<std::uint16_t>(toRaw(value) & 1)};
    if (type == ValueType::F || type == ValueType::Float) {
        const float f = static_cast<float>(value);
        std::uint32_t bits;
        std::memcpy(&bits, &f, sizeof bits);
        const std::uint16_t high = static_cast<std::uint16_t>(bits >> 16), low = static_cast<std::uint16_t>(bits);
        return type == ValueType::F ? std::vector<std::uint16_t>{low, high}
                                    : std::vector<std::uint16_t>{high, low};
    }
    if (type == ValueType::Double) {
        std::uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        return {static_cast<std::uint16_t>(bits >> 48), static_cast<std::uint16_t>(bits >> 32),
                static_cast<std::uint16_t>(bits >> 16), static_cast<std::uint16_t>(bits)};
    }
    const std::uint32_t raw = toRaw(value);
    const std::uint16_t high = static_cast<std::uint16_t>(raw >> 16), low = static_cast<std::uint16_t>(raw);
    switch (type) {
    case ValueType::L:
        return {low, high};
    case ValueType::Long:
        return {high, low};
    default:
        return {low};
    }
}

double decodeNumber(ValueType type, const std::vector<std::uint16_t>& words)
{
    auto w = [&](std::size_t i) -> std::uint32_t { return i < words.size() ? words[i] : 0; };
    switch (type) {
    case ValueType::Bit:
        return w(0) ? 1 : 0;
    case ValueType::Word:
        return w(0);
    case ValueType::Int:
        return static_cast<std::int16_t>(w(0));
    case ValueType::L:
        return (w(1) << 16) | w(0);
    case ValueType::Long:
        return static_cast<std::int32_t>((w(0) << 16) | w(1));
    case ValueType::F:
    case ValueType::Float: {
        const std::uint32_t bits = type == ValueType::F ? (w(1) << 16) | w(0) : (w(0) << 16) | w(1);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    case ValueType::Double: {
        const std::uint64_t bits =
            (std::uint64_t{w(0)} << 48) | (std::uint64_t{w(1)} << 32) | (std::uint64_t{w(2)} << 16) | w(3);
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    case ValueType::Text:
        return 0;
    }
    return 0;
}

std::vector<std::uint16_t> wordsToCells(Kind kind, const std::vector<std::uint16_t>& words)
{
    if (kind == Kind::Word)
        return words;
    std::vector<std::uint16_t> cells;
    for (std::uint16_t w : words)
        for (int k = 0; k < 16; ++k)
            cells.push_back((w >> k) & 1);
    return cells;
}

std::vector<std::uint16_t> cellsToWords(Kind kind, const std::vector<std::uint16_t>& cells)
{
    if (kind == Kind::Word)
        return cells;
    std::vector<std::uint16_t> words((cells.size() + 15) / 16, 0);
    for (std::size_t i = 0; i < cells.size(); ++i)
        if (cells[i])
            words[i / 16] = static_cast<std::uint16_t>(words[i / 16] | (1u << (i % 16)));
    return words;
}

double readNumber(const Memory& memory, const Location& at, ValueType type)
{
    const Kind kind = at.device->kind;
    const std::uint32_t points = type == ValueType::Bit ? 1 : pointsOf(type, kind);
    std::vector<std::uint16_t> cells;
    for (std::uint32_t i = 0; i < points; ++i)
        cells.push_back(memory.get(at.cpu, *at.device, at.point + i));
    if (type == ValueType::Bit)
        return cells[0] ? 1 : 0;
    return decodeNumber(type, cellsToWords(kind, cells));
}

void writeNumber(Memory& memory, const Location& at, ValueType type, double value)
{
    const std::vector<std::uint16_t> words = encodeNumber(type, value);
    const std::vector<std::uint16_t> cells =
        type == ValueType::Bit ? words : wordsToCells(at.device->kind, words);
    for (std::size_t i = 0; i < cells.size(); ++i)
        memory.set(at.cpu, *at.device, at.point + static_cast<std::uint32_t>(i), cells[i]);
}

Assignment parseAssignment(std::string_view text)
{
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos)
        throw ParseError("missing '=' in " + quoted(text) + " (expected LOCATION[:TYPE]=VALUE)");
    Assignment a;
    bool typed = false;
    parseTarget(text.substr(0, equals), a.at, a.type, typed);
    std::string_view value = trim(text.substr(equals + 1));
    const std::string where = " in " + quoted(text);

    if (a.type == ValueType::Text) {
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (value.empty())
            throw ParseError("empty text" + where);
        a.cells = encodeText(a.at.device->kind, value);
    } else if (value.empty()) {
        throw ParseError("missing value" + where);
    } else if (a.type == ValueType::Bit) {
        if (value != "0" && value != "1")
            throw ParseError("a bit takes 0 or 1" + where);
        a.cells = {static_cast<std::uint16_t>(value == "1" ? 1 : 0)};
    } else if (isReal(a.type)) {
        double d = 0;
        if (!parseReal(value, d))
            throw ParseError("not a number: " + quoted(value) + where);
        a.cells = wordsToCells(a.at.device->kind, encodeNumber(a.type, d));
    } else {
        std::int64_t v = 0;
        if (!parseInteger(value, v))
            throw ParseError("not an integer: " + quoted(value) + where);
        const bool wide = a.type == ValueType::L || a.type == ValueType::Long;
        const std::int64_t lowest = wide ? -2147483648LL : -32768;
        const std::int64_t highest = wide ? 4294967295LL : 65535;
        if (v < lowest || v > highest)
            throw ParseError(quoted(value) + " does not fit type " + valueTypeName(a.type) + " (" +
                             std::to_string(lowest) + " to " + std::to_string(highest) + ")" +
                             where);
        a.cells = wordsToCells(a.at.device->kind, encodeNumber(a.type, static_cast<double>(v)));
    }
    checkFits(a.at, a.cells.size());
    return a;
}

void apply(const Assignment& assignment, Memory& memory)
{
    const Location& at = assignment.at;
    for (std::size_t i = 0; i < assignment.cells.size(); ++i)
        memory.set(at.cpu, *at.device, at.point + static_cast<std::uint32_t>(i), assignment.cells[i]);
}

Demo parseDemo(DemoKind kind, std::string_view text)
{
    Demo d;
    d.kind = kind;
    std::vector<std::string_view> parts;
    std::size_t begin = 0;
    while (true) {
        const std::size_t comma = text.find(',', begin);
        parts.push_back(
            trim(text.substr(begin, comma == std::string_view::npos ? comma : comma - begin)));
        if (comma == std::string_view::npos)
            break;
        begin = comma + 1;
    }
    bool typed = false;
    parseTarget(parts[0], d.at, d.type, typed);
    if (!typed && kind != DemoKind::Toggle)
        d.type = ValueType::Word;
    if (d.type == ValueType::Text)
        throw ParseError("a demonstration needs a numeric type, not TEXT");
    if (kind == DemoKind::Ramp && d.type == ValueType::Bit)
        throw ParseError("a ramp needs a type wider than one bit");
    if (kind != DemoKind::Ramp) {
        // Counters take a step and per-read, toggles per-read alone.
        bool stepGiven = false;
        for (std::size_t i = 1; i < parts.size(); ++i) {
            const std::string word = upper(parts[i]);
            double n = 0;
            if (word == "PER-READ" && !d.perRead) {
                d.perRead = true;
            } else if (kind == DemoKind::Counter && !stepGiven && !d.perRead &&
                       parseReal(parts[i], n) && std::isfinite(n)) {
                d.step = n;
                stepGiven = true;
            } else {
                throw ParseError("unexpected " + quoted(parts[i]) + " in " + quoted(text) +
                                 (kind == DemoKind::Counter ? " (expected STEP or per-read)"
                                                            : " (expected per-read)"));
            }
        }
        checkFits(d.at, pointsOf(d.type, d.at.device->kind));
        return d;
    }

    std::vector<double> numbers;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        const std::string word = upper(parts[i]);
        double n = 0;
        if (word == "SINE" || word == "SIN") {
            d.wave = Wave::Sine;
        } else if (word == "SAW" || word == "SAWTOOTH") {
            d.wave = Wave::Sawtooth;
        } else if (parseReal(parts[i], n) && std::isfinite(n)) {
            numbers.push_back(n);
        } else {
            throw ParseError("unexpected " + quoted(parts[i]) + " in " + quoted(text) +
                             " (expected sine, saw or a number)");
        }
    }
    if (numbers.size() == 2 || numbers.size() > 3)
        throw ParseError("a ramp takes PERIOD or PERIOD,LOW,HIGH in " + quoted(text));
    if (!numbers.empty()) {
        d.period = numbers[0];
        if (!(d.period > 0))
            throw ParseError("the period of a ramp must be above 0 in " + quoted(text));
    }
    if (numbers.size() == 3) {
        d.low = numbers[1];
        d.high = numbers[2];
    }
    checkFits(d.at, pointsOf(d.type, d.at.device->kind));
    return d;
}

double rampValue(const Demo& demo, double t)
{
    const double phase = std::fmod(t, demo.period) / demo.period;
    const double share =
        demo.wave == Wave::Sine ? 0.5 + 0.5 * std::sin(2 * 3.14159265358979323846 * phase) : phase;
    return demo.low + (demo.high - demo.low) * share;
}

void stepDemo(const Demo& demo, Memory& memory, double t)
{
    switch (demo.kind) {
    case DemoKind::Counter:
        writeNumber(memory, demo.at, demo.type, readNumber(memory, demo.at, demo.type) + demo.step);
        break;
    case DemoKind::Toggle:
        writeNumber(memory, demo.at, demo.type,
                    readNumber(memory, demo.at, demo.type) == 0 ? 1 : 0);
        break;
    case DemoKind::Ramp:
        writeNumber(memory, demo.at, demo.type, rampValue(demo, t));
        break;
    }
}

ValuesFile parseValuesText(std::string_view text, const std::string& name)
{
    ValuesFile out;
    std::size_t lineNumber = 0;
    std::size_t begin = 0;
    while (begin <= text.size()) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        std::string_view line = text.substr(begin, end - begin);
        begin = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        try {
            // A quoted text value may hold '#'; elsewhere '#' starts a comment.
            const std::size_t quote = line.find('"');
            std::size_t hash = line.find('#');
            if (quote != std::string_view::npos && quote < hash) {
                const std::size_t close = line.find('"', quote + 1);
                if (close == std::string_view::npos)
                    throw ParseError("missing closing '\"'");
                hash = line.find('#', close + 1);
                if (trim(line.substr(close + 1,
                                     hash == std::string_view::npos ? hash : hash - close - 1))
                        .size())
                    throw ParseError("unexpected text after the closing '\"'");
            }
            line = trim(line.substr(0, hash));
            if (line.empty())
                continue;
            const std::size_t space = line.find_first_of(" \t");
            const std::string keyword = upper(line.substr(0, space));
            const std::string_view rest =
                space == std::string_view::npos ? std::string_view() : trim(line.substr(space));
            if (keyword == "COUNTER" || keyword == "RAMP" || keyword == "TOGGLE") {
                if (rest.empty())
                    throw ParseError("missing location after " + quoted(line));
                const DemoKind kind = keyword == "COUNTER" ? DemoKind::Counter
                                      : keyword == "RAMP"  ? DemoKind::Ramp
                                                           : DemoKind::Toggle;
                out.demos.push_back(parseDemo(kind, rest));
            } else {
                out.assignments.push_back(parseAssignment(line));
            }
        } catch (const ParseError& e) {
            throw ParseError(name + ":" + std::to_string(lineNumber) + ": " + e.what());
        }
        if (end == text.size())
            break;
    }
    return out;
}

ValuesFile loadValuesFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw ParseError("cannot read values file " + quoted(path));
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad())
        throw ParseError("cannot read values file " + quoted(path));
    return parseValuesText(content.str(), path);
}

}  // namespace plcsim
