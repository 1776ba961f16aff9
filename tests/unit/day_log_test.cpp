// The dated log's rules: the file of a day, when a line starts the next day's file, which files
// are old enough to delete, and the bytes a console line becomes in the file.
#include <gtest/gtest.h>

#include <algorithm>
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
    return std::string(out, day_log::FileLine(now, consoleLine.data(), consoleLine.size(), out,
                                              sizeof out));
}

TEST(DayLog, OneFilePerLocalDayEachLineTimeStamped)
{
    EXPECT_EQ(day_log::FileName(At(2026, 12, 8, 23, 59, 59, 999)), "KOMVAS-20261208.log");
    EXPECT_EQ(day_log::FileName(At(2027, 1, 5)), "KOMVAS-20270105.log");
    EXPECT_EQ(FileLine(At(2026, 12, 8, 21, 54, 3, 123), "info\t: \x8F\x49\x97\xB9\n"),
              "2026-12-08 21:54:03.123\tinfo\t: \x8F\x49\x97\xB9\r\n");
    EXPECT_EQ(FileLine(At(2027, 1, 5, 7, 8, 9, 4), "a\nb\n"), "2027-01-05 07:08:09.004\ta\r\nb\r\n");
    EXPECT_EQ(FileLine(At(2027, 1, 5), std::string(40, 'x')).size(), 64u);
    EXPECT_EQ(FileLine(At(2027, 1, 5), std::string(41, 'x')), "") << "64 bytes do not hold it";
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

TEST(DayLog, The31NewestDaysFilesStayOlderOnesGoAfter31Days)
{
    // 31 day's files newer than every other file of a case: January 2099.
    std::vector<std::string> newest;
    for (int day = 1; day <= 31; ++day)
        newest.push_back(day_log::FileName(At(2099, 1, day)));
    struct Case {
        const char* today;  // YYYYMMDD
        bool with31Newer;   // whether the folder also holds `newest`
        std::vector<std::string> names;
        std::vector<std::string> deleted;
    };
    const Case cases[] = {
        {"20261209", true, {"KOMVAS-20261108.log"}, {}},  // 31 days: kept
        {"20261209", true, {"KOMVAS-20261107.log"}, {"KOMVAS-20261107.log"}},
        {"20270105", true, {"KOMVAS-20261204.log"}, {"KOMVAS-20261204.log"}},  // over the year
        {"20270105", true, {"KOMVAS-20261205.log"}, {}},
        {"20280301", true, {"KOMVAS-20280129.log"}, {"KOMVAS-20280129.log"}},  // 29 February
        {"20280301", true, {"KOMVAS-20280130.log"}, {}},
        // A clock a year ahead keeps the 31 newest whatever their age; beyond them, age counts.
        {"20271209", false, {"KOMVAS-20261107.log", "KOMVAS-20261108.log"}, {}},
        {"21000101", true, {"KOMVAS-20261107.log"}, {"KOMVAS-20261107.log"}},
        // Names that only look like a day's file are never touched.
        {"20261209",
         true,
         {"komvas-20250101.log", "KOMVAS-20250101.LOG", "KOMVAS-20250101.log.bak",
          "KOMVAS-2025011.log", "KOMVAS-2025010a.log", "KOMVAS-20250230.log", "KOMVAS-20250100.log",
          "KOMVAS.ini"},
         {}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> folder = c.names;
        if (c.with31Newer)
            folder.insert(folder.begin(), newest.begin(), newest.end());
        const int date = std::stoi(c.today);
        const LocalTime today = At(date / 10000, date / 100 % 100, date % 100, 0, 0, 1);
        std::vector<std::string> deleted = day_log::Expired(folder, today);
        std::sort(deleted.begin(), deleted.end());
        EXPECT_EQ(deleted, c.deleted) << testing::PrintToString(c.names) << " on " << c.today;
    }
}

}  // namespace
