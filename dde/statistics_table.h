#pragma once
// The text of the SYSTEM topic's Statistics item: a table as spreadsheets exchange one over DDE,
// cells separated by TAB, every row ended by CR LF, a header row and then one row per PLC. Pure:
// the rows are filled from the links by dde/system_topic.cpp.
#include <cstddef>
#include <string>
#include <vector>

#include "link/link_statistics.h"

namespace statistics_table {

struct Row {
    std::string plc;
    std::string state;         // the link-state text of the PLC's SYSTEM item
    std::size_t items = 0;     // items with advise loops
    std::size_t commands = 0;  // read commands of one pass
    fam3::LinkStatistics counts;
};

// The header row, then each row in the order given. The columns: "PLC", "State", "Items",
// "Commands", "Pass ms" (empty until a pass has completed), "Answers", "Time-outs", "Error
// answers", "Unreadable", "Link failures", "Last failure" ("YYYY-MM-DD HH:MM:SS", local time;
// empty while there has been none).
std::string Text(const std::vector<Row>& rows);

}  // namespace statistics_table
