#pragma once
// The local date and time as the dated log and the SYSTEM topic's statistics show them. Pure:
// the clock itself is read by the Windows build (Now, in shell/log_file.cpp).
#include <cstddef>
#include <cstdint>
#include <string>

namespace local_time {

// A moment of the local clock, as the system gives it (year 1601 to 30827, month 1 to 12).
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// "YYYY-MM-DD HH:MM:SS".
std::string DateTimeText(const LocalTime& t);
// "YYYY-MM-DD HH:MM:SS.mmm" into `out` with a NUL behind, without allocating; returns its
// length, which is `size` or more when it was cut.
std::size_t TimestampText(const LocalTime& t, char* out, std::size_t size);

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, negative before it.
std::int64_t DayNumber(int year, int month, int day);
// Whether the date exists (month 1 to 12, day within its month, leap years counted).
bool ValidDate(int year, int month, int day);

// The local clock now. Windows build only.
LocalTime Now();

}  // namespace local_time
