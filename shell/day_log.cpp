#include "shell/day_log.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace day_log {

namespace {

const char Prefix[] = "KOMVAS-";
const char Suffix[] = ".log";
constexpr std::size_t PrefixLength = sizeof Prefix - 1;
constexpr std::size_t DateLength = 8;
constexpr std::size_t SuffixLength = sizeof Suffix - 1;

// The day number of the date in a day's file name; false for any other name.
bool DayOf(const std::string& name, std::int64_t& dayNumber)
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
    dayNumber = local_time::DayNumber(year, month, day);
    return true;
}

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

std::vector<std::string> Expired(const std::vector<std::string>& names,
                                 const local_time::LocalTime& today)
{
    // Newest first. A folder holds each name once, so no two files have one date.
    std::vector<std::pair<std::int64_t, const std::string*>> files;
    for (const std::string& name : names) {
        std::int64_t dayNumber = 0;
        if (DayOf(name, dayNumber))
            files.emplace_back(dayNumber, &name);
    }
    std::sort(files.begin(), files.end(),
              [](const auto& a, const auto& b) { return a.first > b.first; });
    const std::int64_t todayNumber = local_time::DayNumber(today.year, today.month, today.day);
    std::vector<std::string> expired;
    for (std::size_t i = KeptDays; i < files.size(); ++i) {
        if (todayNumber - files[i].first > KeptDays)
            expired.push_back(*files[i].second);
    }
    return expired;
}

std::size_t FileLine(const local_time::LocalTime& now, const char* consoleLine,
                     std::size_t length, char* out, std::size_t size)
{
    std::size_t end = local_time::TimestampText(now, out, size);
    if (end + 1 >= size)
        return 0;
    out[end++] = '\t';
    for (std::size_t i = 0; i < length; ++i) {
        const bool lf = consoleLine[i] == '\n';
        if (end + (lf ? 2 : 1) > size)
            return 0;
        if (lf)
            out[end++] = '\r';
        out[end++] = consoleLine[i];
    }
    return end;
}

}  // namespace day_log
