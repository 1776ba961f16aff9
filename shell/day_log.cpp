#include "shell/day_log.h"

#include <cstdio>

namespace day_log {

namespace {

const char Prefix[] = "KOMVAS-";
const char Suffix[] = ".log";
constexpr std::size_t PrefixLength = sizeof Prefix - 1;
constexpr std::size_t DateLength = 8;
constexpr std::size_t SuffixLength = sizeof Suffix - 1;

}  // namespace

std::string FileName(const local_time::LocalTime& t)
{
    char name[40];
    std::snprintf(name, sizeof name, "%s%04d%02d%02d%s", Prefix, t.year, t.month, t.day, Suffix);
    return name;
}

bool DayChanged(const local_time::LocalTime& opened, const local_time::LocalTime& now)
{
    return opened.year != now.year || opened.month != now.month || opened.day != now.day;
}

bool Expired(const std::string& name, const local_time::LocalTime& today)
{
    if (name.size() != PrefixLength + DateLength + SuffixLength ||
        name.compare(0, PrefixLength, Prefix) != 0 ||
        name.compare(PrefixLength + DateLength, SuffixLength, Suffix) != 0)
        return false;
    int date = 0;
    for (std::size_t i = PrefixLength; i < PrefixLength + DateLength; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return false;
        date = date * 10 + (name[i] - '0');
    }
    const int year = date / 10000, month = date / 100 % 100, day = date % 100;
    if (!local_time::ValidDate(year, month, day))
        return false;
    return local_time::DayNumber(today.year, today.month, today.day) -
               local_time::DayNumber(year, month, day) >
           KeptDays;
}

std::string FileLine(const local_time::LocalTime& now, const std::string& consoleLine)
{
    std::string line = local_time::TimestampText(now) + "\t";
    line.reserve(line.size() + consoleLine.size() + 2);
    for (const char c : consoleLine) {
        if (c == '\n')
            line += '\r';
        line += c;
    }
    return line;
}

}  // namespace day_log
