// The SYSTEM topic's Statistics table as spreadsheets receive it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dde/statistics_table.h"

namespace {

TEST(StatisticsTable, HeaderThenOneRowPerPlcTabsBetweenCellsCrLfAfterEachRow)
{
    statistics_table::Row line1;
    line1.plc = "LINE1";
    line1.state = "NO ANSWER";
    line1.items = 64;
    line1.commands = 2;
    // A pass from the first request after the empty one to the empty one after the last.
    line1.counts.NextRequest(true, false, 5000);
    line1.counts.NextRequest(false, false, 5100);
    line1.counts.NextRequest(false, true, 5250);
    line1.counts.NextRequest(true, false, 5270);  // the next pass, not complete
    line1.counts.answers = 12345678901;
    line1.counts.timeOuts = 1;
    line1.counts.errorAnswers = 2;
    line1.counts.unreadable = 3;
    line1.counts.linkFailures = 4;
    line1.counts.failed = true;
    line1.counts.lastFailure.year = 2026;
    line1.counts.lastFailure.month = 12;
    line1.counts.lastFailure.day = 8;
    line1.counts.lastFailure.hour = 3;
    line1.counts.lastFailure.minute = 4;
    line1.counts.lastFailure.second = 5;
    line1.counts.lastFailure.millisecond = 678;
    statistics_table::Row idle;
    idle.plc = "PRESS2";
    idle.state = "STARTING";

    EXPECT_EQ(statistics_table::Text({line1, idle}),
              "PLC\tState\tItems\tCommands\tPass ms\tAnswers\tTime-outs\tError answers\t"
              "Unreadable\tLink failures\tLast failure\r\n"
              "LINE1\tNO ANSWER\t64\t2\t250\t12345678901\t1\t2\t3\t4\t2026-12-08 03:04:05\r\n"
              "PRESS2\tSTARTING\t0\t0\t\t0\t0\t0\t0\t0\t\r\n");
}

}  // namespace
