#include "shell/local_time.h"

#include <cstdio>

namespace local_time {

namespace {

std::size_t Format(const char* format, const LocalTime& t, char* out, std::size_t size)
{
    const int length = std::snprintf(out, size, format, t.year, t.month, t.day, t.hour, t.minute,
                                     t.second, t.millisecond);
    return length > 0 ? static_cast<std::size_t>(length) : 0;
}

bool LeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

}  // namespace

std::string DateTimeText(const LocalTime& t)
{
    char text[40];
    Format("%04d-%02d-%02d %02d:%02d:%02d", t, text, sizeof text);
    return text;
}

std::size_t TimestampText(const LocalTime& t, char* out, std::size_t size)
{
    return Format("%04d-%02d-%02d %02d:%02d:%02d.%03d", t, out, size);
}

// Counts in eras of 400 years (146,097 days), each starting on 1 March, so that the leap day
// falls at the end of a year.
std::int64_t DayNumber(int year, int month, int day)
{
    const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yearOfEra = y - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

bool ValidDate(int year, int month, int day)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1)
        return false;
    return day <= days[month - 1] + (month == 2 && LeapYear(year) ? 1 : 0);
}

}  // namespace local_time
