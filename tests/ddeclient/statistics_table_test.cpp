// The Statistics item laid out by komvas-dde status.
#include <gtest/gtest.h>

#include "tools/ddeclient/statistics_table.h"

namespace ddeclient {
namespace {

TEST(StatisticsTable, AlignsColumnsNumbersToTheRight)
{
    const std::string item =
        "PLC\tState\tItems\tCommands\tPass ms\tAnswers\tTime-outs\tError answers\tUnreadable\t"
        "Link failures\tLast failure\r\n"
        "PLC1\tASCII\t12\t34567\t20\t34560\t7\t0\t0\t1\t2026-12-09 01:02:03 no answer\r\n"
        "LINE2\tNO ANSWER\t3\t5\t1000\t0\t5\t0\t0\t0\t\r\n";
    EXPECT_EQ(alignedTable(item),
              "PLC    State      Items  Commands  Pass ms  Answers  Time-outs  Error answers  "
              "Unreadable  Link failures  Last failure\n"
              "PLC1   ASCII         12     34567       20    34560          7              0  "
              "         0              1  2026-12-09 01:02:03 no answer\n"
              "LINE2  NO ANSWER      3         5     1000        0          5              0  "
              "         0              0\n");
}

TEST(StatisticsTable, TakesRowsOfAnyLengthAndLineEnd)
{
    EXPECT_EQ(alignedTable(""), "");
    EXPECT_EQ(alignedTable("A\tB\nlonger\r\n\r\nx\t-1.5\tz"),
              "A       B\nlonger\nx       -1.5  z\n");
}

}  // namespace
}  // namespace ddeclient
