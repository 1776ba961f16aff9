// The dated log's rules: the file of a day, when a line starts the next day's file, which files
// are old enough to delete, and the bytes a console line becomes in the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/day_log.h"

namespace {

using local_time::LocalTime;

LocalTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
             int millisecond = 0)
{
    LocalTime t;
    t.year = year, t.month = month, t.day = day;
    t.hour = hour, t.minute = minute, t.second = second, t.millisecond = millisecond;
    return t;
}

std::string FileLine(const LocalTime& now, const std::string& consoleLine)
{
    char out[64];
    return {out, day_log::FileLine(now, consoleLine.data(), consoleLine.size(), out, sizeof out)};
}

TEST(DayLog, OneFilePerLocalDayEachLineTimeStamped)
{
    EXPECT_EQ(day_log::FileName(At(2026, 12, 8, 23, 59, 59, 999)), "KOMVAS-20261208.log");
    EXPECT_EQ(day_log::FileName(At(2027, 1, 5)), "KOMVAS-20270105.log");
    EXPECT_EQ(FileLine(At(2026, 12, 8, 21, 54, 3, 123), "info\t: \x8F\x49\x97\xB9\n"),
              "2026-12-08 21:54:03.123\tinfo\t: \x8F\x49\x97\xB9\r\n");
    EXPECT_EQ(FileLine(At(2027, 1, 5, 7, 8, 9, 4), "a\nb\n"),
              "2027-01-05 07:08:09.004\ta\r\nb\r\n");
    EXPECT_EQ(FileLine(At(2027, 1, 5), std::string(41, 'x')), "") << "more than 64 bytes";
}

TEST(DayLog, TheFirstLineOfAnotherDateStartsItsFile)
{
    const LocalTime evening = At(2026, 12, 8, 23, 59, 59, 999);
    EXPECT_FALSE(day_log::DayChanged(evening, At(2026, 12, 8)));
    EXPECT_TRUE(day_log::DayChanged(evening, At(2026, 12, 9)));
    EXPECT_TRUE(day_log::DayChanged(At(2026, 12, 31, 12), At(2027, 1, 1, 12)));
    EXPECT_TRUE(day_log::DayChanged(At(2026, 11, 9), At(2026, 12, 9)));
    EXPECT_TRUE(day_log::DayChanged(evening, At(2026, 12, 7, 23))) << "a clock set back";
    EXPECT_TRUE(day_log::DayChanged(LocalTime(), evening)) << "the first line opens a file";
}

TEST(DayLog, BeyondThe31NewestOnlyDaysFilesMoreThan31DaysOldExpire)
{
    struct Case {
        const char* today;  // YYYYMMDD
        const char* name;
        bool expired;
    };
    const Case cases[] = {
        {"20261209", "KOMVAS-20261108.log", false},  // 31 days: kept
        {"20261209", "KOMVAS-20261107.log", true},
        {"20261209", "KOMVAS-20271209.log", false},  // a date to come
        {"20270105", "KOMVAS-20261204.log", true},   // 32 days, over the new year
        {"20270105", "KOMVAS-20261205.log", false},
        {"20280301", "KOMVAS-20280129.log", true},  // 32 days, with 29 February
        {"20280301", "KOMVAS-20280130.log", false},
        // Names that only look like a day's file are never touched.
        {"20261209", "komvas-20250101.log", false},
        {"20261209", "KOMVAS-20250101.LOG", false},
        {"20261209", "KOMVAS-20250101.log.bak", false},
        {"20261209", "KOMVAS-2025011.log", false},
        {"20261209", "KOMVAS-2025010a.log", false},
        {"20261209", "KOMVAS-20250230.log", false},  // no such date
        {"20261209", "KOMVAS-20250100.log", false},
        {"20261209", "KOMVAS.ini", false},
    };
    // Each case's file beside 31 newer ones, of January 2099.
    std::vector<std::string> folder;
    for (int day = 1; day <= 31; ++day)
        folder.push_back(day_log::FileName(At(2099, 1, day)));
    for (const Case& c : cases) {
        const int date = std::stoi(c.today);
        const LocalTime today = At(date / 10000, date / 100 % 100, date % 100, 0, 0, 1);
        folder.push_back(c.name);
        const std::vector<std::string> expired = day_log::Expired(folder, today);
        EXPECT_EQ(expired, std::vector<std::string>(c.expired, c.name)) << " on " << c.today;
        folder.pop_back();
    }
    // A clock set a year ahead keeps the 31 newest, whatever their dates.
    EXPECT_EQ(day_log::Expired({"KOMVAS-20261107.log", "KOMVAS-20261108.log"}, At(2027, 12, 9)),
              std::vector<std::string>{});
}

}  // namespace
